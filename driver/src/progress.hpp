// A self-updating progress line for long runs.
//
// A survey of a million soundings takes seconds to minutes, and a silent
// terminal for that long looks like a hang. When standard error is a
// terminal, a run that has gone on for longer than a delay (a second by
// default) redraws one line there a few times a second:
//
//   tervox: 73 x 80 cells, 12 layers, 0.8 MB: writing  45%, about 12 s left
//
// and clears it when the run ends, before any message is printed. Nothing is
// drawn when standard error is not a terminal, so logs and pipes never see it,
// and nothing ever goes to standard output.
//
// The work reports through begin() and one atomic counter, cheap enough to
// update from inner loops; a drawing thread reads them. A meter that is off
// (the default) starts no thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace tervox::driver {

enum class run_phase { reading, triangulating, gridding, writing };

/// The name of a phase as the progress line shows it.
std::string_view phase_name(run_phase p);

/// The progress line's text (without the carriage return and the erase):
/// the phase, the percentage of `done` out of `total` (left out when the
/// total is unknown, that is 0 or less) and, once `elapsed` in this phase
/// gives a rate, the time left at that rate.
std::string progress_text(run_phase p, std::int64_t done, std::int64_t total,
                          std::chrono::duration<double> elapsed);

/// Where a meter reads the time and waits for it to pass. The run uses the
/// steady clock; a test hands in a clock it moves itself, so that what the
/// meter draws follows from the test's steps and not from how busy the
/// machine is.
class progress_clock {
 public:
  using time_point = std::chrono::steady_clock::time_point;
  virtual ~progress_clock() = default;
  virtual time_point now() = 0;
  /// Waits on `wake`, whose mutex `lock` holds, until `stop()` holds or the
  /// time reaches `until`; returns stop(). Like condition_variable::wait_until,
  /// it checks stop() with the lock held and releases the lock while waiting.
  virtual bool wait_until(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                          time_point until, const std::function<bool()>& stop) = 0;
};

/// The steady clock, for runs.
progress_clock& steady_progress_clock();

class progress_meter {
 public:
  /// Off: reports cost an atomic store, and nothing is drawn.
  progress_meter() = default;
  /// Draws on the file descriptor `fd` once `delay` has passed on `clock`,
  /// and redraws every 200 ms of it.
  progress_meter(int fd, std::chrono::milliseconds delay,
                 progress_clock& clock = steady_progress_clock());
  /// Stops drawing and clears the line.
  ~progress_meter();
  progress_meter(const progress_meter&) = delete;
  progress_meter& operator=(const progress_meter&) = delete;

  /// A new phase with `total` units of work (0 or less: unknown); the
  /// counter goes back to 0.
  void begin(run_phase p, std::int64_t total);
  /// Units done so far in this phase. Relaxed stores are enough: the line
  /// only needs a recent value.
  std::atomic<std::int64_t>& counter() { return done_; }
  void advance_to(std::int64_t done) { done_.store(done, std::memory_order_relaxed); }

  /// What the line starts with once the grid is known ("73 x 80 cells,
  /// 12 layers, 0.8 MB"), so that a run far larger than meant shows it.
  void describe(std::string text);

  /// Stops drawing and clears the line; called before the run prints
  /// anything, so that messages never share a line with it.
  void finish();

 private:
  void draw_loop(std::chrono::milliseconds delay, progress_clock::time_point started);
  void draw();

  int fd_ = -1;
  progress_clock* clock_ = &steady_progress_clock();
  std::atomic<std::int64_t> done_{0};
  std::mutex m_;  // guards what follows
  std::condition_variable wake_;
  bool stop_ = false;
  bool drawn_ = false;  // something is on the line
  run_phase phase_ = run_phase::reading;
  std::int64_t total_ = 0;
  std::string description_;
  progress_clock::time_point phase_start_ = clock_->now();
  std::thread drawer_;
};

/// Whether this process draws a progress line: standard error is a terminal.
bool progress_wanted();
/// How long a run goes on before the line appears: TERVOX_PROGRESS_DELAY
/// milliseconds when that is a non-negative integer, else a second.
std::chrono::milliseconds progress_delay();

}  // namespace tervox::driver
