// The progress line: its text, its drawing and clearing, and that the built
// program shows it on a terminal only, never on standard output.
#include "progress.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/run_program.hpp"

namespace tervox_test {
using namespace tervox;
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

// Everything a meter wrote into a pipe.
std::string drain(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

TEST(progress_meter, draws_after_the_delay_and_clears_at_the_end) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  {
    progress_meter meter(fds[1], 0ms);
    meter.begin(run_phase::writing, 4);
    meter.advance_to(2);
    std::this_thread::sleep_for(300ms);  // at least one redraw after the first
    meter.finish();
    meter.finish();  // a second finish changes nothing
  }
  ::close(fds[1]);
  const std::string text = drain(fds[0]);
  ::close(fds[0]);
  EXPECT_EQ(text.find('\n'), std::string::npos);
  EXPECT_NE(text.find("\rtervox: writing  50%"), std::string::npos) << text;
  EXPECT_TRUE(text.ends_with("\r\033[K")) << text;
}

TEST(progress_meter, a_run_shorter_than_the_delay_draws_nothing) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  { progress_meter meter(fds[1], 10s); }
  { progress_meter off; }
  ::close(fds[1]);
  EXPECT_EQ(drain(fds[0]), "");
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
