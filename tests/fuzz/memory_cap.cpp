// A memory limit for the fuzz and replay programs: while a target runs, any
// single request above the cap fails with std::bad_alloc, as it would on a
// machine short of memory. (The fuzzer's own allocations, outside the target,
// are not capped.)
// A header that claims millions of soundings then takes the tool's own "cannot
// allocate" path in microseconds instead of zeroing gigabytes, and a sanitizer
// build (which cannot run under RLIMIT_AS) still exercises that path.
//
// Every replaceable form is defined here, so that none is taken from a
// sanitizer runtime that defines them all in one object.
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#include "fuzz_target.hpp"

namespace {

constexpr std::size_t cap = std::size_t{16} << 20;

// Read by every allocation on every thread, set only by capped_scope.
std::atomic<bool> capped{false};

bool within_cap(std::size_t size) {
  return size <= cap || !capped.load(std::memory_order_relaxed);
}

void* allocate(std::size_t size) {
  void* p = within_cap(size) ? std::malloc(size > 0 ? size : 1) : nullptr;
  if (p == nullptr)
    throw std::bad_alloc();
  return p;
}

void* allocate_aligned(std::size_t size, std::align_val_t align) {
  const auto a = static_cast<std::size_t>(align);
  const std::size_t rounded = (size + a - 1) / a * a;
  void* p = within_cap(size) ? std::aligned_alloc(a, rounded > 0 ? rounded : a) : nullptr;
  if (p == nullptr)
    throw std::bad_alloc();
  return p;
}

template <class F>
void* no_throw(F&& f) noexcept {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

tervox_test::capped_scope::capped_scope() {
  capped.store(true);
}
tervox_test::capped_scope::~capped_scope() {
  capped.store(false);
}

void* operator new(std::size_t size) {
  return allocate(size);
}
void* operator new[](std::size_t size) {
  return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return no_throw([&] { return allocate(size); });
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return no_throw([&] { return allocate(size); });
}
void* operator new(std::size_t size, std::align_val_t align) {
  return allocate_aligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
  return allocate_aligned(size, align);
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return no_throw([&] { return allocate_aligned(size, align); });
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return no_throw([&] { return allocate_aligned(size, align); });
}

void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
  std::free(p);
}
