// The exact digits of the volume file's number forms, which every path
// shares: the tables that find a value's decade and scale it, and put_rare,
// which writes the lines that need more than the common arithmetic (zeros,
// subnormals, infinities, NaNs, values close to a tie). The portable
// formatting (volume_line_portable.cpp) sends such values to it, and the two
// vector paths (volume_line_avx512.cpp, volume_line_avx2.cpp) hand it the
// lanes they cannot write.
#pragma once

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

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

namespace tervox::formats::number_forms {

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
inline constexpr pow5_table pow5 = make_pow5();

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

inline constexpr threshold_table thresholds = make_thresholds();

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

inline constexpr pow2_exponent_table pow2_exponents = make_pow2_exponents();

// 10^j for j = -37 .. 49, the range of -k over both forms. Literals, so each
// is the correctly rounded double.
constexpr int min_pow10_scale = -37;
inline constexpr double pow10_scale[] = {
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
inline constexpr binade_table<P> binades = make_binades<P>();

inline constexpr char digit_pairs[] =
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

// The functions below have internal linkage: each file that includes this
// header has its own copy. A call to put_rare then lets the compiler see
// which registers it uses, and the vector loops keep their constants and
// partial results in the others across the call; a call to a function of
// another file would clobber every register the calling convention allows.
namespace {

// Whether q = |v| / 10^k, known to lie close to n + 1/2, rounds up to n + 1:
// it lies above the half, or exactly on it with n odd. Out of line because it
// is rarely called, and inlined its register needs would slow every call.
[[gnu::noinline]] bool rounds_up_near_tie(binary_value b, int k, std::uint32_t n) noexcept {
  const int c = compare_exact(b, k, std::uint64_t{2} * n + 1);
  return c > 0 || (c == 0 && (n & 1U) != 0);
}

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

}  // namespace

}  // namespace tervox::formats::number_forms
