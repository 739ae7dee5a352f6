// Output files that appear complete or not at all.
//
// Everything is written to a temporary file in the destination's folder and
// renamed over the destination only once the data is flushed and
// closed without error. A failed run therefore never leaves a truncated file
// and never touches an earlier file of the same name. The volume file can be
// gigabytes, so writes go through one large buffer straight to ::write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostic.hpp"

namespace tervox::base {

/// Makes interrupted runs clean up: on SIGINT, SIGTERM or SIGHUP every live
/// temporary file is unlinked before the signal takes its default course
/// (signals the parent set to be ignored stay ignored). SIGXFSZ is ignored,
/// so that a file-size limit shows as a write error (EFBIG) that the tool
/// reports instead of killing it silently. Safe to call more than once.
void install_output_cleanup();

class output_file {
 public:
  static constexpr std::size_t default_buffer_size = std::size_t{1} << 20;

  /// Nothing is created until open().
  explicit output_file(std::string path, std::size_t buffer_size = default_buffer_size);
  /// Discards the temporary file unless commit() succeeded.
  ~output_file();
  output_file(const output_file&) = delete;
  output_file& operator=(const output_file&) = delete;

  /// Creates the temporary file beside the destination. Fails for a
  /// destination that is a folder or in a folder that cannot take a file.
  io_result open();

  /// Appends to the file. After the first failure writes are dropped and
  /// commit() reports the failure; failed() lets a long writer stop early.
  void write(std::string_view text) { write(text.data(), text.size()); }
  void write(const char* data, std::size_t size);
  bool failed() const { return error_ != 0; }

  /// Flushes and closes the temporary file and renames it over the
  /// destination. On failure the temporary file is removed and the
  /// destination is left as it was.
  io_result commit();

  /// The first half of commit(): flushes and closes the temporary file,
  /// which stays until put_in_place() or the destructor.
  io_result finish();
  /// The second half: renames the finished temporary file over the
  /// destination.
  io_result put_in_place();

  const std::string& path() const { return path_; }
  /// The temporary file between open() and commit(), for writers that
  /// must open a file by name (the netCDF and GDAL libraries): they write
  /// it in place of write(), and commit() then renames it as usual.
  const std::string& temp_path() const { return temp_path_; }

 private:
  void flush();
  void write_through(const char* data, std::size_t size);
  void discard();
  io_result failure(int err, bool creating);

  std::string path_;
  std::string temp_path_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  std::size_t used_ = 0;
  int fd_ = -1;
  int error_ = 0;          ///< errno of the first failed write, 0 while all is well
  int slot_ = -1;          ///< entry in the signal handler's table, -1 if none
  bool finished_ = false;  ///< closed by finish(), not yet in place
};

/// Commits files that belong together (a volume and its mesh, say), all in
/// one folder: all are finished first, and only when all are complete are
/// they put in place, in their order, with interruptions held off in between
/// and the folder locked, so that runs writing the same names at once leave
/// one run's set (the last to commit), never a mix. `stale` names files
/// that would be taken for theirs if they stayed (an earlier run's
/// description or ground grid of another pair, where this run writes none):
/// they are removed, under the same lock, just before the files are put in
/// place. When any cannot be finished, no destination changes; when a stale
/// file cannot be removed, none of the files is put in place (the stale
/// files before it are gone).
io_result commit_together(std::span<output_file* const> files,
                          std::span<const std::string> stale = {});

/// Removes the temporary files that runs killed outright (kill -9, a crash)
/// left in the folder of `path`, where no signal handler could remove them,
/// and returns their names, sorted. Only files named as this program names
/// its temporary files, made on this host by a process that no longer runs,
/// are removed: never a file of another host (whose processes cannot be
/// asked) nor of a run still writing. Nothing is removed from a folder that
/// cannot be read, nor while another run holds the folder's lock (to put its
/// files in place): a later run tidies up then.
std::vector<std::string> remove_stale_temporaries(const std::string& path);

/// What the file system and the process allow a new file at `path`: the
/// space free for it in its folder's file system, the size of that file
/// system, and the file-size limit (ulimit -f). Each is nullopt where there
/// is none or it cannot be had.
struct output_room {
  std::optional<std::uint64_t> free_bytes;
  std::optional<std::uint64_t> size_limit;
  std::optional<std::uint64_t> file_system_bytes;
};
output_room room_for(const std::string& path);

}  // namespace tervox::base
