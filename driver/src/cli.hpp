// The command line: options, five values, infile outfile dx dy log, and
// options again if the user adds them at the end.
//
//   tervox [options] infile outfile dx dy log [options]
//
// Options start with "--"; "--" alone ends them, so that an input named "--x"
// can still be given, and after it every argument is a value. An option that
// takes a value has it in the next argument or after "=" ("--name V",
// "--name=V"). An option after the five values counts as if it came before
// them, as with most tools; among the five, a word that starts with "--" is a
// value, so that every name accepted before options could follow still is.
//
// With five or more arguments after the leading options, each is one value
// exactly as the shell delivered it: tervox "my survey.txt" out.vol 25 25 1
// works, and the arguments after the first five are the trailing ones. With
// fewer, the arguments are joined by single blanks into one text, which is
// split into values at blanks, tabs and commas (a run of them is one
// separator, so "a, b" and "a,b" and "a  b" are alike), as older command
// lines such as tervox in.txt,out.vol,25,25,1 expect; there the values after
// the first five are the trailing ones (tervox in.txt,out.vol,25,25,1
// --max-distance 600). A double-quoted part of a value keeps its blanks and
// commas and loses its quotes. A slash is an ordinary character, since file
// names have folders. A trailing argument that is no option is ignored, with
// a warning.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/delivered.hpp"

namespace tervox::driver {

struct arguments {
  std::string infile;   ///< the soundings file
  std::string outfile;  ///< the volume file; the mesh file is outfile + ".mesh"
  float dx = 0;         ///< cell size along x: positive and finite
  float dy = 0;         ///< cell size along y
  int log = 0;          ///< exactly 1 selects interpolation of log(data)
  // Options
  float max_distance = 0;       ///< cells farther from every sounding are filled; 0: no limit
  std::optional<float> nodata;  ///< the value that marks a missing value
  bool doi = false;             ///< records end with a depth of investigation
  bool elevation = false;       ///< the ground elevation is gridded into outfile + ".elevation"
  bool skip_missing = false;    ///< each layer from the soundings with a value in it
  // Options for the survey files in the forms surveys deliver them
  // (formats/delivered.hpp)
  std::optional<formats::survey_format> format;  ///< --format; nullopt: the file's content decides
  formats::column_choices columns;               ///< --x, --y, --values, ..., --thicknesses
  std::optional<int> crs_epsg;                   ///< --crs EPSG:n
  /// The options given that only a delivered file takes, in the order given,
  /// so that a soundings file can refuse them by name.
  std::vector<std::string> delivered_only;
};

/// What a command line asks for.
///   run      grid `args`, after printing `warnings` (the text of each, to
///            follow "warning: ") on standard error;
///   help     print the usage and the description of arguments and options;
///   version  print the version;
///   refused  print the usage lines, and `problem` (when not empty) on
///            standard error: the argument or option at fault and why.
struct command_line {
  enum class request { run, help, version, refused };
  request what = request::refused;
  arguments args;
  std::string problem;
  std::vector<std::string> warnings;
};

/// Reads the command line (the arguments after the program name).
command_line read_command_line(std::span<const std::string> args);

/// The options, one line each, for the help text.
std::string option_help();

/// The values of the command-line text, or nullopt when a double quote is
/// left open.
std::optional<std::vector<std::string>> split_values(std::string_view text);

/// A real in the usual decimal forms (sign, digits, point, exponent with e, E,
/// d or D), rounded once to single precision; nullopt for anything else.
/// Magnitudes beyond single precision give an infinity, as the rounding does.
std::optional<float> parse_real(std::string_view text);

/// An optionally signed decimal integer that fits 32 bits; nullopt otherwise.
std::optional<int> parse_integer(std::string_view text);

}  // namespace tervox::driver
