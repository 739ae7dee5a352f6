#include "view_run.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <ostream>
#include <vector>

#include "base/diagnostic.hpp"
#include "base/files.hpp"
#include "base/output_file.hpp"
#include "colour.hpp"
#include "formats/decimal.hpp"
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

constexpr std::string_view usage_text =
    "usage: tervox-view slice VOLUME --layer K -o OUT.png|svg|pdf [--soundings FILE]\n"
    "                   [picture options]\n"
    "       tervox-view section VOLUME (--row IY | --column IX) -o OUT.png|svg|pdf\n"
    "                   [--height PIXELS] [picture options]\n"
    "       tervox-view vtr VOLUME -o OUT.vtr\n"
    "       tervox-view netcdf VOLUME -o OUT.nc [--crs EPSG:n] [--name NAME] [--units TEXT]\n"
    "       tervox-view geotiff VOLUME (--layer K | --all-layers) -o OUT.tif [--crs EPSG:n]\n"
    "\n"
    "  --mesh FILE          the mesh file of VOLUME (default: VOLUME.mesh), for every command\n"
    "  --soundings FILE     draw the sounding locations of FILE as dots\n"
    "  --height PIXELS      the depth of a section's drawing (default: 300)\n"
    "  --crs EPSG:n         the coordinate reference system of x and y\n"
    "  --name NAME          the name of the values in the NetCDF file (default: value)\n"
    "  --units TEXT         the units of the values (\"ohm m\"); in a picture, the label\n"
    "                       of the colour bar\n"
    "  --all-layers         every layer, one band each\n"
    "picture options:\n"
    "  --scale auto|linear|log\n"
    "                       the colour scale; auto (the default) is logarithmic when\n"
    "                       every value is positive and the largest is at least 100\n"
    "                       times the smallest, over the whole volume\n"
    "  --range MIN MAX      the values at the two ends of the colour bar (default: the\n"
    "                       smallest and largest value shown)\n"
    "  --cell-pixels N      pixels per cell (default: up to 16, keeping the drawing\n"
    "                       within about 600 pixels)\n";

constexpr std::string_view prefix = "tervox-view: ";

struct usage_error {
  std::string text;
};

enum class command { slice, section, vtr, netcdf, geotiff };

// What a command needs from outside the standard library, where this build
// lacks it: the library and the Debian package that brings it.
struct missing_library {
  const char* library;
  const char* package;
};

std::optional<missing_library> lacking(command c) {
  switch (c) {
    case command::netcdf:
#if TERVOX_VIEW_NETCDF
      return std::nullopt;
#else
      return missing_library{"the netCDF C library", "libnetcdf-dev"};
#endif
    case command::geotiff:
#if TERVOX_VIEW_GDAL
      return std::nullopt;
#else
      return missing_library{"GDAL", "libgdal-dev"};
#endif
    case command::slice:
    case command::section:
#if TERVOX_VIEW_CAIRO
      return std::nullopt;
#else
      return missing_library{"cairo", "libcairo2-dev"};
#endif
    case command::vtr:
      return std::nullopt;
  }
  return std::nullopt;
}

const std::map<std::string, command>& command_names() {
  static const std::map<std::string, command> names{{"slice", command::slice},
                                                    {"section", command::section},
                                                    {"vtr", command::vtr},
                                                    {"netcdf", command::netcdf},
                                                    {"geotiff", command::geotiff}};
  return names;
}

struct options {
  command what = command::slice;
  std::string volume, output, mesh_path, soundings;
  std::optional<int> layer, row, column, epsg;
  bool all_layers = false;
  int cell_pixels = 0;
  int height = 300;
  scale_kind scale = scale_kind::automatic;
  std::optional<value_range> range;
  std::string name = "value", units;
  std::string command_line;  ///< as given, for the files that record it
};

int positive_int(const std::string& option, const std::string& text) {
  int v = 0;
  if (to_int(text, v) != conversion::ok || v < 1)
    throw usage_error{option + " needs a whole number of 1 or more, got '" + text + "'"};
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

options parse(std::span<const std::string> args) {
  if (args.empty())
    throw usage_error{"no command"};
  options o;
  const auto c = command_names().find(args[0]);
  if (c == command_names().end())
    throw usage_error{"unknown command '" + args[0] + "'"};
  o.what = c->second;
  for (const std::string& a : args)
    o.command_line += a.find_first_of(" \"'") == std::string::npos ? " " + a : " '" + a + "'";

  // The options each command takes, with the number of values each has;
  // -1 where the command takes none.
  const auto on = [&](std::initializer_list<command> commands, int values) {
    for (const command k : commands) {
      if (k == o.what)
        return values;
    }
    return -1;
  };
  const auto slice = command::slice, section = command::section, netcdf = command::netcdf,
             geotiff = command::geotiff, vtr = command::vtr;
  const std::map<std::string, int> taken{
      {"-o", 1},
      {"--mesh", 1},
      {"--layer", on({slice, geotiff}, 1)},
      {"--all-layers", on({geotiff}, 0)},
      {"--soundings", on({slice}, 1)},
      {"--row", on({section}, 1)},
      {"--column", on({section}, 1)},
      {"--height", on({section}, 1)},
      {"--scale", on({slice, section}, 1)},
      {"--cell-pixels", on({slice, section}, 1)},
      {"--crs", on({netcdf, geotiff}, 1)},
      {"--name", on({netcdf}, 1)},
      {"--units", on({netcdf, slice, section}, 1)},
      {"--range", on({slice, section}, 2)},
  };
  (void)vtr;
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
    if (t->second < 0)
      throw usage_error{"the " + args[0] + " command takes no " + name};
    if (t->second == 0) {
      if (value)
        throw usage_error{name + " takes no value"};
      value = "";
    } else if (t->second == 2) {
      // Two values, each an argument of its own ("--range -5 5").
      if (value || i + 2 >= args.size())
        throw usage_error{name + " needs two values"};
      value = args[i + 1] + "\n" + args[i + 2];
      i += 2;
    } else if (!value) {
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
  if (given.contains("--crs"))
    o.epsg = epsg_code(given["--crs"]);
  o.all_layers = given.contains("--all-layers");
  if (given.contains("--units"))
    o.units = given["--units"];
  if (given.contains("--name")) {
    o.name = given["--name"];
    if (!usable_variable_name(o.name)) {
      throw usage_error{
          "--name needs a letter and then letters, digits or '_', other than the "
          "names of the coordinates, got '" +
          o.name + "'"};
    }
  }
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
  if (given.contains("--range")) {
    const std::string& r = given["--range"];
    const std::string lo = r.substr(0, r.find('\n')), hi = r.substr(r.find('\n') + 1);
    value_range v;
    if (to_real(lo, v.lo) != conversion::ok || to_real(hi, v.hi) != conversion::ok ||
        !std::isfinite(v.lo) || !std::isfinite(v.hi) || !(v.lo < v.hi))
      throw usage_error{"--range needs two numbers MIN MAX with MIN < MAX, got '" + lo + "' '" +
                        hi + "'"};
    o.range = v;
  }
  if (o.what == command::slice || o.what == command::section) {
    const std::string& out = o.output;
    const auto dot = out.rfind('.');
    std::string ext = dot == std::string::npos ? "" : out.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    if (ext != ".png" && ext != ".svg" && ext != ".pdf")
      throw usage_error{"a picture is written as .png, .svg or .pdf, got '" + out + "'"};
  }
  if (o.what == command::slice && !o.layer)
    throw usage_error{"a slice needs --layer K"};
  if (o.what == command::section && o.row.has_value() == o.column.has_value())
    throw usage_error{"a section needs one of --row IY and --column IX"};
  if (o.what == command::geotiff && o.layer.has_value() == o.all_layers)
    throw usage_error{"a GeoTIFF needs one of --layer K and --all-layers"};
  return o;
}

// "file: ", the start of the context a drawing's diagnostics are given.
std::string where(std::string_view file) {
  return concat({file, ": "});
}

void check_range(const mesh& m, const char* what, int value, int count, const char* axis) {
  if (value > count) {
    throw diagnostic_error(
        diagnostic::in_file(m.path, what + std::string(" ") + std::to_string(value) +
                                        " is out of range: the mesh has " + std::to_string(count) +
                                        " " + axis + " (1 to " + std::to_string(count) + ")"));
  }
}

[[maybe_unused]] std::vector<std::pair<double, double>> read_locations(const std::string& path) {
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

#if TERVOX_VIEW_CAIRO
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
  p.cell_pixels = o.cell_pixels;
  p.height = o.height;
  p.format = format_of(o.output);
  p.what = std::move(what);
  return p;
}

void slice(const options& o, const mesh& m) {
  check_range(m, "layer", *o.layer, m.nlayer, "layers");
  const std::vector<std::pair<double, double>> dots =
      o.soundings.empty() ? std::vector<std::pair<double, double>>{} : read_locations(o.soundings);
  std::vector<float> values(static_cast<std::size_t>(m.cells()));
  const auto nx = static_cast<std::size_t>(m.nx);
  const auto k = static_cast<std::size_t>(*o.layer - 1);
  volume_extent extent;
  read_volume(o.volume, m, volume_request::everything(m),
              [&](int ix, int iy, bool, std::span<const float> v) {
                extent.add(v);
                values[static_cast<std::size_t>(iy - 1) * nx + static_cast<std::size_t>(ix - 1)] =
                    v[k];
              });
  const picture_options p =
      picture(o, extent, where(o.volume) + "layer " + std::to_string(*o.layer) + ": ");
  draw_slice(m, *o.layer, values, dots, p)->save(o.output);
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
std::optional<crs_info> crs_of(const options& o) {
  if (!o.epsg)
    return std::nullopt;
  return look_up_crs(*o.epsg);
}
#endif

// A grid file, whichever its format.
template <grid_writer write>
void run_grid(const options& o, const mesh& m) {
  if (o.layer)
    check_range(m, "layer", *o.layer, m.nlayer, "layers");
  grid_options g;
  g.layer = o.layer.value_or(0);
  g.name = o.name;
  g.units = o.units;
#if TERVOX_VIEW_GDAL
  g.crs = crs_of(o);
#endif
  g.history = "tervox-view" + o.command_line;
  write(o.output, o.volume, m, g);
}

[[noreturn]] void lacks(const std::string& what, const missing_library& l) {
  throw diagnostic_error(what + " needs " + l.library +
                         ", which this tervox-view was built without; " + "build it where " +
                         l.library + " is installed (Debian: " + l.package + ")");
}

void run_command(const options& o) {
  const auto name = [&] {
    for (const auto& [n, c] : command_names()) {
      if (c == o.what)
        return n;
    }
    return std::string{};
  };
  if (const auto l = lacking(o.what))
    lacks("the " + name() + " command", *l);
  if (o.epsg && !TERVOX_VIEW_GDAL)
    lacks("--crs", {"GDAL", "libgdal-dev"});
  for (const std::string* input : {&o.volume, &o.mesh_path, &o.soundings}) {
    if (!input->empty() && same_file(o.output, *input)) {
      throw diagnostic_error(output_is_input(o.output, "input file", *input));
    }
  }
  const mesh m = read_mesh(o.mesh_path);
  if (m.cells() == 0) {
    throw diagnostic_error(diagnostic::at_line(m.path, 1,
                                               "the grid has no cells (" + std::to_string(m.nx) +
                                                   " x " + std::to_string(m.ny) +
                                                   "); there is nothing to show"));
  }
  check_volume_size(o.volume, m);
  switch (o.what) {
    case command::slice:
    case command::section:
#if TERVOX_VIEW_CAIRO
      return o.what == command::slice ? slice(o, m) : section(o, m);
#else
      break;
#endif
    case command::vtr:
      return run_grid<write_vtr>(o, m);
    case command::netcdf:
#if TERVOX_VIEW_NETCDF
      return run_grid<write_netcdf>(o, m);
#else
      break;
#endif
    case command::geotiff:
#if TERVOX_VIEW_GDAL
      return run_grid<write_geotiff>(o, m);
#else
      break;
#endif
  }
}

}  // namespace

exit_status run(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << usage_text;
    for (const auto& [name, c] : command_names()) {
      if (const auto l = lacking(c))
        out << "\nThis build has no " << name << " command: it needs " << l->library
            << " (Debian: " << l->package << ").";
    }
    if (!TERVOX_VIEW_GDAL)
      out << "\nThis build takes no --crs: it needs GDAL (Debian: libgdal-dev).";
    if (!TERVOX_VIEW_NETCDF || !TERVOX_VIEW_GDAL)
      out << "\n";
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
