#include "value_checks.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "messages.hpp"

namespace tervox::driver {

using base::diagnostic;
using formats::survey;

namespace {

// Compares with every mark, without a branch: the pass stays one stream of
// compares over millions of values.
bool is_mark(float v) {
  bool hit = false;
  for (const no_value_mark& m : no_value_marks) hit |= v == m.value;
  return hit;
}

std::string_view mark_text(float v) {
  for (const no_value_mark& m : no_value_marks) {
    if (v == m.value)
      return m.text;
  }
  return {};
}

// The first value in file order (by sounding, then by layer) for which
// `holds` is true: its sounding and layer, counted from 1. Each layer after
// a find is searched only up to the sounding found, so that the whole search
// reads every value at most once.
template <class Predicate>
std::pair<int, int> first_in_file_order(const survey& s, Predicate holds) {
  int sounding = 0, layer = 0;
  for (int k = 1; k <= s.nlayer; ++k) {
    const std::span<const float> values = s.layer(k);
    const auto end = sounding == 0 ? values.end() : values.begin() + (sounding - 1);
    if (const auto it = std::find_if(values.begin(), end, holds); it != end) {
      sounding = static_cast<int>(it - values.begin()) + 1;
      layer = k;
    }
  }
  return {sounding, layer};
}

// The line sounding i (from 1) starts on; 0 where the survey keeps no lines.
std::int64_t line_of(const survey& s, int i) {
  const auto index = static_cast<std::size_t>(i - 1);
  return index < s.line.size() ? s.line[index] : 0;
}

}  // namespace

std::vector<diagnostic> check_values(const survey& s, std::string_view name, value_checks what) {
  std::vector<diagnostic> warnings;
  if (!what.marks && !what.positive)
    return warnings;
  // Counted in blocks in 32 bits, which the compiler keeps in vector lanes.
  constexpr std::size_t block = std::size_t{1} << 16;
  std::int64_t marks = 0, not_positive = 0;
  const std::span<const float> values = s.dat;
  for (std::size_t start = 0; start < values.size(); start += block) {
    std::uint32_t block_marks = 0, block_not_positive = 0;
    for (const float v : values.subspan(start, std::min(block, values.size() - start))) {
      const bool mark = what.marks & is_mark(v);
      block_marks += mark;
      block_not_positive += !mark & (v <= 0.0f);
    }
    marks += block_marks;
    not_positive += block_not_positive;
  }
  if (what.marks && marks > 0) {
    const auto [i, k] = first_in_file_order(s, is_mark);
    const float mark = s.layer(k)[static_cast<std::size_t>(i - 1)];
    warnings.push_back(messages::no_value_marks_read(
        name, line_of(s, i), std::count(s.dat.begin(), s.dat.end(), mark), mark_text(mark), i, k));
  }
  // A depth of investigation that is a mark is taken as a depth: a large
  // negative one blanks every layer of the cells near it, a large positive one
  // none. Only the first and those equal to it are named, as for the layers.
  if (what.marks && !s.doi.empty()) {
    if (const auto first = std::find_if(s.doi.begin(), s.doi.end(), is_mark);
        first != s.doi.end()) {
      const int i = static_cast<int>(first - s.doi.begin()) + 1;
      warnings.push_back(messages::no_value_marks_as_depths(
          name, line_of(s, i), std::count(s.doi.begin(), s.doi.end(), *first), mark_text(*first),
          *first < 0.0f, i));
    }
  }
  if (what.positive && not_positive > 0) {
    const auto [i, k] =
        first_in_file_order(s, [&](float v) { return !(what.marks && is_mark(v)) && v <= 0.0f; });
    warnings.push_back(messages::not_positive_in_log_mode(
        name, line_of(s, i), not_positive, s.layer(k)[static_cast<std::size_t>(i - 1)], i, k));
  }
  return warnings;
}

}  // namespace tervox::driver
