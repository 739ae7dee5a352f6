// The checks of the sounding locations made right after reading.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <new>
#include <utility>
#include <vector>

#include "formats/soundings.hpp"

namespace tervox::formats {

using base::concat;
using base::diagnostic;
using base::shown;

namespace {

std::string shortest(float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return {buf, r.ptr};
}

std::string point(float x, float y) {
  return concat({"(", shortest(x), ", ", shortest(y), ")"});
}

// How finely single precision holds values of v's magnitude: the step from
// |v| to the next float.
float step_at(float v) {
  const float a = std::fabs(v);
  return std::nextafter(a, std::numeric_limits<float>::infinity()) - a;
}

// A key that orders as the float does and is equal for 0 and -0.
std::uint32_t order_key(float v) {
  const auto bits = std::bit_cast<std::uint32_t>(v == 0.0f ? 0.0f : v);
  return (bits & 0x8000'0000u) != 0 ? ~bits : bits | 0x8000'0000u;
}

std::uint64_t location_key(float x, float y) {
  return static_cast<std::uint64_t>(order_key(x)) << 32 | order_key(y);
}

}  // namespace

diagnostic check_locations(const survey& s, std::string_view name) {
  const auto fault = [name](std::string text) {
    return diagnostic::in_file(std::string(name), std::move(text));
  };
  // Sounding i, counted from 1 as in the diagnostics.
  const auto x = [&s](int i) { return s.xloc[static_cast<std::size_t>(i - 1)]; };
  const auto y = [&s](int i) { return s.yloc[static_cast<std::size_t>(i - 1)]; };
  const int n = static_cast<int>(s.xloc.size());

  int first_bad = 0;
  int bad_count = 0;
  for (int i = 1; i <= n; ++i) {
    if (!std::isfinite(x(i)) || !std::isfinite(y(i))) {
      first_bad = first_bad == 0 ? i : first_bad;
      ++bad_count;
    }
  }
  if (bad_count > 0) {
    std::string d =
        concat({"sounding ", std::to_string(first_bad),
                " has a location that is not finite: ", point(x(first_bad), y(first_bad))});
    if (bad_count > 1) {
      d += concat({"; ", std::to_string(bad_count), " soundings in all"});
    }
    return fault(std::move(d));
  }

  try {
    // Most surveys have no duplicates: sorting the bare keys settles that
    // with half the memory of sorting them with their sounding numbers.
    std::vector<std::uint64_t> keys(static_cast<std::size_t>(n));
    for (int i = 1; i <= n; ++i) {
      keys[static_cast<std::size_t>(i - 1)] = location_key(x(i), y(i));
    }
    std::sort(keys.begin(), keys.end());
    if (std::adjacent_find(keys.begin(), keys.end()) == keys.end()) {
      return {};
    }
    keys = {};

    struct entry {
      std::uint64_t key;
      int sounding;
    };
    std::vector<entry> entries(static_cast<std::size_t>(n));
    for (int i = 1; i <= n; ++i) {
      entries[static_cast<std::size_t>(i - 1)] = {location_key(x(i), y(i)), i};
    }
    std::sort(entries.begin(), entries.end(), [](const entry& a, const entry& b) {
      return a.key != b.key ? a.key < b.key : a.sounding < b.sounding;
    });
    // Every sounding that repeats a location pairs with the first one there.
    std::vector<std::pair<int, int>> pairs;
    for (std::size_t f = 0; f < entries.size();) {
      std::size_t l = f + 1;
      for (; l < entries.size() && entries[l].key == entries[f].key; ++l) {
        pairs.emplace_back(entries[f].sounding, entries[l].sounding);
      }
      f = l;
    }
    entries = {};

    constexpr std::size_t shown_max = 5;
    const std::size_t shown = std::min(pairs.size(), shown_max);
    const auto by_later = [](const std::pair<int, int>& a, const std::pair<int, int>& b) {
      return std::pair(a.second, a.first) < std::pair(b.second, b.first);
    };
    std::partial_sort(pairs.begin(), pairs.begin() + static_cast<std::ptrdiff_t>(shown),
                      pairs.end(), by_later);
    // A sounding as the file has it: its number and the line it starts on.
    const auto sounding = [&](int i) {
      std::string t = std::to_string(i);
      if (s.line.size() == s.xloc.size())
        t += concat({" (line ", std::to_string(s.line[static_cast<std::size_t>(i - 1)]), ")"});
      return t;
    };
    const auto describe_pair = [&](const std::pair<int, int>& p) {
      return concat({sounding(p.first), " and ", sounding(p.second)});
    };
    // Locations that differ in the file can meet once rounded: single
    // precision holds a northing of 7,000,000 in steps of 0.5.
    const auto& first = pairs.front();
    const float magnitude = std::max(std::fabs(x(first.first)), std::fabs(y(first.first)));
    const std::string coarseness =
        magnitude > 0
            ? concat({"steps by ", shortest(step_at(magnitude)), " at ", shortest(magnitude)})
            : std::string();
    if (pairs.size() == 1) {
      return fault(
          concat({"soundings ", describe_pair(first), " share the location ",
                  point(x(first.first), y(first.first)), " once rounded to single precision",
                  coarseness.empty() ? "" : concat({", which ", coarseness})}));
    }
    std::string d = concat({std::to_string(pairs.size()),
                            " pairs of soundings share a location once rounded to single "
                            "precision: "});
    for (std::size_t k = 0; k < shown; ++k) {
      const auto& p = pairs[k];
      d += concat({k > 0 ? ", " : "", describe_pair(p), " at ", point(x(p.first), y(p.first))});
    }
    if (pairs.size() > shown) {
      d += ", ...";
    }
    if (!coarseness.empty())
      d += concat({"; single precision ", coarseness});
    return fault(std::move(d));
  } catch (const std::bad_alloc&) {
    return fault(concat({"cannot allocate the memory to compare the locations of ",
                         std::to_string(n), " soundings"}));
  }
}

}  // namespace tervox::formats
