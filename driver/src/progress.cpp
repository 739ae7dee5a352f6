#include "progress.hpp"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <utility>

#include "cli.hpp"
#include "messages.hpp"

namespace tervox::driver {

using base::concat;

std::string_view phase_name(run_phase p) {
  switch (p) {
    case run_phase::reading:
      return "reading";
    case run_phase::triangulating:
      return "triangulating";
    case run_phase::gridding:
      return "gridding";
    case run_phase::writing:
      return "writing";
  }
  return "working";
}

namespace {

// "12 s", "7 min", "2 h 05 min": as precise as an estimate deserves.
std::string duration_text(double seconds) {
  const auto s = static_cast<long long>(std::ceil(seconds));
  if (s < 100)
    return messages::concat({std::to_string(s), " s"});
  const long long minutes = (s + 59) / 60;
  if (minutes < 100)
    return messages::concat({std::to_string(minutes), " min"});
  const long long m = minutes % 60;
  return messages::concat(
      {std::to_string(minutes / 60), " h ", m < 10 ? "0" : "", std::to_string(m), " min"});
}

}  // namespace

std::string progress_text(run_phase p, std::int64_t done, std::int64_t total,
                          std::chrono::duration<double> elapsed) {
  std::string text = "tervox: ";
  text += phase_name(p);
  if (total <= 0)
    return text;
  if (done < 0)
    done = 0;
  if (done > total)
    done = total;
  const double fraction = static_cast<double>(done) / static_cast<double>(total);
  const int percent = static_cast<int>(std::floor(fraction * 100.0));
  text += percent < 10 ? "   " : percent < 100 ? "  " : " ";
  text += std::to_string(percent);
  text += '%';
  // A rate needs some work done and some time spent; before that an
  // estimate would jump around more than it informs.
  if (done > 0 && done < total && elapsed.count() >= 0.5) {
    const double left = elapsed.count() * (1.0 - fraction) / fraction;
    text += ", about ";
    text += duration_text(left);
    text += " left";
  }
  return text;
}

namespace {

class steady_clock final : public progress_clock {
 public:
  time_point now() override { return std::chrono::steady_clock::now(); }
  bool wait_until(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                  time_point until, const std::function<bool()>& stop) override {
    return wake.wait_until(lock, until, stop);
  }
};

}  // namespace

progress_clock& steady_progress_clock() {
  static steady_clock clock;
  return clock;
}

progress_meter::progress_meter(int fd, std::chrono::milliseconds delay, progress_clock& clock)
    : fd_(fd), clock_(&clock), phase_start_(clock.now()) {
  drawer_ = std::thread([this, delay, started = phase_start_] { draw_loop(delay, started); });
}

progress_meter::~progress_meter() {
  finish();
}

void progress_meter::begin(run_phase p, std::int64_t total) {
  std::lock_guard lock(m_);
  phase_ = p;
  total_ = total;
  done_.store(0, std::memory_order_relaxed);
  phase_start_ = clock_->now();
}

void progress_meter::describe(std::string text) {
  std::lock_guard lock(m_);
  description_ = std::move(text);
  // A line on show gets the grid at once; one not yet drawn has it when it
  // first is.
  if (drawn_ && !stop_)
    draw();
}

void progress_meter::finish() {
  {
    std::lock_guard lock(m_);
    stop_ = true;
  }
  wake_.notify_all();
  if (drawer_.joinable())
    drawer_.join();
}

namespace {

// Writes all of `text` to fd, giving up quietly: a progress line that
// cannot be drawn must never disturb the run.
void put(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n <= 0)
      return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Carriage return, then the text, then erase to the end of the line, so a
// shorter line leaves nothing of a longer one behind.
constexpr std::string_view erase_line = "\033[K";

}  // namespace

void progress_meter::draw() {
  std::string text = progress_text(phase_, done_.load(std::memory_order_relaxed), total_,
                                   clock_->now() - phase_start_);
  if (!description_.empty())
    text.insert(messages::prefix.size(), messages::concat({description_, ": "}));
  put(fd_, messages::concat({"\r", text, erase_line}));
  drawn_ = true;
}

void progress_meter::draw_loop(std::chrono::milliseconds delay,
                               progress_clock::time_point started) {
  using namespace std::chrono_literals;
  std::unique_lock lock(m_);
  const std::function<bool()> stopped = [this] { return stop_; };
  // The delay counts from the meter's start and each redraw from the one
  // before it (or from now, if that has passed), not from when this thread
  // got round to waiting.
  progress_clock::time_point due = started + delay;
  // A delay of 0 shows the line from the start, however short the run.
  if (delay.count() == 0 || !clock_->wait_until(lock, wake_, due, stopped)) {
    do {
      draw();
      due = std::max(due + 200ms, clock_->now());
    } while (!clock_->wait_until(lock, wake_, due, stopped));
  }
  if (drawn_)
    put(fd_, messages::concat({"\r", erase_line}));
}

std::chrono::milliseconds progress_delay() {
  const char* setting = std::getenv("TERVOX_PROGRESS_DELAY");
  if (setting != nullptr) {
    if (const std::optional<int> ms = parse_integer(setting); ms && *ms >= 0)
      return std::chrono::milliseconds(*ms);
  }
  return std::chrono::milliseconds(1000);
}

bool progress_wanted() {
  return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace tervox::driver
