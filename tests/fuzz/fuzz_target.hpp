// What every fuzz target shares: the libFuzzer entry point, which the replay
// program also calls, and the check that turns a broken promise into a crash
// the fuzzer records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace tervox_test {

/// Stops the process with `what` on standard error when `holds` is false. The
/// fuzzer keeps the input as a crash; the replay program fails its test.
inline void require(bool holds, std::string_view what) {
  if (!holds) {
    std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
    std::abort();
  }
}

/// While one lives, a single allocation above 16 MiB fails with
/// std::bad_alloc (see memory_cap.cpp). Every target runs inside one.
class capped_scope {
 public:
  capped_scope();
  ~capped_scope();
  capped_scope(const capped_scope&) = delete;
  capped_scope& operator=(const capped_scope&) = delete;
};

/// Reads the fuzzer's bytes front to back; past the end every read gives 0.
class byte_reader {
 public:
  byte_reader(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
  std::uint8_t byte() { return p_ < end_ ? *p_++ : 0; }
  std::uint32_t u32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | byte();
    return v;
  }
  bool empty() const { return p_ >= end_; }

 private:
  const std::uint8_t* p_;
  const std::uint8_t* end_;
};

}  // namespace tervox_test
