#include "base/output_file.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstring>

#include "base/diagnostic.hpp"
#include "base/files.hpp"

namespace tervox::base {
namespace {

// The temporary files a signal handler must remove. A handler may only touch
// fixed storage and call async-signal-safe functions, so the paths live in
// static arrays, and a slot is published (live = 1) only after its path is
// complete.
constexpr int max_live_files = 4;
constexpr std::size_t max_temp_path = 4096;
struct live_file {
  char path[max_temp_path];
  volatile std::sig_atomic_t live;
};
live_file live_files[max_live_files];

int register_live(const std::string& path) {
  if (path.size() >= max_temp_path)
    return -1;
  for (int i = 0; i < max_live_files; ++i) {
    live_file& f = live_files[i];
    if (f.live != 0)
      continue;
    std::memcpy(f.path, path.c_str(), path.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    f.live = 1;
    return i;
  }
  return -1;
}

void unregister_live(int slot) {
  if (slot < 0)
    return;
  live_files[slot].live = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

extern "C" void remove_live_files(int sig) {
  for (live_file& f : live_files) {
    if (f.live != 0)
      ::unlink(f.path);
  }
  // SA_RESETHAND has restored the default action and the signal is blocked
  // while this handler runs: raised again, it ends the process on return.
  ::raise(sig);
}

// The host's name as temporary file names carry it: the bytes a file name
// may hold safely (letters, digits, '.', '-', '_'; anything else becomes
// '_'), at most 64 of them. Empty when the system has no name to give.
const std::string& this_host() {
  static const std::string host = [] {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
      return std::string();
    std::string text(name, ::strnlen(name, 64));
    for (char& c : text) {
      const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
      if (!plain)
        c = '_';
    }
    return text;
  }();
  return host;
}

// Temporary files are named ".tervox-<pid>-<attempt>-<host>.tmp": the
// process that writes it and the host it runs on, so that a later run can
// tell a file whose writer was killed outright from one still being
// written.
constexpr std::string_view temp_head = ".tervox-";
constexpr std::string_view temp_tail = ".tmp";

// Reads a number as open() writes it (decimal, no sign, no leading zero)
// from the front of `text` and a '-' after it; nullopt for anything else.
std::optional<long long> take_number(std::string_view& text) {
  long long value = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (r.ec != std::errc() || text.front() == '-' || text.front() == '+' ||
      (text.front() == '0' && r.ptr - text.data() > 1))
    return std::nullopt;
  text.remove_prefix(static_cast<std::size_t>(r.ptr - text.data()));
  if (text.empty() || text.front() != '-')
    return std::nullopt;
  text.remove_prefix(1);
  return value;
}

// The process id in the name of a temporary file this program made on this
// host; 0 for any other name.
pid_t temp_file_writer(std::string_view name, std::string_view host) {
  if (host.empty() || !name.starts_with(temp_head) || !name.ends_with(temp_tail))
    return 0;
  name.remove_prefix(temp_head.size());
  name.remove_suffix(temp_tail.size());
  const std::optional<long long> pid = take_number(name);
  const std::optional<long long> attempt = take_number(name);
  // pid 0 would ask about the whole process group: never a writer.
  if (!pid || !attempt || *pid <= 0 || *pid > INT_MAX || name != host)
    return 0;
  return static_cast<pid_t>(*pid);
}

std::string folder_of(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos)
    return {};
  return path.substr(0, slash + 1);  // keeps the slash; "/" for the root
}

// An exclusive lock on a folder for the life of the object: flock(2) on the
// folder itself, opened for reading, so no lock file is ever left behind.
// Every tervox that puts files in place in the folder takes it, so the
// renames of one run are never interleaved with another's, and so does the
// removal of killed runs' temporary files. Another run holds it only for a
// few renames or unlinks, so a run that commits waits its turn rather than
// failing: batch scripts and parallel builds that name the same outputs get
// whole sets of files, the last run's, instead of an error to handle. Where
// the folder cannot be opened or locked (a folder one may write but not
// read, a file system without flock), the run goes on without the lock, as
// it would have before there was one.
class folder_lock {
 public:
  enum class when_busy { wait, give_up };

  folder_lock(const std::string& folder, when_busy busy) {
    fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0)
      return;
    // Interruptions are not held off while waiting: Ctrl-C still ends the
    // run (and removes its temporary files) however long another holds it.
    const int operation = busy == when_busy::wait ? LOCK_EX : LOCK_EX | LOCK_NB;
    while (::flock(fd_, operation) != 0) {
      if (errno != EINTR) {
        busy_ = errno == EWOULDBLOCK;
        ::close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~folder_lock() {
    if (fd_ >= 0)
      ::close(fd_);  // releases the lock
  }
  folder_lock(const folder_lock&) = delete;
  folder_lock& operator=(const folder_lock&) = delete;

  /// Another holds the lock (only with when_busy::give_up).
  bool busy() const { return busy_; }

 private:
  int fd_ = -1;
  bool busy_ = false;
};

}  // namespace

void install_output_cleanup() {
  static bool installed = false;
  if (installed)
    return;
  installed = true;
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
      continue;
    struct sigaction action {};
    action.sa_handler = remove_live_files;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    ::sigaction(sig, &action, nullptr);
  }
  std::signal(SIGXFSZ, SIG_IGN);
}

output_file::output_file(std::string path, std::size_t buffer_size)
    : path_(std::move(path)),
      buffer_(new char[buffer_size > 0 ? buffer_size : 1]),
      capacity_(buffer_size > 0 ? buffer_size : 1) {}

output_file::~output_file() {
  discard();
}

io_result output_file::failure(int err, bool creating) {
  discard();
  return {creating ? cannot_create(path_, std::strerror(err))
                   : cannot_write(path_, std::strerror(err))};
}

io_result output_file::open() {
  if (is_folder(path_)) {
    return {cannot_write(path_, is_a_directory)};
  }
  // The temporary file must be in the destination's folder: rename only
  // replaces a file atomically within one file system. Its name does not
  // depend on the destination's and is short (the host's part is at most 64
  // bytes), so a destination name near the length limit still works.
  const std::string folder = folder_of(path_);
  for (unsigned attempt = 0;; ++attempt) {
    temp_path_ = concat({folder, temp_head, std::to_string(::getpid()), "-",
                         std::to_string(attempt), "-", this_host(), temp_tail});
    // Registered before it exists, so no moment passes in which an
    // interrupt could leave it behind.
    slot_ = register_live(temp_path_);
    // 0666 lets the umask decide the final file's permissions, as for any
    // file the user creates.
    fd_ = ::open(temp_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0)
      break;
    const int err = errno;
    unregister_live(slot_);
    slot_ = -1;
    temp_path_.clear();
    if (err == EINTR)
      continue;
    if (err != EEXIST || attempt >= 1000)
      return failure(err, true);
  }
  used_ = 0;
  error_ = 0;
  return {};
}

void output_file::write_through(const char* data, std::size_t size) {
  while (size > 0 && error_ == 0) {
    const ssize_t n = ::write(fd_, data, size);
    if (n < 0) {
      if (errno != EINTR)
        error_ = errno;
      continue;
    }
    if (n == 0) {
      error_ = ENOSPC;  // a regular file that takes nothing is full
      continue;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

void output_file::flush() {
  write_through(buffer_.get(), used_);
  used_ = 0;
}

void output_file::write(const char* data, std::size_t size) {
  if (fd_ < 0 || error_ != 0)
    return;
  if (size > capacity_ - used_)
    flush();
  // A chunk of half the buffer or more goes straight to the file: copying it
  // into the buffer first would only add a pass over the data.
  if (used_ == 0 && size >= capacity_ / 2) {
    write_through(data, size);
    return;
  }
  std::memcpy(buffer_.get() + used_, data, size);
  used_ += size;
}

io_result output_file::finish() {
  if (finished_)
    return {};
  if (fd_ < 0)
    return {cannot_write(path_, std::strerror(EBADF))};
  flush();
  if (error_ != 0)
    return failure(error_, false);
  // No fsync: it would make every run wait until gigabytes reach the disk,
  // for a file that can be made again; the rename still makes the file
  // appear complete or not at all. Local file systems report a full disk when
  // the data is written, and network file systems when the file is closed,
  // so the close is checked like a write.
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR)
    return failure(errno, false);
  finished_ = true;
  return {};
}

io_result output_file::put_in_place() {
  if (::rename(temp_path_.c_str(), path_.c_str()) != 0)
    return failure(errno, false);
  unregister_live(slot_);
  slot_ = -1;
  temp_path_.clear();
  finished_ = false;
  return {};
}

io_result output_file::commit() {
  if (auto r = finish(); !r.ok())
    return r;
  return put_in_place();
}

io_result commit_together(std::span<output_file* const> files, std::span<const std::string> stale) {
  for (output_file* file : files) {
    if (auto r = file->finish(); !r.ok())
      return r;
  }
  if (files.empty())
    return {};
  // Another run putting files of the same names in place at the same moment
  // would leave some of each run's; the folder's lock puts one run's set
  // after the other's. (The files of a set are in one folder: they are named
  // after the first. A single put_in_place() needs no lock: one rename amid
  // another run's renames gives what running one after the other would.)
  const folder_lock lock(folder_of(files.front()->path()), folder_lock::when_busy::wait);
  // An interruption between the renames would leave new files beside old
  // ones; the signals that end a run wait until all are in place.
  sigset_t block{}, old{};
  sigemptyset(&block);
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&block, sig);
  ::pthread_sigmask(SIG_BLOCK, &block, &old);
  io_result r;
  for (const std::string& name : stale) {
    if (::unlink(name.c_str()) != 0 && errno != ENOENT) {
      const int error = errno;
      r.problem = diagnostic::plain(
          concat({"cannot remove ", quoted(name),
                  ", which would describe the new files: ", std::strerror(error)}));
      break;
    }
  }
  for (output_file* file : files) {
    if (!r.ok())
      break;
    r = file->put_in_place();
  }
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return r;
}

std::vector<std::string> remove_stale_temporaries(const std::string& path) {
  std::vector<std::string> removed;
  const std::string& host = this_host();
  if (host.empty())
    return removed;
  const std::string folder = folder_of(path);
  // Under the folder's lock, so that two runs never judge the same file at
  // once: one could remove a file that, its name freed by the other, a new
  // process of a reused pid had just made. A run does not wait for it: while
  // another run puts its files in place (or tidies up), the tidying is left
  // to a later run, and nothing of this run waits on housekeeping.
  const folder_lock lock(folder, folder_lock::when_busy::give_up);
  if (lock.busy())
    return removed;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr)
    return removed;
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(dir)) {
    const pid_t writer = temp_file_writer(entry->d_name, host);
    // A writer that runs (or that this user may not signal, EPERM) is
    // left alone; only ESRCH says no such process exists.
    if (writer > 0 && ::kill(writer, 0) != 0 && errno == ESRCH)
      stale.emplace_back(entry->d_name);
  }
  const int fd = ::dirfd(dir);
  for (const std::string& name : stale) {
    struct stat st {};
    if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        ::unlinkat(fd, name.c_str(), 0) == 0)
      removed.push_back(name);
  }
  ::closedir(dir);
  std::sort(removed.begin(), removed.end());
  return removed;
}

output_room room_for(const std::string& path) {
  output_room room;
  // A name without a folder is in the working directory. (Assigning "." to
  // the string trips a false -Wrestrict of g++ 12 at -O3.)
  const std::string folder = folder_of(path);
  struct statvfs fs {};
  if (::statvfs(folder.empty() ? "." : folder.c_str(), &fs) == 0) {
    room.free_bytes =
        static_cast<std::uint64_t>(fs.f_bavail) * static_cast<std::uint64_t>(fs.f_frsize);
    room.file_system_bytes =
        static_cast<std::uint64_t>(fs.f_blocks) * static_cast<std::uint64_t>(fs.f_frsize);
  }
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    room.size_limit = static_cast<std::uint64_t>(limit.rlim_cur);
  return room;
}

void output_file::discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  finished_ = false;
  if (!temp_path_.empty()) {
    ::unlink(temp_path_.c_str());
    temp_path_.clear();
  }
  unregister_live(slot_);
  slot_ = -1;
  used_ = 0;
}

}  // namespace tervox::base
