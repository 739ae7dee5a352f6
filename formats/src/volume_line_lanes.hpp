// What the two vector paths of the volume file's number forms share: how a
// lane finds its digits, the constants they load, the layout of the lines
// in a register, and the hand-over of the lanes they cannot write. Plain
// data and portable code: the instructions are the paths' own.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "volume_line_digits.hpp"
#include "volume_line_paths.hpp"

#ifdef TERVOX_WIDE_NUMBER_RUNS

namespace tervox::formats::number_forms {
namespace {

// Rewrites, in a block of lines formatted from the values at `in`, the
// lines of the values marked in `rare` with put_rare (this file's own copy,
// as volume_line_digits.hpp explains).
template <int P>
void put_rare_lanes(char* out, const float* in, std::uint64_t rare) noexcept {
  for (; rare != 0; rare &= rare - 1) {
    const auto j = static_cast<std::size_t>(__builtin_ctzll(rare));
    put_rare<P>(out + j * (P + 7), std::bit_cast<std::uint32_t>(in[j]));
  }
}

}  // namespace

// How a lane finds its digits
// ---------------------------
// The AVX-512 path takes eight values at a time, the AVX2 path four. Lanes
// that put_form would send to put_rare (zeros, subnormals, infinities, NaNs,
// values near a tie) are formatted wrongly at first and then overwritten,
// one by one, by put_rare itself: every line has the same length, so a
// lane's line sits at a known place. Before the conversion to
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
alignas(64) inline constexpr double coarse_scale[8] = {1e-48, 1e-32, 1e-16, 1e+00,
                                                       1e+16, 1e+32, 1e+48, 1e+64};
alignas(64) inline constexpr double fine_scale[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                      1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
static_assert(fine_scale[15] < 0x1p53);  // every power of ten here is exact

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
inline constexpr line_layout<P> line_layouts = make_line_layout<P>();

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
inline constexpr wide_constants<P> wide_constant_table = make_wide_constants<P>();

}  // namespace tervox::formats::number_forms

#endif  // TERVOX_WIDE_NUMBER_RUNS
