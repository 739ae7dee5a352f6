// The volume file's number forms a run at a time, eight values in AVX-512
// registers. Every function here that uses the instructions carries
// TERVOX_WIDE_TARGET; the file has no flags of its own, and volume_line.cpp
// calls in only where the processor has the extensions.
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

#  define TERVOX_WIDE_INLINE TERVOX_WIDE_TARGET inline __attribute__((always_inline))

template <class T>
TERVOX_WIDE_INLINE T load(const void* p) noexcept {
  T x;
  std::memcpy(&x, p, sizeof x);
  return x;
}

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

}  // namespace

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

template char* put_run_wide<5>(char*, std::span<const float>) noexcept;
template char* put_run_wide<2>(char*, std::span<const float>) noexcept;

}  // namespace tervox::formats::number_forms

#endif  // TERVOX_WIDE_NUMBER_RUNS
