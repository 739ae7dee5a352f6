// Compares the long and short number forms of the volume file with printf's
// "%11.4E" and "%8.1E" for every one of the 2^32 float bit patterns, one value
// per call and in runs (on the portable path and, where the processor has
// them, on the AVX-512 and AVX2 paths).
//
//   number_format_exhaustive [threads] [first last]
//
// threads defaults to the number of cores; first and last (hexadecimal bit
// patterns, inclusive) narrow the sweep for a quick run. Prints its progress
// and the mismatch count; exits with status 1 on any mismatch. Build it
// optimised: a full sweep makes about 8.6e9 printf calls.
#include <atomic>
#include <bit>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "formats/volume_line.hpp"

namespace tervox_test {
namespace {

using tervox::formats::long_field_width;
using tervox::formats::long_line_size;
using tervox::formats::short_field_width;
using tervox::formats::short_line_size;

// The expected line: printf for finite values (a negative zero without its
// minus sign), the tool's own spellings for infinities and not-a-numbers.
std::size_t expected_line(char* out, std::size_t width, const char* format, float v) {
  if (std::isfinite(v)) {
    const double d = v == 0.0F ? 0.0 : static_cast<double>(v);
    return static_cast<std::size_t>(std::snprintf(out, 32, format, d));
  }
  const char* text = std::isnan(v) ? "NaN" : v < 0.0F ? "-Infinity" : "Infinity";
  const std::size_t len = std::strlen(text);
  if (len > width) {
    std::memset(out, '*', width);
  } else {
    std::memset(out, ' ', width - len);
    std::memcpy(out + (width - len), text, len);
  }
  out[width] = '\n';
  return width + 1;
}

struct sweep {
  std::uint64_t first = 0;
  std::uint64_t last = 0xffff'ffffU;
  std::uint64_t chunk = std::uint64_t{1} << 24;
  std::atomic<std::uint64_t> next_chunk{0};
  std::atomic<std::uint64_t> chunks_done{0};
  std::atomic<std::uint64_t> mismatches{0};
  std::mutex print_mutex;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();

  std::uint64_t chunk_count() const { return (last - first) / chunk + 1; }
};

void report_mismatch(sweep& s, std::uint32_t bits, const char* form, const char* got,
                     std::size_t got_len, const char* want, std::size_t want_len) {
  const std::uint64_t n = ++s.mismatches;
  if (n > 20) {
    return;  // the count at the end tells the rest
  }
  const std::lock_guard<std::mutex> lock(s.print_mutex);
  std::printf("MISMATCH 0x%08" PRIx32 " %s: got \"%.*s\" want \"%.*s\"\n", bits, form,
              static_cast<int>(got_len - 1), got, static_cast<int>(want_len - 1), want);
  std::fflush(stdout);
}

// The runs are checked line by line against the same expected lines, on
// both paths (the wide one only where the processor has it), in runs of 1 to
// 64 consecutive patterns so that every value meets every run length and
// every position in a run.
struct run_checker {
  static constexpr std::size_t max_run = 64;
  float values[max_run];
  char want[max_run][32];
  std::size_t want_len[max_run];
  char got[max_run * long_line_size];
  std::size_t size = 0;
  std::uint32_t first_bits = 0;

  void check(sweep& s, const char* form, std::size_t line_size,
             char* (*put)(char*, std::span<const float>, tervox::formats::number_run_path) noexcept,
             tervox::formats::number_run_path path) {
    const std::span<const float> run(values, size);
    const char* end = put(got, run, path);
    if (end != got + size * line_size) {
      constexpr char wrong[] = "(a wrong end of the run)\n";
      constexpr char right[] = "(one line per value)\n";
      report_mismatch(s, first_bits, form, wrong, sizeof wrong - 1, right, sizeof right - 1);
      return;
    }
    for (std::size_t i = 0; i < size; ++i) {
      const char* line = got + i * line_size;
      if (want_len[i] != line_size || std::memcmp(line, want[i], line_size) != 0) {
        report_mismatch(s, std::bit_cast<std::uint32_t>(values[i]), form, line, line_size, want[i],
                        want_len[i]);
      }
    }
  }
};

void check_range(sweep& s, std::uint64_t from, std::uint64_t to) {
  char got[32];
  run_checker long_run;
  run_checker short_run;
  const bool wide = tervox::formats::wide_number_runs_available();
  const bool avx2 = tervox::formats::avx2_number_runs_available();
  std::uint64_t runs = from;  // varies the run lengths from chunk to chunk
  for (std::uint64_t b = from; b <= to;) {
    const std::uint64_t size = std::min(1 + (runs++ * 37) % run_checker::max_run, to - b + 1);
    long_run.size = short_run.size = static_cast<std::size_t>(size);
    long_run.first_bits = short_run.first_bits = static_cast<std::uint32_t>(b);
    for (std::size_t i = 0; i < size; ++i, ++b) {
      const auto bits = static_cast<std::uint32_t>(b);
      const float v = std::bit_cast<float>(bits);
      long_run.values[i] = short_run.values[i] = v;

      char* want = long_run.want[i];
      std::size_t want_len = long_run.want_len[i] =
          expected_line(want, long_field_width, "%11.4E\n", v);
      std::size_t got_len = static_cast<std::size_t>(tervox::formats::put_long(got, v) - got);
      if (got_len != long_line_size || want_len != got_len ||
          std::memcmp(got, want, got_len) != 0) {
        report_mismatch(s, bits, "long", got, got_len, want, want_len);
      }

      want = short_run.want[i];
      want_len = short_run.want_len[i] = expected_line(want, short_field_width, "%8.1E\n", v);
      got_len = static_cast<std::size_t>(tervox::formats::put_short(got, v) - got);
      if (got_len != short_line_size || want_len != got_len ||
          std::memcmp(got, want, got_len) != 0) {
        report_mismatch(s, bits, "short", got, got_len, want, want_len);
      }
    }
    using tervox::formats::number_run_path;
    long_run.check(s, "long run", long_line_size, tervox::formats::put_long,
                   number_run_path::portable);
    short_run.check(s, "short run", short_line_size, tervox::formats::put_short,
                    number_run_path::portable);
    if (wide) {
      long_run.check(s, "long run, wide", long_line_size, tervox::formats::put_long,
                     number_run_path::widest);
      short_run.check(s, "short run, wide", short_line_size, tervox::formats::put_short,
                      number_run_path::widest);
    }
    if (avx2) {
      long_run.check(s, "long run, AVX2", long_line_size, tervox::formats::put_long,
                     number_run_path::avx2);
      short_run.check(s, "short run, AVX2", short_line_size, tervox::formats::put_short,
                      number_run_path::avx2);
    }
  }
}

void worker(sweep& s) {
  const std::uint64_t total = s.chunk_count();
  for (;;) {
    const std::uint64_t c = s.next_chunk++;
    if (c >= total) {
      return;
    }
    const std::uint64_t from = s.first + c * s.chunk;
    const std::uint64_t to = std::min(from + s.chunk - 1, s.last);
    check_range(s, from, to);
    const std::uint64_t done = ++s.chunks_done;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - s.start).count();
    const std::lock_guard<std::mutex> lock(s.print_mutex);
    std::printf("chunk %" PRIu64 "/%" PRIu64 " done (0x%08" PRIx64 "..0x%08" PRIx64
                "), %.0f s, %" PRIu64 " mismatches so far\n",
                done, total, from, to, seconds, s.mismatches.load());
    std::fflush(stdout);
  }
}

bool parse_hex(const char* text, std::uint64_t& out) {
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text, &end, 16);
  if (end == text || *end != '\0' || v > 0xffff'ffffULL) {
    return false;
  }
  out = v;
  return true;
}

int run(int argc, char** argv) {
  sweep s;
  unsigned threads = std::max(1U, std::thread::hardware_concurrency());
  if (argc != 1 && argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: %s [threads] [first last]\n", argv[0]);
    return 2;
  }
  if (argc >= 2) {
    threads = static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10));
    if (threads == 0) {
      threads = 1;
    }
  }
  if (argc == 4 &&
      (!parse_hex(argv[2], s.first) || !parse_hex(argv[3], s.last) || s.first > s.last)) {
    std::fprintf(stderr, "first and last are hexadecimal bit patterns, first <= last\n");
    return 2;
  }

  std::printf("checking bit patterns 0x%08" PRIx64 "..0x%08" PRIx64
              " in both forms, %u threads; runs on the portable path%s%s\n",
              s.first, s.last, threads,
              tervox::formats::wide_number_runs_available() ? ", the AVX-512 path" : "",
              tervox::formats::avx2_number_runs_available() ? ", the AVX2 path" : "");
  std::fflush(stdout);
  std::vector<std::thread> pool;
  for (unsigned i = 0; i < threads; ++i) {
    pool.emplace_back(worker, std::ref(s));
  }
  for (std::thread& t : pool) {
    t.join();
  }

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - s.start).count();
  const std::uint64_t checked = s.last - s.first + 1;
  std::printf("checked %" PRIu64 " values (%" PRIu64 " lines) in %.0f s: %" PRIu64 " mismatches\n",
              checked, 2 * checked, seconds, s.mismatches.load());
  return s.mismatches.load() == 0 ? 0 : 1;
}

}  // namespace
}  // namespace tervox_test

int main(int argc, char** argv) {
  return tervox_test::run(argc, argv);
}
