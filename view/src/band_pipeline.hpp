// Bands of rows handed from the thread that reads the volume to one that
// writes them, so that reading and compressing go on at once on two cores.
// Two bands take turns: the reader fills one while the writer writes the
// other, so the memory taken is that of two bands.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace tervox::view {

template <class Band>
class band_pipeline {
 public:
  /// `write` runs on the writer thread, once per band handed over, in order.
  band_pipeline(std::function<void(Band&)> write, Band first, Band second)
      : write_(std::move(write)), bands_{std::move(first), std::move(second)} {
    writer_ = std::thread([this] { run(); });
  }
  ~band_pipeline() {
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    if (writer_.joinable())
      writer_.join();
  }
  band_pipeline(const band_pipeline&) = delete;
  band_pipeline& operator=(const band_pipeline&) = delete;

  /// The band the reader fills now.
  Band& filling() { return bands_[current_]; }

  /// Hands the filled band to the writer once it has written the one before;
  /// rethrows a failure of the writer.
  void hand_over() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return pending_ < 0 || error_; });
    if (error_)
      std::rethrow_exception(error_);
    pending_ = current_;
    current_ = 1 - current_;
    lock.unlock();
    changed_.notify_all();
  }

  /// Waits until every band handed over is written; rethrows a failure.
  void finish() {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return pending_ < 0 || error_; });
      stop_ = true;
    }
    changed_.notify_all();
    writer_.join();
    if (error_)
      std::rethrow_exception(error_);
  }

 private:
  void run() {
    for (;;) {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return pending_ >= 0 || stop_; });
      if (stop_)
        return;
      Band& band = bands_[pending_];
      lock.unlock();
      std::exception_ptr error;
      try {
        write_(band);
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      pending_ = -1;
      if (error) {
        error_ = error;
        stop_ = true;
      }
      lock.unlock();
      changed_.notify_all();
    }
  }

  std::function<void(Band&)> write_;
  Band bands_[2];
  int current_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  int pending_ = -1;  ///< the band handed over and not yet written, or -1
  bool stop_ = false;
  std::exception_ptr error_;
  std::thread writer_;  // last: started once everything else is set
};

}  // namespace tervox::view
