#include "view_run.hpp"

#include <fstream>
#include <map>
#include <optional>
#include <ostream>
#include <vector>

#include "formats/decimal.hpp"
#include "formats/diagnostic.hpp"
#include "formats/files.hpp"
#include "formats/mesh_file.hpp"
#include "formats/output_file.hpp"
#include "formats/soundings.hpp"
#include "formats/volume_file.hpp"
#include "pictures.hpp"
#include "png_file.hpp"
#include "vtr_file.hpp"

namespace tervox::view {
namespace {

constexpr std::string_view usage_text =
    "usage: tervox-view slice VOLUME --layer K -o OUT.png [--soundings FILE] [picture options]\n"
    "       tervox-view section VOLUME (--row IY | --column IX) -o OUT.png [--height PIXELS]\n"
    "                   [picture options]\n"
    "       tervox-view vtr VOLUME -o OUT.vtr [--mesh FILE]\n"
    "\n"
    "  --mesh FILE          the mesh file of VOLUME (default: VOLUME.mesh)\n"
    "  --soundings FILE     draw the sounding locations of FILE as dots\n"
    "  --height PIXELS      the depth of a section's drawing (default: 300)\n"
    "picture options:\n"
    "  --scale auto|linear|log\n"
    "                       the colour scale; auto (the default) is logarithmic when\n"
    "                       every value is positive and the largest is at least 100\n"
    "                       times the smallest\n"
    "  --cell-pixels N      pixels per cell (default: up to 16, keeping the drawing\n"
    "                       within about 600 pixels)\n";

constexpr std::string_view prefix = "tervox-view: ";

struct usage_error {
  std::string text;
};

enum class command { slice, section, vtr };

struct options {
  command what = command::slice;
  std::string volume, output, mesh_path, soundings;
  std::optional<int> layer, row, column;
  int cell_pixels = 0;
  int height = 300;
  scale_kind scale = scale_kind::automatic;
};

int positive_int(const std::string& option, const std::string& text) {
  int v = 0;
  if (to_int(text, v) != conversion::ok || v < 1)
    throw usage_error{option + " needs a whole number of 1 or more, got '" + text + "'"};
  return v;
}

options parse(std::span<const std::string> args) {
  if (args.empty())
    throw usage_error{"no command"};
  options o;
  const std::map<std::string, command> commands{
      {"slice", command::slice}, {"section", command::section}, {"vtr", command::vtr}};
  const auto c = commands.find(args[0]);
  if (c == commands.end())
    throw usage_error{"unknown command '" + args[0] + "'"};
  o.what = c->second;

  // The options each command takes; every one of them has a value.
  const bool picture = o.what != command::vtr;
  std::map<std::string, bool> taken{{"-o", true},
                                    {"--mesh", true},
                                    {"--layer", o.what == command::slice},
                                    {"--soundings", o.what == command::slice},
                                    {"--row", o.what == command::section},
                                    {"--column", o.what == command::section},
                                    {"--height", o.what == command::section},
                                    {"--scale", picture},
                                    {"--cell-pixels", picture}};
  std::map<std::string, std::string> given;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (name.starts_with("--") && name.find('=') != std::string::npos) {
      value = name.substr(name.find('=') + 1);
      name.resize(name.find('='));
    }
    if (!name.starts_with("-") || name == "-") {
      if (!o.volume.empty())
        throw usage_error{"more than one volume file: '" + o.volume + "' and '" + name + "'"};
      o.volume = name;
      continue;
    }
    if (name == "--output")
      name = "-o";
    const auto t = taken.find(name);
    if (t == taken.end())
      throw usage_error{"unknown option '" + name + "'"};
    if (!t->second)
      throw usage_error{"the " + args[0] + " command takes no " + name};
    if (!value) {
      if (i + 1 == args.size())
        throw usage_error{name + " needs a value"};
      value = args[++i];
    }
    if (given.contains(name))
      throw usage_error{name + " is given twice"};
    given[name] = *value;
  }
  if (o.volume.empty())
    throw usage_error{"no volume file"};
  if (!given.contains("-o") || given["-o"].empty())
    throw usage_error{"no output file (-o FILE)"};
  o.output = given["-o"];
  o.mesh_path = given.contains("--mesh") ? given["--mesh"] : o.volume + ".mesh";
  if (given.contains("--soundings"))
    o.soundings = given["--soundings"];
  if (given.contains("--layer"))
    o.layer = positive_int("--layer", given["--layer"]);
  if (given.contains("--row"))
    o.row = positive_int("--row", given["--row"]);
  if (given.contains("--column"))
    o.column = positive_int("--column", given["--column"]);
  if (given.contains("--height"))
    o.height = positive_int("--height", given["--height"]);
  if (given.contains("--cell-pixels"))
    o.cell_pixels = positive_int("--cell-pixels", given["--cell-pixels"]);
  if (given.contains("--scale")) {
    const std::string& s = given["--scale"];
    if (s == "auto")
      o.scale = scale_kind::automatic;
    else if (s == "linear")
      o.scale = scale_kind::linear;
    else if (s == "log")
      o.scale = scale_kind::log;
    else
      throw usage_error{"--scale is auto, linear or log, got '" + s + "'"};
  }
  if (o.what == command::slice && !o.layer)
    throw usage_error{"a slice needs --layer K"};
  if (o.what == command::section && o.row.has_value() == o.column.has_value())
    throw usage_error{"a section needs one of --row IY and --column IX"};
  return o;
}

// "file: ", the start of the context a drawing's diagnostics are given.
std::string where(std::string_view file) {
  return concat({file, ": "});
}

void check(const io_result& r) {
  if (!r.ok())
    throw diagnostic_error(r.problem);
}

void check_range(const mesh& m, const char* what, int value, int count, const char* axis) {
  if (value > count) {
    throw diagnostic_error(diagnostic{
        m.path,
        0,
        {},
        {},
        what + std::string(" ") + std::to_string(value) + " is out of range: the mesh has " +
            std::to_string(count) + " " + axis + " (1 to " + std::to_string(count) + ")"});
  }
}

std::vector<std::pair<double, double>> read_locations(const std::string& path) {
  std::ifstream in = open_input(path, "soundings file");
  survey s;
  const read_outcome r = read_soundings(in, path, s);
  switch (r.status) {
    case read_status::ok:
      break;
    case read_status::too_few_soundings:
      throw diagnostic_error({path, 0, {}, {}, "fewer than 3 soundings"});
    case read_status::bad_input:
      throw diagnostic_error(r.problem);
  }
  std::vector<std::pair<double, double>> dots;
  for (std::size_t i = 0; i < s.xloc.size(); ++i)
    dots.emplace_back(static_cast<double>(s.xloc[i]), static_cast<double>(s.yloc[i]));
  return dots;
}

void slice(const options& o, const mesh& m) {
  check_range(m, "layer", *o.layer, m.nlayer, "layers");
  const std::vector<std::pair<double, double>> dots =
      o.soundings.empty() ? std::vector<std::pair<double, double>>{} : read_locations(o.soundings);
  std::vector<float> values(static_cast<std::size_t>(m.cells()));
  const auto nx = static_cast<std::size_t>(m.nx);
  read_volume(o.volume, m, volume_request::everything(m, *o.layer),
              [&](int ix, int iy, bool, std::span<const float> v) {
                values[static_cast<std::size_t>(iy - 1) * nx + static_cast<std::size_t>(ix - 1)] =
                    v[0];
              });
  const picture_options p{o.scale, o.cell_pixels, o.height,
                          where(o.volume) + "layer " + std::to_string(*o.layer) + ": "};
  check(write_png(o.output, draw_slice(m, *o.layer, values, dots, p)));
}

void section(const options& o, const mesh& m) {
  const bool along_row = o.row.has_value();
  const int index = along_row ? *o.row : *o.column;
  if (along_row)
    check_range(m, "row", index, m.ny, "rows of cells");
  else
    check_range(m, "column", index, m.nx, "columns of cells");
  // Before the volume is read: the depths may be unknown.
  (void)layer_depths(m);
  volume_request request = volume_request::everything(m);
  if (along_row)
    request.iy_first = request.iy_last = index;
  else
    request.ix_first = request.ix_last = index;
  std::vector<float> values;
  read_volume(o.volume, m, request, [&](int, int, bool, std::span<const float> v) {
    values.insert(values.end(), v.begin(), v.end());
  });
  const picture_options p{
      o.scale, o.cell_pixels, o.height,
      where(o.volume) + (along_row ? "row " : "column ") + std::to_string(index) + ": "};
  check(write_png(o.output, draw_section(m, along_row, index, values, p)));
}

void vtr(const options& o, const mesh& m) {
  (void)layer_depths(m);
  const vtk_volume v = read_vtk_volume(o.volume, m);
  check(write_vtr(o.output, m, v));
}

void run_command(const options& o) {
  for (const std::string* input : {&o.volume, &o.mesh_path, &o.soundings}) {
    if (!input->empty() && same_file(o.output, *input)) {
      throw diagnostic_error(output_is_input(o.output, "input file", *input));
    }
  }
  const mesh m = read_mesh(o.mesh_path);
  if (m.cells() == 0) {
    throw diagnostic_error(diagnostic{m.path,
                                      1,
                                      {},
                                      {},
                                      "the grid has no cells (" + std::to_string(m.nx) + " x " +
                                          std::to_string(m.ny) + "); there is nothing to show"});
  }
  check_volume_size(o.volume, m);
  switch (o.what) {
    case command::slice:
      return slice(o, m);
    case command::section:
      return section(o, m);
    case command::vtr:
      return vtr(o, m);
  }
}

}  // namespace

exit_status run(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << usage_text;
    return exit_status::success;
  }
  install_output_cleanup();
  try {
    run_command(parse(args));
  } catch (const usage_error& e) {
    err << prefix << e.text << "\n" << usage_text;
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
