// The texts tervox prints, apart from the diagnostics of the file formats
// (base/diagnostic.hpp), which share their wording with tervox-view.
//
// Two kinds of output:
//   * the tool's four messages, on standard output, each line starting with
//     one blank (users and scripts match these exact lines);
//   * diagnostics, on standard error, prefixed "tervox: " by run() alone and
//     naming the file (and where it helps the line or the value) concerned.
#pragma once

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/diagnostic.hpp"

namespace tervox::driver::messages {

using base::concat;
using base::diagnostic;
using base::quoted;

// --- The tool's own messages (standard output, after one blank) -----------

inline constexpr std::string_view usage_line = "Usage:  tervox  infile outfile dx dy  log";
inline constexpr std::string_view usage_log_line = "log: =1 to work with log(data)";
inline constexpr std::string_view too_few_soundings = "Error: need more than 2 soundings.";
inline constexpr std::string_view collinear = "Error: points are collinear.";

inline std::string not_found(std::string_view infile) {
  return concat({"Error: ", infile, " not found."});
}

/// What --help prints after the usage lines.
inline std::string help(std::string_view options) {
  return concat({R"(
tervox grids a file of soundings (x, y and one value per layer) onto a regular
3-D grid: it triangulates the sounding locations, interpolates every layer at
the centre of every cell, and writes the volume file and its mesh file.

Arguments:
  infile      the soundings file: three header lines (number of layers, layer
              thicknesses, number of soundings), a line of column headings,
              then one record per sounding: x y value1 value2 ...; or a survey
              file as delivered: an XYZ export, ASEG-GDF2 (.dat or .dfn), a
              headed CSV or blank-separated table, its columns found by name
  outfile     the volume file to write, one value per line; the grid is
              described in the mesh file outfile.mesh
  dx dy       the cell sizes along x and y, in the units of the coordinates
  log         1: interpolate the logarithm of the values; any other integer:
              the values themselves

Options (before or after the arguments; -- ends them):
)",
                 options});
}

inline constexpr std::string_view version_line = "tervox " TERVOX_VERSION "\n";

/// Why an input that is there cannot be read, from the errno of its open;
/// "" where "not found" says it all (no such file, a path through a file).
inline std::string_view unreadable_reason(int error) {
  switch (error) {
    case 0:
    case ENOENT:
    case ENOTDIR:
      return {};
    case EISDIR:
      return "is a folder";
    case EACCES:
    case EPERM:
      return "permission denied";
    default:
      return std::strerror(error);
  }
}

/// One line of standard output as the tool prints it: a blank, the text, a
/// line end.
inline std::string console_line(std::string_view text) {
  return concat({" ", text, "\n"});
}

// --- Diagnostics (standard error) ------------------------------------------

inline constexpr std::string_view prefix = "tervox: ";

/// A fault in words, with no file and line of its own.
inline diagnostic fault(std::string text) {
  return diagnostic::plain(std::move(text));
}

/// The grid's cell count along one axis does not fit a signed 32-bit integer.
/// `quotient` is the count before truncation.
inline diagnostic grid_too_large(char axis, double quotient, double cell_size) {
  char text[160];
  std::snprintf(text, sizeof text,
                "the grid needs %.6g cells along %c (d%c = %.9g), more than a 32-bit count "
                "holds; use a larger cell size",
                quotient, axis, axis, cell_size);
  return fault(text);
}

/// A size in bytes as people read it: "730 bytes", "1.37 GB", "432 TB"
/// (decimal units, three significant digits).
inline std::string byte_size(double bytes) {
  if (bytes < 1000)
    return concat({std::to_string(static_cast<long long>(bytes)), " bytes"});
  static constexpr const char* units[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
  std::size_t u = 0;
  bytes /= 1000;
  while (bytes >= 999.5 && u + 1 < std::size(units)) {
    bytes /= 1000;
    ++u;
  }
  char text[48];
  std::snprintf(text, sizeof text, "%.3g %s", bytes, units[u]);
  return text;
}

/// The grid, as the size check and the progress line describe it.
inline std::string grid_size(std::int64_t nx, std::int64_t ny, int nlayer) {
  return concat({std::to_string(nx), " x ", std::to_string(ny), " cells, ", std::to_string(nlayer),
                 nlayer == 1 ? " layer" : " layers"});
}

/// The shortest text that reads back as the same float: a cell size as the
/// user wrote it, not its binary expansion.
inline std::string shortest(float v) {
  char text[32];
  const auto r = std::to_chars(text, text + sizeof text, v);
  return {text, r.ptr};
}

/// Two sizes as byte_size writes them, or in bytes where those would read
/// alike, so that a file a little beyond a limit does not read as its equal.
inline std::pair<std::string, std::string> byte_sizes(std::uint64_t a, std::uint64_t b) {
  std::string first = byte_size(static_cast<double>(a));
  std::string second = byte_size(static_cast<double>(b));
  if (a != b && first == second) {
    first = concat({std::to_string(a), " bytes"});
    second = concat({std::to_string(b), " bytes"});
  }
  return {std::move(first), std::move(second)};
}

/// The volume's size in a diagnostic: "2.4 kB", or "up to 2.4 kB" where the
/// size is an upper bound.
inline std::string volume_size_text(std::string_view size, bool exact) {
  return exact ? std::string(size) : concat({"up to ", size});
}

/// The volume cannot fit where it is to be written: it needs `size` ("at
/// least 394 TB" where every value is counted in the short form), more than
/// `room` says ("the 77.5 GB free on the file system of 'out.vol'").
inline diagnostic volume_too_large(const std::string& grid, std::string_view size,
                                   std::string_view room, float dx, float dy) {
  return fault(
      concat({"the grid (", grid, ") needs a volume file of ", size, ", more than ", room,
              "; use a larger cell size than dx = ", shortest(dx), ", dy = ", shortest(dy)}));
}

/// The volume fits the free space, but would leave less of it than a run
/// keeps free: `left` of `free` bytes, less than `keep`, which is 1 GiB
/// where `floor` says so, else 5% of the file system.
inline diagnostic volume_leaves_too_little(const std::string& grid, std::uint64_t bytes, bool exact,
                                           std::uint64_t left, std::uint64_t free,
                                           std::uint64_t keep, bool floor, std::string_view outfile,
                                           float dx, float dy) {
  const auto [left_text, keep_text] = byte_sizes(left, keep);
  return fault(
      concat({"the grid (", grid, ") needs a volume file of ",
              volume_size_text(byte_size(static_cast<double>(bytes)), exact),
              "; writing it would leave ", left_text, " of the ",
              byte_size(static_cast<double>(free)), " free on the file system of ", quoted(outfile),
              ", less than the ", keep_text, floor ? " (1 GiB)" : " (5% of the file system)",
              " that tervox leaves free; use a larger cell size than dx = ", shortest(dx),
              ", dy = ", shortest(dy)}));
}

/// A length or coordinate difference to three significant digits, without
/// an exponent for the sizes surveys have ("0.52", "1000", "123457").
inline std::string approximate(double v) {
  char text[48];
  const double magnitude = v < 0 ? -v : v;
  std::snprintf(text, sizeof text, magnitude >= 100 && magnitude < 1e9 ? "%.0f" : "%.3g", v);
  return text;
}

/// The soundings' extent along x and y.
struct extent {
  float xlo = 0, xhi = 0, ylo = 0, yhi = 0;
};

/// The grid has no cells along x, along y or both (`none_along_x`,
/// `none_along_y`): the soundings span less than a fifth of a cell there.
/// `degrees` adds the likely cause: coordinates in degrees, cells in metres.
inline diagnostic grid_without_cells(const extent& e, float dx, float dy, bool none_along_x,
                                     bool none_along_y, bool degrees) {
  const bool both = none_along_x && none_along_y;
  const std::string sizes = both ? concat({"dx = ", shortest(dx), ", dy = ", shortest(dy)})
                            : none_along_x ? concat({"dx = ", shortest(dx)})
                                           : concat({"dy = ", shortest(dy)});
  return fault(concat({"the grid has no cells: the soundings span ",
                       approximate(static_cast<double>(e.xhi) - static_cast<double>(e.xlo)), " x ",
                       approximate(static_cast<double>(e.yhi) - static_cast<double>(e.ylo)), " (x ",
                       shortest(e.xlo), " to ", shortest(e.xhi), ", y ", shortest(e.ylo), " to ",
                       shortest(e.yhi), "), less than a fifth of a cell of ", shortest(dx), " x ",
                       shortest(dy), both ? "" : (none_along_x ? " along x" : " along y"), "; ",
                       degrees ? "are the coordinates degrees? use a cell size in their units"
                               : concat({"use a smaller cell size than ", sizes})}));
}

/// The temporary files of killed runs that a run removed from its output
/// folder (`folder`: "" or the folder with its '/'): the count, and the
/// first few by name.
inline diagnostic stale_temporaries_removed(std::string_view folder,
                                            const std::vector<std::string>& names) {
  constexpr std::size_t named = 5;
  std::string list;
  for (std::size_t i = 0; i < names.size() && i < named; ++i)
    list += concat({i > 0 ? ", " : "", quoted(concat({folder, names[i]}))});
  if (names.size() > named)
    list += concat({" and ", std::to_string(names.size() - named), " more"});
  return diagnostic::warning({}, 0,
                             concat({"removed ", std::to_string(names.size()),
                                     names.size() == 1 ? " temporary file" : " temporary files",
                                     " left by killed tervox runs: ", list}));
}

inline diagnostic output_is_input(std::string_view output, std::string_view input) {
  return base::output_is_input(output, "soundings file", input);
}

inline diagnostic triangulation_broken(std::string_view infile) {
  return fault(concat({quoted(infile),
                       ": the triangulation of the soundings broke down (the construction "
                       "exceeded its bounds, or soundings so nearly on one line that single "
                       "precision misjudged their side left it with a clockwise or flat "
                       "triangle)"}));
}

inline diagnostic spread_too_wide(std::string_view infile) {
  return fault(concat({quoted(infile),
                       ": the soundings' coordinates are spread wider than single precision "
                       "can order, and their first triangles would come out wrong; subtract a "
                       "common origin from x and y, or leave out the outlying soundings"}));
}

inline diagnostic location_broken(std::string_view infile) {
  return fault(concat({quoted(infile),
                       ": point location in the triangulation of the soundings broke down "
                       "(a walk exceeded its bounds); no volume file was written"}));
}

inline diagnostic bad_thread_count(std::string_view setting) {
  return fault(
      concat({"TERVOX_THREADS must be a positive whole number of threads, got ", quoted(setting)}));
}

inline diagnostic out_of_memory(std::string_view array, std::int64_t entries) {
  return fault(concat(
      {"cannot create array ", array, " (", std::to_string(entries), " entries): out of memory"}));
}

inline constexpr std::string_view out_of_memory_text = "out of memory";

// --- Warnings about the values read (standard error; the run goes on) ------

/// `count` layer values equal `mark`, a common mark of "no value", and no
/// --nodata was given; the first is layer `layer` of sounding `sounding`,
/// on line `line` of `file`.
inline diagnostic no_value_marks_read(std::string_view file, std::int64_t line, std::int64_t count,
                                      std::string_view mark, int sounding, int layer) {
  const std::string where =
      concat({"layer ", std::to_string(layer), " of sounding ", std::to_string(sounding)});
  return diagnostic::warning(
      std::string(file), line,
      concat({std::to_string(count), count == 1 ? " layer value is " : " layer values are ", mark,
              count == 1 ? concat({" (", where, ") and is"})
                         : concat({" (the first is ", where, ") and are"}),
              " interpolated like any other; if ", mark, " marks missing values, give --nodata ",
              mark}));
}

/// `count` depths of investigation are `mark`, a value surveys write for
/// "no value"; the first is that of sounding `sounding`, on line `line` of
/// `file`. Taken as depths, negative marks blank every layer near them and
/// positive ones none.
inline diagnostic no_value_marks_as_depths(std::string_view file, std::int64_t line,
                                           std::int64_t count, std::string_view mark, bool negative,
                                           int sounding) {
  const std::string whose = concat({"that of sounding ", std::to_string(sounding)});
  const bool one = count == 1;
  return diagnostic::warning(
      std::string(file), line,
      concat({std::to_string(count),
              one ? " depth of investigation is " : " depths of investigation are ", mark,
              one ? concat({" (", whose, ") and is taken as a depth: it blanks "})
                  : concat({" (the first is ", whose, ") and are taken as depths: they blank "}),
              negative ? "every layer" : "no layer", " in the cells around ", one ? "it" : "them",
              "; if ", mark, " marks missing values, give --nodata ", mark}));
}

/// In log mode, `count` layer values are zero or negative; the first is
/// `first`, layer `layer` of sounding `sounding`, on line `line` of `file`.
inline diagnostic not_positive_in_log_mode(std::string_view file, std::int64_t line,
                                           std::int64_t count, float first, int sounding,
                                           int layer) {
  const std::string where = concat({shortest(first), ", layer ", std::to_string(layer),
                                    " of sounding ", std::to_string(sounding)});
  return diagnostic::warning(
      std::string(file), line,
      concat({std::to_string(count),
              count == 1 ? concat({" layer value is zero or negative (", where,
                                   "); in log mode its logarithm, -Infinity or NaN, spreads "
                                   "into the cells around it; if it marks a missing value, "
                                   "give that value with --nodata"})
                         : concat({" layer values are zero or negative (the first is ", where,
                                   "); in log mode their logarithms, -Infinity or NaN, "
                                   "spread into the cells around them; if they mark missing "
                                   "values, give that value with --nodata"})}));
}

// --- Warnings about layers --skip-missing cannot grid --------------------

/// "layer 7", "layers 7 and 9", "layers 7, 8 and 12": the layers, from 1.
inline std::string layer_list(const std::vector<int>& layers) {
  std::string text = layers.size() == 1 ? "layer " : "layers ";
  for (std::size_t i = 0; i < layers.size(); ++i) {
    if (i > 0)
      text += i + 1 == layers.size() ? " and " : ", ";
    text += std::to_string(layers[i]);
  }
  return text;
}

/// The layers have values at only `count` (below 3) soundings of `file`.
inline diagnostic too_few_values(std::string_view file, std::string_view subject, bool one,
                                 std::int64_t count) {
  const std::string has = one ? " has" : " have";
  const std::string what =
      count == 0 ? concat({has, " no value at any sounding"})
                 : concat({has, " values at only ", std::to_string(count),
                           count == 1 ? " sounding" : " soundings", ", too few for a triangle"});
  return diagnostic::warning(
      std::string(file), 0,
      concat({subject, what, "; with --skip-missing ", one ? "it is" : "they are",
              " NaN in every cell inside the soundings' hull"}));
}

inline diagnostic too_few_values(std::string_view file, const std::vector<int>& layers,
                                 std::int64_t count) {
  return too_few_values(file, layer_list(layers), layers.size() == 1, count);
}

/// The `count` soundings of `file` with values in the layers lie on one line.
inline diagnostic values_on_one_line(std::string_view file, std::string_view subject, bool one,
                                     std::int64_t count) {
  return diagnostic::warning(
      std::string(file), 0,
      concat({"the ", std::to_string(count), " soundings with values in ", subject,
              " lie on one line; with --skip-missing ", one ? "it is" : "they are",
              " NaN in every cell inside the soundings' hull"}));
}

inline diagnostic values_on_one_line(std::string_view file, const std::vector<int>& layers,
                                     std::int64_t count) {
  return values_on_one_line(file, layer_list(layers), layers.size() == 1, count);
}

}  // namespace tervox::driver::messages
