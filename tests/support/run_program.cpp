#include "support/run_program.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tervox_test {
namespace {

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

bool coverage_run() {
  const char* value = std::getenv("TERVOX_COVERAGE_RUN");
  return value != nullptr && *value != '\0';
}

tool_run run_program(const std::string& exe, const std::vector<std::string>& args,
                     const tool_options& options) {
  // Everything the child needs is prepared before fork: between fork and exec
  // only async-signal-safe calls are allowed.
  std::vector<std::string> argv_text{exe};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string cwd = options.cwd.string();
  std::vector<std::string> env_text(options.environment);
  for (char** e = environ; *e != nullptr; ++e) env_text.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);

  // Standard error goes to a pipe, or to the far end of a pseudo-terminal
  // whose near end is read like the pipe (it reports EIO once the child has
  // gone, where a pipe reports its end).
  int out_pipe[2], err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0)
    fail("pipe");
  if (options.stderr_on_terminal) {
    if (::openpty(&err_pipe[0], &err_pipe[1], nullptr, nullptr, nullptr) != 0)
      fail("openpty");
    ::fcntl(err_pipe[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(err_pipe[1], F_SETFD, FD_CLOEXEC);
  } else if (::pipe2(err_pipe, O_CLOEXEC) != 0) {
    fail("pipe");
  }
  const pid_t pid = ::fork();
  if (pid < 0)
    fail("fork");
  if (pid == 0) {
    ::dup2(out_pipe[1], STDOUT_FILENO);
    ::dup2(err_pipe[1], STDERR_FILENO);
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0)
      ::_exit(125);
    // The program must cope with a file-size limit on its own: start it with
    // the default action of SIGXFSZ (killing), whatever this process set.
    ::signal(SIGXFSZ, SIG_DFL);
    if (options.file_size_limit) {
      const rlimit limit{*options.file_size_limit, *options.file_size_limit};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        ::_exit(125);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(126);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);

  tool_run result;
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_pipes = 2;
  while (open_pipes > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR)
        continue;
      fail("poll");
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0)
        continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {  // EIO: a terminal's far end closed
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  int wstatus = 0;
  while (::waitpid(pid, &wstatus, 0) < 0) {
    if (errno != EINTR)
      fail("waitpid");
  }
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  return result;
}

}  // namespace tervox_test
