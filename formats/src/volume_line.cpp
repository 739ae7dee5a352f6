#include "formats/volume_line.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <span>

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12 warns inside the intrinsics' own definitions of _mm512_undefined_*.
#  pragma GCC diagnostic push
#  ifndef __clang__
#    pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#  endif
#  pragma GCC diagnostic ignored "-Wuninitialized"
#  include <immintrin.h>
#  pragma GCC diagnostic pop
#endif

// How a value becomes its digits
// ------------------------------
// A finite non-zero float is m * 2^e with m < 2^24 and -149 <= e <= 104. With
// P significant digits (5 in the long form, 2 in the short form) and decimal
// exponent e10 = floor(log10 |v|), the digits are the integer nearest to
//
//     q = |v| / 10^k,   k = e10 - (P - 1),   10^(P-1) <= q < 10^P.
//
// 1. e10 is found exactly, by comparing the bit pattern of |v| with the
//    smallest float not below 10^e10 (a table derived at compile time with
//    exact integer arithmetic). A guess of e10 from the binary exponent alone
//    would be wrong near powers of ten, and rounding at the wrong position
//    cannot be repaired afterwards.
// 2. q is computed in double precision: |v| converts exactly and 10^-k is
//    one correctly rounded constant, so q carries a relative error below
//    2^-52, under 3e-11 in absolute terms since q < 10^5.
// 3. m = q * 2^16 rounded to an integer (one addition of 2^36, read from the
//    double's mantissa) is within 1/2 + 2e-6 of the exact q * 2^16. Unless
//    the low 16 bits of m lie within one of 0x8000, that is unless q lies
//    within 2^-16 + 3e-11 of a half-integer, (m + 2^15) / 2^16 truncated is
//    the integer nearest to q for certain. Otherwise (exact ties, and the
//    values that come close to one) q is compared with the half-integer
//    exactly in 128-bit integers, and an exact tie goes to the even digit.
// 4. Rounding up from 99999.5 or above carries into the exponent: the digits
//    become 10000 and e10 grows by one (9.99995 -> 1.0000E+01).
//
// The double-precision step costs one multiplication and one addition; the
// integer step is reached by about one value in 20,000.

namespace tervox::formats {
namespace {

__extension__ using u128 = unsigned __int128;

constexpr int min_e10 = -45;  // the smallest subnormal is 1.4E-45
constexpr int max_e10 = 38;   // the largest float is 3.4E+38

constexpr std::uint32_t sign_bit = 0x8000'0000U;
constexpr std::uint32_t infinity_bits = 0x7f80'0000U;
constexpr std::uint32_t mantissa_mask = 0x007f'ffffU;
constexpr std::uint32_t hidden_bit = 0x0080'0000U;

// A finite positive float as m * 2^e.
struct binary_value {
  std::uint32_t m;
  int e;
};

constexpr binary_value decode(std::uint32_t abs_bits) {
  const std::uint32_t field = abs_bits >> 23;
  const std::uint32_t mantissa = abs_bits & mantissa_mask;
  if (field == 0) {
    return {mantissa, -149};
  }
  return {mantissa | hidden_bit, static_cast<int>(field) - 150};
}

// 5^n for n = 0 .. 49: -k reaches 49 for the smallest subnormals in the
// long form, and every other use stays below.
constexpr int max_pow5 = 49;
struct pow5_table {
  u128 p[max_pow5 + 1];
};
constexpr pow5_table make_pow5() {
  pow5_table t{};
  t.p[0] = 1;
  for (int n = 1; n <= max_pow5; ++n) {
    t.p[n] = t.p[n - 1] * 5;
  }
  return t;
}
constexpr pow5_table pow5 = make_pow5();

// x * 2^s, which the caller knows to fit in 128 bits.
constexpr u128 times_pow2(u128 x, int s) {
  assert(s >= 0 && s < 128);
  assert(((x << s) >> s) == x);
  return x << s;
}

// x * 5^n, which the caller knows to fit in 128 bits.
constexpr u128 times_pow5(u128 x, int n) {
  assert(n >= 0 && n <= max_pow5);
  const u128 p = pow5.p[n];
  assert(x == 0 || p <= ~u128{0} / x);
  return x * p;
}

// The sign of (m * 2^e) * 2 / 10^k - t, exactly: -1, 0 or 1. Splitting 10^k
// into 2^k * 5^k turns both sides into integers. The callers compare values of
// nearly equal size, t < 2^18 for the digits and t = 2 for the powers of ten,
// and then neither side exceeds 2^123.
constexpr int compare_exact(binary_value b, int k, std::uint64_t t) {
  u128 lhs = b.m;
  u128 rhs = t;
  const int twos = b.e + 1 - k;
  const int fives = -k;
  if (fives >= 0) {
    lhs = times_pow5(lhs, fives);
  } else {
    rhs = times_pow5(rhs, -fives);
  }
  if (twos >= 0) {
    lhs = times_pow2(lhs, twos);
  } else {
    rhs = times_pow2(rhs, -twos);
  }
  return (lhs > rhs) - (lhs < rhs);
}

constexpr std::uint32_t bits_of_pow2(int b) {
  if (b < -126) {
    return std::uint32_t{1} << (b + 149);  // subnormal
  }
  return static_cast<std::uint32_t>(b + 127) << 23;
}

// floor(log2 10^e10) for e10 != 0. For |e10| <= 45, e10 * log2(10) stays
// more than 0.01 away from every integer, so the double product decides it.
constexpr int floor_log2_pow10(int e10) {
  const double x = static_cast<double>(e10) * 3.321928094887362;
  const int t = static_cast<int>(x);
  return static_cast<double>(t) > x ? t - 1 : t;
}

// The bit pattern of the smallest float not below 10^e10: a positive float v
// has |v| >= 10^e10 exactly when its bit pattern is at least this one.
// 10^39 lies beyond every finite float, so its entry is infinity's pattern.
constexpr std::uint32_t pow10_threshold(int e10) {
  if (e10 == 0) {
    return bits_of_pow2(0);
  }
  const int b = floor_log2_pow10(e10);  // 2^b <= 10^e10 < 2^(b+1)
  if (b < -149) {
    return 1;  // 10^-45 lies below the smallest subnormal
  }
  if (b > 127) {
    return infinity_bits;
  }
  // Binary search in the binade [2^b, 2^(b+1)] for the first pattern whose
  // value is at least 10^e10 (twice the value over 10^e10 at least 2).
  std::uint32_t lo = bits_of_pow2(b);
  std::uint32_t hi = bits_of_pow2(b + 1);
  while (lo < hi) {
    const std::uint32_t mid = lo + (hi - lo) / 2;
    if (compare_exact(decode(mid), e10, 2) >= 0) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

struct threshold_table {
  std::uint32_t bits[max_e10 - min_e10 + 2];  // 10^min_e10 .. 10^(max_e10+1)
};

constexpr threshold_table make_thresholds() {
  threshold_table t{};
  for (int e10 = min_e10; e10 <= max_e10 + 1; ++e10) {
    t.bits[e10 - min_e10] = pow10_threshold(e10);
  }
  return t;
}

constexpr threshold_table thresholds = make_thresholds();

// floor(log10 2^b) for b = -149 .. 127. A value in [2^b, 2^(b+1)) has
// floor(log10) equal to this or one more, since the binade spans a factor 2.
struct pow2_exponent_table {
  std::int8_t e10[127 + 149 + 1];
};

constexpr pow2_exponent_table make_pow2_exponents() {
  pow2_exponent_table t{};
  for (int b = -149; b <= 127; ++b) {
    const std::uint32_t bits = bits_of_pow2(b);
    int e10 = min_e10;
    while (thresholds.bits[e10 + 1 - min_e10] <= bits) {
      ++e10;
    }
    t.e10[b + 149] = static_cast<std::int8_t>(e10);
  }
  return t;
}

constexpr pow2_exponent_table pow2_exponents = make_pow2_exponents();

// 10^j for j = -37 .. 49, the range of -k over both forms. Literals, so each
// is the correctly rounded double.
constexpr int min_pow10_scale = -37;
constexpr double pow10_scale[] = {
    1e-37, 1e-36, 1e-35, 1e-34, 1e-33, 1e-32, 1e-31, 1e-30, 1e-29, 1e-28, 1e-27, 1e-26, 1e-25,
    1e-24, 1e-23, 1e-22, 1e-21, 1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12,
    1e-11, 1e-10, 1e-09, 1e-08, 1e-07, 1e-06, 1e-05, 1e-04, 1e-03, 1e-02, 1e-01, 1e+00, 1e+01,
    1e+02, 1e+03, 1e+04, 1e+05, 1e+06, 1e+07, 1e+08, 1e+09, 1e+10, 1e+11, 1e+12, 1e+13, 1e+14,
    1e+15, 1e+16, 1e+17, 1e+18, 1e+19, 1e+20, 1e+21, 1e+22, 1e+23, 1e+24, 1e+25, 1e+26, 1e+27,
    1e+28, 1e+29, 1e+30, 1e+31, 1e+32, 1e+33, 1e+34, 1e+35, 1e+36, 1e+37, 1e+38, 1e+39, 1e+40,
    1e+41, 1e+42, 1e+43, 1e+44, 1e+45, 1e+46, 1e+47, 1e+48, 1e+49};
static_assert(sizeof(pow10_scale) / sizeof(double) == 49 - min_pow10_scale + 1);

constexpr std::uint32_t pow10_u32(int n) {
  std::uint32_t p = 1;
  for (int i = 0; i < n; ++i) {
    p *= 10;
  }
  return p;
}

struct decimal_value {
  std::uint32_t digits;  // 10^(P-1) <= digits < 10^P
  int e10;
};

// Whether q = |v| / 10^k, known to lie close to n + 1/2, rounds up to n + 1:
// it lies above the half, or exactly on it with n odd. Out of line because it
// is rarely called, and inlined its register needs would slow every call.
[[gnu::noinline]] bool rounds_up_near_tie(binary_value b, int k, std::uint32_t n) noexcept {
  const int c = compare_exact(b, k, std::uint64_t{2} * n + 1);
  return c > 0 || (c == 0 && (n & 1U) != 0);
}

// |v| scaled to P digits before the point, to 16 bits after it.
struct scaled_value {
  std::uint64_t m;  // q * 2^16 rounded to an integer
  int k;            // q = |v| / 10^k
  int e10;
};

// Per binade [2^b, 2^(b+1)): the decimal exponent e10 of its values below
// the binade's power of ten (if any), that power's threshold, and 10^-k for
// both exponents, so that one load and one comparison give the scale.
struct binade {
  std::uint32_t threshold;  // values from here on have e10 + 1
  int e10;
  double scale_below;  // 10^-k for e10
  double scale_above;  // 10^-k for e10 + 1
};

template <int P>
struct binade_table {
  binade b[127 + 149 + 1];
};

template <int P>
constexpr binade_table<P> make_binades() {
  binade_table<P> t{};
  const auto scale_of = [](int e10) { return pow10_scale[-(e10 - (P - 1)) - min_pow10_scale]; };
  for (int b = -149; b <= 127; ++b) {
    const int e10 = pow2_exponents.e10[b + 149];
    // 10^39 lies beyond every float: its threshold is infinity's pattern.
    t.b[b + 149] = {thresholds.bits[e10 + 1 - min_e10], e10, scale_of(e10),
                    e10 < max_e10 ? scale_of(e10 + 1) : scale_of(e10)};
  }
  return t;
}

template <int P>
constexpr binade_table<P> binades = make_binades<P>();

// abs_bits is finite and non-zero, and binary_exponent is floor(log2 |v|).
template <int P>
scaled_value scale(std::uint32_t abs_bits, int binary_exponent) noexcept {
  const binade& b = binades<P>.b[binary_exponent + 149];
  const bool above = abs_bits >= b.threshold;
  const int e10 = b.e10 + (above ? 1 : 0);
  const double q =
      static_cast<double>(std::bit_cast<float>(abs_bits)) * (above ? b.scale_above : b.scale_below);
  // Adding 2^36 to q < 2^17 leaves 16 bits of its fraction in the double's
  // mantissa, rounded; no conversion between integer and floating point.
  constexpr double fraction_shift = 0x1p36;
  const std::uint64_t m =
      std::bit_cast<std::uint64_t>(q + fraction_shift) & ((std::uint64_t{1} << 52) - 1);
  return {m, e10 - (P - 1), e10};
}

// Whether q lies so close to a half-integer that m cannot tell which way it
// rounds: the low 16 bits of m within one of 0x8000.
constexpr bool near_tie(std::uint64_t m) {
  return (static_cast<std::uint32_t>(m) & 0xffffU) - 0x7fffU <= 2U;
}

// The digits from m: (m + 2^15) / 2^16 truncated, or `exact` near a tie.
// Rounding up from 99999.5 or above carries into the exponent.
template <int P>
decimal_value digits_of(scaled_value s, std::uint32_t exact) noexcept {
  auto n = near_tie(s.m) ? exact : static_cast<std::uint32_t>((s.m + 0x8000U) >> 16);
  const bool carry = n == pow10_u32(P);
  n = carry ? pow10_u32(P - 1) : n;
  return {n, s.e10 + (carry ? 1 : 0)};
}

constexpr char digit_pairs[] =
    "00010203040506070809"
    "10111213141516171819"
    "20212223242526272829"
    "30313233343536373839"
    "40414243444546474849"
    "50515253545556575859"
    "60616263646566676869"
    "70717273747576777879"
    "80818283848586878889"
    "90919293949596979899";

inline char* put_pair(char* out, std::uint32_t n) noexcept {
  std::memcpy(out, &digit_pairs[2 * n], 2);
  return out + 2;
}

// The two characters of n < 100 as a little-endian 16-bit word.
inline std::uint64_t pair_word(std::uint32_t n) noexcept {
  std::uint16_t w;
  std::memcpy(&w, &digit_pairs[2 * n], 2);
  return w;
}

// Writes the field of P significant digits (width P + 6) and the line end,
// for a value with the given sign and digits, character by character.
template <int P>
char* put_digits(char* out, bool negative, decimal_value d) noexcept {
  [[maybe_unused]] constexpr std::size_t width = P + 6;
  char* p = out;
  *p++ = negative ? '-' : ' ';
  const std::uint32_t rest_scale = pow10_u32(P - 1);
  *p++ = static_cast<char>('0' + d.digits / rest_scale);
  *p++ = '.';
  std::uint32_t rest = d.digits % rest_scale;
  if constexpr (P == 5) {
    p = put_pair(p, rest / 100);
    p = put_pair(p, rest % 100);
  } else {
    static_assert(P == 2);
    *p++ = static_cast<char>('0' + rest);
  }
  *p++ = 'E';
  *p++ = d.e10 < 0 ? '-' : '+';
  p = put_pair(p, static_cast<std::uint32_t>(d.e10 < 0 ? -d.e10 : d.e10));
  *p++ = '\n';
  assert(p == out + width + 1);
  return p;
}

// Zeros, subnormals, infinities, NaNs and values close to a tie: out of
// line, so that the common path keeps its registers to itself.
template <int P>
[[gnu::noinline]] char* put_rare(char* out, std::uint32_t bits) noexcept {
  constexpr std::size_t width = P + 6;
  const std::uint32_t abs_bits = bits & ~sign_bit;
  if (abs_bits >= infinity_bits) {
    // Right-aligned spellings; a spelling wider than the field becomes a
    // field of asterisks.
    const char* text = abs_bits > infinity_bits ? "NaN"
                       : bits != abs_bits       ? "-Infinity"
                                                : "Infinity";
    const std::size_t len = std::strlen(text);
    if (len > width) {
      std::memset(out, '*', width);
    } else {
      std::memset(out, ' ', width - len);
      std::memcpy(out + (width - len), text, len);
    }
    out[width] = '\n';
    return out + width + 1;
  }
  if (abs_bits == 0) {  // both zeros are written as " 0.0...E+00"
    return put_digits<P>(out, false, {0, 0});
  }
  // A subnormal, or a value close to a tie: q is compared with the
  // half-integer exactly.
  const binary_value b = decode(abs_bits);
  const scaled_value s = scale<P>(abs_bits, b.e + std::bit_width(b.m) - 1);
  std::uint32_t exact = 0;
  if (near_tie(s.m)) {
    const auto below = static_cast<std::uint32_t>(s.m >> 16);  // q is close to below + 1/2
    exact = below + static_cast<std::uint32_t>(rounds_up_near_tie(b, s.k, below));
  }
  return put_digits<P>(out, bits != abs_bits, digits_of<P>(s, exact));
}

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
    // value below 10^5, checked by the tests against printf).
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

template <int P>
char* put_run_portable(char* out, std::span<const float> values) noexcept {
  for (const float v : values) {
    out = put_form<P>(out, v);
  }
  return out;
}

#if defined(__x86_64__) && defined(__GNUC__)
#  define TERVOX_WIDE_NUMBER_RUNS 1

// Rewrites, in a block of lines formatted from the values at `in`, the
// lines of the values marked in `rare` with put_rare.
template <int P>
void put_rare_lanes(char* out, const float* in, std::uint64_t rare) noexcept {
  for (; rare != 0; rare &= rare - 1) {
    const auto j = static_cast<std::size_t>(__builtin_ctzll(rare));
    put_rare<P>(out + j * (P + 7), std::bit_cast<std::uint32_t>(in[j]));
  }
}

// Runs of values, eight at a time in AVX-512 registers
// --------------------------------------------------
// Lanes that put_form would send to put_rare (zeros, subnormals,
// infinities, NaNs, values near a tie) are formatted wrongly at first and
// then overwritten, one by one, by put_rare itself: every line has the same
// length, so a lane's line sits at a known place. Before the conversion to
// double such lanes are replaced by 1.0, so that a signalling NaN raises no
// flag the scalar path would not raise.
//
// The other lanes find q without a table in memory (gathers would cost more
// than all the rest), and without the exact threshold of the decade:
//
// 1. A normal float in the binade [2^b, 2^(b+1)) has e10 = e or e + 1, where
//    e = floor(log10 2^b) = (b * 1262611) >> 22 (checked below for every b):
//    the binade spans a factor 2, so it holds at most one power of ten.
// 2. q is computed for e, with 10^-k as 10^(16 h - 48) (one of six rounded
//    constants) times 10^l (l < 16, exact in a double): |v| * 10^-k carries
//    three roundings, a relative error below 2^-51.
// 3. When that q is at least 10^P - 1/4 the value belongs to decade e + 1, or
//    lies so close below it that it rounds up to 10^P and carries: either
//    way it is written as decade e + 1, where q is the product with 0.1 (two
//    more roundings, below 2^-50 in all) and lies in [10^(P-1) - 1/40,
//    2 * 10^(P-1)); up to 10^(P-1) - 1/40 it rounds to 10^(P-1) as it must.
//    Below 10^P - 1/4 the value is in decade e (the error is below 1e-10);
//    the few that round up to 10^P and carry go to put_rare.
// 4. With q < 2 * 10^5 the error is below 2e-10, 2e-5 units of m: m stays
//    within 1/2 + 2e-5 of the exact q * 2^16, and put_form's near-tie test
//    (the low 16 bits of m within one of 0x8000) keeps its meaning. The
//    lanes it flags go to put_rare, which decides them exactly.
//
// The digits differ from put_form only in how they become characters: each
// pair of digits (0 .. 99) is split in a 16-bit lane by t = (p * 6592) >> 16,
// which is floor(p / 10) for every p < 100 (checked below), and the two
// characters are p + 246 t + 0x3030 = ('0' + p - 10 t) + 256 ('0' + t): the
// units in the low byte, the tens in the high one. A byte permutation then
// lays the characters, the signs and the fixed characters out as lines.

constexpr bool decade_of_binade_exact() {
  for (int b = -126; b <= 127; ++b) {
    if ((b * 1262611) >> 22 != pow2_exponents.e10[b + 149]) {
      return false;
    }
  }
  return true;
}
static_assert(decade_of_binade_exact());

constexpr bool pair_split_exact() {
  for (std::uint32_t p = 0; p < 100; ++p) {
    if ((p * 6592U) >> 16 != p / 10) {
      return false;
    }
  }
  return true;
}
static_assert(pair_split_exact());

// 10^-k = coarse[h] * fine[l] with 16 h + l = 48 - k: -k runs from -37 to 42
// over normal floats in both forms.
constexpr int scale_bias = 48;
alignas(64) constexpr double coarse_scale[8] = {1e-48, 1e-32, 1e-16, 1e+00,
                                                1e+16, 1e+32, 1e+48, 1e+64};
alignas(64) constexpr double fine_scale[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
static_assert(fine_scale[15] < 0x1p53);  // every power of ten here is exact

// The leading digit and the two pairs after it from the 32.32 fixed-point
// fraction, as put_form computes them: checked here for every digits value.
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

// Where each byte of eight consecutive lines comes from: byte i of the
// digits register (i < 64) or byte i - 64 of the register of signs and
// fixed characters. Per lane, the digits register holds four pairs of
// characters, the units first in each:
//   long form:  lead and '0', the two pairs after it, the exponent's pair
//   short form: the digit after the point and the lead, "0000", the exponent's
// and the other register ' ' or '-', '+' or '-', '.', 'E', '\n'.
enum : std::uint8_t { sign_char = 64, exponent_sign_char, point_char, e_char, newline_char };

template <int P>
struct line_layout {
  alignas(64) std::uint8_t index[128];
};

template <int P>
constexpr line_layout<P> make_line_layout() {
  constexpr std::uint8_t long_line[] = {sign_char, 0,      point_char,         3, 2, 5,
                                        4,         e_char, exponent_sign_char, 7, 6, newline_char};
  constexpr std::uint8_t short_line[] = {sign_char,          1, point_char, 0,           e_char,
                                         exponent_sign_char, 7, 6,          newline_char};
  constexpr std::size_t line = P + 7;
  line_layout<P> t{};
  for (std::size_t j = 0; j < 8 * line; ++j) {
    const std::uint8_t from = P == 5 ? long_line[j % line] : short_line[j % line];
    t.index[j] = static_cast<std::uint8_t>(from + 8 * (j / line));
  }
  return t;
}

template <int P>
constexpr line_layout<P> line_layouts = make_line_layout<P>();

#  define TERVOX_WIDE_TARGET \
    __attribute__((target("avx512f,avx512bw,avx512vl,avx512dq,avx512vbmi,bmi2")))

#  define TERVOX_WIDE_INLINE TERVOX_WIDE_TARGET inline __attribute__((always_inline))

template <class T>
TERVOX_WIDE_INLINE T load(const void* p) noexcept {
  T x;
  std::memcpy(&x, p, sizeof x);
  return x;
}

// The constants of the P-digit form, each a whole AVX-512 register; the
// AVX2 form reads the first half (or quarter) of the ones it shares.
template <int P>
struct wide_constants {
  using i32x8 = std::int32_t[8];
  using i64x8 = std::int64_t[8];
  using f64x8 = double[8];
  using i16x32 = std::int16_t[32];
  alignas(32) i32x8 magnitude, one32, odd_field, one_bits;
  alignas(32) i32x8 log10_2_32, bias_32, scale_base_32;  // for the AVX2 form
  alignas(64) i64x8 bias, log10_2, scale_base, one64, round, tie_bits, carry, fraction, hundred,
      hi_bits, lo_bits, marks, minus, exponent_minus;
  alignas(64) f64x8 coarse, fine_lo, fine_hi, next_decade, tenth, shift;
  alignas(64) i16x32 tenths, pair, zeros;
  alignas(64) std::uint8_t layout[128];
};

template <class T, std::size_t N, class V>
constexpr void fill(T (&a)[N], V v) {
  for (T& x : a) {
    x = static_cast<T>(v);
  }
}

template <int P>
constexpr wide_constants<P> make_wide_constants() {
  wide_constants<P> c{};
  fill(c.magnitude, 0x7fff'ffff);
  fill(c.one32, 1);
  fill(c.odd_field, 0xfe);
  fill(c.one_bits, 0x3f80'0000);
  fill(c.log10_2_32, 1262611);
  fill(c.bias_32, -127 * 1262611);
  fill(c.scale_base_32, P - 1 - min_pow10_scale);
  fill(c.bias, -127);
  fill(c.log10_2, 1262611);
  fill(c.scale_base, scale_bias + P - 1);
  fill(c.one64, 1);
  fill(c.round, 0x8001 - static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(0x1p36)));
  fill(c.tie_bits, 0xfffc);
  fill(c.carry, pow10_u32(P));
  fill(c.fraction, 429497);
  fill(c.hundred, 100);
  fill(c.hi_bits, 0xffff'0000);
  fill(c.lo_bits, static_cast<std::int64_t>(0xffff'ffff'0000'0000U));
  fill(c.marks, ' ' | '+' << 8 | '.' << 16 | 'E' << 24 | std::int64_t{'\n'} << 32);
  fill(c.minus, '-' - ' ');
  fill(c.exponent_minus, ('-' - '+') << 8);
  for (int i = 0; i < 8; ++i) {
    c.coarse[i] = coarse_scale[i];
    c.fine_lo[i] = fine_scale[i];
    c.fine_hi[i] = fine_scale[i + 8];
  }
  fill(c.next_decade, pow10_u32(P) - 0.25);
  fill(c.tenth, 0.1);
  fill(c.shift, 0x1p36);
  fill(c.tenths, 6592);
  fill(c.pair, 246);
  fill(c.zeros, 0x3030);
  for (std::size_t i = 0; i < 128; ++i) {
    c.layout[i] = line_layouts<P>.index[i];
  }
  return c;
}

template <int P>
constexpr wide_constants<P> wide_constant_table = make_wide_constants<P>();

// The P-digit form, eight values at a time. The constants are read from
// memory where they are used, through a pointer the optimiser cannot see
// through: otherwise it rebuilds each from an immediate for every eight
// values, which costs more than the loads, and turns a multiplication by a
// constant into shifts and subtractions.
template <int P>
class wide_form {
 public:
  static constexpr std::size_t line = P + 7;

  TERVOX_WIDE_INLINE wide_form() noexcept : c_(&wide_constant_table<P>) { __asm__("" : "+r"(c_)); }

  // Formats the `count` (1 .. 8) values at `in` into lines at `out`; returns
  // the lanes whose lines put_rare must write instead.
  template <bool Full>
  TERVOX_WIDE_INLINE unsigned put(char* out, const float* in, unsigned count) const noexcept {
    const __mmask8 valid = Full ? 0xff : static_cast<__mmask8>(_bzhi_u32(0xff, count));
    const __m256i bits = Full ? load<__m256i>(in) : _mm256_maskz_loadu_epi32(valid, in);
    const __m256i abs_bits = _mm256_and_si256(bits, load<__m256i>(c_->magnitude));
    // Exponent fields 0 and 255 wrap round to the top, as in put_form.
    const __mmask8 odd_field = _mm256_cmp_epu32_mask(
        _mm256_sub_epi32(_mm256_srli_epi32(abs_bits, 23), load<__m256i>(c_->one32)),
        load<__m256i>(c_->odd_field), _MM_CMPINT_NLT);
    const __m256i safe_bits =
        _mm256_mask_mov_epi32(abs_bits, odd_field, load<__m256i>(c_->one_bits));

    // e = floor(log10 2^b) and 10^-k for it, b = field - 127.
    __m512i e10 = _mm512_srai_epi64(
        _mm512_mul_epi32(_mm512_add_epi64(_mm512_cvtepu32_epi64(_mm256_srli_epi32(safe_bits, 23)),
                                          load<__m512i>(c_->bias)),
                         load<__m512i>(c_->log10_2)),
        22);
    const __m512i scale_index = _mm512_sub_epi64(load<__m512i>(c_->scale_base), e10);
    const __m512d scale = _mm512_mul_pd(
        _mm512_permutexvar_pd(_mm512_srli_epi64(scale_index, 4), load<__m512d>(c_->coarse)),
        _mm512_permutex2var_pd(load<__m512d>(c_->fine_lo), scale_index,
                               load<__m512d>(c_->fine_hi)));
    __m512d q = _mm512_mul_pd(_mm512_cvtps_pd(_mm256_castsi256_ps(safe_bits)), scale);
    const __mmask8 above = _mm512_cmp_pd_mask(q, load<__m512d>(c_->next_decade), _CMP_GE_OQ);
    q = _mm512_mask_mul_pd(q, above, q, load<__m512d>(c_->tenth));
    e10 = _mm512_mask_add_epi64(e10, above, e10, load<__m512i>(c_->one64));

    // t = m + 2^15 + 1, the exponent bits of 2^36 taken off on the way. The
    // lanes with m's low 16 bits in 0x7fff .. 0x8002 (within one of 0x8000,
    // and one more to make the test a single one) go to put_rare; for the
    // others t >> 16 is put_form's (m + 2^15) >> 16. So do the lanes that
    // round up to 10^P: they carry into the exponent, which is rare.
    const __m512i t = _mm512_add_epi64(
        _mm512_castpd_si512(_mm512_add_pd(q, load<__m512d>(c_->shift))), load<__m512i>(c_->round));
    const __m512i n = _mm512_srli_epi64(t, 16);
    const __mmask8 tie = _mm512_testn_epi64_mask(t, load<__m512i>(c_->tie_bits));
    const __mmask8 carry = _mm512_cmpeq_epi64_mask(n, load<__m512i>(c_->carry));
    const auto rare = static_cast<unsigned>((odd_field | tie | carry) & valid);

    // Four 16-bit lanes of numbers below 100 per value, the exponent's last.
    __m512i pairs = _mm512_slli_epi64(_mm512_abs_epi64(e10), 48);
    if constexpr (P == 5) {
      const __m512i f0 = _mm512_mul_epu32(n, load<__m512i>(c_->fraction));
      const __m512i f1 = _mm512_mul_epu32(f0, load<__m512i>(c_->hundred));
      const __m512i f2 = _mm512_mul_epu32(f1, load<__m512i>(c_->hundred));
      // lead | hi << 16 | lo << 32: (A & B) | C twice.
      pairs = _mm512_or_si512(pairs, _mm512_srli_epi64(f0, 32));
      pairs = _mm512_ternarylogic_epi64(_mm512_srli_epi64(f1, 16), load<__m512i>(c_->hi_bits),
                                        pairs, 0xea);
      pairs = _mm512_ternarylogic_epi64(f2, load<__m512i>(c_->lo_bits), pairs, 0xea);
    } else {
      pairs = _mm512_or_si512(pairs, n);
    }
    const __m512i tens = _mm512_mulhi_epu16(pairs, load<__m512i>(c_->tenths));
    // The units and tens are below 16: '0' + d is 0x30 | d.
    const __m512i digits =
        _mm512_or_si512(_mm512_add_epi16(pairs, _mm512_mullo_epi16(tens, load<__m512i>(c_->pair))),
                        load<__m512i>(c_->zeros));

    __m512i marks = _mm512_mask_add_epi64(load<__m512i>(c_->marks), _mm256_movepi32_mask(bits),
                                          load<__m512i>(c_->marks), load<__m512i>(c_->minus));
    marks = _mm512_mask_add_epi64(marks, _mm512_movepi64_mask(e10), marks,
                                  load<__m512i>(c_->exponent_minus));

    const __m512i first = _mm512_permutex2var_epi8(digits, load<__m512i>(c_->layout), marks);
    const __m512i second = _mm512_permutex2var_epi8(digits, load<__m512i>(c_->layout + 64), marks);
    if constexpr (Full) {
      _mm512_storeu_si512(out, first);
      if constexpr (P == 5) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64), _mm512_castsi512_si256(second));
      } else {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 64), _mm512_castsi512_si128(second));
      }
    } else {
      const std::size_t bytes = count * line;
      _mm512_mask_storeu_epi8(out, _bzhi_u64(~std::uint64_t{0}, static_cast<unsigned>(bytes)),
                              first);
      if (bytes > 64) {
        _mm512_mask_storeu_epi8(
            out + 64, _bzhi_u64(~std::uint64_t{0}, static_cast<unsigned>(bytes - 64)), second);
      }
    }
    return rare;
  }

 private:
  const wide_constants<P>* c_;
};

template <int P>
TERVOX_WIDE_TARGET char* put_run_wide(char* out, std::span<const float> values) noexcept {
  constexpr std::size_t line = P + 7;
  const wide_form<P> form;
  const float* in = values.data();
  std::size_t left = values.size();
  // Up to 64 values at a time: the vector part first, then the rare lanes,
  // so that no call sits in the vector loop (the compiler would keep its
  // vector registers in memory across it).
  while (left != 0) {
    const std::size_t block = std::min<std::size_t>(left, 64);
    std::uint64_t rare = 0;
    std::size_t i = 0;
    for (; i + 8 <= block; i += 8) {
      rare |= std::uint64_t{form.template put<true>(out + i * line, in + i, 8)} << i;
    }
    if (i != block) {
      rare |= std::uint64_t{form.template put<false>(out + i * line, in + i,
                                                     static_cast<unsigned>(block - i))}
              << i;
    }
    put_rare_lanes<P>(out, in, rare);
    in += block;
    out += block * line;
    left -= block;
  }
  return out;
}

// Runs of values, four at a time in AVX2 registers
// ------------------------------------------------
// For processors without AVX-512: the same steps as the eight-lane form,
// with 10^-k read from pow10_scale (one rounding fewer than the product of
// the two register tables, so the bounds above hold with room to spare) and
// the lines laid out two by two, one 128-bit half of a register each, by
// byte shuffles of the digits and of the signs and fixed characters. A run's
// last values, fewer than four, take put_form.

// For byte j of two consecutive lines, the byte of the digits (and of the
// marks) that it is, or 0x80 (a zero) where it comes from the other.
template <int P>
struct pair_layout {
  alignas(32) std::uint8_t digits[2][32];
  alignas(32) std::uint8_t marks[2][32];
};

template <int P>
constexpr pair_layout<P> make_pair_layout() {
  constexpr std::size_t line = P + 7;
  pair_layout<P> t{};
  for (std::size_t chunk = 0; chunk < 2; ++chunk) {
    for (std::size_t k = 0; k < 16; ++k) {
      const std::size_t j = 16 * chunk + k;
      std::uint8_t from = 0x80;  // beyond the two lines
      if (j < 2 * line) {
        from = static_cast<std::uint8_t>(line_layouts<P>.index[j % line] + 8 * (j / line));
      }
      const bool mark = from != 0x80 && from >= 64;
      const auto digit_byte = static_cast<std::uint8_t>(mark || from == 0x80 ? 0x80 : from);
      const auto mark_byte = static_cast<std::uint8_t>(mark ? from - 64 : 0x80);
      t.digits[chunk][k] = t.digits[chunk][k + 16] = digit_byte;
      t.marks[chunk][k] = t.marks[chunk][k + 16] = mark_byte;
    }
  }
  return t;
}

template <int P>
constexpr pair_layout<P> pair_layouts = make_pair_layout<P>();

#  define TERVOX_AVX2_TARGET __attribute__((target("avx2")))

template <class T>
TERVOX_AVX2_TARGET inline __attribute__((always_inline)) T load_avx2(const void* p) noexcept {
  T x;
  std::memcpy(&x, p, sizeof x);
  return x;
}

// Formats the four values at `in` into lines at `out`; returns the lanes
// whose lines put_rare must write instead. The constants are read from
// memory where they are used, as in wide_form.
template <int P>
TERVOX_AVX2_TARGET inline __attribute__((always_inline)) unsigned put_four(
    char* out, const float* in, const wide_constants<P>* c) noexcept {
  constexpr std::size_t line = P + 7;
  const __m128i bits = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i abs_bits = _mm_and_si128(bits, load_avx2<__m128i>(c->magnitude));
  // Exponent fields 0 and 255 are the ones whose successor has no bit in 0xfe.
  const __m128i odd_field = _mm_cmpeq_epi32(
      _mm_and_si128(_mm_add_epi32(_mm_srli_epi32(abs_bits, 23), load_avx2<__m128i>(c->one32)),
                    load_avx2<__m128i>(c->odd_field)),
      _mm_setzero_si128());
  const __m128i safe_bits = _mm_blendv_epi8(abs_bits, load_avx2<__m128i>(c->one_bits), odd_field);

  // e = floor(log10 2^b), b = field - 127, and 10^-k for it.
  const __m128i e32 = _mm_srai_epi32(
      _mm_add_epi32(
          _mm_mullo_epi32(_mm_srli_epi32(safe_bits, 23), load_avx2<__m128i>(c->log10_2_32)),
          load_avx2<__m128i>(c->bias_32)),
      22);
  const __m128i scale_index = _mm_sub_epi32(load_avx2<__m128i>(c->scale_base_32), e32);
  // The gather keeps the lanes its mask leaves out, so it waits for the last
  // value of its destination register, which the register allocator may take
  // from the previous four values and chain the iterations one after the
  // other. Starting from zero breaks that chain; the compiler would drop the
  // zero if it saw that the mask takes every lane.
  __m256d all_lanes = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  __asm__("" : "+x"(all_lanes));
  const __m256d scale =
      _mm256_mask_i32gather_pd(_mm256_setzero_pd(), pow10_scale, scale_index, all_lanes, 8);
  __m256d q = _mm256_mul_pd(_mm256_cvtps_pd(_mm_castsi128_ps(safe_bits)), scale);
  const __m256d above = _mm256_cmp_pd(q, load_avx2<__m256d>(c->next_decade), _CMP_GE_OQ);
  q = _mm256_blendv_pd(q, _mm256_mul_pd(q, load_avx2<__m256d>(c->tenth)), above);
  // `above` is all ones, -1, where the decade is e + 1.
  const __m256i e10 = _mm256_sub_epi64(_mm256_cvtepi32_epi64(e32), _mm256_castpd_si256(above));

  // t = m + 2^15 + 1, as in the eight-lane form.
  const __m256i t =
      _mm256_add_epi64(_mm256_castpd_si256(_mm256_add_pd(q, load_avx2<__m256d>(c->shift))),
                       load_avx2<__m256i>(c->round));
  const __m256i n = _mm256_srli_epi64(t, 16);
  const __m256i tie = _mm256_cmpeq_epi64(_mm256_and_si256(t, load_avx2<__m256i>(c->tie_bits)),
                                         _mm256_setzero_si256());
  const __m256i carry = _mm256_cmpeq_epi64(n, load_avx2<__m256i>(c->carry));
  const auto rare =
      static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(_mm256_or_si256(tie, carry))) |
                            _mm_movemask_ps(_mm_castsi128_ps(odd_field)));

  const __m256i negative_exponent = _mm256_cmpgt_epi64(_mm256_setzero_si256(), e10);
  const __m256i abs_e10 =
      _mm256_sub_epi64(_mm256_xor_si256(e10, negative_exponent), negative_exponent);
  __m256i pairs = _mm256_slli_epi64(abs_e10, 48);
  if constexpr (P == 5) {
    const __m256i f0 = _mm256_mul_epu32(n, load_avx2<__m256i>(c->fraction));
    const __m256i f1 = _mm256_mul_epu32(f0, load_avx2<__m256i>(c->hundred));
    const __m256i f2 = _mm256_mul_epu32(f1, load_avx2<__m256i>(c->hundred));
    pairs = _mm256_or_si256(pairs, _mm256_srli_epi64(f0, 32));
    pairs = _mm256_or_si256(
        pairs, _mm256_and_si256(_mm256_srli_epi64(f1, 16), load_avx2<__m256i>(c->hi_bits)));
    pairs = _mm256_or_si256(pairs, _mm256_and_si256(f2, load_avx2<__m256i>(c->lo_bits)));
  } else {
    pairs = _mm256_or_si256(pairs, n);
  }
  const __m256i tens = _mm256_mulhi_epu16(pairs, load_avx2<__m256i>(c->tenths));
  const __m256i digits = _mm256_or_si256(
      _mm256_add_epi16(pairs, _mm256_mullo_epi16(tens, load_avx2<__m256i>(c->pair))),
      load_avx2<__m256i>(c->zeros));

  const __m256i negative = _mm256_cvtepi32_epi64(_mm_srai_epi32(bits, 31));
  const __m256i marks = _mm256_add_epi64(
      load_avx2<__m256i>(c->marks),
      _mm256_or_si256(_mm256_and_si256(negative, load_avx2<__m256i>(c->minus)),
                      _mm256_and_si256(negative_exponent, load_avx2<__m256i>(c->exponent_minus))));

  const auto& layout = pair_layouts<P>;
  const auto chunk = [&](std::size_t which) TERVOX_AVX2_TARGET {
    return _mm256_or_si256(_mm256_shuffle_epi8(digits, load_avx2<__m256i>(layout.digits[which])),
                           _mm256_shuffle_epi8(marks, load_avx2<__m256i>(layout.marks[which])));
  };
  const __m256i first = chunk(0);
  const __m256i second = chunk(1);
  // Each half holds two lines: 16 bytes in `first`, the rest in `second`.
  for (std::size_t half = 0; half < 2; ++half) {
    char* at = out + half * 2 * line;
    const __m128i a =
        half == 0 ? _mm256_castsi256_si128(first) : _mm256_extracti128_si256(first, 1);
    const __m128i b =
        half == 0 ? _mm256_castsi256_si128(second) : _mm256_extracti128_si256(second, 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), a);
    if constexpr (P == 5) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(at + 16), b);
    } else {
      const auto rest = static_cast<std::uint16_t>(_mm_cvtsi128_si32(b));
      std::memcpy(at + 16, &rest, 2);
    }
  }
  return rare;
}

template <int P>
TERVOX_AVX2_TARGET char* put_run_avx2(char* out, std::span<const float> values) noexcept {
  constexpr std::size_t line = P + 7;
  const wide_constants<P>* c = &wide_constant_table<P>;
  __asm__("" : "+r"(c));
  const float* in = values.data();
  std::size_t left = values.size();
  while (left >= 4) {
    // As in put_run_wide: the vector part of up to 64 values first.
    const std::size_t block = std::min<std::size_t>(left, 64) & ~std::size_t{3};
    std::uint64_t rare = 0;
    for (std::size_t i = 0; i < block; i += 4) {
      rare |= std::uint64_t{put_four<P>(out + i * line, in + i, c)} << i;
    }
    put_rare_lanes<P>(out, in, rare);
    in += block;
    out += block * line;
    left -= block;
  }
  return put_run_portable<P>(out, std::span<const float>(in, left));
}

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

char* put_long(char* out, float v) noexcept {
  return put_form<5>(out, v);
}

char* put_short(char* out, float v) noexcept {
  return put_form<2>(out, v);
}

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

}  // namespace tervox::formats
