// Blocks of text made on several threads and handed on in order.
//
// The volume file is written in blocks of about a megabyte: each block can be
// made on any thread, but the file wants them in order. The workers take the
// blocks in order from a shared counter, so that a worker that drew cheap
// blocks goes on to the next one instead of waiting for a slower one. Block b
// travels through slot b % slots, a ring a few blocks deep per worker, and
// only once the block before it in that slot has been handed on: a worker far
// ahead must not take the slot of a block still being made. The calling
// thread hands the blocks on in order as they become ready. The lowest block
// still being made always finds its slot free in the end: every block below
// it is made, so the calling thread gets that far.
//
// A worker that throws (a block's buffers can be large, and memory may run
// out) stops every thread; its exception is raised again on the calling
// thread once all have ended, as a failure there would be.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace tervox::driver {

namespace detail {

// A block's text on its way from the thread that made it to the caller.
struct block_slot {
  std::mutex m;
  std::condition_variable cv;
  std::vector<char> text;
  std::size_t used = 0;     // the length of the block's text
  std::int64_t block = -1;  // the block the text holds; -1 while it holds none
  std::int64_t turn = 0;    // the block this slot takes next
};

}  // namespace detail

/// Makes blocks 0 .. blocks-1 on up to `threads` threads and hands each to
/// `deliver` in order, on the calling thread.
///
///   make_filler()          called once on each thread that makes blocks;
///                          returns that thread's fill(b, text, used), which
///                          writes block b to the front of `text` (growing it
///                          as needed), sets `used` to its length and returns
///                          false if the block cannot be made.
///   deliver(data, size, b) hands block b on; false stops the work (the
///                          caller knows why, a failed write say).
///
/// Returns false when a block could not be made; the blocks before it have
/// been delivered, it and those after it have not.
template <class MakeFiller, class Deliver>
bool make_blocks_in_order(std::int64_t blocks, int threads, const MakeFiller& make_filler,
                          const Deliver& deliver) {
  const auto serially = [&] {
    auto fill = make_filler();
    std::vector<char> text;
    std::size_t used = 0;
    for (std::int64_t b = 0; b < blocks; ++b) {
      if (!fill(b, text, used))
        return false;
      if (!deliver(text.data(), used, b))
        return true;
    }
    return true;
  };
  if (threads <= 1 || blocks <= 1)
    return serially();

  const int workers = static_cast<int>(std::min<std::int64_t>(threads, blocks));
  std::vector<detail::block_slot> slots(static_cast<std::size_t>(4 * workers));
  for (std::size_t i = 0; i < slots.size(); ++i) slots[i].turn = static_cast<std::int64_t>(i);
  const auto slot_of = [&](std::int64_t b) -> detail::block_slot& {
    return slots[static_cast<std::size_t>(b % static_cast<std::int64_t>(slots.size()))];
  };
  std::atomic<std::int64_t> next_block{0};
  std::atomic<bool> stop{false};
  std::atomic<bool> broken{false};
  std::atomic<bool> failed{false};
  std::exception_ptr failure;  // written once, by the worker that sets `failed`
  const auto stop_all = [&] {
    stop.store(true);
    for (detail::block_slot& slot : slots) {
      std::lock_guard lock(slot.m);
      slot.cv.notify_all();
    }
  };

  const auto work = [&] {
    try {
      auto fill = make_filler();
      std::vector<char> text;
      std::size_t used = 0;
      while (!stop.load()) {
        const std::int64_t b = next_block.fetch_add(1);
        if (b >= blocks)
          return;
        const bool ok = fill(b, text, used);
        if (!ok)
          broken.store(true);
        detail::block_slot& slot = slot_of(b);
        std::unique_lock lock(slot.m);
        slot.cv.wait(lock, [&] { return slot.turn == b || stop.load(); });
        if (stop.load())
          return;
        std::swap(slot.text, text);
        slot.used = used;
        slot.block = b;
        slot.cv.notify_all();
        if (!ok)
          return;
      }
    } catch (...) {
      if (!failed.exchange(true))
        failure = std::current_exception();
      stop_all();
    }
  };
  std::vector<std::thread> pool;
  pool.reserve(static_cast<std::size_t>(workers));
  for (int w = 0; w < workers; ++w) {
    try {
      pool.emplace_back(work);
    } catch (const std::system_error&) {
      // No thread to be had: end those that started (nothing has been
      // delivered yet) and do it all here.
      stop_all();
      for (std::thread& t : pool) t.join();
      return serially();
    }
  }

  for (std::int64_t b = 0; b < blocks; ++b) {
    detail::block_slot& slot = slot_of(b);
    std::unique_lock lock(slot.m);
    slot.cv.wait(lock, [&] { return slot.block == b || failed.load(); });
    if (failed.load() || broken.load() || !deliver(slot.text.data(), slot.used, b))
      break;
    slot.block = -1;
    slot.turn = b + static_cast<std::int64_t>(slots.size());
    slot.cv.notify_all();
  }
  stop_all();
  for (std::thread& t : pool) t.join();
  if (failure)
    std::rethrow_exception(failure);
  return !broken.load();
}

}  // namespace tervox::driver
