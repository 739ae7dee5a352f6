// Cost per value of the volume file's number forms: the tool's formatter (a
// value per call, and runs of values per call on each path),
// std::to_chars with a precision (exact too, but needs a fix-up to reach the
// field layout) and snprintf, on values spread like gridded survey data.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <span>
#include <vector>

#include "formats/volume_line.hpp"

namespace {

constexpr std::size_t value_count = 1 << 14;

// Layer values spread over six decades (log-mode resistivities from 0.1 to
// 1e5 ohm-m), a tenth of them negative (linear mode) and a tenth exactly the
// fill value. Drawn from raw engine output so the set is the same everywhere.
const std::vector<float>& survey_values() {
  static const std::vector<float> values = [] {
    std::mt19937 gen(7);
    std::vector<float> v(value_count);
    for (float& x : v) {
      const double u = static_cast<double>(gen() >> 8) * 0x1p-24;
      const auto kind = gen() % 10;
      const double magnitude = std::pow(10.0, 6.0 * u - 1.0);
      x = kind == 0   ? -100.0F
          : kind == 1 ? static_cast<float>(-magnitude)
                      : static_cast<float>(magnitude);
    }
    return v;
  }();
  return values;
}

// Adds the counter time_per_value, the inverted rate of n values per
// iteration.
void report_ns_per_value(benchmark::State& state, std::size_t n) {
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
  state.counters["time_per_value"] =
      benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate |
                                                     benchmark::Counter::kInvert);
}

template <char* (*Put)(char*, float) noexcept, std::size_t LineSize>
void bm_tervox(benchmark::State& state) {
  const std::vector<float>& values = survey_values();
  std::vector<char> buffer(values.size() * LineSize);
  for (auto _ : state) {
    char* p = buffer.data();
    for (const float v : values) {
      p = Put(p, v);
    }
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  report_ns_per_value(state, values.size());
}

// The same values formatted a run at a time, as tervox formats each cell's
// layers: runs of state.range(0) values (the whole set when 0) on the given
// path.
template <char* (*Put)(char*, std::span<const float>, tervox::formats::number_run_path) noexcept,
          std::size_t LineSize, tervox::formats::number_run_path Path>
void bm_tervox_runs(benchmark::State& state) {
  const std::vector<float>& values = survey_values();
  const auto run = state.range(0) == 0 ? values.size() : static_cast<std::size_t>(state.range(0));
  std::vector<char> buffer(values.size() * LineSize);
  for (auto _ : state) {
    char* p = buffer.data();
    for (std::size_t i = 0; i < values.size(); i += run) {
      p = Put(p, std::span<const float>(values).subspan(i, std::min(run, values.size() - i)), Path);
    }
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  report_ns_per_value(state, values.size());
}

// std::to_chars gives "1.2346e+02"; the field needs a leading blank for
// non-negative values and a capital E. Finite values only, as in the data.
template <int Precision, std::size_t Width>
char* put_with_to_chars(char* out, float v) noexcept {
  char* digits = v < 0.0F ? out : out + 1;
  *out = ' ';
  const std::to_chars_result r =
      std::to_chars(digits, out + Width, v, std::chars_format::scientific, Precision);
  *(r.ptr - 4) = 'E';
  *r.ptr = '\n';
  return r.ptr + 1;
}

template <int Precision, std::size_t Width>
void bm_to_chars(benchmark::State& state) {
  const std::vector<float>& values = survey_values();
  std::vector<char> buffer(values.size() * (Width + 1) + 8);
  for (auto _ : state) {
    char* p = buffer.data();
    for (const float v : values) {
      p = put_with_to_chars<Precision, Width>(p, v);
    }
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  report_ns_per_value(state, values.size());
}

void bm_snprintf(benchmark::State& state, const char* format, std::size_t line_size) {
  const std::vector<float>& values = survey_values();
  std::vector<char> buffer(values.size() * line_size + 1);
  for (auto _ : state) {
    char* p = buffer.data();
    for (const float v : values) {
      p += std::snprintf(p, line_size + 1, format, static_cast<double>(v));
    }
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  report_ns_per_value(state, values.size());
}

void bm_put_long(benchmark::State& state) {
  bm_tervox<tervox::formats::put_long, tervox::formats::long_line_size>(state);
}
void bm_put_short(benchmark::State& state) {
  bm_tervox<tervox::formats::put_short, tervox::formats::short_line_size>(state);
}
void bm_put_long_runs(benchmark::State& state) {
  bm_tervox_runs<tervox::formats::put_long, tervox::formats::long_line_size,
                 tervox::formats::number_run_path::widest>(state);
}
void bm_put_long_runs_avx2(benchmark::State& state) {
  bm_tervox_runs<tervox::formats::put_long, tervox::formats::long_line_size,
                 tervox::formats::number_run_path::avx2>(state);
}
void bm_put_long_runs_portable(benchmark::State& state) {
  bm_tervox_runs<tervox::formats::put_long, tervox::formats::long_line_size,
                 tervox::formats::number_run_path::portable>(state);
}
void bm_put_short_runs(benchmark::State& state) {
  bm_tervox_runs<tervox::formats::put_short, tervox::formats::short_line_size,
                 tervox::formats::number_run_path::widest>(state);
}
void bm_put_short_runs_avx2(benchmark::State& state) {
  bm_tervox_runs<tervox::formats::put_short, tervox::formats::short_line_size,
                 tervox::formats::number_run_path::avx2>(state);
}
void bm_put_short_runs_portable(benchmark::State& state) {
  bm_tervox_runs<tervox::formats::put_short, tervox::formats::short_line_size,
                 tervox::formats::number_run_path::portable>(state);
}
void bm_to_chars_long(benchmark::State& state) {
  bm_to_chars<4, tervox::formats::long_field_width>(state);
}
void bm_to_chars_short(benchmark::State& state) {
  bm_to_chars<1, tervox::formats::short_field_width>(state);
}
void bm_snprintf_long(benchmark::State& state) {
  bm_snprintf(state, "%11.4E\n", tervox::formats::long_line_size);
}
void bm_snprintf_short(benchmark::State& state) {
  bm_snprintf(state, "%8.1E\n", tervox::formats::short_line_size);
}

BENCHMARK(bm_put_long);
// Runs of 5, 20 and 30 values are cells of the benchmark surveys' layer
// counts; 0 is the whole set in one call.
BENCHMARK(bm_put_long_runs)->Arg(5)->Arg(20)->Arg(30)->Arg(0);
BENCHMARK(bm_put_long_runs_avx2)->Arg(5)->Arg(30)->Arg(0);
BENCHMARK(bm_put_long_runs_portable)->Arg(30)->Arg(0);
BENCHMARK(bm_to_chars_long);
BENCHMARK(bm_snprintf_long);
BENCHMARK(bm_put_short);
BENCHMARK(bm_put_short_runs)->Arg(5)->Arg(20)->Arg(30)->Arg(0);
BENCHMARK(bm_put_short_runs_avx2)->Arg(5)->Arg(30)->Arg(0);
BENCHMARK(bm_put_short_runs_portable)->Arg(30)->Arg(0);
BENCHMARK(bm_to_chars_short);
BENCHMARK(bm_snprintf_short);

}  // namespace
