// Checks of the layer values and depths of investigation as read: values a
// run takes as they are, while they most likely mean something else. They
// change nothing; each kind is named once, in a warning with a count and the
// first sounding.
#pragma once

#include <string_view>
#include <vector>

#include "base/diagnostic.hpp"
#include "formats/soundings.hpp"

namespace tervox::driver {

/// A value surveys commonly write where there is none, and its spelling for
/// --nodata. Exact values only: a large value is not missing for being large.
struct no_value_mark {
  float value;
  std::string_view text;
};

inline constexpr no_value_mark no_value_marks[] = {
    {-99999.0f, "-99999"}, {-9999.99f, "-9999.99"},     {-9999.0f, "-9999"},
    {-999.25f, "-999.25"}, {-999.0f, "-999"},           {9999.0f, "9999"},
    {9999.99f, "9999.99"}, {99999.0f, "99999"},         {-1e32f, "-1e32"},
    {1e32f, "1e32"},       {1.70141e38f, "1.70141e38"},
};

/// What to look for.
struct value_checks {
  bool marks = false;     ///< values (and depths) equal to a no_value_mark: without --nodata
  bool positive = false;  ///< zero and negative values: in log mode, before the logarithm
};

/// The warnings about the layer values and the depths of investigation of
/// `s`, in file order (before the soundings are ordered by x) and with
/// missing values already NaN; `name` is the file they come from. A value
/// that is a mark is not counted again as zero or negative. One pass over the values; the first of
/// a kind is looked for only once the pass has found one.
std::vector<base::diagnostic> check_values(const formats::survey& s, std::string_view name,
                                           value_checks what);

}  // namespace tervox::driver
