#include "view_run.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <optional>
#include <ostream>
#include <string_view>
#include <utility>
#include <vector>

#include "base/diagnostic.hpp"
#include "base/files.hpp"
#include "base/output_file.hpp"
#include "colour.hpp"
#include "formats/decimal.hpp"
#include "formats/description.hpp"
#include "formats/mesh_file.hpp"
#include "formats/soundings.hpp"
#include "formats/volume_file.hpp"
#include "geotiff_file.hpp"
#include "grid_file.hpp"
#include "netcdf_file.hpp"
#if TERVOX_VIEW_CAIRO
#  include "pictures.hpp"
#endif
#include "vtr_file.hpp"

namespace tervox::view {

using base::concat;
using base::diagnostic;
using base::diagnostic_error;
using base::diagnostic_line;
using base::exit_status;
using base::install_output_cleanup;
using base::io_result;
using base::open_input;
using base::output_is_input;
using base::same_file;
using formats::check_volume_size;
using formats::conversion;
using formats::description;
using formats::layer_depths;
using formats::mesh;
using formats::read_mesh;
using formats::read_outcome;
using formats::read_soundings;
using formats::read_status;
using formats::read_volume;
using formats::survey;
using formats::to_int;
using formats::to_real;
using formats::volume_request;

namespace {

// The usage, less the options' explanations (see usage_text).
constexpr std::string_view synopsis =
    "usage: tervox-view slice VOLUME (--layer K | --depth D) -o OUT.png|svg|pdf\n"
    "                   [--soundings FILE] [picture options]\n"
    "       tervox-view section VOLUME (--row IY | --column IX | --line X1,Y1,X2,Y2[,...])\n"
    "                   -o OUT.png|svg|pdf\n"
    "                   [--height PIXELS] [picture options]\n"
    "       tervox-view vtr VOLUME -o OUT.vtr\n"
    "       tervox-view netcdf VOLUME -o OUT.nc [--crs EPSG:n] [--name NAME] [--units TEXT]\n"
    "       tervox-view geotiff VOLUME (--layer K | --all-layers) -o OUT.tif [--crs EPSG:n]\n";

constexpr std::string_view prefix = "tervox-view: ";

// The line after a refused command line.
constexpr std::string_view help_pointer =
    "run 'tervox-view --help' for the commands and their options\n";

struct usage_error {
  std::string text;
};

enum class command { slice, section, vtr, netcdf, geotiff };

// A set of commands, one bit each.
constexpr unsigned on(std::initializer_list<command> commands) {
  unsigned set = 0;
  for (const command c : commands) set |= 1u << static_cast<unsigned>(c);
  return set;
}
constexpr unsigned every_command =
    on({command::slice, command::section, command::vtr, command::netcdf, command::geotiff});

// What a command line asks for, its values read.
struct options {
  command what = command::slice;
  std::string volume, output, mesh_path, soundings;
  std::optional<int> layer, row, column, epsg;
  std::optional<double> depth;                  ///< of a slice
  std::vector<std::pair<double, double>> line;  ///< of a section, its points
  bool all_layers = false;
  int cell_pixels = 0;
  int height = 300;
  scale_kind scale = scale_kind::automatic;
  std::optional<value_range> range;
  std::string name = "value", units;
  bool name_given = false, units_given = false;
  std::string long_name;     ///< the property as the description words it
  std::string crs_from;      ///< the description file `epsg` comes from, if any
  std::string length_unit;   ///< of x, y and depth, from the description
  std::string crs_name;      ///< the coordinate system as the description names it
  std::string command_line;  ///< as given, for the files that record it
};

int positive_int(std::string_view option, const std::string& text) {
  int v = 0;
  if (to_int(text, v) != conversion::ok || v < 1)
    throw usage_error{concat({option, " needs a whole number of 1 or more, got '", text, "'"})};
  return v;
}

int epsg_code(const std::string& text) {
  int code = 0;
  const bool prefixed =
      text.size() > 5 && (text.compare(0, 5, "EPSG:") == 0 || text.compare(0, 5, "epsg:") == 0);
  if (!prefixed || to_int(text.substr(5), code) != conversion::ok || code < 1)
    throw usage_error{"--crs takes EPSG:n, a code of the EPSG database, got '" + text + "'"};
  return code;
}

// A letter, then letters, digits and underscores, as NetCDF names go, and
// none of the other names of the file.
bool usable_variable_name(const std::string& name) {
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (name.empty() || !letter(name[0]))
    return false;
  if (!std::all_of(name.begin(), name.end(),
                   [&](char c) { return letter(c) || (c >= '0' && c <= '9') || c == '_'; }))
    return false;
  for (const char* taken :
       {"x", "y", "depth", "x_bounds", "y_bounds", "depth_bounds", "filled", "crs"}) {
    if (name == taken)
      return false;
  }
  return true;
}

// The options. Each is one row: its name, the names of its values as the
// usage shows them (one word a value: "--range MIN MAX" takes two, each an
// argument of its own), the commands that take it, its lines in the usage,
// and what it does to the options; `apply` throws usage_error for a value
// it cannot use.
//
// The command line is read in two passes: the first takes the arguments
// apart and refuses unknown, misplaced, incomplete and repeated options;
// the second applies the values of the options given, row by row. So the
// rows are in the order their values are checked: when several are wrong,
// the message is the first row's.
using option_values = std::span<const std::string>;

struct option_row {
  std::string_view name;
  std::string_view value_names;
  unsigned commands;
  std::string_view help;  ///< lines of the usage, after the first indented
  void (*apply)(options& o, std::string_view name, option_values v);
  std::string_view alias = "";  ///< another name; messages give `name`

  std::size_t value_count() const {
    return value_names.empty() ? 0
                               : 1 + static_cast<std::size_t>(
                                         std::count(value_names.begin(), value_names.end(), ' '));
  }
  bool named(std::string_view n) const { return n == name || (!alias.empty() && n == alias); }
};

constexpr command slice = command::slice, section = command::section, vtr = command::vtr,
                  netcdf = command::netcdf, geotiff = command::geotiff;

// The value as it is, or a whole number of 1 or more, into `field`.
template <auto field>
void text_into(options& o, std::string_view, option_values v) {
  o.*field = v[0];
}
template <auto field>
void count_into(options& o, std::string_view name, option_values v) {
  o.*field = positive_int(name, v[0]);
}

const option_row option_rows[] = {
    {"-o", "FILE", every_command, "", text_into<&options::output>, "--output"},
    {"--mesh", "FILE", every_command,
     "the mesh file of VOLUME (default: VOLUME.mesh), for every command",
     text_into<&options::mesh_path>},
    {"--soundings", "FILE", on({slice}), "draw the sounding locations of FILE as dots",
     text_into<&options::soundings>},
    {"--layer", "K", on({slice, geotiff}), "", count_into<&options::layer>},
    {"--depth", "D", on({slice}),
     "the map of the layer holding depth D (a depth on a boundary:\n"
     "the deeper layer)",
     [](options& o, std::string_view name, option_values v) {
       double d = 0;
       if (to_real(v[0], d) != conversion::ok || !std::isfinite(d))
         throw usage_error{concat({name, " needs a number, got '", v[0], "'"})};
       o.depth = d;
     }},
    {"--row", "IY", on({section}), "", count_into<&options::row>},
    {"--column", "IX", on({section}), "", count_into<&options::column>},
    {"--line", "X1,Y1,X2,Y2[,...]", on({section}),
     "a section along the line through these points of the grid's\n"
     "coordinates, sampled every cell size along its length",
     [](options& o, std::string_view name, option_values v) {
       std::vector<double> numbers;
       std::string_view rest = v[0];
       while (true) {
         const std::size_t comma = rest.find(',');
         const std::string field(rest.substr(0, comma));
         double x = 0;
         if (to_real(field, x) != conversion::ok || !std::isfinite(x))
           throw usage_error{
               concat({name, " needs numbers separated by commas, got '", v[0], "'"})};
         numbers.push_back(x);
         if (comma == std::string_view::npos)
           break;
         rest.remove_prefix(comma + 1);
       }
       if (numbers.size() % 2 != 0)
         throw usage_error{concat({name, " needs x,y pairs, got ", std::to_string(numbers.size()),
                                   " numbers in '", v[0], "'"})};
       if (numbers.size() < 4)
         throw usage_error{
             concat({name, " needs two points or more (X1,Y1,X2,Y2), got '", v[0], "'"})};
       for (std::size_t i = 0; i < numbers.size(); i += 2)
         o.line.emplace_back(numbers[i], numbers[i + 1]);
     }},
    {"--height", "PIXELS", on({section}), "the depth of a section's drawing (default: 300)",
     count_into<&options::height>},
    {"--cell-pixels", "N", on({slice, section}),
     "pixels per cell across, a map's cells to scale (default:\n"
     "the drawing 1000 pixels along its longer side)",
     count_into<&options::cell_pixels>},
    {"--crs", "EPSG:n", on({netcdf, geotiff}),
     "the coordinate reference system of x and y (default: that\n"
     "of VOLUME.json, the description tervox writes of some volumes)",
     [](options& o, std::string_view, option_values v) { o.epsg = epsg_code(v[0]); }},
    {"--all-layers", "", on({geotiff}), "every layer, one band each",
     [](options& o, std::string_view, option_values) { o.all_layers = true; }},
    {"--units", "TEXT", on({netcdf, slice, section}),
     "the units of the values (\"ohm m\"); in a picture, the label\n"
     "of the colour bar (default: those of VOLUME.json)",
     [](options& o, std::string_view, option_values v) {
       o.units = v[0];
       o.units_given = true;
     }},
    {"--name", "NAME", on({netcdf}),
     "the name of the values in the NetCDF file (default: the\n"
     "property of VOLUME.json, else value)",
     [](options& o, std::string_view, option_values v) {
       o.name_given = true;
       if (!usable_variable_name(v[0])) {
         throw usage_error{
             "--name needs a letter and then letters, digits or '_', other than the "
             "names of the coordinates, got '" +
             v[0] + "'"};
       }
       o.name = v[0];
     }},
    {"--scale", "auto|linear|log", on({slice, section}),
     "the colour scale; auto (the default) is logarithmic when\n"
     "every value is positive and the largest is at least 100\n"
     "times the smallest, over the whole volume",
     [](options& o, std::string_view, option_values v) {
       if (v[0] == "auto")
         o.scale = scale_kind::automatic;
       else if (v[0] == "linear")
         o.scale = scale_kind::linear;
       else if (v[0] == "log")
         o.scale = scale_kind::log;
       else
         throw usage_error{"--scale is auto, linear or log, got '" + v[0] + "'"};
     }},
    {"--range", "MIN MAX", on({slice, section}),
     "the values at the two ends of the colour bar (default: the\n"
     "smallest and largest value shown)",
     [](options& o, std::string_view, option_values v) {
       value_range r;
       if (to_real(v[0], r.lo) != conversion::ok || to_real(v[1], r.hi) != conversion::ok ||
           !std::isfinite(r.lo) || !std::isfinite(r.hi) || !(r.lo < r.hi))
         throw usage_error{"--range needs two numbers MIN MAX with MIN < MAX, got '" + v[0] +
                           "' '" + v[1] + "'"};
       o.range = r;
     }},
};

constexpr std::size_t option_count = std::size(option_rows);

const option_row* find_option(std::string_view name) {
  for (const option_row& r : option_rows) {
    if (r.named(name))
      return &r;
  }
  return nullptr;
}

std::size_t index_of(const option_row* r) {
  return static_cast<std::size_t>(r - std::begin(option_rows));
}

// The options the usage explains, in its own order: those of several
// commands, then those of the pictures.
constexpr std::string_view explained[] = {"--mesh", "--soundings", "--depth",
                                          "--line", "--height",    "--crs",
                                          "--name", "--units",     "--all-layers"};
constexpr std::string_view explained_for_pictures[] = {"--scale", "--range", "--cell-pixels"};

// An option's lines in the usage: its name and values, then its help from
// the help column on, on the same line where there is room.
std::string help_lines(const option_row& r) {
  constexpr std::size_t help_column = 23;
  std::string text = "  ";
  text += r.name;
  if (!r.value_names.empty()) {
    text += ' ';
    text += r.value_names;
  }
  if (text.size() + 2 <= help_column)
    text.resize(help_column, ' ');
  else
    text += '\n' + std::string(help_column, ' ');
  for (const char c : r.help) {
    text += c;
    if (c == '\n')
      text.append(help_column, ' ');
  }
  text += '\n';
  return text;
}

const std::string& usage_text() {
  static const std::string text = [] {
    std::string t(synopsis);
    t += '\n';
    for (const std::string_view name : explained) t += help_lines(*find_option(name));
    t += "picture options:\n";
    for (const std::string_view name : explained_for_pictures) t += help_lines(*find_option(name));
    return t;
  }();
  return text;
}

void check_range(const mesh& m, const char* what, int value, int count, const char* axis) {
  if (value > count) {
    throw diagnostic_error(
        diagnostic::in_file(m.path, what + std::string(" ") + std::to_string(value) +
                                        " is out of range: the mesh has " + std::to_string(count) +
                                        " " + axis + " (1 to " + std::to_string(count) + ")"));
  }
}

#if TERVOX_VIEW_CAIRO
// "file: ", the start of the context a drawing's diagnostics are given.
std::string where(std::string_view file) {
  return concat({file, ": "});
}

std::vector<std::pair<double, double>> read_locations(const std::string& path) {
  std::ifstream in;
  if (io_result opened = open_input(path, "soundings file", in); !opened.ok())
    throw diagnostic_error(std::move(opened.problem));
  survey s;
  const read_outcome r = read_soundings(in, path, s);
  switch (r.status) {
    case read_status::ok:
      break;
    case read_status::too_few_soundings:
      throw diagnostic_error(diagnostic::in_file(path, "fewer than 3 soundings"));
    case read_status::bad_input:
      throw diagnostic_error(r.problem);
  }
  std::vector<std::pair<double, double>> dots;
  for (std::size_t i = 0; i < s.xloc.size(); ++i)
    dots.emplace_back(static_cast<double>(s.xloc[i]), static_cast<double>(s.yloc[i]));
  return dots;
}

// The smallest and largest value of the whole volume, gathered while a
// picture's values are read, so that an automatic scale is the same for
// every picture of one volume.
struct volume_extent {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();
  void add(std::span<const float> values) {
    for (const float v : values) {
      if (std::isnan(v))
        continue;
      lo = std::min(lo, static_cast<double>(v));
      hi = std::max(hi, static_cast<double>(v));
    }
  }
};

picture_options picture(const options& o, const volume_extent& e, std::string what) {
  picture_options p;
  p.scale = o.scale;
  if (p.scale == scale_kind::automatic) {
    p.scale = e.lo <= e.hi ? suited_scale(e.lo, e.hi) : scale_kind::linear;
    // A fixed range reaching 0 or below can only be shown linearly.
    if (o.range && !(o.range->lo > 0))
      p.scale = scale_kind::linear;
  }
  p.range = o.range;
  p.units = o.units;
  p.length_unit = o.length_unit;
  p.crs_name = o.crs_name;
  p.cell_pixels = o.cell_pixels;
  p.height = o.height;
  p.format = format_of(o.output);
  p.what = std::move(what);
  return p;
}

void run_slice(const options& o, const mesh& m, std::ostream&) {
  const int layer = o.layer ? *o.layer : layer_at_depth(m, *o.depth, where(o.volume));
  check_range(m, "layer", layer, m.nlayer, "layers");
  const std::vector<std::pair<double, double>> dots =
      o.soundings.empty() ? std::vector<std::pair<double, double>>{} : read_locations(o.soundings);
  std::vector<float> values(static_cast<std::size_t>(m.cells()));
  const auto nx = static_cast<std::size_t>(m.nx);
  const auto k = static_cast<std::size_t>(layer - 1);
  volume_extent extent;
  read_volume(o.volume, m, volume_request::everything(m),
              [&](int ix, int iy, bool, std::span<const float> v) {
                extent.add(v);
                values[static_cast<std::size_t>(iy - 1) * nx + static_cast<std::size_t>(ix - 1)] =
                    v[k];
              });
  picture_options p = picture(o, extent, where(o.volume) + "layer " + std::to_string(layer) + ": ");
  p.depth = o.depth;
  draw_slice(m, layer, values, dots, p)->save(o.output);
}

// A section along a polyline: the values of the cells its samples fall in.
void run_line_section(const options& o, const mesh& m) {
  // Before the volume is read: the depths may be unknown, the line off the grid.
  (void)layer_depths(m);
  const std::vector<line_sample> samples = line_samples(m, o.line, where(o.volume));
  // The samples of each cell, by the cell's place in the volume.
  std::vector<std::pair<std::int64_t, std::size_t>> wanted;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (samples[i].ix > 0)
      wanted.emplace_back(std::int64_t{samples[i].iy - 1} * m.nx + (samples[i].ix - 1), i);
  }
  std::sort(wanted.begin(), wanted.end());
  const auto layers = static_cast<std::size_t>(m.nlayer);
  std::vector<float> values(samples.size() * layers, std::numeric_limits<float>::quiet_NaN());
  volume_extent extent;
  read_volume(o.volume, m, volume_request::everything(m),
              [&](int ix, int iy, bool, std::span<const float> v) {
                extent.add(v);
                const std::int64_t cell = std::int64_t{iy - 1} * m.nx + (ix - 1);
                auto at = std::lower_bound(wanted.begin(), wanted.end(),
                                           std::pair<std::int64_t, std::size_t>{cell, 0});
                for (; at != wanted.end() && at->first == cell; ++at)
                  std::copy(v.begin(), v.end(),
                            values.begin() + static_cast<std::ptrdiff_t>(at->second * layers));
              });
  const picture_options p = picture(o, extent, where(o.volume) + "line: ");
  draw_line_section(m, o.line, samples, values, p)->save(o.output);
}

void run_section(const options& o, const mesh& m, std::ostream&) {
  if (!o.line.empty())
    return run_line_section(o, m);
  const bool along_row = o.row.has_value();
  const int index = along_row ? *o.row : *o.column;
  if (along_row)
    check_range(m, "row", index, m.ny, "rows of cells");
  else
    check_range(m, "column", index, m.nx, "columns of cells");
  // Before the volume is read: the depths may be unknown.
  (void)layer_depths(m);
  std::vector<float> values;
  volume_extent extent;
  read_volume(o.volume, m, volume_request::everything(m),
              [&](int ix, int iy, bool, std::span<const float> v) {
                extent.add(v);
                if ((along_row ? iy : ix) == index)
                  values.insert(values.end(), v.begin(), v.end());
              });
  const picture_options p = picture(
      o, extent, where(o.volume) + (along_row ? "row " : "column ") + std::to_string(index) + ": ");
  draw_section(m, along_row, index, values, p)->save(o.output);
}
#endif

#if TERVOX_VIEW_GDAL
// The coordinate system of the grid, where one is given; a warning when the
// grid lies outside the area the system is meant for (x and y swapped, or
// the wrong system). The file is written all the same: a grid off the
// system's area can be meant so, and the warning says what to check.
std::optional<crs_info> crs_of(const options& o, const mesh& m, std::ostream& err) {
  if (!o.epsg)
    return std::nullopt;
  crs_info c = [&] {
    try {
      return look_up_crs(*o.epsg);
    } catch (const diagnostic_error& e) {
      // A code from the description: the file to mend.
      if (o.crs_from.empty())
        throw;
      throw diagnostic_error(diagnostic::in_file(o.crs_from, e.details().message()));
    }
  }();
  const std::string doubt =
      placement_doubt(c, {m.x_edge(0), m.x_edge(m.nx), m.y_edge(0), m.y_edge(m.ny)});
  if (!doubt.empty())
    err << diagnostic_line(prefix, diagnostic::warning(o.volume, 0, doubt)) << std::flush;
  return c;
}
#endif

// A grid file, whichever its format.
template <grid_writer write>
void run_grid(const options& o, const mesh& m, [[maybe_unused]] std::ostream& err) {
  if (o.layer)
    check_range(m, "layer", *o.layer, m.nlayer, "layers");
  grid_options g;
  g.layer = o.layer.value_or(0);
  g.name = o.name;
  g.long_name = o.long_name;
  g.units = o.units;
#if TERVOX_VIEW_GDAL
  g.crs = crs_of(o, m, err);
#endif
  g.history = "tervox-view" + o.command_line;
  write(o.output, o.volume, m, g);
}

// What a command needs from outside the standard library: the library and
// the Debian package that brings it.
struct missing_library {
  std::string_view library;
  std::string_view package;
};

using command_runner = void (*)(const options& o, const mesh& m, std::ostream& err);

// Each command's runner where this build has what it needs, and nullptr
// where it lacks it: the writer or drawing is then not built.
#if TERVOX_VIEW_CAIRO
constexpr command_runner slice_runner = run_slice, section_runner = run_section;
#else
constexpr command_runner slice_runner = nullptr, section_runner = nullptr;
#endif
#if TERVOX_VIEW_NETCDF
constexpr command_runner netcdf_runner = run_grid<write_netcdf>;
#else
constexpr command_runner netcdf_runner = nullptr;
#endif
#if TERVOX_VIEW_GDAL
constexpr command_runner geotiff_runner = run_grid<write_geotiff>;
#else
constexpr command_runner geotiff_runner = nullptr;
#endif

struct command_row {
  std::string_view name;
  command what;
  command_runner run;     ///< nullptr where this build lacks `needs`
  missing_library needs;  ///< nothing for a command of the standard library alone
};

// In the order of their names, which --help follows when it lists the
// commands this build lacks.
const command_row command_rows[] = {
    {"geotiff", geotiff, geotiff_runner, {"GDAL", "libgdal-dev"}},
    {"netcdf", netcdf, netcdf_runner, {"the netCDF C library", "libnetcdf-dev"}},
    {"section", section, section_runner, {"cairo", "libcairo2-dev"}},
    {"slice", slice, slice_runner, {"cairo", "libcairo2-dev"}},
    {"vtr", vtr, run_grid<write_vtr>, {}},
};

const command_row& row_of(command c) {
  return *std::find_if(std::begin(command_rows), std::end(command_rows),
                       [&](const command_row& r) { return r.what == c; });
}

options parse(std::span<const std::string> args) {
  if (args.empty())
    throw usage_error{"no command"};
  const auto c = std::find_if(std::begin(command_rows), std::end(command_rows),
                              [&](const command_row& r) { return r.name == args[0]; });
  if (c == std::end(command_rows))
    throw usage_error{"unknown command '" + args[0] + "'"};
  options o;
  o.what = c->what;
  for (const std::string& a : args)
    o.command_line += a.find_first_of(" \"'") == std::string::npos ? " " + a : " '" + a + "'";

  // The first pass: the volume, and the values each option is given.
  std::array<std::optional<std::vector<std::string>>, option_count> given;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string arg = args[i];
    std::optional<std::string> value;
    if (arg.starts_with("--") && arg.find('=') != std::string::npos) {
      value = arg.substr(arg.find('=') + 1);
      arg.resize(arg.find('='));
    }
    if (!arg.starts_with("-") || arg == "-") {
      if (!o.volume.empty())
        throw usage_error{"more than one volume file: '" + o.volume + "' and '" + arg + "'"};
      o.volume = arg;
      continue;
    }
    const option_row* r = find_option(arg);
    if (r == nullptr)
      throw usage_error{"unknown option '" + arg + "'"};
    const std::string name(r->name);
    if ((r->commands & on({o.what})) == 0)
      throw usage_error{"the " + args[0] + " command takes no " + name};
    const std::size_t count = r->value_count();
    std::vector<std::string> v;
    if (count == 0) {
      if (value)
        throw usage_error{name + " takes no value"};
    } else if (value && count == 1) {
      v.push_back(*value);
    } else if (value || i + count >= args.size()) {
      // "=" gives one value; two come as arguments of their own.
      throw usage_error{name + (count == 1 ? " needs a value" : " needs two values")};
    } else {
      v.assign(args.begin() + static_cast<std::ptrdiff_t>(i + 1),
               args.begin() + static_cast<std::ptrdiff_t>(i + 1 + count));
      i += count;
    }
    std::optional<std::vector<std::string>>& slot = given[index_of(r)];
    if (slot)
      throw usage_error{name + " is given twice"};
    slot = std::move(v);
  }

  // The second pass: the values, row by row.
  if (o.volume.empty())
    throw usage_error{"no volume file"};
  const auto& output = given[index_of(find_option("-o"))];
  if (!output || output->front().empty())
    throw usage_error{"no output file (-o FILE)"};
  o.mesh_path = o.volume + ".mesh";
  for (std::size_t k = 0; k < option_count; ++k) {
    if (given[k])
      option_rows[k].apply(o, option_rows[k].name, *given[k]);
  }

  if (o.what == slice || o.what == section) {
    const std::string& out = o.output;
    const auto dot = out.rfind('.');
    std::string ext = dot == std::string::npos ? "" : out.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    if (ext != ".png" && ext != ".svg" && ext != ".pdf")
      throw usage_error{"a picture is written as .png, .svg or .pdf, got '" + out + "'"};
  }
  if (o.what == slice && o.layer.has_value() == o.depth.has_value())
    throw usage_error{"a slice needs one of --layer K and --depth D"};
  if (o.what == section &&
      int{o.row.has_value()} + int{o.column.has_value()} + int{!o.line.empty()} != 1)
    throw usage_error{"a section needs one of --row IY, --column IX and --line X1,Y1,X2,Y2"};
  if (o.what == geotiff && o.layer.has_value() == o.all_layers)
    throw usage_error{"a GeoTIFF needs one of --layer K and --all-layers"};
  return o;
}

// A NetCDF name made of a property's name ("apparent resistivity"): '_' for
// what is no letter or digit, "v" before a first character that is no
// letter; "value" when that leaves no letter or digit, or names a
// coordinate.
std::string variable_name(const std::string& property) {
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  std::string name = property;
  bool meaningful = false;
  for (char& c : name) {
    if (letter(c) || digit(c))
      meaningful = true;
    else
      c = '_';
  }
  if (!meaningful)
    return "value";
  // Built anew rather than by insert(0, ...), which g++ 12 at -O3 wrongly
  // warns about (-Wrestrict).
  if (!letter(name[0]))
    name = "v" + name;
  return usable_variable_name(name) ? name : "value";
}

// The description tervox writes beside some volumes (VOLUME.json): what is
// known of the grid that its mesh and volume files have no room for. None
// beside the volume is normal; one that cannot be read is an error naming
// it, since what it says would otherwise be lost without a word.
std::optional<description> description_beside(const std::string& volume) {
  const std::string path = volume + ".json";
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    return std::nullopt;
  std::ifstream in;
  if (io_result opened = open_input(path, "description file", in); !opened.ok())
    throw diagnostic_error(std::move(opened.problem));
  // A description takes a few hundred bytes: a file much larger is another
  // file under its name, and is not read whole.
  constexpr std::streamsize limit = std::streamsize{1} << 20;
  std::string text(static_cast<std::size_t>(limit) + 1, '\0');
  in.read(text.data(), limit + 1);
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (in.bad())
    throw diagnostic_error(diagnostic::in_file(path, "cannot read the description file"));
  if (text.size() > static_cast<std::size_t>(limit)) {
    throw diagnostic_error(diagnostic::in_file(
        path, "more than 1 MiB, too large for the description file of " + volume));
  }
  formats::description_outcome r = formats::read_description(text, path);
  if (!r.about) {
    throw diagnostic_error(diagnostic::plain(
        concat({r.problem.message(), "; tervox-view reads it as the description of ", volume,
                ": mend it, or remove it"})));
  }
  return std::move(r.about);
}

// The description's coordinate system, property and unit, where the command
// takes them and the command line does not give them.
void take_defaults(options& o, const description& d, std::ostream& err) {
  const unsigned here = on({o.what});
  const std::string path = o.volume + ".json";
  if (!o.epsg && d.epsg && (find_option("--crs")->commands & here) != 0) {
    if (TERVOX_VIEW_GDAL) {
      o.epsg = d.epsg;
      o.crs_from = path;
    } else {
      err << diagnostic_line(
                 prefix,
                 diagnostic::warning(path, 0,
                                     "the coordinate system EPSG:" + std::to_string(*d.epsg) +
                                         " is not written: this tervox-view was built without GDAL "
                                         "(Debian: libgdal-dev)"))
          << std::flush;
    }
  }
  if (!o.name_given && !d.property.empty() && (find_option("--name")->commands & here) != 0) {
    o.name = variable_name(d.property);
    o.long_name = d.property;
  }
  if (!o.units_given && !d.unit.empty() && (find_option("--units")->commands & here) != 0)
    o.units = d.unit;
  // The pictures' axes and title: what the description knows, nothing
  // claimed where it says nothing.
  o.length_unit = d.length_unit;
  if (d.epsg)
    o.crs_name = d.crs_name.empty() ? "EPSG:" + std::to_string(*d.epsg) : d.crs_name;
}

[[noreturn]] void lacks(std::string_view what, const missing_library& l) {
  throw diagnostic_error(concat({what, " needs ", l.library,
                                 ", which this tervox-view was built without; build it where ",
                                 l.library, " is installed (Debian: ", l.package, ")"}));
}

void run_command(options o, std::ostream& err) {
  const command_row& c = row_of(o.what);
  if (c.run == nullptr)
    lacks(concat({"the ", c.name, " command"}), c.needs);
  if (o.epsg && !TERVOX_VIEW_GDAL)
    lacks("--crs", {"GDAL", "libgdal-dev"});
  std::string description_path = o.volume + ".json";
  for (const std::string* input : {&o.volume, &o.mesh_path, &o.soundings, &description_path}) {
    if (!input->empty() && same_file(o.output, *input)) {
      throw diagnostic_error(output_is_input(o.output, "input file", *input));
    }
  }
  // Commands that take none of its defaults (vtr) do not read it.
  const unsigned takers = find_option("--crs")->commands | find_option("--name")->commands |
                          find_option("--units")->commands;
  if ((takers & on({o.what})) != 0) {
    if (const std::optional<description> d = description_beside(o.volume))
      take_defaults(o, *d, err);
  }
  const mesh m = read_mesh(o.mesh_path);
  if (m.cells() == 0) {
    throw diagnostic_error(diagnostic::at_line(m.path, 1,
                                               "the grid has no cells (" + std::to_string(m.nx) +
                                                   " x " + std::to_string(m.ny) +
                                                   "); there is nothing to show"));
  }
  check_volume_size(o.volume, m);
  c.run(o, m, err);
}

}  // namespace

exit_status run(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << usage_text();
    for (const command_row& c : command_rows) {
      if (c.run == nullptr)
        out << "\nThis build has no " << c.name << " command: it needs " << c.needs.library
            << " (Debian: " << c.needs.package << ").";
    }
    if (!TERVOX_VIEW_GDAL)
      out << "\nThis build takes no --crs, nor the coordinate system of VOLUME.json: it needs "
             "GDAL (Debian: libgdal-dev).";
    if (!TERVOX_VIEW_NETCDF || !TERVOX_VIEW_GDAL)
      out << "\n";
    return exit_status::success;
  }
  install_output_cleanup();
  try {
    run_command(parse(args), err);
  } catch (const usage_error& e) {
    // The fault, and where the usage is: 25 lines of it would bury the one
    // line that says what is wrong.
    err << prefix << e.text << "\n" << help_pointer;
    return exit_status::usage;
  } catch (const diagnostic_error& e) {
    err << diagnostic_line(prefix, e.details());
    return exit_status::failure;
  } catch (const std::bad_alloc&) {
    err << prefix << "out of memory\n";
    return exit_status::failure;
  } catch (const std::exception& e) {
    err << prefix << e.what() << "\n";
    return exit_status::failure;
  }
  return exit_status::success;
}

}  // namespace tervox::view
