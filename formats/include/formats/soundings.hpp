// The soundings file: a short labelled header, then one record per sounding.
//
//   line 1   three label words, then nlayer
//   line 2   three label words, then nlayer-1 layer thicknesses
//   line 3   three label words, then nsound
//   line 4   skipped whatever it holds (column headings)
//   then     per sounding: x, y, then nlayer values (layer 1 first), then
//            where asked for (read_options) the depth of investigation and
//            the ground elevation, in that order
//
// Each of these read statements starts on a new line, may run over several
// lines (blank lines included) and discards what is left of its last line.
// Anything after the last sounding is never read.
//
//   separators  blanks, tabs, carriage returns (so CRLF files read alike) and
//               line ends, with at most one comma among them. A further
//               comma, or one that opens a statement, is a null value.
//   texts       a label word is any unquoted run of characters up to a
//               separator or slash, or a text in '...' or "..." (a doubled
//               quote stands for one) that closes on its own line and may
//               hold blanks, commas and slashes. Label words may be null.
//   slash       ends the statement at once.
//   length      a value longer than 64 MiB is cut there (no value of the
//               format is that long; a file of NUL bytes has such a token).
//   n*v, n*     n copies of v, or n null values; n is 1 or more.
//   integers    an optional sign and decimal digits, within 32 bits.
//   reals       an optional sign, digits with an optional point, an optional
//               exponent with the letter e, E, d or D. x and y are converted
//               to double and rounded to float once; other reals convert
//               straight to float. A decimal beyond the range gives the
//               correctly rounded result: a signed infinity or zero.
//
// Every number must be present: a null value, a slash or the end of the file
// where a number is due is a malformed file, reported once with the file
// name, the line, the value expected and what was found there, e.g.
//   survey.txt:45: expected layer 3 of sounding 17, got 'abc'
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostic.hpp"

namespace tervox::formats {

/// What a soundings file holds, soundings in file order.
struct survey {
  int nlayer = 0;
  int nsound = 0;
  std::vector<float> dz;           // nlayer-1 thicknesses
  std::vector<float> xloc, yloc;   // nsound each, file order
  std::vector<float> dat;          // nsound*nlayer, layer by layer
  std::vector<std::int64_t> line;  // nsound: the line each record starts on
  std::vector<float> doi;          // nsound depths of investigation, when asked for
  std::vector<float> elevation;    // nsound ground elevations, when asked for or given
  // Filled only by the readers of delivered files (delivered.hpp):
  std::optional<float> last_dz;     // the last layer's thickness, where the file gives its bottom
  std::vector<double> flight_line;  // nsound survey line numbers, when the file gives them

  /// The nsound values of layer k (1-based), contiguous so that one layer
  /// can be handed to a library routine as a plain array of node values.
  std::span<float> layer(int k) {
    return {dat.data() + layer_offset(k), static_cast<std::size_t>(nsound)};
  }
  std::span<const float> layer(int k) const {
    return {dat.data() + layer_offset(k), static_cast<std::size_t>(nsound)};
  }
  /// dat(i, k): the value of sounding i in layer k, both counted from 1.
  float& value(int i, int k) { return dat[layer_offset(k) + static_cast<std::size_t>(i - 1)]; }

 private:
  std::size_t layer_offset(int k) const {
    return static_cast<std::size_t>(k - 1) * static_cast<std::size_t>(nsound);
  }
};

/// Possible values:
///   ok                 every value was read; the survey is complete.
///   too_few_soundings  nsound is below 3; nothing after line 3 was read.
///   bad_input          the file is malformed or too large; `diagnostic`
///                      says where and why.
enum class read_status { ok, too_few_soundings, bad_input };

/// What a record holds beyond the usual.
struct read_options {
  /// One more value after the last layer: the sounding's depth of
  /// investigation, in the units of the thicknesses; a record without it is
  /// malformed.
  bool doi = false;
  /// The word nan (any case) is read as a not-a-number value in the layer
  /// values, the depth of investigation and the elevation, for files that
  /// mark missing values so.
  bool accept_nan = false;
  /// One more value after the last layer and the depth of investigation:
  /// the sounding's ground elevation (into survey::elevation); a record
  /// without it is malformed.
  bool elevation = false;
};

struct read_outcome {
  read_status status = read_status::ok;
  base::diagnostic problem;  // for bad_input: where and why
  /// What the format allows but most likely loses a sounding or misreads
  /// the file: records after the last one the header counts, a record that
  /// runs on to a line holding a whole record, a heading line of numbers
  /// only, the same count of numbers left unread by every record, a
  /// thickness for the last layer. One each.
  std::vector<base::diagnostic> warnings;
};

/// Reads a soundings file; `name` is the file name used in diagnostics.
/// On anything but ok, `out` holds whatever was read so far and must not be used.
/// When `bytes_read` is given, the bytes taken from `in` are added to it as
/// they are read, for a progress line.
read_outcome read_soundings(std::istream& in, std::string_view name, survey& out,
                            std::atomic<std::int64_t>* bytes_read = nullptr,
                            const read_options& options = {});

/// Location checks made right after reading: nothing, or the fault. Rejects
/// a non-finite x or y, and two soundings at the same place (compared as
/// floats, so 0 and -0 coincide).
base::diagnostic check_locations(const survey& s, std::string_view name);

}  // namespace tervox::formats
