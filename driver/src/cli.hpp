// The command line: five values, infile outfile dx dy log.
//
// The arguments are joined by single blanks into one text, which is split
// into values at blanks, tabs and commas (a run of them is one separator, so
// "a, b" and "a,b" and "a  b" are alike). A double-quoted part of a value
// keeps its blanks and commas and loses its quotes: "my data.txt" is one
// value. A slash is an ordinary character, since file names have folders.
// The first five values are used and any further ones ignored.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tervox {

struct arguments {
  std::string infile;   ///< the soundings file
  std::string outfile;  ///< the volume file; the mesh file is outfile + ".mesh"
  float dx = 0;         ///< cell size along x (any value: zero and negative included)
  float dy = 0;         ///< cell size along y
  int log = 0;          ///< exactly 1 selects interpolation of log(data)
};

/// The values of the command-line text, or nullopt when a double quote is
/// left open.
std::optional<std::vector<std::string>> split_values(std::string_view text);

/// A real in the usual decimal forms (sign, digits, point, exponent with e, E,
/// d or D), rounded once to single precision; nullopt for anything else.
/// Magnitudes beyond single precision give an infinity, as the rounding does.
std::optional<float> parse_real(std::string_view text);

/// An optionally signed decimal integer that fits 32 bits; nullopt otherwise.
std::optional<int> parse_integer(std::string_view text);

/// The five arguments, or nullopt when the command line is to be refused with
/// the usage lines: fewer than five values, a dx or dy that is not a real
/// number, or a log that is not an integer.
std::optional<arguments> parse_command_line(std::span<const std::string> args);

}  // namespace tervox
