// Runs a built program (tervox, tervox-view) as a child process and captures
// what it prints, for the end-to-end tests.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/files.hpp"

namespace tervox_test {

/// The two lines tervox prints on standard output for a command line it
/// refuses.
inline const std::string usage_text =
    " Usage:  tervox  infile outfile dx dy  log\n"
    " log: =1 to work with log(data)\n";

struct tool_run {
  int status = -1;  ///< exit status; 128 + n when killed by signal n
  std::string out;  ///< standard output
  std::string err;  ///< standard error
};

struct tool_options {
  /// Runs in `folder`; everything else as the test process has it.
  explicit tool_options(std::filesystem::path folder = {}) : cwd(std::move(folder)) {}

  std::filesystem::path cwd;                     ///< working folder of the child
  std::optional<unsigned long> file_size_limit;  ///< RLIMIT_FSIZE in bytes
  std::vector<std::string> environment;          ///< NAME=value entries added
  bool stderr_on_terminal = false;               ///< standard error is a pseudo-terminal
};

/// True in the run of tests/coverage.sh, which sets TERVOX_COVERAGE_RUN. There
/// every process writes its execution counts to files when it exits and
/// before it executes another program: the forked test process does so
/// under the file-size limit it has just set for the program it starts, and
/// is killed by SIGXFSZ before that program runs. The tests that put such a
/// limit on a program skip in that run; every other build runs them.
bool coverage_run();

/// Runs the program at `exe` with `args` (after the program name).
tool_run run_program(const std::string& exe, const std::vector<std::string>& args,
                     const tool_options& options);

#ifdef TERVOX_EXE
/// Runs the built tervox, which the suites that run it name in TERVOX_EXE.
inline tool_run run_tool(const std::vector<std::string>& args, const tool_options& options) {
  return run_program(TERVOX_EXE, args, options);
}
#endif

}  // namespace tervox_test
