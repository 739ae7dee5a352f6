// The volume file's number forms: the choice, for a run of values, between
// the AVX-512 path, the AVX2 path and the portable loop, made on what the
// processor has at run time; and parse_value, which reads a line back.
//
//   volume_line_paths.hpp     the three paths' entry points
//   volume_line_digits.hpp    the exact digits, and put_rare, which all paths use
//   volume_line_portable.cpp  one value at a time (put_long, put_short, runs)
//   volume_line_lanes.hpp     what the two vector paths share
//   volume_line_avx512.cpp    runs, eight values at a time
//   volume_line_avx2.cpp      runs, four values at a time
#include "formats/volume_line.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <span>
#include <string_view>
#include <system_error>

#include "volume_line_paths.hpp"

namespace tervox::formats {
namespace {

using number_forms::put_run_portable;

#ifdef TERVOX_WIDE_NUMBER_RUNS
using number_forms::put_run_avx2;
using number_forms::put_run_wide;

bool avx2_supported() noexcept {
  static const bool supported = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return supported;
}

bool wide_supported() noexcept {
  static const bool supported = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("bmi2");
  }();
  return supported;
}
#else
bool wide_supported() noexcept {
  return false;
}
bool avx2_supported() noexcept {
  return false;
}
#endif

template <int P>
char* put_run(char* out, std::span<const float> values, number_run_path path) noexcept {
#ifdef TERVOX_WIDE_NUMBER_RUNS
  if (path == number_run_path::widest && wide_supported()) {
    return put_run_wide<P>(out, values);
  }
  if (path != number_run_path::portable && avx2_supported()) {
    return put_run_avx2<P>(out, values);
  }
#endif
  (void)path;
  return put_run_portable<P>(out, values);
}

}  // namespace

char* put_long(char* out, std::span<const float> values) noexcept {
  return put_run<5>(out, values, number_run_path::widest);
}

char* put_short(char* out, std::span<const float> values) noexcept {
  return put_run<2>(out, values, number_run_path::widest);
}

char* put_long(char* out, std::span<const float> values, number_run_path path) noexcept {
  return put_run<5>(out, values, path);
}

char* put_short(char* out, std::span<const float> values, number_run_path path) noexcept {
  return put_run<2>(out, values, path);
}

bool wide_number_runs_available() noexcept {
  return wide_supported();
}

bool avx2_number_runs_available() noexcept {
  return avx2_supported();
}

bool parse_value(std::string_view field, float& value) {
  constexpr float not_a_number = std::numeric_limits<float>::quiet_NaN();
  const auto first = field.find_first_not_of(' ');
  if (first == std::string_view::npos)
    return false;
  const std::string_view text = field.substr(first);
  if (text == "NaN" || text == "Infinity" || text == "-Infinity" ||
      text.find_first_not_of('*') == std::string_view::npos) {
    value = not_a_number;
    return true;
  }
  float v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (end != text.data() + text.size())
    return false;
  if (ec == std::errc::result_out_of_range) {
    value = not_a_number;  // a decimal beyond single precision: no usable value
    return true;
  }
  if (ec != std::errc())
    return false;
  value = std::isfinite(v) ? v : not_a_number;
  return true;
}

}  // namespace tervox::formats
