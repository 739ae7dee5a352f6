// The entry points of the three ways to format a run of values, which
// volume_line.cpp chooses between: the portable loop
// (volume_line_portable.cpp), and the AVX-512 and AVX2 paths
// (volume_line_avx512.cpp, volume_line_avx2.cpp).
//
// The vector paths are compiled for their instruction sets function by
// function (the target attributes below), never file by file: nothing else
// in the program is compiled for them, and volume_line.cpp asks the
// processor before it calls one.
#pragma once

#include <span>

namespace tervox::formats::number_forms {

// Each writes the lines of `values` one value after the other, in the long
// form for P = 5 and the short one for P = 2.

// The portable loop (volume_line_portable.cpp).
template <int P>
char* put_run_portable(char* out, std::span<const float> values) noexcept;

#if defined(__x86_64__) && defined(__GNUC__)
#  define TERVOX_WIDE_NUMBER_RUNS 1

#  define TERVOX_WIDE_TARGET \
    __attribute__((target("avx512f,avx512bw,avx512vl,avx512dq,avx512vbmi,bmi2")))
#  define TERVOX_AVX2_TARGET __attribute__((target("avx2")))

// Eight values at a time in AVX-512 registers (volume_line_avx512.cpp):
// only where the processor has every extension in TERVOX_WIDE_TARGET.
template <int P>
TERVOX_WIDE_TARGET char* put_run_wide(char* out, std::span<const float> values) noexcept;

// Four values at a time in AVX2 registers (volume_line_avx2.cpp): only
// where the processor has AVX2.
template <int P>
TERVOX_AVX2_TARGET char* put_run_avx2(char* out, std::span<const float> values) noexcept;
#endif

}  // namespace tervox::formats::number_forms
