// The volume file's number forms one value at a time, on any processor:
// put_form writes the common values with a few multiplications and leaves
// the others to put_rare (volume_line_digits.hpp, where the account of the
// digits is).
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

#include "formats/volume_line.hpp"
#include "volume_line_digits.hpp"
#include "volume_line_paths.hpp"

namespace tervox::formats::number_forms {
namespace {

// The leading digit and the two pairs after it from the 32.32 fixed-point
// fraction, as put_form and the vector paths compute them: checked here for
// every digits value.
constexpr bool fixed_point_digits_exact() {
  for (std::uint64_t n = 0; n < 100'000; ++n) {
    std::uint64_t f = n * 429497U;
    const std::uint64_t lead = f >> 32;
    f = (f & 0xffff'ffffU) * 100U;
    const std::uint64_t hi = f >> 32;
    f = (f & 0xffff'ffffU) * 100U;
    const std::uint64_t lo = f >> 32;
    if (lead != n / 10'000 || hi != n / 100 % 100 || lo != n % 100) {
      return false;
    }
  }
  return true;
}
static_assert(fixed_point_digits_exact());

// Writes the field of P significant digits (width P + 6) and the line end.
template <int P>
char* put_form(char* out, float v) noexcept {
  const auto bits = std::bit_cast<std::uint32_t>(v);
  const std::uint32_t abs_bits = bits & ~sign_bit;
  // Exponent fields 0 (zeros, subnormals) and 255 (infinities, NaNs) wrap
  // round to the top.
  if ((abs_bits >> 23) - 1U >= 0xfeU) [[unlikely]] {
    return put_rare<P>(out, bits);
  }
  // A normal float has 24 significant bits: floor(log2 |v|) is its exponent.
  const scaled_value s = scale<P>(abs_bits, static_cast<int>(abs_bits >> 23) - 127);
  if (near_tie(s.m)) [[unlikely]] {
    return put_rare<P>(out, bits);
  }
  const decimal_value d = digits_of<P>(s, 0);
  if constexpr (std::endian::native != std::endian::little) {
    return put_digits<P>(out, bits != abs_bits, d);
  }

  // The line as two little-endian words, stored at once: the sign, the
  // digits with the point, 'E'; the exponent's sign and digits, the line end.
  const auto e10 = static_cast<std::uint32_t>(d.e10 < 0 ? -d.e10 : d.e10);
  const std::uint64_t sign = ' ' + (bits >> 31) * static_cast<std::uint32_t>('-' - ' ');
  const std::uint64_t exponent_sign = d.e10 < 0 ? '-' : '+';
  if constexpr (P == 5) {
    // The digits as a fraction of 10^4 in 32.32 fixed point: the integer
    // part is the leading digit, and each multiplication of the fraction by
    // 100 brings the next two into the integer part (exact for every digits
    // value below 10^5: fixed_point_digits_exact above).
    std::uint64_t f = std::uint64_t{d.digits} * 429497U;  // 2^32 / 10^4 rounded up
    const auto lead = static_cast<std::uint32_t>(f >> 32);
    f = (f & 0xffff'ffffU) * 100U;
    const auto hi = static_cast<std::uint32_t>(f >> 32);
    f = (f & 0xffff'ffffU) * 100U;
    const auto lo = static_cast<std::uint32_t>(f >> 32);
    const std::uint64_t head = sign | (std::uint64_t{'0' + lead} << 8) |
                               (std::uint64_t{'.'} << 16) | (pair_word(hi) << 24) |
                               (pair_word(lo) << 40) | (std::uint64_t{'E'} << 56);
    const auto tail = static_cast<std::uint32_t>(exponent_sign | (pair_word(e10) << 8) |
                                                 (std::uint64_t{'\n'} << 24));
    std::memcpy(out, &head, 8);
    std::memcpy(out + 8, &tail, 4);
    return out + long_line_size;
  } else {
    static_assert(P == 2);
    const std::uint32_t lead = d.digits / 10;
    const std::uint32_t rest = d.digits - lead * 10;
    const std::uint64_t head = sign | (std::uint64_t{'0' + lead} << 8) |
                               (std::uint64_t{'.'} << 16) | (std::uint64_t{'0' + rest} << 24) |
                               (std::uint64_t{'E'} << 32) | (exponent_sign << 40) |
                               (pair_word(e10) << 48);
    std::memcpy(out, &head, 8);
    out[8] = '\n';
    return out + short_line_size;
  }
}

}  // namespace

template <int P>
char* put_run_portable(char* out, std::span<const float> values) noexcept {
  for (const float v : values) {
    out = put_form<P>(out, v);
  }
  return out;
}

template char* put_run_portable<5>(char*, std::span<const float>) noexcept;
template char* put_run_portable<2>(char*, std::span<const float>) noexcept;

}  // namespace tervox::formats::number_forms

namespace tervox::formats {

char* put_long(char* out, float v) noexcept {
  return number_forms::put_form<5>(out, v);
}

char* put_short(char* out, float v) noexcept {
  return number_forms::put_form<2>(out, v);
}

}  // namespace tervox::formats
