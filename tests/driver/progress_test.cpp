// The progress line: its text, its drawing and clearing, and that the built
// program shows it on a terminal only, never on standard output.
#include "progress.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "support/run_program.hpp"

namespace tervox_test {
using namespace tervox::driver;
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct text_case {
  run_phase phase;
  std::int64_t done, total;
  std::chrono::duration<double> elapsed;
  const char* expected;
};

TEST(progress_text, phase_percentage_and_time_left) {
  const text_case cases[] = {
      // An unknown total shows the phase alone.
      {run_phase::gridding, 5, 0, 3s, "tervox: gridding"},
      // Too early or nothing done yet: no estimate.
      {run_phase::reading, 0, 1000, 3s, "tervox: reading   0%"},
      {run_phase::reading, 500, 1000, 0.2s, "tervox: reading  50%"},
      // 45% in 10 s leaves 12.2 s, shown rounded up.
      {run_phase::writing, 45, 100, 10s, "tervox: writing  45%, about 13 s left"},
      {run_phase::triangulating, 1, 10, 30s, "tervox: triangulating  10%, about 5 min left"},
      {run_phase::writing, 1, 1000, 10s, "tervox: writing   0%, about 2 h 47 min left"},
      {run_phase::writing, 1, 100, 3s, "tervox: writing   1%, about 5 min left"},
      {run_phase::writing, 1, 100, 1s, "tervox: writing   1%, about 99 s left"},
      {run_phase::writing, 100, 100, 10s, "tervox: writing 100%"},
      {run_phase::writing, 150, 100, 10s, "tervox: writing 100%"},
  };
  for (const text_case& c : cases) {
    EXPECT_EQ(progress_text(c.phase, c.done, c.total, c.elapsed), c.expected) << c.expected;
  }
}

// A clock that moves only when the test moves it. A meter waiting on it wakes
// when the time it waits for is reached (or when it is stopped).
class manual_clock final : public progress_clock {
 public:
  time_point now() override {
    const std::lock_guard lock(m_);
    return now_;
  }
  bool wait_until(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                  time_point until, const std::function<bool()>& stop) override {
    {
      const std::lock_guard own(m_);
      waiter_ = lock.mutex();
      wake_ = &wake;
    }
    wake.wait(lock, [&] { return stop() || now() >= until; });
    return stop();
  }
  void advance(std::chrono::milliseconds by) {
    std::mutex* waiter = nullptr;
    std::condition_variable* wake = nullptr;
    {
      const std::lock_guard own(m_);
      now_ += by;
      waiter = waiter_;
      wake = wake_;
    }
    if (wake == nullptr)
      return;  // the meter has not waited yet: it will see the new time
    // A waiter that tested the time before the move holds its mutex until it
    // sleeps, so taking the mutex here means the wake-up below reaches it.
    { const std::lock_guard sync(*waiter); }
    wake->notify_all();
  }

 private:
  std::mutex m_;
  time_point now_{};
  std::mutex* waiter_ = nullptr;
  std::condition_variable* wake_ = nullptr;
};

// Reads from fd until what has been read contains `text` (or the writer has
// closed it); returns everything read.
std::string read_until(int fd, std::string_view text, std::string& seen) {
  char buffer[256];
  while (seen.find(text) == std::string::npos) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0)
      break;
    seen.append(buffer, static_cast<std::size_t>(n));
  }
  return seen;
}

TEST(progress_meter, draws_after_the_delay_and_clears_at_the_end) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  manual_clock clock;
  std::string seen;
  {
    progress_meter meter(fds[1], 1000ms, clock);
    meter.begin(run_phase::writing, 4);
    meter.advance_to(1);
    clock.advance(999ms);  // not yet: 25% must never be drawn
    meter.advance_to(2);
    clock.advance(1ms);
    // Half done in a second of the phase: a second left.
    read_until(fds[0], "writing  50%, about 1 s left", seen);
    meter.advance_to(3);
    clock.advance(200ms);  // the redraw
    read_until(fds[0], "writing  75%", seen);
    meter.finish();
    meter.finish();  // a second finish changes nothing
  }
  ::close(fds[1]);
  read_until(fds[0], "\n", seen);  // to the end
  ::close(fds[0]);
  EXPECT_EQ(seen.find('\n'), std::string::npos);
  EXPECT_EQ(seen.find("25%"), std::string::npos) << seen;
  EXPECT_NE(seen.find("\rtervox: "), std::string::npos) << seen;
  EXPECT_NE(seen.find("writing  75%, about 1 s left"), std::string::npos) << seen;
  EXPECT_TRUE(seen.ends_with("\r\033[K")) << seen;
}

TEST(progress_meter, a_run_shorter_than_the_delay_draws_nothing) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  manual_clock clock;
  {
    progress_meter meter(fds[1], 1000ms, clock);
    meter.begin(run_phase::writing, 4);
    clock.advance(999ms);
  }
  { progress_meter off; }
  ::close(fds[1]);
  std::string seen;
  EXPECT_EQ(read_until(fds[0], "\n", seen), "");
  ::close(fds[0]);
}

tool_options shown_at_once(const temp_folder& dir, bool terminal) {
  tool_options options(dir.path());
  options.environment = {"TERVOX_PROGRESS_DELAY=0"};
  options.stderr_on_terminal = terminal;
  return options;
}

// The built program with the line shown from the start: on a terminal it is
// drawn and cleared; elsewhere, and on standard output, nothing appears.
TEST(progress_line, shown_on_a_terminal_only) {
  const temp_folder dir;
  const std::string survey = std::string(TERVOX_SOURCE_DIR) + "/examples/survey.txt";
  const fs::path golden = fs::path(TERVOX_SOURCE_DIR) / "tests/golden/survey_log/survey.vol";
  for (const bool terminal : {true, false}) {
    SCOPED_TRACE(terminal ? "terminal" : "pipe");
    const tool_run r =
        run_tool({survey, "survey.vol", "25", "25", "1"}, shown_at_once(dir, terminal));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(read_file(dir / "survey.vol"), read_file(golden));
    if (terminal) {
      EXPECT_TRUE(r.err.starts_with("\rtervox: ")) << r.err;
      EXPECT_TRUE(r.err.ends_with("\r\033[K")) << r.err;
      EXPECT_EQ(r.err.find('\n'), std::string::npos) << r.err;
    } else {
      EXPECT_EQ(r.err, "");
    }
  }
}

// A diagnostic comes after the line is cleared, never on the same line.
TEST(progress_line, cleared_before_a_diagnostic) {
  const temp_folder dir;
  write_file(dir / "bad.txt",
             "layers a b 2\nthick a b 5\nsoundings a b 3\nx y r1 r2\n0 0 1 2\n1 0 1\n");
  const tool_run r = run_tool({"bad.txt", "out.vol", "1", "1", "0"}, shown_at_once(dir, true));
  EXPECT_EQ(r.status, 1);
  const std::size_t cleared = r.err.rfind("\r\033[K");
  const std::size_t message = r.err.find("tervox: bad.txt:");
  ASSERT_NE(cleared, std::string::npos) << r.err;
  ASSERT_NE(message, std::string::npos) << r.err;
  EXPECT_EQ(message, cleared + 4) << r.err;
}

}  // namespace
}  // namespace tervox_test
