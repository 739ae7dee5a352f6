#include "run.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <triang/triang.hpp>
#include <vector>

#include "base/files.hpp"
#include "base/output_file.hpp"
#include "cli.hpp"
#include "formats/delivered.hpp"
#include "formats/description.hpp"
#include "formats/mesh_file.hpp"
#include "formats/soundings.hpp"
#include "formats/volume_line.hpp"
#include "grid.hpp"
#include "ground.hpp"
#include "layer_sets.hpp"
#include "leading_nodes.hpp"
#include "messages.hpp"
#include "progress.hpp"
#include "room.hpp"
#include "survey_input.hpp"
#include "value_checks.hpp"

namespace tervox::driver {

using base::cannot_write;
using base::commit_together;
using base::concat;
using base::diagnostic;
using base::diagnostic_line;
using base::exit_status;
using base::install_output_cleanup;
using base::is_a_directory;
using base::is_folder;
using base::output_file;
using base::output_room;
using base::quoted;
using base::regular_file_size;
using base::room_for;
using base::same_file;
using formats::check_locations;
using formats::grid;
using formats::long_line_size;
using formats::mesh_text;
using formats::read_outcome;
using formats::read_status;
using formats::short_line_size;
using formats::survey;
using formats::survey_format;
using formats::survey_metadata;

namespace {

// The triangulation of the ordered soundings, as the library lays it out:
// iadj holds 6*nsound-9 entries and iend nsound.
struct triangulation {
  std::vector<int> iadj;
  std::vector<int> iend;
};

// Everything a run holds once the soundings are triangulated: the soundings
// ordered by increasing x (every layer column carried along), the grid and
// the triangulation. Values are logarithms when args.log is 1. With
// --skip-missing, the layers with missing values and their own
// triangulations.
struct run_state {
  arguments args;
  survey soundings;
  survey_metadata about;  // what a delivered file says about itself
  grid g;
  triangulation tri;
  layer_sets own_sets;
  layer_sets ground_set;  // --skip-missing and --elevation: the ground's own soundings
};

// Thrown when an array of the run cannot be created; caught in run().
struct array_failure {
  diagnostic problem;
};

template <class T>
std::vector<T> create_array(std::string_view name, std::int64_t entries) {
  try {
    return std::vector<T>(static_cast<std::size_t>(entries));
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  throw array_failure{messages::out_of_memory(name, entries)};
}

// The construction's workspace: a large block read and written all over,
// whose contents on entry do not matter. It is left uncleared and, where the
// system offers them, asks for huge pages: fewer page faults, and far fewer
// misses of the address translation cache in the construction's edits.
class work_space {
 public:
  work_space(std::string_view name, std::size_t entries) : entries_(entries) {
    if (entries == 0)
      return;  // the construction then works in place
    constexpr std::size_t huge_page = std::size_t{2} << 20;
    const std::size_t bytes = (entries * sizeof(int) + huge_page - 1) / huge_page * huge_page;
    block_.reset(static_cast<int*>(std::aligned_alloc(huge_page, bytes)));
    if (!block_)
      throw array_failure{messages::out_of_memory(name, static_cast<std::int64_t>(entries))};
#ifdef MADV_HUGEPAGE
    ::madvise(block_.get(), bytes, MADV_HUGEPAGE);  // advice only: failure changes nothing
#endif
  }
  std::span<int> span() const {
    return {block_.get(), entries_};
  }

 private:
  struct release {
    void operator()(int* p) const { std::free(p); }
  };
  std::unique_ptr<int[], release> block_;
  std::size_t entries_;
};

// Every diagnostic of a run leaves through report() or warn(), the only
// places that add the prefix.

// A fault, on standard error; the caller returns the status it means.
void report(std::ostream& err, const diagnostic& fault) {
  assert(!fault.is_warning());
  err << diagnostic_line(messages::prefix, fault) << std::flush;
}

// A warning, on standard error; the run goes on.
void warn(std::ostream& err, const diagnostic& warning) {
  assert(warning.is_warning());
  err << diagnostic_line(messages::prefix, warning) << std::flush;
}

// A fault that ends the run: reported, and the run's status.
exit_status fail(std::ostream& err, const diagnostic& fault) {
  report(err, fault);
  return exit_status::failure;
}

// One of the tool's own messages, on standard output.
void say(std::ostream& out, std::string_view message) {
  out << messages::console_line(message) << std::flush;
}

// Threads for the volume: TERVOX_THREADS when set, else the machine's
// hardware threads. nullopt for a setting that is not a positive integer.
std::optional<int> volume_threads() {
  constexpr int most = 256;
  const char* setting = std::getenv("TERVOX_THREADS");
  if (setting == nullptr || *setting == '\0') {
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware == 0 ? 1 : static_cast<int>(std::min<unsigned>(hardware, most));
  }
  const std::optional<int> threads = parse_integer(setting);
  if (!threads || *threads < 1)
    return std::nullopt;
  return std::min(*threads, most);
}

// Refuses a grid whose volume file cannot fit the free space of its file
// system or the process's file-size limit even with every value in the short
// form: instant, before anything is written or triangulated.
diagnostic check_room(const arguments& args, const grid& g, int nlayer) {
  // In double: the product of three 32-bit counts can exceed 64 bits.
  const double values = static_cast<double>(std::max(g.nx, 0)) *
                        static_cast<double>(std::max(g.ny, 0)) * static_cast<double>(nlayer);
  const double least = static_cast<double>(short_line_size) * values;
  const output_room room = room_for(args.outfile);
  const std::string grid = messages::grid_size(g.nx, g.ny, nlayer);
  const std::string size = concat({"at least ", messages::byte_size(least)});
  if (room.size_limit && least > static_cast<double>(*room.size_limit)) {
    return messages::volume_too_large(
        grid, size,
        concat({"the file-size limit of ",
                messages::byte_size(static_cast<double>(*room.size_limit)), " (ulimit -f)"}),
        args.dx, args.dy);
  }
  if (room.free_bytes && least > static_cast<double>(*room.free_bytes)) {
    return messages::volume_too_large(
        grid, size,
        concat({"the ", messages::byte_size(static_cast<double>(*room.free_bytes)),
                " free on the file system of ", quoted(args.outfile)}),
        args.dx, args.dy);
  }
  return {};
}

// Values equal to `nodata` become not-a-number, before any logarithm, so
// that every cell whose triangle has such a vertex gets not-a-number in that
// layer: the interpolation carries it through whatever the weights. A
// depth of investigation equal to it is unknown and masks nothing; a ground
// elevation equal to it is missing alike.
void mark_missing(survey& s, float nodata) {
  const bool nan = std::isnan(nodata);
  const float missing = std::numeric_limits<float>::quiet_NaN();
  for (std::vector<float>* values : {&s.dat, &s.doi, &s.elevation}) {
    for (float& v : *values) {
      if (nan ? std::isnan(v) : v == nodata)
        v = missing;
    }
  }
}

// The depth of the top of every layer: 0, then the running sums of the
// thicknesses, added in double.
std::vector<double> layer_tops(std::span<const float> dz, int nlayer) {
  std::vector<double> tops(static_cast<std::size_t>(nlayer), 0.0);
  for (std::size_t k = 1; k < tops.size(); ++k)
    tops[k] = tops[k - 1] + static_cast<double>(dz[k - 1]);
  return tops;
}

// The answer to a command line that asks for no run (usage, help or
// version) and its exit status; nullopt when it asks for a run, whose
// warnings about the command line are said here.
std::optional<exit_status> answer_request(const command_line& request, std::ostream& out,
                                          std::ostream& err) {
  switch (request.what) {
    case command_line::request::run:
      for (const std::string& text : request.warnings) warn(err, diagnostic::warning({}, 0, text));
      break;
    case command_line::request::refused:
      out << messages::console_line(messages::usage_line)
          << messages::console_line(messages::usage_log_line) << std::flush;
      if (!request.problem.empty())
        report(err, messages::fault(request.problem));
      return exit_status::usage;
    case command_line::request::help:
      out << messages::console_line(messages::usage_line)
          << messages::console_line(messages::usage_log_line) << messages::help(option_help())
          << std::flush;
      return exit_status::success;
    case command_line::request::version:
      out << messages::version_line << std::flush;
      return exit_status::success;
  }
  return std::nullopt;
}

// Opens the soundings file; nullopt, having said why, when it cannot.
// Any failure to open counts as "not found"; a folder opens as a stream on
// Linux but is not a soundings file. Where the file is there but cannot be
// read, standard error says why.
std::optional<std::ifstream> open_soundings(const std::string& infile, std::ostream& out,
                                            std::ostream& err) {
  std::ifstream in;
  int open_error = EISDIR;
  if (!is_folder(infile)) {
    errno = 0;
    in.open(infile, std::ios::binary);
    open_error = errno;
  }
  if (!in.is_open()) {
    say(out, messages::not_found(infile));
    if (const std::string_view reason = messages::unreadable_reason(open_error); !reason.empty())
      report(err, messages::fault(concat({quoted(infile), ": ", reason})));
    return std::nullopt;
  }
  return in;
}

// Refuses output names that cannot be used, before anything is read.
diagnostic check_outputs(const arguments& args, const std::string& mesh_path,
                         const std::string& description_path) {
  // The soundings are read in full before anything is written, so an output
  // name that is the input would silently replace the user's data.
  const std::string ground_path = args.elevation ? elevation_path(args) : std::string();
  for (const std::string* output : {&args.outfile, &mesh_path, &description_path, &ground_path}) {
    if (output->empty())
      continue;
    if (same_file(args.infile, *output))
      return messages::output_is_input(*output, args.infile);
  }
  // The volume file comes last, after all the work; a folder in its place is
  // known now, so say so now rather than at the end.
  if (is_folder(args.outfile))
    return cannot_write(args.outfile, is_a_directory);
  return {};
}

// Reads the whole survey file, in its form, into `s` (and what it says about
// itself into `about`) and checks the locations. The reader's warnings go to
// `err` whatever the outcome; false, having said why, when the run cannot go
// on. For a delivered file the columns taken are said on `out`.
bool read_survey(std::ifstream& in, const arguments& args, std::optional<survey_format> form,
                 survey& s, survey_metadata& about, progress_meter& meter, std::ostream& out,
                 std::ostream& err) {
  const read_outcome read = formats::read_survey(in, args.infile, s, about,
                                                 reading_options(args, form), &meter.counter());
  in.close();
  for (const diagnostic& warning : read.warnings) warn(err, warning);
  switch (read.status) {
    case read_status::ok:
      break;
    case read_status::too_few_soundings:
      say(out, messages::too_few_soundings);
      return false;
    case read_status::bad_input:
      report(err, read.problem);
      return false;
  }
  // The form of a pipe is known only now.
  if (!form) {
    if (const diagnostic problem = check_input_options(args, about.format); !problem.empty()) {
      report(err, problem);
      return false;
    }
  }
  if (about.format != survey_format::native) {
    say(out, columns_taken(args, about));
    // A delivered file gives its depths of investigation whenever it has
    // them; they mask layers only when --doi asks.
    if (!args.doi)
      s.doi.clear();
    if (!args.elevation)
      s.elevation.clear();
  }
  if (const diagnostic problem = check_locations(s, args.infile); !problem.empty()) {
    report(err, problem);
    return false;
  }
  return true;
}

// The layer values as the interpolation takes them: missing values marked
// (those equal to --nodata, or to a delivered file's dummy), then logarithms
// in log mode. Values that most likely mean something else than the run
// makes of them are named on `err`, and taken as they are. With
// --skip-missing, `own_sets` receives the layers with missing values, found
// before a logarithm can turn a bad value into NaN too.
void prepare_values(survey& s, const arguments& args, const survey_metadata& about,
                    std::ostream& err, layer_sets& own_sets) {
  const std::optional<float> nodata = missing_value(args, about);
  if (nodata)
    mark_missing(s, *nodata);
  if (args.skip_missing)
    own_sets = layer_sets::find(s);
  // A number that marks missing values, the user's or the file's, leaves no
  // marks to suspect among the rest.
  const bool marked = nodata && (args.nodata || !std::isnan(*nodata));
  for (const diagnostic& warning :
       check_values(s, args.infile, {.marks = !marked, .positive = args.log == 1}))
    warn(err, warning);
  if (args.log == 1) {
    // A zero gives -Infinity and a negative value a NaN, and these travel
    // into the output.
    for (float& v : s.dat) v = static_cast<float>(std::log(static_cast<double>(v)));
  }
}

// The grid over the soundings, or the diagnostic for an axis whose cell
// count does not fit.
struct grid_placement {
  grid g;
  diagnostic problem;
};

// Grid placement: x first, then y.
grid_placement place_grid(const survey& s, const arguments& args) {
  const axis_placement ax = place_axis(s.xloc, args.dx);
  if (!ax.fits)
    return {{}, messages::grid_too_large('x', ax.quotient, static_cast<double>(args.dx))};
  const axis_placement ay = place_axis(s.yloc, args.dy);
  if (!ay.fits)
    return {{}, messages::grid_too_large('y', ay.quotient, static_cast<double>(args.dy))};
  return {grid{ax.min, ay.min, ax.count, ay.count, args.dx, args.dy}, {}};
}

// Refuses a grid without cells. Such a run would succeed with an empty volume
// file, which is never what was meant: most often the coordinates are
// degrees and the cell size is in metres.
diagnostic check_cells(const survey& s, const arguments& args, const grid& g) {
  if (g.nx > 0 && g.ny > 0)
    return {};
  const auto [xlo, xhi] = std::minmax_element(s.xloc.begin(), s.xloc.end());
  const auto [ylo, yhi] = std::minmax_element(s.yloc.begin(), s.yloc.end());
  const messages::extent e{*xlo, *xhi, *ylo, *yhi};
  // Longitude and latitude, in either order.
  const auto within = [](float lo, float hi, float bound) { return -bound <= lo && hi <= bound; };
  const bool degrees = (within(e.xlo, e.xhi, 360) && within(e.ylo, e.yhi, 90)) ||
                       (within(e.xlo, e.xhi, 90) && within(e.ylo, e.yhi, 360));
  return messages::grid_without_cells(e, args.dx, args.dy, g.nx <= 0, g.ny <= 0, degrees);
}

// What the progress line shows of the work: the grid and the size of the
// volume file in the long form.
std::string volume_description(const grid& g, int nlayer) {
  return concat(
      {messages::grid_size(g.nx, g.ny, nlayer), ", ",
       messages::byte_size(static_cast<double>(long_line_size) * static_cast<double>(g.nx) *
                           static_cast<double>(g.ny) * static_cast<double>(nlayer))});
}

// Writes a small file (the mesh file, the description file) in full and
// closes it; it stays a temporary file until put in place.
diagnostic write_small_file(output_file& file, std::string_view text) {
  if (auto r = file.open(); !r.ok())
    return r.problem;
  file.write(text);
  if (auto r = file.finish(); !r.ok())
    return r.problem;
  return {};
}

// The files put in place together with the volume: the mesh file, and the
// description file where the run has one. Where it has none, an earlier
// run's description goes when the new pair is put in place, so that it never
// describes a pair it was not written for; an earlier ground grid alike
// (`stale` names them).
struct companion_files {
  output_file& mesh;
  output_file* description = nullptr;
  std::vector<std::string> stale;
};

// Orders the soundings by increasing x, every layer column (and the depths
// of investigation, the ground elevations) carried along. The construction
// inserts nodes in index order, and this order (ties included) decides the
// triangulation. The layer sets follow.
void order_by_x(survey& s, bool doi, layer_sets& own_sets, layer_sets& ground_set) {
  const int n = s.nsound;
  std::vector<int> ind = create_array<int>("ind", n);
  triang::reordr(n, 3, s.xloc, s.yloc, s.layer(1), ind);
  for (int k = 2; k <= s.nlayer; ++k) triang::permut(n, ind, s.layer(k));
  if (doi)
    triang::permut(n, ind, s.doi);
  if (!s.elevation.empty())
    triang::permut(n, ind, s.elevation);
  own_sets.reorder(ind);
  ground_set.reorder(ind);
}

// Builds the triangulation of the ordered soundings into `tri`; returns the
// construction's ier.
int triangulate(const survey& s, triangulation& tri, progress_meter& meter) {
  const int n = s.nsound;
  // Positions in iadj are 32-bit; the reader refuses counts of soundings
  // whose 6n-9 positions would not fit.
  const std::int64_t iadj_entries = 6 * std::int64_t{n} - 9;
  tri.iadj = create_array<int>("iadj", iadj_entries);
  tri.iend = create_array<int>("iend", n);
  int ier = 0;
  // Room for the neighbour lists to grow while they are built; the
  // triangulation itself ends up in iadj and iend. It is released on return.
  const work_space work("work", triang::trmesh_work_size(n));
  triang::trmesh(n, s.xloc, s.yloc, tri.iadj, tri.iend, work.span(), ier, &meter.counter());
  return ier;
}

// Computes the volume into a new volume file and puts it in place together
// with the finished mesh file. On failure the volume's temporary file goes,
// and the mesh file stays temporary.
//
// The point locations are worked out first, and with them the volume's size;
// a volume that would pass the file-size limit or leave too little free
// space is refused before its file is created. The mesh file is finished by
// now, so the free space measured has it counted already.
diagnostic write_volume(const run_state& state, companion_files& companions,
                        const volume_method& method, int threads, progress_meter& meter) {
  const arguments& args = state.args;
  const survey& s = state.soundings;
  // A filled cell is one that point location puts outside the
  // triangulation; its value is the fill value, back-transformed alike.
  const node_data nodes{s.nsound, s.nlayer, s.xloc, s.yloc, s.dat, state.tri.iadj, state.tri.iend};
  const bool log_mode = args.log == 1;
  const std::optional<volume_plan> plan = plan_volume(nodes, state.g, threads, 0, &meter);
  if (!plan)
    return messages::location_broken(args.infile);
  // Cells that --max-distance blanks are counted in the long form: the plan
  // locates the cells but measures no distances.
  const volume_size size{plan->file_bytes(), !(args.max_distance > 0)};
  if (const diagnostic problem =
          check_volume_room(size, room_for(args.outfile), args.outfile, state.g, s.nlayer);
      !problem.empty())
    return problem;

  output_file volume(args.outfile);
  if (auto r = volume.open(); !r.ok())
    return r.problem;
  const std::vector<double> tops = args.doi ? layer_tops(s.dz, s.nlayer) : std::vector<double>{};
  const volume_masks masks{args.max_distance, s.doi, tops, state.own_sets.views()};
  const bool located = method ? method(nodes, state.g, log_mode, volume, masks)
                              : write_planned_volume(*plan, nodes, state.g, log_mode, volume,
                                                     threads, &meter, masks);
  if (!located)
    return messages::location_broken(args.infile);
  std::vector<output_file*> files{&volume, &companions.mesh};
  output_file ground(elevation_path(args));
  if (args.elevation) {
    if (const diagnostic problem =
            write_ground(nodes, s.elevation, state.g, args.max_distance, state.ground_set.views(),
                         ground, method, threads, args.infile);
        !problem.empty())
      return problem;
    files.push_back(&ground);
  }
  if (companions.description != nullptr)
    files.push_back(companions.description);
  if (auto r = commit_together(files, companions.stale); !r.ok())
    return r.problem;
  return {};
}

exit_status run_steps(std::span<const std::string> command_line_args, std::ostream& out,
                      std::ostream& err, const volume_method& method, progress_meter& meter) {
  install_output_cleanup();

  // Floating-point exceptions stay masked (the default), so a division by
  // zero or an overflow yields an infinity or a NaN and the run goes on.

  const command_line request = read_command_line(command_line_args);
  if (const std::optional<exit_status> answered = answer_request(request, out, err))
    return *answered;
  run_state state;
  state.args = request.args;
  const arguments& args = state.args;
  const std::optional<int> threads = volume_threads();
  if (!threads)
    return fail(err, messages::bad_thread_count(std::getenv("TERVOX_THREADS")));
  const std::string mesh_path = args.outfile + ".mesh";
  const std::string description_path = args.outfile + ".json";

  // Opened once, and kept for its reader: a pipe cannot be opened twice.
  std::optional<std::ifstream> in = open_soundings(args.infile, out, err);
  if (!in)
    return exit_status::failure;
  if (const diagnostic problem = check_outputs(args, mesh_path, description_path); !problem.empty())
    return fail(err, problem);
  const std::optional<survey_format> form = input_form(args);
  if (form) {
    if (const diagnostic problem = check_input_options(args, *form); !problem.empty())
      return fail(err, problem);
  }

  survey& s = state.soundings;
  meter.begin(run_phase::reading, regular_file_size(records_file(args.infile, form)));
  if (!read_survey(*in, args, form, s, state.about, meter, out, err))
    return exit_status::failure;
  prepare_values(s, args, state.about, err, state.own_sets);
  if (args.skip_missing)
    state.ground_set = find_ground_set(s);

  const grid_placement placed = place_grid(s, args);
  if (!placed.problem.empty())
    return fail(err, placed.problem);
  state.g = placed.g;

  // A grid too large for its destination would run for hours and then fill
  // the disk; the volume needs at least 9 bytes a value (every cell in the
  // short form), and that is known now, before anything is written.
  if (const diagnostic problem = check_room(args, state.g, s.nlayer); !problem.empty())
    return fail(err, problem);
  meter.describe(volume_description(state.g, s.nlayer));

  // The mesh file is complete before the triangulation is tried, so that a
  // write error shows before the long work, but it stays a temporary file
  // until the volume is complete too: a run that fails on the way leaves the
  // earlier mesh and volume as they were, a pair that belongs together.
  // A run killed outright (kill -9) left its temporary files beside the
  // outputs; their names say whether their process still runs.
  if (const std::vector<std::string> stale = base::remove_stale_temporaries(args.outfile);
      !stale.empty()) {
    const auto slash = args.outfile.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : args.outfile.substr(0, slash + 1);
    warn(err, messages::stale_temporaries_removed(folder, stale));
  }
  output_file mesh_file(mesh_path, 4096);
  if (const diagnostic problem =
          write_small_file(mesh_file, mesh_text({state.g, s.nlayer, s.dz, s.last_dz}));
      !problem.empty())
    return fail(err, problem);
  // The description file, where there is something to say, is written and
  // kept back alike.
  output_file description_file(description_path, 4096);
  companion_files companions{mesh_file, nullptr, {}};
  // Never the input, which check_outputs refuses only as the run's own output.
  if (const std::string ground = elevation_path(args);
      !args.elevation && !same_file(args.infile, ground))
    companions.stale.push_back(ground);
  if (const std::optional<formats::description> about = describe(args, state.about)) {
    if (const diagnostic problem =
            write_small_file(description_file, formats::description_text(*about));
        !problem.empty())
      return fail(err, problem);
    companions.description = &description_file;
  } else {
    companions.stale.push_back(description_path);
  }

  meter.begin(run_phase::triangulating, s.nsound);
  order_by_x(s, args.doi, state.own_sets, state.ground_set);
  // The construction finds its first triangles in single precision; where
  // that gets them wrong, everything built on them is wrong too while it
  // reports success, so such soundings are refused here.
  if (!leading_nodes_agree(s.xloc, s.yloc))
    return fail(err, messages::spread_too_wide(args.infile));
  const int ier = triangulate(s, state.tri, meter);
  if (ier == triang::trmesh_ier::collinear) {
    // Collinear soundings leave the mesh file, and no new volume.
    if (auto r = mesh_file.put_in_place(); !r.ok())
      report(err, r.problem);
    say(out, messages::collinear);
    return exit_status::failure;
  }
  // Too few nodes cannot happen after the reader's check; whatever else comes
  // back, the arrays are not a triangulation and the run cannot go on.
  if (ier != triang::trmesh_ier::ok)
    return fail(err, messages::triangulation_broken(args.infile));

  // Only here, where the volume would be written: collinear soundings end
  // with their own message and mesh file whatever the grid. The mesh file is
  // still temporary, and goes.
  if (const diagnostic problem = check_cells(s, args, state.g); !problem.empty())
    return fail(err, problem);

  // --skip-missing: the layers with missing values get triangulations of
  // their own soundings.
  if (!state.own_sets.empty()) {
    std::vector<diagnostic> warnings;
    const diagnostic problem =
        state.own_sets.triangulate(s, args.doi, args.infile, warnings, &meter);
    for (const diagnostic& warning : warnings) warn(err, warning);
    if (!problem.empty())
      return fail(err, problem);
  }
  {
    std::vector<diagnostic> warnings;
    const diagnostic problem =
        triangulate_ground_set(state.ground_set, s, args.infile, warnings, &meter);
    for (const diagnostic& warning : warnings) warn(err, warning);
    if (!problem.empty())
      return fail(err, problem);
  }

  if (const diagnostic problem = write_volume(state, companions, method, *threads, meter);
      !problem.empty())
    return fail(err, problem);
  return exit_status::success;
}

}  // namespace

exit_status run(std::span<const std::string> args, std::ostream& out, std::ostream& err,
                const volume_method& method) {
  // Messages wait until the progress line is gone, so that none shares a
  // line with it; every message of a run comes at its end anyway.
  std::ostringstream held_out, held_err;
  exit_status status = exit_status::failure;
  {
    std::optional<progress_meter> meter;
    if (progress_wanted())
      meter.emplace(STDERR_FILENO, progress_delay());
    else
      meter.emplace();
    try {
      status = run_steps(args, held_out, held_err, method, *meter);
    } catch (const array_failure& f) {
      status = fail(held_err, f.problem);
    } catch (const std::bad_alloc&) {
      status = fail(held_err, messages::fault(std::string(messages::out_of_memory_text)));
    }
  }  // the meter clears its line here
  out << held_out.str() << std::flush;
  err << held_err.str() << std::flush;
  return status;
}

}  // namespace tervox::driver
