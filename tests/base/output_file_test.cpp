#include "base/output_file.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/run_program.hpp"

namespace tervox_test {
using namespace tervox::base;
namespace {

// Text of n lines, distinct enough that a lost or doubled chunk shows.
std::string numbered_lines(int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += std::to_string(i) + "\n";
  return text;
}

TEST(output_file_test, writes_everything_through_any_buffer_size) {
  const std::string text = numbered_lines(5000);
  // Chunks smaller than, equal to and larger than the buffer.
  for (const std::size_t buffer :
       {std::size_t{1}, std::size_t{7}, std::size_t{4096}, std::size_t{1} << 20}) {
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{5000}}) {
      SCOPED_TRACE(::testing::Message() << "buffer " << buffer << " chunk " << chunk);
      temp_folder dir;
      const std::string path = (dir / "out.vol").string();
      output_file file(path, buffer);
      ASSERT_TRUE(file.open().ok());
      for (std::size_t pos = 0; pos < text.size(); pos += chunk) {
        file.write(std::string_view(text).substr(pos, chunk));
      }
      const io_result r = file.commit();
      EXPECT_EQ(r.problem.message(), "");
      EXPECT_EQ(read_file(path), text);
      EXPECT_EQ(list_entries(dir.path()), std::vector<std::string>{"out.vol"});
    }
  }
}

TEST(output_file_test, replaces_an_earlier_file_only_when_complete) {
  temp_folder dir;
  const std::string path = (dir / "out.vol").string();
  write_file(path, "earlier\n");
  {
    output_file file(path);
    ASSERT_TRUE(file.open().ok());
    file.write("new\n");
    // Not committed: the earlier file must survive and the temporary go.
  }
  EXPECT_EQ(read_file(path), "earlier\n");
  EXPECT_EQ(list_entries(dir.path()), std::vector<std::string>{"out.vol"});

  output_file file(path);
  ASSERT_TRUE(file.open().ok());
  file.write("new\n");
  ASSERT_TRUE(file.commit().ok());
  EXPECT_EQ(read_file(path), "new\n");
  EXPECT_EQ(list_entries(dir.path()), std::vector<std::string>{"out.vol"});
}

// Files committed together are all put in place, in one go, or, when any
// cannot be finished (here the last, never opened), none is: every earlier
// file stays, and no temporary file is left.
TEST(output_file_test, files_committed_together_replace_all_or_none) {
  temp_folder dir;
  const std::vector<std::string> names{"out.vol", "out.vol.mesh", "out.json"};
  for (const std::string& name : names) write_file(dir / name, "earlier " + name + "\n");
  for (const bool all_open : {false, true}) {
    SCOPED_TRACE(all_open ? "all complete" : "the last never opened");
    {
      output_file a((dir / names[0]).string()), b((dir / names[1]).string()),
          c((dir / names[2]).string());
      output_file* const files[] = {&a, &b, &c};
      for (output_file* file : files) {
        if (file != &c || all_open) {
          ASSERT_TRUE(file->open().ok());
          file->write("new " + std::filesystem::path(file->path()).filename().string() + "\n");
        }
      }
      EXPECT_EQ(commit_together(files).ok(), all_open);
    }
    for (const std::string& name : names) {
      EXPECT_EQ(read_file(dir / name), (all_open ? "new " : "earlier ") + name + "\n");
    }
    EXPECT_EQ(list_entries(dir.path()),
              (std::vector<std::string>{"out.json", "out.vol", "out.vol.mesh"}));
  }
}

// The temporary file's name carries its writer's process id and host, by
// which a later run tells a file left by a killed run from one still being
// written; the destination's name plays no part in it.
TEST(output_file_test, temporary_name_carries_the_process_and_the_host) {
  char name[256] = {};
  ASSERT_EQ(::gethostname(name, sizeof name - 1), 0);
  const std::string host = name;
  if (host.empty() || host.size() > 64 ||
      host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_") !=
          std::string::npos)
    GTEST_SKIP() << "the host name '" << host << "' is written changed in file names";
  temp_folder dir;
  output_file file((dir / "out.vol").string());
  ASSERT_TRUE(file.open().ok());
  EXPECT_EQ(file.temp_path(),
            (dir / (".tervox-" + std::to_string(::getpid()) + "-0-" + host + ".tmp")).string());
  output_file second((dir / "other.vol").string());
  ASSERT_TRUE(second.open().ok());
  EXPECT_EQ(second.temp_path(),
            (dir / (".tervox-" + std::to_string(::getpid()) + "-1-" + host + ".tmp")).string());
}

struct unwritable_case {
  const char* what;
  const char* name;
  const char* diagnostic;
};

const unwritable_case unwritable_cases[] = {
    {"destination is a folder", "taken", "cannot write '@/taken': it is a directory"},
    {"folder does not exist", "nodir/out.vol",
     "cannot create '@/nodir/out.vol': No such file or directory"},
    {"a file stands where the folder should be", "plain/out.vol",
     "cannot create '@/plain/out.vol': Not a directory"},
};

TEST(output_file_test, refuses_unwritable_destinations) {
  for (const auto& c : unwritable_cases) {
    SCOPED_TRACE(c.what);
    temp_folder dir;
    std::filesystem::create_directory(dir / "taken");
    write_file(dir / "plain", "x");
    const std::string path = (dir / c.name).string();
    output_file file(path);
    std::string expected = c.diagnostic;
    expected.replace(expected.find('@'), 1, dir.path().string());
    EXPECT_EQ(file.open().problem.message(), expected);
    file.write("lost\n");
    EXPECT_FALSE(file.commit().ok());
    EXPECT_EQ(list_entries(dir.path()), (std::vector<std::string>{"plain", "taken/"}));
  }
}

// The file-size limit and the signal need a process of their own; these run
// in the death-test child and end it.
[[noreturn]] void write_under_size_limit(const std::string& path) {
  install_output_cleanup();
  const rlimit limit{100, 100};
  setrlimit(RLIMIT_FSIZE, &limit);
  output_file file(path, 16);
  if (!file.open().ok())
    std::_Exit(2);
  file.write(numbered_lines(1000));
  const io_result r = file.commit();
  std::fputs(r.problem.message().c_str(), stderr);
  std::_Exit(r.ok() ? 0 : 1);
}

[[noreturn]] void interrupt_while_writing(const std::string& path, int sig) {
  install_output_cleanup();
  output_file file(path, 16);
  if (!file.open().ok())
    std::_Exit(2);
  file.write(numbered_lines(100));
  std::raise(sig);
  std::_Exit(3);
}

TEST(output_file_test, full_disk_is_a_reported_failure) {
  temp_folder dir;
  const std::string path = (dir / "out.vol").string();
  write_file(path, "earlier\n");
  EXPECT_EXIT(write_under_size_limit(path), ::testing::ExitedWithCode(1),
              "cannot write '.*out.vol': File too large");
  EXPECT_EQ(read_file(path), "earlier\n");
  EXPECT_EQ(list_entries(dir.path()), std::vector<std::string>{"out.vol"});
}

TEST(output_file_test, interrupt_removes_the_temporary_file) {
  for (const int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(sig);
    temp_folder dir;
    const std::string path = (dir / "out.vol").string();
    write_file(path, "earlier\n");
    EXPECT_EXIT(interrupt_while_writing(path, sig), ::testing::KilledBySignal(sig), "");
    EXPECT_EQ(read_file(path), "earlier\n");
    EXPECT_EQ(list_entries(dir.path()), std::vector<std::string>{"out.vol"});
  }
}

}  // namespace
}  // namespace tervox_test
