// Every text the program prints, in one place.
//
// Two kinds of output:
//   * the tool's four messages, on standard output, each line starting with
//     one blank (users and scripts match these exact lines);
//   * diagnostics, on standard error, prefixed "tervox: " and naming the
//     file (and where it helps the line or the value) concerned.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

namespace tervox::messages {

/// The parts joined. (Chains of operator+ on a temporary string trip a false
/// -Wrestrict of g++ 12 at -O2, which -Werror makes fatal.)
inline std::string concat(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (const auto part : parts) size += part.size();
  std::string text;
  text.reserve(size);
  for (const auto part : parts) text += part;
  return text;
}

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

/// A diagnostic line: the prefix, the text, a line end. A text that already
/// carries the prefix keeps it once.
inline std::string diagnostic(std::string_view text) {
  std::string line;
  if (!text.starts_with(prefix))
    line = prefix;
  line += text;
  if (!line.ends_with('\n'))
    line += '\n';
  return line;
}

inline std::string quoted(std::string_view name) {
  return concat({"'", name, "'"});
}

/// The grid's cell count along one axis does not fit a signed 32-bit integer.
/// `quotient` is the count before truncation.
inline std::string grid_too_large(char axis, double quotient, double cell_size) {
  char text[160];
  std::snprintf(text, sizeof text,
                "the grid needs %.6g cells along %c (d%c = %.9g), more than a 32-bit count "
                "holds; use a larger cell size",
                quotient, axis, axis, cell_size);
  return diagnostic(text);
}

inline std::string output_is_input(std::string_view output, std::string_view input) {
  return diagnostic(concat({"output file ", quoted(output), " is the soundings file ",
                            quoted(input), "; writing it would destroy the input"}));
}

inline std::string cannot_create(std::string_view path, std::string_view reason) {
  return diagnostic(concat({"cannot create ", quoted(path), ": ", reason}));
}

inline std::string cannot_write(std::string_view path, std::string_view reason) {
  return diagnostic(concat({"cannot write ", quoted(path), ": ", reason}));
}

inline constexpr std::string_view is_a_directory = "it is a directory";

inline std::string triangulation_broken(std::string_view infile) {
  return diagnostic(concat({quoted(infile),
                            ": the triangulation of the soundings broke down "
                            "(the construction exceeded its bounds)"}));
}

inline std::string location_broken(std::string_view infile) {
  return diagnostic(concat({quoted(infile),
                            ": point location in the triangulation of the soundings broke down "
                            "(a walk exceeded its bounds); no volume file was written"}));
}

inline std::string bad_thread_count(std::string_view setting) {
  return diagnostic(
      concat({"TERVOX_THREADS must be a positive whole number of threads, got ", quoted(setting)}));
}

inline std::string out_of_memory(std::string_view array, std::int64_t entries) {
  return diagnostic(concat(
      {"cannot create array ", array, " (", std::to_string(entries), " entries): out of memory"}));
}

inline constexpr std::string_view out_of_memory_text = "out of memory";

}  // namespace tervox::messages
