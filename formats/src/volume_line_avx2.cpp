// The volume file's number forms a run at a time, four values in AVX2
// registers. Every function here that uses the instructions carries
// TERVOX_AVX2_TARGET; the file has no flags of its own, and volume_line.cpp
// calls in only where the processor has AVX2.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

#include "volume_line_lanes.hpp"
#include "volume_line_paths.hpp"

#ifdef TERVOX_WIDE_NUMBER_RUNS

// GCC 12 warns inside the intrinsics' own definitions of _mm512_undefined_*.
#  pragma GCC diagnostic push
#  ifndef __clang__
#    pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#  endif
#  pragma GCC diagnostic ignored "-Wuninitialized"
#  include <immintrin.h>
#  pragma GCC diagnostic pop

namespace tervox::formats::number_forms {
namespace {

// Runs of values, four at a time in AVX2 registers
// ------------------------------------------------
// For processors without AVX-512: the same steps as the eight-lane form,
// with 10^-k read from pow10_scale (one rounding fewer than the product of
// the two register tables, so the bounds in volume_line_lanes.hpp hold with
// room to spare) and the lines laid out two by two, one 128-bit half of a
// register each, by byte shuffles of the digits and of the signs and fixed
// characters. A run's last values, fewer than four, take put_form.

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

}  // namespace

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

template char* put_run_avx2<5>(char*, std::span<const float>) noexcept;
template char* put_run_avx2<2>(char*, std::span<const float>) noexcept;

}  // namespace tervox::formats::number_forms

#endif  // TERVOX_WIDE_NUMBER_RUNS
