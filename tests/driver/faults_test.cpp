// The built program against resource faults and interruption: headers that
// claim more than memory holds, input that is not a soundings file at all,
// output that cannot be written halfway, and a signal in the middle of a run.
// Whatever happens, the run ends with a clear message or diagnostic and exit
// status 1 (or the signal), never a crash, and leaves no temporary or partial
// file behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "run.hpp"
#include "support/run_program.hpp"

// AddressSanitizer reserves terabytes of address space for its shadow, so a
// sanitized program cannot start under RLIMIT_AS.
#if defined(__SANITIZE_ADDRESS__)
#  define TERVOX_UNDER_ASAN 1
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
#    define TERVOX_UNDER_ASAN 1
#  endif
#endif

namespace tervox_test {
namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// A child run with limits, started without waiting for it
// ---------------------------------------------------------------------------

struct limits {
  std::optional<rlim_t> address_space;  ///< RLIMIT_AS in bytes
  std::optional<rlim_t> file_size;      ///< RLIMIT_FSIZE in bytes
  const char* threads = nullptr;        ///< TERVOX_THREADS, unset when null
};

struct outcome {
  int status = -1;  ///< exit status; 128 + n when killed by signal n
  std::string out;
  std::string err;
  long peak_kib = 0;  ///< the child's peak resident memory
};

// The program runs in `cwd`; its standard output and error go to files in a
// folder of their own, so that `cwd` holds only what the program made.
class child {
 public:
  child(const fs::path& cwd, const std::vector<std::string>& args, const limits& lim) {
    std::vector<std::string> argv_text{TERVOX_EXE};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_text;
    for (char** e = environ; *e != nullptr; ++e) {
      if (!std::string_view(*e).starts_with("TERVOX_THREADS="))
        env_text.emplace_back(*e);
    }
    if (lim.threads != nullptr)
      env_text.push_back(std::string("TERVOX_THREADS=") + lim.threads);
    std::vector<char*> envp;
    for (auto& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string out_path = (streams_ / "out").string();
    const std::string err_path = (streams_ / "err").string();
    const std::string dir = cwd.string();

    // Between fork and exec only async-signal-safe calls.
    pid_ = ::fork();
    if (pid_ != 0)
      return;
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || ::chdir(dir.c_str()) != 0)
      ::_exit(125);
    ::signal(SIGXFSZ, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    if (lim.address_space) {
      const rlimit l{*lim.address_space, *lim.address_space};
      if (::setrlimit(RLIMIT_AS, &l) != 0)
        ::_exit(125);
    }
    if (lim.file_size) {
      const rlimit l{*lim.file_size, *lim.file_size};
      if (::setrlimit(RLIMIT_FSIZE, &l) != 0)
        ::_exit(125);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(126);
  }
  ~child() {
    if (pid_ > 0 && !waited_) {
      ::kill(pid_, SIGKILL);
      wait();
    }
  }
  child(const child&) = delete;
  child& operator=(const child&) = delete;

  bool running() {
    if (waited_)
      return false;
    int wstatus = 0;
    rusage usage{};
    const pid_t r = ::wait4(pid_, &wstatus, WNOHANG, &usage);
    if (r == pid_)
      finish(wstatus, usage);
    return !waited_;
  }
  void signal(int sig) {
    if (!waited_)
      ::kill(pid_, sig);
  }
  pid_t pid() const { return pid_; }
  outcome wait() {
    while (!waited_) {
      int wstatus = 0;
      rusage usage{};
      const pid_t r = ::wait4(pid_, &wstatus, 0, &usage);
      if (r == pid_)
        finish(wstatus, usage);
      else if (r < 0 && errno != EINTR)
        break;
    }
    result_.out = read_file(streams_ / "out");
    result_.err = read_file(streams_ / "err");
    return result_;
  }

 private:
  void finish(int wstatus, const rusage& usage) {
    waited_ = true;
    result_.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    result_.peak_kib = usage.ru_maxrss;
  }

  temp_folder streams_;
  pid_t pid_ = -1;
  bool waited_ = false;
  outcome result_;
};

outcome run_in(const fs::path& cwd, const std::vector<std::string>& args, const limits& lim = {}) {
  child c(cwd, args, lim);
  return c.wait();
}

const std::vector<std::string> default_args{"in.txt", "out.vol", "1", "1", "0"};

std::string header(long long nlayer, const std::string& thicknesses, long long nsound) {
  return "Number of layers " + std::to_string(nlayer) + "\nLayer thicknesses (m) " + thicknesses +
         "\nNumber of soundings " + std::to_string(nsound) + "\nx y values\n";
}

// ---------------------------------------------------------------------------
// Header counts beyond what memory holds
// ---------------------------------------------------------------------------

struct count_case {
  const char* what;
  std::string soundings;
  std::vector<std::string> args;
  std::vector<std::string> needles;  // parts of the one diagnostic line
  std::vector<std::string> files;    // what the folder holds afterwards
};

void expect_diagnostic(const outcome& r, const count_case& c, const fs::path& dir) {
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(r.err.starts_with("tervox: ")) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  for (const std::string& needle : c.needles) {
    EXPECT_NE(r.err.find(needle), std::string::npos) << "'" << needle << "' not in " << r.err;
  }
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(list_entries(dir), c.files);
}

// Counts the tool can refuse or see through without running out of memory:
// it reserves, but does not touch, what a header asks for.
TEST(faults_test, header_counts_far_beyond_the_file) {
  const count_case cases[] = {
      {"2e9 soundings: more than the triangulation's 32-bit positions can hold",
       header(1, "", 2000000000) + "0 0 1\n1 0 1\n0 1 1\n",
       default_args,
       {"in.txt:3: too many soundings: 2000000000"},
       {"in.txt"}},
      {"2e9 layers, three thicknesses given",
       header(2000000000, "1 2 3", 3) + "0 0 1\n",
       default_args,
       {"in.txt:", "expected thickness 4, got"},
       {"in.txt"}},
      {"2e9 layers given by one repeat count",
       header(2000000000, "1999999999*", 3) + "0 0 1\n",
       default_args,
       {"in.txt:2: expected thickness 1, got an empty value"},
       {"in.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    temp_folder dir;
    write_file(dir / "in.txt", c.soundings);
    expect_diagnostic(run_in(dir.path(), c.args), c, dir.path());
  }
}

// Under a memory limit, each array that cannot be had is named; the run
// never dies of it and leaves no temporary file. The last case passes the
// reader and the triangulation, and runs out of memory in the volume's
// worker threads, whose buffers hold all the layers of a cell (such a failure
// once ended the process from the worker, leaving the temporary file).
TEST(faults_test, arrays_beyond_memory_are_named) {
#ifdef TERVOX_UNDER_ASAN
  GTEST_SKIP() << "a sanitized program cannot run under RLIMIT_AS";
#else
  constexpr rlim_t mib = rlim_t{1} << 20;
  const std::string many_layers = "1000000";
  const count_case cases[] = {
      {"2e9 layers",
       header(2000000000, "1 2 3", 3),
       default_args,
       {"cannot allocate dz: 1999999999 values"},
       {"in.txt"}},
      {"3e8 soundings",
       header(1, "", 300000000) + "0 0 1\n",
       default_args,
       {"cannot allocate xloc: 300000000 values"},
       {"in.txt"}},
      {"3e8 soundings with their depths of investigation",
       header(1, "", 300000000) + "0 0 1 5\n",
       {"--doi", "in.txt", "out.vol", "1", "1", "0"},
       {"cannot allocate doi: 300000000 values"},
       {"in.txt"}},
      {"1e6 soundings of 1000 layers",
       header(1000, "999*1", 1000000) + "0 0 1000*1\n",
       default_args,
       {"cannot allocate dat: 1000000000 values"},
       {"in.txt"}},
      {"1e6 layers in a volume of four cells, on two threads",
       header(1000000, "999999*1", 3) + "0 0 " + many_layers + "*1\n10 0 " + many_layers +
           "*2\n0 10 " + many_layers + "*3\n",
       {"in.txt", "out.vol", "5", "5", "0"},
       {"out of memory"},
       {"in.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    temp_folder dir;
    write_file(dir / "in.txt", c.soundings);
    const outcome r = run_in(dir.path(), c.args, {80 * mib, std::nullopt, "2"});
    expect_diagnostic(r, c, dir.path());
  }
#endif
}

// ---------------------------------------------------------------------------
// Input that is not a soundings file
// ---------------------------------------------------------------------------

std::string random_bytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen() & 0xff);
  return s;
}

TEST(faults_test, input_that_is_not_a_soundings_file) {
  struct input_case {
    const char* what;
    std::string content;
    const char* diagnostic;  // the whole line
  };
  const input_case cases[] = {
      {"empty file", "",
       "tervox: in.txt:1: expected label word 1 of the layer count line, got end "
       "of file\n"},
      // One label word of NUL bytes, then nothing.
      {"NUL bytes", std::string(64, '\0'),
       "tervox: in.txt:1: expected label word 2 of the layer count line, got end of file\n"},
      {"random bytes", random_bytes(4096, 7), nullptr},
      {"one token of 3 MB, longer than the read buffer",
       header(1, "", 3) + std::string(3 << 20, '7') + "x 0 1\n", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    temp_folder dir;
    write_file(dir / "in.txt", c.content);
    const outcome r = run_in(dir.path(), default_args);
    EXPECT_EQ(r.out, "");
    if (c.diagnostic != nullptr) {
      EXPECT_EQ(r.err, c.diagnostic);
    } else {
      EXPECT_TRUE(r.err.starts_with("tervox: in.txt:")) << r.err;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
      EXPECT_LT(r.err.size(), 200u);
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(list_entries(dir.path()), std::vector<std::string>{"in.txt"});
  }
}

// Soundings whose first triangles single precision gets wrong: the
// construction would report success for a triangulation with a clockwise
// triangle. Refused before the triangulation; the mesh file, still a
// temporary file then, goes too. A set that is all tiny is called collinear
// instead: a refusal too, the one the library gives, which leaves the mesh
// file.
TEST(faults_test, soundings_single_precision_cannot_order_are_refused) {
  const std::string refused =
      "tervox: 'in.txt': the soundings' coordinates are spread wider than single precision can "
      "order, and their first triangles would come out wrong; subtract a common origin from x "
      "and y, or leave out the outlying soundings\n";
  struct order_case {
    const char* what;
    std::string soundings;
    std::string out, err;
    std::vector<std::string> files;
  };
  const order_case cases[] = {
      // Seen from (-2^32, 2^37), (1, 1) has the rounded differences of (0, 0).
      {"spread from 2^32 to 2^41",
       "-4294967296 137438953472 1\n0 0 2\n1 1 3\n3298534883328 0 4\n",
       "",
       refused,
       {"in.txt"}},
      // The cross product of the three tiny soundings underflows; the fourth
      // is found off their line.
      {"three soundings within 2^-80 and one far away",
       "0 0 1\n1e-24 0 2\n1e-24 1e-24 3\n1 5 4\n",
       "",
       refused,
       {"in.txt"}},
      // The first triangles are right; linking in the fourth sounding, an
      // ulp of zero off the line x = 2^-149 of two others, makes a
      // triangle that does not turn counterclockwise, which the construction's
      // exact check of its result finds.
      {"a sounding a hair off the line of two later ones",
       "-1.40129846e-45 0.0111144185 1\n1.40129846e-45 0.816461265 2\n"
       "1.40129846e-45 0.0113987923 3\n1.40129846e-45 0.766062915 4\n",
       "",
       "tervox: 'in.txt': the triangulation of the soundings broke down (the construction "
       "exceeded its bounds, or soundings so nearly on one line that single precision "
       "misjudged their side left it with a clockwise or flat triangle)\n",
       {"in.txt"}},
      {"three soundings within 2^-80 alone",
       "0 0 1\n1e-24 0 2\n1e-24 1e-24 3\n",
       " Error: points are collinear.\n",
       "",
       {"in.txt", "out.vol.mesh"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    temp_folder dir;
    const auto n = std::count(c.soundings.begin(), c.soundings.end(), '\n');
    write_file(dir / "in.txt", header(1, "", n) + c.soundings);
    const outcome r = run_in(dir.path(), {"in.txt", "out.vol", "1e11", "1e11", "0"});
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(list_entries(dir.path()), c.files);
  }
}

// A file that is one endless token, as a file of zeros left by a failed
// transfer is: read in bounded memory, to a diagnostic at its first value.
TEST(faults_test, file_of_nul_bytes_is_not_read_whole_into_memory) {
  temp_folder dir;
  {
    write_file(dir / "in.txt", "");
    fs::resize_file(dir / "in.txt", std::uintmax_t{1} << 30);  // sparse: no disk used
  }
  const outcome r = run_in(dir.path(), default_args);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(
      r.err.starts_with("tervox: in.txt:1: expected label word 1 of the layer count line, "
                        "got '\\x00\\x00"))
      << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_EQ(r.status, 1);
  EXPECT_LT(r.peak_kib, 512 * 1024) << "KiB";
  EXPECT_EQ(list_entries(dir.path()), std::vector<std::string>{"in.txt"});
}

TEST(faults_test, input_path_through_a_file_is_not_found) {
  temp_folder dir;
  write_file(dir / "in.txt", "a file, not a folder\n");
  const outcome r = run_in(dir.path(), {"in.txt/x", "out.vol", "1", "1", "0"});
  EXPECT_EQ(r.out, " Error: in.txt/x not found.\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(list_entries(dir.path()), std::vector<std::string>{"in.txt"});
}

// ---------------------------------------------------------------------------
// Output faults
// ---------------------------------------------------------------------------

const std::string small_survey = header(2, "4", 4) + "0 0 1 2\n10 0 3 4\n0 10 5 6\n10 10 7 8\n";

TEST(faults_test, output_path_through_a_file) {
  temp_folder dir;
  write_file(dir / "in.txt", small_survey);
  const outcome r = run_in(dir.path(), {"in.txt", "in.txt/out.vol", "1", "1", "0"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "tervox: cannot create 'in.txt/out.vol.mesh': Not a directory\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(list_entries(dir.path()), std::vector<std::string>{"in.txt"});
}

TEST(faults_test, output_named_through_a_link_to_the_input) {
  temp_folder dir;
  write_file(dir / "in.txt", small_survey);
  fs::create_symlink("in.txt", dir / "out.vol");
  const outcome r = run_in(dir.path(), default_args);
  EXPECT_EQ(r.err,
            "tervox: output file 'out.vol' is the soundings file 'in.txt'; "
            "writing it would destroy the input\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file(dir / "in.txt"), small_survey);
  EXPECT_TRUE(fs::is_symlink(dir / "out.vol"));
  EXPECT_FALSE(fs::exists(dir / "out.vol.mesh"));
}

// The run decides the volume's size before writing it, so the file-size
// limit stops a volume beforehand; a write can still fail when the volume
// outgrows what was planned (another writer takes the disk meanwhile). The
// run here, in a child process of its own under a limit that the planned
// volume of 2400 bytes fits, writes the volume twice: the write fails, and
// the earlier mesh and volume stand as a pair, untouched.
TEST(faults_test, volume_beyond_the_file_size_limit_leaves_the_earlier_pair) {
  if (coverage_run())
    GTEST_SKIP() << "the limit would stop the test process writing its coverage counts";
  temp_folder dir;
  temp_folder streams;
  write_file(dir / "in.txt", small_survey);
  write_file(dir / "out.vol", "an earlier volume\n");
  write_file(dir / "out.vol.mesh", "an earlier mesh\n");
  const std::string err_path = (streams / "err").string();
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const rlimit l{3000, 3000};
    if (::chdir(dir.path().c_str()) != 0 || ::setrlimit(RLIMIT_FSIZE, &l) != 0)
      ::_exit(125);
    std::ostringstream out, err;
    const tervox::base::exit_status status = tervox::driver::run(
        default_args, out, err,
        [](const tervox::driver::node_data& nodes, const tervox::formats::grid& g, bool log_mode,
           tervox::base::output_file& file, const tervox::driver::volume_masks& masks) {
          return tervox::driver::stream_volume(nodes, g, log_mode, file, 1, 0, nullptr, masks) &&
                 tervox::driver::stream_volume(nodes, g, log_mode, file, 1, 0, nullptr, masks);
        });
    // The limit is the file's, not the test's: the text is short.
    write_file(err_path, out.str() + err.str());
    ::_exit(static_cast<int>(status));
  }
  int wstatus = 0;
  ASSERT_EQ(::waitpid(pid, &wstatus, 0), pid);
  ASSERT_TRUE(WIFEXITED(wstatus)) << wstatus;
  EXPECT_EQ(WEXITSTATUS(wstatus), 1);
  EXPECT_EQ(read_file(streams / "err"), "tervox: cannot write 'out.vol': File too large\n");
  EXPECT_EQ(list_entries(dir.path()),
            (std::vector<std::string>{"in.txt", "out.vol", "out.vol.mesh"}));
  EXPECT_EQ(read_file(dir / "out.vol"), "an earlier volume\n");
  EXPECT_EQ(read_file(dir / "out.vol.mesh"), "an earlier mesh\n");
}

// A grid whose volume cannot fit is refused before anything is written, at
// once: a volume beyond the file-size limit, and one beyond any disk (the
// example survey with cells of a millimetre: 4e12 values).
TEST(faults_test, volume_that_cannot_fit_is_refused_before_the_run) {
  struct room_case {
    const char* what;
    std::vector<std::string> args;
    std::optional<rlim_t> file_size;
    std::vector<std::string> needles;
  };
  const std::string survey = std::string(TERVOX_SOURCE_DIR) + "/examples/survey.txt";
  const room_case cases[] = {
      {"file-size limit",
       {"in.txt", "out.vol", "1", "1", "0"},
       1000,
       {"tervox: the grid (10 x 10 cells, 2 layers) needs a volume file of at least 1.8 kB, more "
        "than the file-size limit of 1 kB (ulimit -f); use a larger cell size than dx = 1, "
        "dy = 1\n"}},
      {"beyond any disk",
       {survey, "out.vol", "0.001", "0.001", "1"},
       std::nullopt,
       {"tervox: the grid (1828800 x 1993300 cells, 12 layers) needs a volume file of at least "
        "394 TB, more than the ",
        " free on the file system of 'out.vol'; use a larger cell size than dx = 0.001, "
        "dy = 0.001\n"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.file_size && coverage_run())
      continue;  // the limit would stop the coverage counts being written
    temp_folder dir;
    write_file(dir / "in.txt", small_survey);
    write_file(dir / "out.vol.mesh", "an earlier mesh\n");
    const outcome r = run_in(dir.path(), c.args, {std::nullopt, c.file_size, nullptr});
    EXPECT_EQ(r.out, "");
    for (const std::string& needle : c.needles)
      EXPECT_NE(r.err.find(needle), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(list_entries(dir.path()), (std::vector<std::string>{"in.txt", "out.vol.mesh"}));
    EXPECT_EQ(read_file(dir / "out.vol.mesh"), "an earlier mesh\n");
  }
}

// Once the cells are located the volume's size is known to the byte: 9 bytes a
// value for a cell outside the soundings' hull, 12 for one inside. A volume
// beyond the file-size limit is refused then, before its first byte, with its
// size and the limit; one that fits exactly is written. The square's 10 x 10
// cells all lie inside it (2400 bytes); of the triangle's, 55 lie inside and
// 45 outside (2 x (55 x 12 + 45 x 9) = 2130 bytes), where 12 bytes a value
// would not fit. Cells that --max-distance blanks are short too, but the
// size counts them long: it is an upper bound then, and says so.
TEST(faults_test, volume_beyond_its_room_is_refused_before_writing) {
  const std::string triangle = header(2, "4", 3) + "0 0 1 2\n10 0 3 4\n0 10 5 6\n";
  struct room_case {
    const char* what;
    std::string soundings;
    std::vector<std::string> args;
    rlim_t file_size;
    std::string err;              // empty: the run goes through
    std::size_t volume_size = 0;  // of the volume the run writes
  };
  const room_case cases[] = {
      {"all cells inside, limit below", small_survey, default_args, 2000,
       "tervox: the grid (10 x 10 cells, 2 layers) needs a volume file of 2.4 kB, more than the "
       "file-size limit of 2 kB (ulimit -f); use a larger cell size than dx = 1, dy = 1\n"},
      // Sizes that read alike in kB are given in bytes.
      {"all cells inside, one byte short", small_survey, default_args, 2399,
       "tervox: the grid (10 x 10 cells, 2 layers) needs a volume file of 2400 bytes, more than "
       "the file-size limit of 2399 bytes (ulimit -f); use a larger cell size than dx = 1, "
       "dy = 1\n"},
      {"all cells inside, exactly the limit", small_survey, default_args, 2400, "", 2400},
      {"cells inside and outside, exactly the limit", triangle, default_args, 2130, "", 2130},
      {"cells inside and outside, one byte short", triangle, default_args, 2129,
       "tervox: the grid (10 x 10 cells, 2 layers) needs a volume file of 2130 bytes, more than "
       "the file-size limit of 2129 bytes (ulimit -f); use a larger cell size than dx = 1, "
       "dy = 1\n"},
      {"blanked cells counted long",
       small_survey,
       {"--max-distance", "3", "in.txt", "out.vol", "1", "1", "0"},
       2000,
       "tervox: the grid (10 x 10 cells, 2 layers) needs a volume file of up to 2.4 kB, more "
       "than the file-size limit of 2 kB (ulimit -f); use a larger cell size than dx = 1, "
       "dy = 1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (coverage_run())
      continue;  // the limit would stop the coverage counts being written
    temp_folder dir;
    write_file(dir / "in.txt", c.soundings);
    write_file(dir / "out.vol", "an earlier volume\n");
    write_file(dir / "out.vol.mesh", "an earlier mesh\n");
    const outcome r = run_in(dir.path(), c.args, {std::nullopt, c.file_size, nullptr});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, c.err.empty() ? 0 : 1);
    EXPECT_EQ(list_entries(dir.path()),
              (std::vector<std::string>{"in.txt", "out.vol", "out.vol.mesh"}));
    if (c.err.empty()) {
      EXPECT_EQ(fs::file_size(dir / "out.vol"), c.volume_size);
    } else {
      EXPECT_EQ(read_file(dir / "out.vol"), "an earlier volume\n");
      EXPECT_EQ(read_file(dir / "out.vol.mesh"), "an earlier mesh\n");
    }
  }
}

// ---------------------------------------------------------------------------
// Runs at once into the same names
// ---------------------------------------------------------------------------

// The lock a run takes on its output folder to put its files in place, held
// by the test: while it is held, a run writes its temporary files but cannot
// rename them.
class folder_lock_held {
 public:
  explicit folder_lock_held(const fs::path& folder)
      : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    locked_ = fd_ >= 0 && ::flock(fd_, LOCK_EX) == 0;
  }
  ~folder_lock_held() { release(); }
  folder_lock_held(const folder_lock_held&) = delete;
  folder_lock_held& operator=(const folder_lock_held&) = delete;
  bool locked() const { return locked_; }
  void release() {
    if (fd_ >= 0)
      ::close(fd_);
    fd_ = -1;
    locked_ = false;
  }

 private:
  int fd_;
  bool locked_ = false;
};

// Whether some process waits for a flock on `folder`, as /proc/locks lists
// it (a line "n: -> FLOCK ... <major>:<minor>:<inode> ..."); nullopt where
// the system does not say.
std::optional<bool> someone_waits_for(const fs::path& folder) {
  struct stat st {};
  std::ifstream locks("/proc/locks");
  if (::stat(folder.c_str(), &st) != 0 || !locks)
    return std::nullopt;
  const std::string inode = ":" + std::to_string(st.st_ino);
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string number, arrow, kind, mode, access, pid, file;
    fields >> number >> arrow >> kind >> mode >> access >> pid >> file;
    if (arrow == "->" && kind == "FLOCK" && file.ends_with(inode))
      return true;
  }
  return false;
}

// Temporary files of a run closed in a folder, as inotify reports them: the
// test learns that a run has finished writing its files, at the moment it
// happens, without looking again and again.
class closed_temporaries {
 public:
  explicit closed_temporaries(const fs::path& folder)
      : folder_(folder), fd_(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
    watching_ = fd_ >= 0 && ::inotify_add_watch(fd_, folder.c_str(), IN_CLOSE_WRITE) >= 0;
  }
  ~closed_temporaries() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  closed_temporaries(const closed_temporaries&) = delete;
  closed_temporaries& operator=(const closed_temporaries&) = delete;

  // Waits until `count` temporary files have been closed after writing;
  // false when the run ended without them, or waits for the folder's lock
  // before they are complete.
  bool wait_for(std::size_t count, child& run) {
    while (watching_ && names_.size() < count) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 100) > 0) {
        read_events();
      } else if (!run.running() || someone_waits_for(folder_) == true) {
        read_events();  // what came just before it stopped
        break;
      }
    }
    return names_.size() >= count;
  }

 private:
  void read_events() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0)
        return;
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        const std::string name = event->len > 0 ? event->name : "";
        if (name.starts_with(".tervox-"))
          names_.push_back(name);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
  }

  fs::path folder_;
  int fd_;
  bool watching_ = false;
  std::vector<std::string> names_;
};

// The runs below write into a folder of their own, out/, beside the input.
const std::vector<std::string> into_out_folder{"in.txt", "out/out.vol", "1", "1", "0"};

void with_out_folder(const temp_folder& dir) {
  write_file(dir / "in.txt", small_survey);
  fs::create_directory(dir / "out");
}

// A run whose files are complete while the test holds the lock of its output
// folder neither renames them nor ends: it waits for the lock, and once the
// test lets it go it puts its pair in place as a run alone would. The test
// learns that the run waits from /proc/locks, so nothing here depends on
// timing. The output folder is not the working folder, so a lock taken on
// the wrong folder shows too.
TEST(faults_test, run_puts_its_pair_in_place_only_under_the_folders_lock) {
  const std::vector<std::string> args = into_out_folder;
  temp_folder clean;
  with_out_folder(clean);
  ASSERT_EQ(run_in(clean.path(), args).status, 0);

  temp_folder dir;
  with_out_folder(dir);
  write_file(dir / "out/out.vol", "an earlier volume\n");
  write_file(dir / "out/out.vol.mesh", "an earlier mesh\n");
  folder_lock_held lock(dir / "out");
  ASSERT_TRUE(lock.locked());
  closed_temporaries closed(dir / "out");
  child run(dir.path(), args, {});
  // The mesh's and then the volume's temporary file: all that is left to do
  // is to put them in place.
  if (!closed.wait_for(2, run)) {
    run.signal(SIGKILL);  // a run that waits for the lock would wait for ever
    FAIL() << "the run left no complete temporary files: " << run.wait().err;
  }
  std::optional<bool> waits;
  while ((waits = someone_waits_for(dir / "out")) == false && run.running()) {
    pollfd none{-1, 0, 0};
    ::poll(&none, 1, 1);  // between two readings of /proc/locks
  }
  if (!waits)
    GTEST_SKIP() << "the system does not list its file locks";
  EXPECT_TRUE(run.running()) << "the run ended while the folder was locked";
  EXPECT_EQ(read_file(dir / "out/out.vol"), "an earlier volume\n");
  EXPECT_EQ(read_file(dir / "out/out.vol.mesh"), "an earlier mesh\n");

  lock.release();
  const outcome r = run.wait();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_file(dir / "out/out.vol"), read_file(clean / "out/out.vol"));
  EXPECT_EQ(read_file(dir / "out/out.vol.mesh"), read_file(clean / "out/out.vol.mesh"));
  EXPECT_EQ(list_entries(dir.path()),
            (std::vector<std::string>{"in.txt", "out/", "out/out.vol", "out/out.vol.mesh"}));
}

// Runs started together on two inputs with different grids (so both the
// mesh and the volume tell the inputs apart), all writing out.vol: each
// commits its pair under the folder's lock, so the pair on disk is always
// one run's, whichever committed last. Without the lock, the renames of two
// runs could interleave and leave one run's mesh beside the other's volume.
// The race is left to chance, so it runs many rounds of eight runs (before
// the lock, about one round in eight ended with a mixed pair).
TEST(faults_test, runs_at_once_into_the_same_names_leave_one_runs_pair) {
  const std::string inputs[2] = {small_survey,
                                 header(2, "5", 4) + "0 0 2 1\n20 0 4 3\n0 20 6 5\n20 20 8 7\n"};
  const std::vector<std::string> files{"a.txt", "b.txt"};
  std::string volumes[2], meshes[2];
  for (int i = 0; i < 2; ++i) {
    temp_folder alone;
    write_file(alone / "in.txt", inputs[i]);
    const outcome r = run_in(alone.path(), default_args);
    ASSERT_EQ(r.status, 0) << r.err;
    volumes[i] = read_file(alone / "out.vol");
    meshes[i] = read_file(alone / "out.vol.mesh");
  }
  ASSERT_NE(volumes[0], volumes[1]);
  ASSERT_NE(meshes[0], meshes[1]);

  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(::testing::Message() << "round " << round);
    temp_folder dir;
    for (int i = 0; i < 2; ++i) write_file(dir / files[i], inputs[i]);
    std::vector<std::unique_ptr<child>> runs;
    for (int k = 0; k < 8; ++k) {
      runs.push_back(std::make_unique<child>(
          dir.path(), std::vector<std::string>{files[k % 2], "out.vol", "1", "1", "0"}, limits{}));
    }
    for (auto& run : runs) {
      const outcome r = run->wait();
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.err, "");
    }
    const std::string volume = read_file(dir / "out.vol");
    const std::string mesh = read_file(dir / "out.vol.mesh");
    const bool pair_of_a = volume == volumes[0] && mesh == meshes[0];
    const bool pair_of_b = volume == volumes[1] && mesh == meshes[1];
    EXPECT_TRUE(pair_of_a || pair_of_b) << "volume of " << (volume == volumes[0] ? "a" : "b")
                                        << ", mesh of " << (mesh == meshes[0] ? "a" : "b");
    EXPECT_EQ(list_entries(dir.path()),
              (std::vector<std::string>{"a.txt", "b.txt", "out.vol", "out.vol.mesh"}));
  }
}

// ---------------------------------------------------------------------------
// Temporary files of runs killed outright
// ---------------------------------------------------------------------------

// A process id that no process has: that of a child that has ended and been
// waited for.
pid_t ended_process() {
  const pid_t pid = ::fork();
  if (pid == 0)
    ::_exit(0);
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  return pid;
}

// This host's part of a temporary file's name, as output files write it.
std::string host_in_temporary_names() {
  temp_folder dir;
  tervox::base::output_file file((dir / "probe").string());
  if (!file.open().ok())
    return {};
  const std::string name = fs::path(file.temp_path()).filename().string();
  const std::string head = ".tervox-" + std::to_string(::getpid()) + "-0-";
  if (!name.starts_with(head) || !name.ends_with(".tmp"))
    return {};
  return name.substr(head.size(), name.size() - head.size() - 4);
}

// A run killed with SIGKILL leaves its temporary files: the next run into
// that folder removes those of its host whose process has gone, says so on
// one line, and writes the same files as ever. Everything else stays: a
// file of a process that runs, of another host, names not of the pattern, a
// folder of that name, and stale files in other folders.
TEST(faults_test, temporary_files_of_killed_runs_are_removed_with_a_warning) {
  const std::string host = host_in_temporary_names();
  ASSERT_FALSE(host.empty());
  const std::string dead = std::to_string(ended_process());
  const std::string live = std::to_string(::getpid());
  const auto temp = [](const std::string& pid, const std::string& attempt, const std::string& h) {
    return ".tervox-" + pid + "-" + attempt + "-" + h + ".tmp";
  };
  const std::vector<std::string> stale{temp(dead, "0", host), temp(dead, "3", host)};
  const std::vector<std::string> kept{
      temp(live, "0", host),                     // a run still writing
      temp(dead, "0", "elsewhere.invalid"),      // another host
      ".tervox-" + dead + "-0.tmp",              // no host
      temp(dead, "0", host) + ".keep",           // more after the pattern
      temp("0" + dead, "0", host),               // a number open() never writes
      temp("0", "0", host),                      // pid 0: the process group
      "tervox-" + dead + "-0-" + host + ".tmp",  // not hidden
      temp(dead, "x", host),                     // no attempt number
  };
  const std::vector<std::string> args{"in.txt", "out/out.vol", "1", "1", "0"};

  temp_folder clean;
  write_file(clean / "in.txt", small_survey);
  fs::create_directory(clean / "out");
  const outcome expected = run_in(clean.path(), args);
  ASSERT_EQ(expected.status, 0) << expected.err;
  EXPECT_EQ(expected.err, "");

  temp_folder dir;
  write_file(dir / "in.txt", small_survey);
  write_file(dir / stale[0], "partial\n");  // beside the input, not the outputs
  fs::create_directory(dir / "out");
  for (const auto& names : {stale, kept}) {
    for (const std::string& name : names) write_file(dir / "out" / name, "partial\n");
  }
  fs::create_directory(dir / "out" / temp(dead, "1", host));
  std::vector<std::string> remaining{
      "in.txt",      stale[0],           "out/",
      "out/out.vol", "out/out.vol.mesh", "out/" + temp(dead, "1", host) + "/"};
  for (const std::string& name : kept) remaining.push_back("out/" + name);
  std::sort(remaining.begin(), remaining.end());

  const outcome r = run_in(dir.path(), args);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, expected.out);
  EXPECT_EQ(r.err, "tervox: warning: removed 2 temporary files left by killed tervox runs: 'out/" +
                       stale[0] + "', 'out/" + stale[1] + "'\n");
  EXPECT_EQ(read_file(dir / "out/out.vol"), read_file(clean / "out/out.vol"));
  EXPECT_EQ(read_file(dir / "out/out.vol.mesh"), read_file(clean / "out/out.vol.mesh"));
  EXPECT_EQ(list_entries(dir.path()), remaining);

  // Once removed, they are not reported again.
  const outcome again = run_in(dir.path(), args);
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.err, "");
  EXPECT_EQ(list_entries(dir.path()), remaining);
}

// A run of the built program killed with SIGKILL once its temporary files
// are complete (held back from renaming them by the folder's lock, which the
// test holds) leaves them behind. The next run into the folder removes them,
// names them in its warning and writes what a run alone writes; the file of
// a process that still runs (the test's own) stays, and so does a file of
// the killed run's process id from another host.
TEST(faults_test, run_killed_outright_leaves_temporaries_the_next_run_removes) {
  const std::string host = host_in_temporary_names();
  ASSERT_FALSE(host.empty());
  const auto temp = [](const std::string& pid, const std::string& attempt, const std::string& h) {
    return ".tervox-" + pid + "-" + attempt + "-" + h + ".tmp";
  };
  const std::vector<std::string> args = into_out_folder;
  temp_folder clean;
  with_out_folder(clean);
  ASSERT_EQ(run_in(clean.path(), args).status, 0);

  temp_folder dir;
  with_out_folder(dir);
  const std::string live = temp(std::to_string(::getpid()), "0", host);
  write_file(dir / "out" / live, "partial\n");
  std::string killed;
  {
    folder_lock_held lock(dir / "out");
    ASSERT_TRUE(lock.locked());
    closed_temporaries closed(dir / "out");
    child run(dir.path(), args, {});
    killed = std::to_string(run.pid());
    if (!closed.wait_for(2, run)) {
      run.signal(SIGKILL);  // a run that waits for the lock would wait for ever
      FAIL() << "the run left no complete temporary files: " << run.wait().err;
    }
    run.signal(SIGKILL);
    EXPECT_EQ(run.wait().status, 128 + SIGKILL);
  }
  const std::vector<std::string> left{temp(killed, "0", host), temp(killed, "1", host)};
  const std::string elsewhere = temp(killed, "0", "elsewhere.invalid");
  write_file(dir / "out" / elsewhere, "partial\n");
  std::vector<std::string> entries{"in.txt", "out/", "out/" + live, "out/" + elsewhere};
  for (const std::string& name : left) entries.push_back("out/" + name);
  std::sort(entries.begin(), entries.end());
  ASSERT_EQ(list_entries(dir.path()), entries);

  const outcome r = run_in(dir.path(), args);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "tervox: warning: removed 2 temporary files left by killed tervox runs: 'out/" +
                       left[0] + "', 'out/" + left[1] + "'\n");
  EXPECT_EQ(read_file(dir / "out/out.vol"), read_file(clean / "out/out.vol"));
  EXPECT_EQ(read_file(dir / "out/out.vol.mesh"), read_file(clean / "out/out.vol.mesh"));
  entries = {"in.txt",           "out/",        "out/" + live,
             "out/" + elsewhere, "out/out.vol", "out/out.vol.mesh"};
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(list_entries(dir.path()), entries);
}

// ---------------------------------------------------------------------------
// Interruption
// ---------------------------------------------------------------------------

// The run in a child process of its own, held at the start of the volume: the
// method that computes the volume says so on a pipe and then waits for the
// signal. So the signal comes when the mesh file is complete and the volume's
// temporary file exists, however loaded the machine is.
TEST(faults_test, run_interrupted_in_the_volume_leaves_no_temporary_or_partial_file) {
  for (const int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(strsignal(sig));
    temp_folder dir;
    write_file(dir / "in.txt", small_survey);
    write_file(dir / "out.vol", "an earlier volume\n");
    write_file(dir / "out.vol.mesh", "an earlier mesh\n");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(ready[0]);
      ::signal(sig, SIG_DFL);
      if (::chdir(dir.path().c_str()) != 0)
        ::_exit(125);
      const std::vector<std::string> args{"in.txt", "out.vol", "1", "1", "0"};
      std::ostringstream out, err;
      tervox::driver::run(args, out, err,
                          [&](const tervox::driver::node_data&, const tervox::formats::grid&, bool,
                              tervox::base::output_file&, const tervox::driver::volume_masks&) {
                            const char in_volume = 'v';
                            if (::write(ready[1], &in_volume, 1) == 1) {
                              for (;;) ::pause();
                            }
                            return false;
                          });
      ::_exit(0);  // not reached when the signal comes
    }
    ::close(ready[1]);
    char in_volume = 0;
    const bool held = ::read(ready[0], &in_volume, 1) == 1;
    ::close(ready[0]);
    if (held)
      ::kill(pid, sig);
    int wstatus = 0;
    ASSERT_EQ(::waitpid(pid, &wstatus, 0), pid);
    ASSERT_TRUE(held) << "the run ended before its volume";
    EXPECT_TRUE(WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == sig) << wstatus;
    EXPECT_EQ(list_entries(dir.path()),
              (std::vector<std::string>{"in.txt", "out.vol", "out.vol.mesh"}));
    EXPECT_EQ(read_file(dir / "out.vol"), "an earlier volume\n");
    EXPECT_EQ(read_file(dir / "out.vol.mesh"), "an earlier mesh\n");
  }
}

// The built program reading its soundings from a pipe (a FIFO) that the test
// holds open: the run cannot get past reading until the test closes it, so a
// signal then ends it before anything is written.
TEST(faults_test, run_interrupted_while_reading_writes_nothing) {
  temp_folder dir;
  ASSERT_EQ(::mkfifo((dir / "in.txt").c_str(), 0600), 0);
  write_file(dir / "out.vol", "an earlier volume\n");
  child run(dir.path(), {"in.txt", "out.vol", "1", "1", "0"}, {});
  // Opening for writing waits until the program has opened it for reading.
  const int fifo = ::open((dir / "in.txt").c_str(), O_WRONLY);
  ASSERT_GE(fifo, 0);
  const std::string part = small_survey.substr(0, small_survey.size() / 2);
  ASSERT_EQ(::write(fifo, part.data(), part.size()), static_cast<ssize_t>(part.size()));
  run.signal(SIGTERM);
  const outcome r = run.wait();
  ::close(fifo);
  EXPECT_EQ(r.status, 128 + SIGTERM) << r.err;
  EXPECT_EQ(list_entries(dir.path()), (std::vector<std::string>{"in.txt", "out.vol"}));
  EXPECT_EQ(read_file(dir / "out.vol"), "an earlier volume\n");
}

// A survey read from a pipe (a FIFO here; a shell's <(zcat survey.xyz.gz)
// alike) grids as the same file on disk does, in either form. A pipe can be
// opened and read only once: a program that opens it to look and then again
// to read loses what the first look took, or leaves the writer without a
// reader (its write then fails: SIGPIPE is ignored here to see that).
TEST(faults_test, survey_read_from_a_pipe_grids_as_the_same_file) {
  const std::string xyz =
      "/DUMMY\n/-9999\n/ X Y RHO_I_1 RHO_I_2 THK_1\n"
      "0 0 1 2 5\n10 0 3 -9999 5\n0 10 5 6 5\n10 10 7 8 5\n";
  const auto previous = ::signal(SIGPIPE, SIG_IGN);
  for (const std::string& text : {small_survey, xyz}) {
    SCOPED_TRACE(text.substr(0, 12));
    temp_folder on_disk;
    write_file(on_disk / "in.txt", text);
    const outcome expected = run_in(on_disk.path(), default_args);
    ASSERT_EQ(expected.status, 0) << expected.err;

    temp_folder dir;
    ASSERT_EQ(::mkfifo((dir / "in.txt").c_str(), 0600), 0);
    child run(dir.path(), default_args, {});
    const int fifo = ::open((dir / "in.txt").c_str(), O_WRONLY);
    ASSERT_GE(fifo, 0);
    const bool written =
        ::write(fifo, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fifo);
    const outcome r = run.wait();
    EXPECT_TRUE(written) << std::strerror(errno);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected.out);
    EXPECT_EQ(r.err, expected.err);
    EXPECT_EQ(read_file(dir / "out.vol"), read_file(on_disk / "out.vol"));
    EXPECT_EQ(read_file(dir / "out.vol.mesh"), read_file(on_disk / "out.vol.mesh"));
  }
  ::signal(SIGPIPE, previous);
}

}  // namespace
}  // namespace tervox_test
