#include "formats/decimal.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

namespace tervox::formats {
namespace {

bool is_digit(int c) {
  return c >= '0' && c <= '9';
}

}  // namespace

// from_chars takes no '+', and would also take inf and nan, which are not
// numbers here.
const char* number_start(const char* b, const char* e) {
  const char* first = b != e && (*b == '+' || *b == '-') ? b + 1 : b;
  if (first == e || !(is_digit(*first) || *first == '.')) {
    return nullptr;
  }
  return *b == '+' ? b + 1 : b;
}

namespace {

// Decimal order of magnitude of a well-formed decimal that from_chars found
// out of range: true when it is at least 1 (an overflow), false when below
// (an underflow). The exponent saturates, which cannot change the answer.
bool overflows(std::string_view t) {
  std::size_t i = 0;
  if (t[i] == '+' || t[i] == '-') {
    ++i;
  }
  std::int64_t order = 0;
  bool found = false;
  std::int64_t int_digits = 0;
  for (; i < t.size() && is_digit(t[i]); ++i, ++int_digits) {
    if (!found && t[i] != '0') {
      found = true;
      order = -int_digits;  // completed below once the count is known
    }
  }
  if (found) {
    order += int_digits - 1;
  }
  if (i < t.size() && t[i] == '.') {
    ++i;
    for (std::int64_t j = 1; i < t.size() && is_digit(t[i]); ++i, ++j) {
      if (!found && t[i] != '0') {
        found = true;
        order = -j;
      }
    }
  }
  if (i < t.size()) {  // the exponent letter
    ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
      negative = t[i] == '-';
      ++i;
    }
    std::int64_t e = 0;
    for (; i < t.size(); ++i) {
      e = std::min<std::int64_t>(e * 10 + (t[i] - '0'), 1'000'000'000);
    }
    order += negative ? -e : e;
  }
  return order >= 0;
}

// Converts a decimal written as [+-]digits[.digits][(e|E|d|D)[+-]digits], or
// with digits only after the point. An overflow gives an infinity and an
// underflow a zero, both signed: the correctly rounded results.
template <class T>
conversion convert_real(std::string_view t, T& v) {
  const char* b = t.data();
  const char* e = b + t.size();
  const char* start = number_start(b, e);
  if (start == nullptr) {
    return conversion::not_a_number;
  }
  auto r = std::from_chars(start, e, v, std::chars_format::general);
  if (r.ptr != e && (*r.ptr == 'd' || *r.ptr == 'D')) {
    // D as the exponent letter: convert a copy that spells it e.
    std::string copy(start, e);
    copy[static_cast<std::size_t>(r.ptr - start)] = 'e';
    const char* cb = copy.data();
    const char* ce = cb + copy.size();
    r = std::from_chars(cb, ce, v, std::chars_format::general);
    if (r.ptr != ce) {
      return conversion::not_a_number;
    }
  } else if (r.ptr != e) {
    return conversion::not_a_number;
  }
  if (r.ec == std::errc::result_out_of_range) {
    const bool negative = *b == '-';
    const T magnitude = overflows(t) ? std::numeric_limits<T>::infinity() : T{0};
    v = negative ? -magnitude : magnitude;
  } else if (r.ec != std::errc{}) {
    return conversion::not_a_number;
  }
  return conversion::ok;
}

conversion convert_int(std::string_view t, int& v) {
  const char* b = t.data();
  const char* e = b + t.size();
  const char* first = b;
  if (first != e && (*first == '+' || *first == '-')) {
    ++first;
  }
  if (first == e || !is_digit(*first)) {
    return conversion::not_a_number;
  }
  const char* start = *b == '+' ? b + 1 : b;
  const auto r = std::from_chars(start, e, v);
  if (r.ptr != e) {
    return conversion::not_a_number;
  }
  return r.ec == std::errc::result_out_of_range ? conversion::out_of_range : conversion::ok;
}

}  // namespace

conversion to_real(std::string_view t, float& v) {
  return convert_real(t, v);
}
conversion to_real(std::string_view t, double& v) {
  return convert_real(t, v);
}
conversion to_int(std::string_view t, int& v) {
  return convert_int(t, v);
}

bool is_nan_word(std::string_view t) {
  return t.size() == 3 && (t[0] | 0x20) == 'n' && (t[1] | 0x20) == 'a' && (t[2] | 0x20) == 'n';
}

}  // namespace tervox::formats
