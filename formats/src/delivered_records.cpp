// Records into a survey: the numbers of the chosen fields, missing values,
// and the layer geometry with its check from record to record.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "delivered_reader.hpp"
#include "formats/decimal.hpp"

namespace tervox::formats::delivered {

using base::concat;
using base::quoted_token;

namespace {

// The triangulation needs 6*nsound-9 adjacency positions, each an int: the
// soundings file's reader has the same bound.
constexpr std::int64_t max_soundings =
    (static_cast<std::int64_t>(std::numeric_limits<int>::max()) + 9) / 6;

// Rounds a double to single precision, an overflow giving an infinity, as
// the soundings file's reader rounds x and y.
float to_single(double d) {
  constexpr double limit = 0x1.ffffffp127;
  if (d >= limit)
    return std::numeric_limits<float>::infinity();
  if (d <= -limit)
    return -std::numeric_limits<float>::infinity();
  return static_cast<float>(d);
}

// A whole decimal converted as the soundings file converts it: the plain
// forms at once, the rest (D exponents, magnitudes out of range) by the
// general conversion.
template <class T>
bool convert(std::string_view t, T& v) {
  const char* const b = t.data();
  const char* const e = b + t.size();
  if (const char* s = number_start(b, e); s != nullptr) {
    const auto r = std::from_chars(s, e, v, std::chars_format::general);
    if (r.ec == std::errc{} && r.ptr == e)
      return true;
  }
  return !t.empty() && to_real(t, v) == conversion::ok;
}

// Half a unit in the last digit a decimal is written with: 0.005 for 12.50,
// 0.5 for 12, 5e-7 for 1.250000E+01. The value it stands for lies within
// this of it.
double half_unit(std::string_view t) {
  std::size_t i = t.empty() || (t[0] != '+' && t[0] != '-') ? 0 : 1;
  int decimals = 0;
  bool point = false;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    if (c >= '0' && c <= '9') {
      decimals += point ? 1 : 0;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  long exponent = 0;
  if (i + 1 < t.size()) {
    std::string_view e = t.substr(i + 1);
    if (e.front() == '+')
      e.remove_prefix(1);
    std::from_chars(e.data(), e.data() + e.size(), exponent);
  }
  return 0.5 * std::pow(10.0, static_cast<double>(exponent - decimals));
}

std::string shortest(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return {buf, r.ptr};
}

}  // namespace

struct record_builder::geometry_slot {
  int column = -1;
  bool optional = false;  // a last bottom: may be missing in any record
  bool relative = false;  // an elevation: compared as a depth below the record's first top
  int layer = 0;          // from 1, for diagnostics

  std::string first_text;
  double first_value = 0, first_half = 0;
  bool first_missing = false;

  double value = 0, half = 0;
  bool missing = false;
  std::string text;  // as written, where it differs from the first record's
};

// The layer values, sounding by sounding, in blocks that never move; laid out
// layer by layer at the end.
class record_builder::row_store {
 public:
  explicit row_store(std::size_t per_row) : per_row_(per_row) {}

  float* add() {
    if (used_ == rows_per_block) {
      blocks_.push_back(std::make_unique_for_overwrite<float[]>(per_row_ * rows_per_block));
      used_ = 0;
    }
    return blocks_.back().get() + per_row_ * used_++;
  }

  // Layer k of sounding i at dat[k*n + i]; each block is released once
  // copied.
  void lay_out(std::vector<float>& dat, std::size_t n) {
    dat.resize(n * per_row_);
    std::size_t i = 0;
    for (auto& block : blocks_) {
      const std::size_t rows = std::min(rows_per_block, n - i);
      for (std::size_t r = 0; r < rows; ++r, ++i) {
        const float* row = block.get() + per_row_ * r;
        for (std::size_t k = 0; k < per_row_; ++k) dat[k * n + i] = row[k];
      }
      block.reset();
    }
    blocks_.clear();
  }

 private:
  static constexpr std::size_t rows_per_block = 4096;
  std::size_t per_row_;
  std::vector<std::unique_ptr<float[]>> blocks_;
  std::size_t used_ = rows_per_block;
};

record_builder::record_builder(std::string_view file, std::vector<column> columns, const plan& p,
                               const delivered_options& options, std::optional<float> file_dummy)
    : file_(file),
      columns_(std::move(columns)),
      plan_(p),
      actions_(columns_.size()),
      null_f_(columns_.size(), std::numeric_limits<float>::quiet_NaN()),
      null_d_(columns_.size(), std::numeric_limits<double>::quiet_NaN()),
      missing_(std::numeric_limits<float>::quiet_NaN()),
      rows_(std::make_unique<row_store>(static_cast<std::size_t>(p.nlayer))),
      line_from_text_(std::numeric_limits<double>::quiet_NaN()) {
  if (options.nodata) {
    missing_ = *options.nodata;
    missing_is_set_ = true;
  } else if (file_dummy) {
    missing_ = *file_dummy;
    missing_is_set_ = true;
  }
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    if (columns_[c].null) {
      null_d_[c] = *columns_[c].null;
      null_f_[c] = static_cast<float>(*columns_[c].null);
      // The dummy as the single-precision value it is written as.
      float f = 0;
      if (convert(columns_[c].null_text, f))
        null_f_[c] = f;
    }
  }
  const auto set = [&](int c, kind what, int slot = 0) {
    if (c >= 0)
      actions_[static_cast<std::size_t>(c)] = {what, slot};
  };
  set(p.x, kind::x);
  set(p.y, kind::y);
  set(p.doi, kind::doi);
  set(p.elevation, kind::elevation);
  set(p.line, kind::line);
  for (std::size_t k = 0; k < p.values.size(); ++k)
    set(p.values[k], kind::value, static_cast<int>(k));
  if (!p.thicknesses.empty())
    return;  // the user's geometry: no column is read for it
  const auto n = p.geometry_columns.size();
  for (std::size_t k = 0; k < n; ++k) {
    geometry_slot g;
    g.column = p.geometry_columns[k];
    g.layer = static_cast<int>(k) + 1;
    g.relative = p.geometry == column_role::elevation_top;
    // A last thickness or a last bottom is often a dummy.
    g.optional = k + 1 == n && static_cast<int>(n) == p.nlayer &&
                 (p.geometry == column_role::thickness || p.geometry == column_role::bottom);
    set(g.column, kind::geometry, static_cast<int>(geometry_.size()));
    geometry_.push_back(std::move(g));
  }
  for (const int c : {p.last_top, p.last_bottom}) {
    if (c < 0 || actions_[static_cast<std::size_t>(c)].what == kind::geometry)
      continue;
    geometry_slot g;
    g.column = c;
    g.layer = p.nlayer;
    g.optional = true;
    set(c, kind::geometry, static_cast<int>(geometry_.size()));
    geometry_.push_back(std::move(g));
  }
}

record_builder::~record_builder() = default;

bool record_builder::fail(diagnostic d) {
  problem_ = std::move(d);
  return false;
}

read_outcome record_builder::failed() {
  return {read_status::bad_input, std::move(problem_), {}};
}

bool record_builder::begin(std::int64_t line) {
  if (records_ == max_soundings) {
    return fail(
        diagnostic::at_line(file_, line,
                            concat({"too many soundings: more than ", std::to_string(max_soundings),
                                    "; at most that many are supported"})));
  }
  line_ = line;
  row_ = rows_->add();
  line_number_ = line_from_text_;
  return true;
}

std::string record_builder::what_of(int c) const {
  const action a = actions_[static_cast<std::size_t>(c)];
  const std::string sounding = std::to_string(records_ + 1);
  switch (a.what) {
    case kind::x:
      return concat({"x of sounding ", sounding});
    case kind::y:
      return concat({"y of sounding ", sounding});
    case kind::value:
      return concat({"layer ", std::to_string(a.slot + 1), " of sounding ", sounding});
    case kind::doi:
      return concat({"the depth of investigation of sounding ", sounding});
    case kind::elevation:
      return concat({"the elevation of sounding ", sounding});
    case kind::line:
      return concat({"the line number of sounding ", sounding});
    case kind::geometry: {
      const geometry_slot& g = geometry_[static_cast<std::size_t>(a.slot)];
      return concat({"the ",
                     role_name(c == plan_.last_bottom ? column_role::bottom
                               : c == plan_.last_top  ? column_role::top
                                                      : plan_.geometry),
                     " of layer ", std::to_string(g.layer)});
    }
    case kind::skip:
      break;
  }
  return {};
}

bool record_builder::bad_number(int c, std::string_view text, std::string_view note) {
  const std::string found = text.empty() ? std::string("an empty field") : quoted_token(text);
  return fail(diagnostic::expected_got(
      file_, line_,
      concat({"a number in ", columns_[static_cast<std::size_t>(c)].label, " (", what_of(c), ")"}),
      concat({found, note})));
}

namespace {

// What a field of a column holds: a number, a missing value (the column's
// dummy, '*', an empty field, NaN) or something that is no number.
enum class field { number, missing, bad };

template <class T>
field read_field(std::string_view text, T null, T& v) {
  if (convert(text, v))
    return v == null ? field::missing : field::number;
  return missing_marker(text) ? field::missing : field::bad;
}

}  // namespace

bool record_builder::take(int c, std::string_view text) {
  const auto cu = static_cast<std::size_t>(c);
  const action a = actions_[cu];
  float f = 0;
  double d = 0;
  switch (a.what) {
    case kind::value:
    case kind::doi: {
      const field got = read_field(text, null_f_[cu], f);
      if (got == field::bad)
        return bad_number(c, text);
      if (got == field::missing) {
        f = missing_;
        missing_met_ = true;
      }
      (a.what == kind::value ? row_[a.slot] : doi_) = f;
      return true;
    }
    case kind::x:
    case kind::y: {
      if (!convert(text, d)) {
        return bad_number(c, text,
                          missing_marker(text) ? ", which marks a missing value; a sounding needs "
                                                 "its location"
                                               : "");
      }
      if (d == null_d_[cu])
        return bad_number(c, text, concat({", the column's dummy; a sounding needs its location"}));
      (a.what == kind::x ? x_ : y_) = d;
      return true;
    }
    case kind::elevation: {
      const field got = read_field(text, null_f_[cu], f);
      if (got == field::bad)
        return bad_number(c, text);
      elevation_ = got == field::missing ? std::numeric_limits<float>::quiet_NaN() : f;
      return true;
    }
    case kind::line: {
      const field got = read_field(text, null_d_[cu], d);
      if (got == field::bad)
        return bad_number(c, text);
      line_number_ = got == field::missing ? std::numeric_limits<double>::quiet_NaN() : d;
      return true;
    }
    case kind::geometry:
      return take_geometry(c, a.slot, text);
    case kind::skip:
      break;
  }
  return true;
}

bool record_builder::take_geometry(int c, int slot, std::string_view text) {
  geometry_slot& g = geometry_[static_cast<std::size_t>(slot)];
  // Most files write the same geometry on every row: the same text needs no
  // conversion.
  if (records_ > 0 && text == g.first_text) {
    g.value = g.first_value;
    g.half = g.first_half;
    g.missing = g.first_missing;
    return true;
  }
  double v = 0;
  const field got = read_field(text, null_d_[static_cast<std::size_t>(c)], v);
  if (got == field::bad)
    return bad_number(c, text);
  const bool missing = got == field::missing;
  if (missing && !g.optional)
    return bad_number(c, text, ", which marks a missing value; the layers need their geometry");
  g.value = v;
  g.half = half_unit(text);
  g.text.assign(text);
  g.missing = missing;
  if (records_ == 0) {
    g.first_text.assign(text);
    g.first_value = g.value;
    g.first_half = g.half;
    g.first_missing = missing;
  }
  return true;
}

bool record_builder::check_geometry() {
  if (geometry_.empty())
    return true;
  const geometry_slot& top = geometry_.front();
  for (const geometry_slot& g : geometry_) {
    if (g.missing || g.first_missing)
      continue;  // an optional last bottom: the first record's decides
    double now = g.value, then = g.first_value;
    double width = g.half + g.first_half;
    if (g.relative) {
      now = top.value - g.value;
      then = top.first_value - g.first_value;
      width += top.half + top.first_half;
    }
    const double slack = 4 * std::numeric_limits<double>::epsilon() *
                         std::max(std::fabs(g.value), std::fabs(g.first_value));
    if (!(std::fabs(now - then) <= width + slack)) {
      const std::string& label = columns_[static_cast<std::size_t>(g.column)].label;
      const std::string where =
          concat({" in sounding ", std::to_string(records_ + 1), ", where the first record (line ",
                  std::to_string(first_line_), ")"});
      const std::string said =
          g.relative ? concat({label, " places the top of layer ", std::to_string(g.layer), " ",
                               shortest(now), " below the first top", where, " places it ",
                               shortest(then), " below"})
                     : concat({label, " gives ", quoted_token(g.text), where, " gives ",
                               quoted_token(g.first_text)});
      return fail(
          diagnostic::at_line(file_, line_,
                              concat({said,
                                      "; every sounding must have the same layers (or give the "
                                      "thicknesses with --thicknesses LIST)"})));
    }
  }
  return true;
}

bool record_builder::end() {
  if (records_ == 0) {
    first_line_ = line_;
  } else if (!check_geometry()) {
    return false;
  }
  partial_.xloc.push_back(to_single(x_));
  partial_.yloc.push_back(to_single(y_));
  partial_.line.push_back(line_);
  if (plan_.doi >= 0)
    partial_.doi.push_back(doi_);
  if (plan_.elevation >= 0)
    partial_.elevation.push_back(elevation_);
  partial_.flight_line.push_back(line_number_);
  ++records_;
  return true;
}

read_outcome record_builder::finish(survey& out, survey_metadata& about) {
  if (!problem_.empty())
    return failed();
  const auto n = static_cast<std::size_t>(records_);
  const int nlayer = plan_.nlayer;
  out.nlayer = nlayer;
  out.nsound = static_cast<int>(records_);
  if (records_ < 3)
    return {read_status::too_few_soundings, {}, {}};

  out.dz.clear();
  out.last_dz.reset();
  const auto keep_last = [&](float t) {
    if (t > 0)
      out.last_dz = t;
  };
  if (!plan_.thicknesses.empty()) {
    out.dz.assign(plan_.thicknesses.begin(), plan_.thicknesses.begin() + (nlayer - 1));
    if (static_cast<int>(plan_.thicknesses.size()) == nlayer)
      keep_last(plan_.thicknesses.back());
  } else if (!plan_.geometry_columns.empty()) {
    const auto first = [&](int k) { return geometry_[static_cast<std::size_t>(k)].first_value; };
    for (int k = 0; k + 1 < nlayer; ++k) {
      switch (plan_.geometry) {
        case column_role::thickness: {
          // As the soundings file converts a thickness: straight to single
          // precision from its text.
          float t = 0;
          convert(std::string_view(geometry_[static_cast<std::size_t>(k)].first_text), t);
          out.dz.push_back(t);
          break;
        }
        case column_role::top:
          out.dz.push_back(to_single(first(k + 1) - first(k)));
          break;
        case column_role::bottom:
          out.dz.push_back(to_single(first(k) - (k > 0 ? first(k - 1) : 0.0)));
          break;
        case column_role::elevation_top:
          out.dz.push_back(to_single(first(k) - first(k + 1)));
          break;
        default:
          break;
      }
    }
    const geometry_slot* last = nullptr;
    if (static_cast<int>(plan_.geometry_columns.size()) == nlayer &&
        (plan_.geometry == column_role::thickness || plan_.geometry == column_role::bottom))
      last = &geometry_[static_cast<std::size_t>(nlayer - 1)];
    if (plan_.geometry == column_role::thickness && last != nullptr) {
      float t = 0;
      if (!last->first_missing && convert(std::string_view(last->first_text), t))
        keep_last(t);
    } else if (plan_.last_bottom >= 0) {
      const auto slot_of = [&](int c) {
        return &geometry_[static_cast<std::size_t>(actions_[static_cast<std::size_t>(c)].slot)];
      };
      const geometry_slot* b = slot_of(plan_.last_bottom);
      const geometry_slot* t = slot_of(plan_.last_top);
      if (!b->first_missing && !t->first_missing)
        keep_last(to_single(b->first_value - t->first_value));
    }
  }

  out.xloc = std::move(partial_.xloc);
  out.yloc = std::move(partial_.yloc);
  out.line = std::move(partial_.line);
  out.doi = std::move(partial_.doi);
  out.elevation = std::move(partial_.elevation);
  const bool any_line = std::any_of(partial_.flight_line.begin(), partial_.flight_line.end(),
                                    [](double v) { return !std::isnan(v); });
  out.flight_line =
      plan_.line >= 0 || any_line ? std::move(partial_.flight_line) : std::vector<double>{};
  rows_->lay_out(out.dat, n);

  if (missing_is_set_)
    about.nodata = missing_;
  else if (missing_met_)
    about.nodata = std::numeric_limits<float>::quiet_NaN();
  return {read_status::ok, {}, {}};
}

}  // namespace tervox::formats::delivered
