// base: what both programs share that is no file format. It uses nothing of
// the house, only the standard library and the system's calls; formats/ and
// both programs build on it.
//
// Error convention. A function of base that can fail returns what went wrong
// as data, an io_result (or a diagnostic), and never throws for a fault of the
// file system: its callers treat the same fault differently (tervox puts the
// mesh file in place and still reports a failure, say, and the volume writer
// polls failed() in its loop rather than unwinding across threads), so each
// decides at the call. Only running out of memory throws (std::bad_alloc).
// diagnostic_error lives here for the readers of formats/, which throw it
// from deep inside a parse to the command that reports it.
//
// Diagnostics as data: the file and line a fault was found at, what was
// expected there and what was found. The formats only describe a fault; each
// program turns it into one line of standard error with its own prefix
// ("tervox: ", "tervox-view: ") at its top level, once. Each kind has its
// named constructor:
//
//   diagnostic::expected_got("survey.txt", 45, "layer 3 of sounding 17", "'abc'")
//       survey.txt:45: expected layer 3 of sounding 17, got 'abc'
//   diagnostic::at_line("grid.mesh", 5, "every layer is 0 thick; the depths are all 0")
//       grid.mesh:5: every layer is 0 thick; the depths are all 0
//   diagnostic::plain("cannot create 'out.vol': Permission denied")
//       cannot create 'out.vol': Permission denied
//   diagnostic::warning("survey.txt", 0, "the header counts 3 soundings; ...")
//       survey.txt: warning: the header counts 3 soundings; ...
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tervox::base {

/// Possible exit statuses of both programs:
///   success  the command went through;
///   failure  a message or diagnostic was printed and the run stopped;
///   usage    the command line was refused with the usage text.
enum class exit_status : int { success = 0, failure = 1, usage = 2 };

/// The parts joined, for building the text of a message.
std::string concat(std::initializer_list<std::string_view> parts);

/// A fault, or a warning (something the file allows that most likely loses
/// data, after which the run goes on), or nothing (default-constructed).
class diagnostic {
 public:
  /// Nothing: no fault.
  diagnostic() = default;

  /// A fault in words that points into no file.
  static diagnostic plain(std::string text);
  /// A fault in words about a whole file.
  static diagnostic in_file(std::string file, std::string text);
  /// A fault in words at a line of a file, counted from 1 (0: no line
  /// applies, as in_file).
  static diagnostic at_line(std::string file, std::int64_t line, std::string text);
  /// What the file holds at a line is not what belongs there: "expected
  /// `expected`, got `found`", `found` quoted by the caller, and `note`
  /// right after it.
  static diagnostic expected_got(std::string file, std::int64_t line, std::string expected,
                                 std::string found, std::string note = {});
  /// A warning at a line of a file (0: no line applies); its message says
  /// "warning: " before `text`.
  static diagnostic warning(std::string file, std::int64_t line, std::string text);

  /// True when there is no fault.
  bool empty() const { return file_.empty() && expected_.empty() && text_.empty(); }
  bool is_warning() const { return warning_; }
  /// The text without a program's prefix and without a line end.
  std::string message() const;

 private:
  diagnostic(std::string file, std::int64_t line, std::string expected, std::string found,
             std::string text, bool warning);

  std::string file_;       // the file at fault; empty when `text_` names it
  std::int64_t line_ = 0;  // its line, counted from 1; 0 when no line applies
  std::string expected_;   // what should have been there; empty for a fault in words
  std::string found_;      // what was there instead, quoted
  std::string text_;       // the fault in words, or a note after `found_`
  bool warning_ = false;
};

/// The outcome of an operation that can fail: what went wrong, or nothing.
struct [[nodiscard]] io_result {
  diagnostic problem;
  bool ok() const { return problem.empty(); }
};

/// The diagnostic as a line of standard error: the prefix, its message, a
/// line end.
std::string diagnostic_line(std::string_view prefix, const diagnostic& d);

/// Carries a diagnostic out of a reader to the command that reported it.
class diagnostic_error : public std::runtime_error {
 public:
  explicit diagnostic_error(diagnostic d);
  /// A fault in words that points into no file.
  explicit diagnostic_error(const std::string& text) : diagnostic_error(diagnostic::plain(text)) {}
  const diagnostic& details() const { return d_; }

 private:
  diagnostic d_;
};

// --- Quoting, for the three kinds of text a diagnostic shows ---------------

/// A name as the user gave it (a file name, an option's value), in quotes.
std::string quoted(std::string_view name);

/// A token of the soundings file: bytes outside printable ASCII escaped as
/// \xhh, cut after 40 characters. The file is free text, so a stray byte is
/// named exactly.
std::string quoted_token(std::string_view token);

/// A piece of a fixed-width file (mesh or volume): control characters shown
/// as '?', cut after `limit` characters; the columns matter more than bytes.
std::string shown(std::string_view text, std::size_t limit = 24);

// --- Texts both programs print ---------------------------------------------

inline constexpr std::string_view is_a_directory = "it is a directory";

/// An output file that cannot be created or written; `reason` says why.
diagnostic cannot_create(std::string_view path, std::string_view reason);
diagnostic cannot_write(std::string_view path, std::string_view reason);

/// An output name that is one of the inputs; `input_kind` names the input
/// ("soundings file", "input file").
diagnostic output_is_input(std::string_view output, std::string_view input_kind,
                           std::string_view input);

}  // namespace tervox::base
