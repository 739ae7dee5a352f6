// What the three readers of delivered files share: the choice of columns by
// name, and the assembly of records into a survey (numbers, missing values,
// the layer geometry and its check from record to record).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/delivered.hpp"

namespace tervox::formats::delivered {

using base::diagnostic;

// --- Text helpers the three readers share ------------------------------------
// Names are compared without regard to ASCII case, as the files' producers
// spell them differently; only ASCII letters change, so a byte of another
// encoding stays as it is.

inline bool blank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

inline std::string_view trim(std::string_view t) {
  while (!t.empty() && blank(t.front())) t.remove_prefix(1);
  while (!t.empty() && blank(t.back())) t.remove_suffix(1);
  return t;
}

inline char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string upper(std::string_view t) {
  std::string u(t);
  for (char& c : u) c = upper(c);
  return u;
}

/// A column of the file as its reader knows it.
struct column {
  std::string name;
  /// How diagnostics name it: "column RHO_I_3", "field conductivity[2] at
  /// characters 61-75".
  std::string label;
  std::optional<double> null;  ///< the column's own dummy, when it has one
  std::string null_text;       ///< as written
  std::string units;           ///< as written; empty when not given
};

/// Which column holds what; -1 for none.
struct plan {
  int x = -1, y = -1, doi = -1, elevation = -1, line = -1;
  std::vector<int> values;  ///< by layer, layer 1 first
  /// thickness, top, bottom or elevation_top; uncertainty where the
  /// geometry comes from the user or is not needed (one layer).
  column_role geometry = column_role::uncertainty;
  std::vector<int> geometry_columns;  ///< by layer
  /// Where the last layer's thickness comes from, besides a thickness
  /// column: last_bottom - last_top (the last layer's top, or with bottoms
  /// alone the bottom above).
  int last_bottom = -1, last_top = -1;
  std::vector<float> thicknesses;  ///< from the user
  int nlayer = 0;
};

/// The columns' names in the order of the file, runs of layered names
/// written as first..last: "LINE_NO, UTMX, RHO_I_1..RHO_I_30, DOI".
std::string describe_columns(std::span<const column> columns);

/// Decides the plan from the columns' names and the user's choices. The
/// diagnostic (empty when the plan is complete) points at `file`:`line`,
/// where the names are. Fills the columns, property and unit of `about`.
diagnostic choose_columns(std::span<const column> columns, const column_choices& choices,
                          std::string_view file, std::int64_t line, plan& out,
                          survey_metadata& about);

/// The unit as the tool names it: "ohm m", "S/m", "mS/m", "m", "ft"; other
/// spellings as written.
std::string normal_unit(std::string_view units);

/// True for the texts that mark a missing value in every form: nothing,
/// '*', NaN in any case.
inline bool missing_marker(std::string_view t) {
  return t.empty() || (t.size() == 1 && t[0] == '*') ||
         (t.size() == 3 && (t[0] | 0x20) == 'n' && (t[1] | 0x20) == 'a' && (t[2] | 0x20) == 'n');
}

/// Builds the survey record by record: the reader hands over the text of
/// every chosen field, then ends the record.
class record_builder {
 public:
  /// What the reader does with a column.
  enum class kind : std::uint8_t { skip, x, y, value, geometry, doi, elevation, line };
  struct action {
    kind what = kind::skip;
    int slot = 0;  ///< the layer (from 0) of a value; the geometry slot
  };

  record_builder(std::string_view file, std::vector<column> columns, const plan& p,
                 const delivered_options& options, std::optional<float> file_dummy);
  ~record_builder();
  record_builder(const record_builder&) = delete;
  record_builder& operator=(const record_builder&) = delete;

  std::span<const action> actions() const { return actions_; }
  const std::vector<column>& columns() const { return columns_; }

  /// Starts a record found on `line` of the file.
  bool begin(std::int64_t line);
  /// The text of column `c` (a chosen one) in the record begun last,
  /// without surrounding blanks. False with the diagnostic set for a value
  /// that is not a number.
  bool take(int c, std::string_view text);
  /// Ends the record: checks its geometry against the first record's.
  bool end();
  /// The survey line of the records that follow, where no column gives it
  /// (the "Line 1000" lines of an XYZ export).
  void set_line_number(double number) { line_from_text_ = number; }

  /// Completes the survey and the metadata; the outcome of the whole read.
  read_outcome finish(survey& out, survey_metadata& about);

  /// Sets the diagnostic and gives false, for the reader's own faults.
  bool fail(diagnostic d);
  read_outcome failed();
  std::int64_t records() const { return records_; }
  std::int64_t record_line() const { return line_; }

 private:
  struct geometry_slot;
  class row_store;

  bool bad_number(int c, std::string_view text, std::string_view note = {});
  std::string what_of(int c) const;
  bool take_geometry(int c, int slot, std::string_view text);
  bool check_geometry();

  std::string file_;
  std::vector<column> columns_;
  plan plan_;
  std::vector<action> actions_;
  std::vector<float> null_f_;  // per column; NaN where none (never equal)
  std::vector<double> null_d_;
  float missing_;  // what missing values are stored as
  bool missing_is_set_ = false;
  bool missing_met_ = false;

  std::vector<geometry_slot> geometry_;
  std::unique_ptr<row_store> rows_;
  float* row_ = nullptr;

  // The record in hand.
  std::int64_t line_ = 0;
  double x_ = 0, y_ = 0, line_number_ = 0;
  float doi_ = 0, elevation_ = 0;
  double line_from_text_;

  std::int64_t records_ = 0;
  std::int64_t first_line_ = 0;
  survey partial_;  // the per-sounding vectors as they grow
  diagnostic problem_;
};

}  // namespace tervox::formats::delivered
