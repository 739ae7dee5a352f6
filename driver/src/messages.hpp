// The texts tervox prints, apart from the diagnostics of the file formats
// (formats/diagnostic.hpp), which share their wording with tervox-view.
//
// Two kinds of output:
//   * the tool's four messages, on standard output, each line starting with
//     one blank (users and scripts match these exact lines);
//   * diagnostics, on standard error, prefixed "tervox: " by run() alone and
//     naming the file (and where it helps the line or the value) concerned.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "formats/diagnostic.hpp"

namespace tervox::messages {

using tervox::concat;

// --- The tool's own messages (standard output, after one blank) -----------

inline constexpr std::string_view usage_line = "Usage:  tervox  infile outfile dx dy  log";
inline constexpr std::string_view usage_log_line = "log: =1 to work with log(data)";
inline constexpr std::string_view too_few_soundings = "Error: need more than 2 soundings.";
inline constexpr std::string_view collinear = "Error: points are collinear.";

inline std::string not_found(std::string_view infile) {
  return concat({"Error: ", infile, " not found."});
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
  return {{}, 0, {}, {}, std::move(text)};
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

inline diagnostic output_is_input(std::string_view output, std::string_view input) {
  return tervox::output_is_input(output, "soundings file", input);
}

inline diagnostic triangulation_broken(std::string_view infile) {
  return fault(concat({quoted(infile),
                       ": the triangulation of the soundings broke down "
                       "(the construction exceeded its bounds)"}));
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

}  // namespace tervox::messages
