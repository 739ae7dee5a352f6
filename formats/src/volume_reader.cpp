#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <system_error>
#include <vector>

#include "base/diagnostic.hpp"
#include "base/files.hpp"
#include "formats/volume_file.hpp"

namespace tervox::formats {

using base::diagnostic;
using base::diagnostic_error;
using base::is_a_directory;
using base::is_folder;
using base::shown;

namespace {

constexpr std::size_t short_width = short_field_width;
constexpr std::size_t long_width = long_field_width;
// No line of a volume file is longer than a long-form value; a longer run of
// bytes without a line end is not a volume file, and is reported once it
// passes this length rather than read on.
constexpr std::size_t max_line = 64;
// Reads in blocks this large keep the system calls few for a file of
// gigabytes, and are small enough to sit beside the values kept.
constexpr std::size_t block_size = std::size_t{8} << 20;

constexpr float not_a_number = std::numeric_limits<float>::quiet_NaN();

[[noreturn]] void fail(const std::string& file, std::int64_t line, const std::string& text) {
  throw diagnostic_error(diagnostic::at_line(file, line, text));
}
[[noreturn]] void fail(const std::string& file, std::int64_t line, const std::string& expected,
                       const std::string& found) {
  throw diagnostic_error(diagnostic::expected_got(file, line, expected, found));
}

std::string text_of(std::int64_t v) {
  return std::to_string(v);
}

// The lines of a file, read in large blocks.
class line_source {
 public:
  explicit line_source(const std::string& path) : path_(path), buffer_(new char[block_size]) {
    if (is_folder(path))
      fail(path, 0, "cannot read the volume file: " + std::string(is_a_directory));
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
      fail(path, 0, std::string("cannot open the volume file: ") + std::strerror(errno));
  }
  ~line_source() { ::close(fd_); }
  line_source(const line_source&) = delete;
  line_source& operator=(const line_source&) = delete;

  /// The next line without its line end; false at the end of the file.
  /// `line_number` is the number of the line returned.
  bool next(std::string_view& line, std::int64_t line_number) {
    for (;;) {
      const std::size_t available = end_ - begin_;
      const char* start = buffer_.get() + begin_;
      const auto* nl = static_cast<const char*>(std::memchr(start, '\n', available));
      if (nl != nullptr) {
        const auto length = static_cast<std::size_t>(nl - start);
        line = {start, length};
        begin_ += length + 1;
        return true;
      }
      if (available > max_line) {
        fail(path_, line_number,
             "not a value of a volume file: " + shown({start, max_line}) +
                 " runs on without a line end");
      }
      if (eof_) {
        if (available == 0)
          return false;
        fail(path_, line_number,
             "the file ends inside a line, after " + shown({start, available}) +
                 "; is it complete?");
      }
      refill();
    }
  }

 private:
  void refill() {
    const std::size_t kept = end_ - begin_;
    std::memmove(buffer_.get(), buffer_.get() + begin_, kept);
    begin_ = 0;
    end_ = kept;
    while (end_ < block_size) {
      const ssize_t n = ::read(fd_, buffer_.get() + end_, block_size - end_);
      if (n < 0) {
        if (errno == EINTR)
          continue;
        fail(path_, 0, std::string("cannot read the volume file: ") + std::strerror(errno));
      }
      if (n == 0) {
        eof_ = true;
        break;
      }
      end_ += static_cast<std::size_t>(n);
    }
  }

  const std::string& path_;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0, end_ = 0;
  int fd_ = -1;
  bool eof_ = false;
};

// "grid.vol.mesh (3 x 2 cells, 2 layers: 12 lines)"
std::string description(const mesh& m) {
  return m.path + " (" + std::to_string(m.nx) + " x " + std::to_string(m.ny) + " cells, " +
         std::to_string(m.nlayer) + " layers: " + text_of(m.values()) + " lines)";
}

}  // namespace

void check_volume_size(const std::string& path, const mesh& m) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec))
    return;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec)
    return;
  constexpr auto shortest_line = static_cast<std::uintmax_t>(short_width + 1);
  if (size / shortest_line < static_cast<std::uintmax_t>(m.values())) {
    fail(path, 0,
         "the file holds " + std::to_string(size) + " bytes, too few for the mesh " +
             description(m) +
             " at 9 or 12 bytes a line; is the volume complete, and is this its mesh?");
  }
}

void read_volume(const std::string& path, const mesh& m, const volume_request& request,
                 const cell_sink& sink) {
  line_source source(path);
  const std::size_t kept_layers = request.layer == 0 ? static_cast<std::size_t>(m.nlayer) : 1;
  std::vector<float> values(kept_layers);
  std::string_view line;
  std::int64_t number = 0;  // of the line last read
  const auto description = [&] { return formats::description(m); };

  for (int iy = 1; iy <= m.ny; ++iy) {
    const bool row_wanted = iy >= request.iy_first && iy <= request.iy_last;
    for (int ix = 1; ix <= m.nx; ++ix) {
      const bool wanted = row_wanted && ix >= request.ix_first && ix <= request.ix_last;
      std::size_t form = 0;
      for (int k = 1; k <= m.nlayer; ++k) {
        ++number;
        if (!source.next(line, number)) {
          fail(path, 0,
               "the file ends after " + text_of(number - 1) + " lines, but the mesh " +
                   description() + " says more; is the volume complete, and is this its mesh?");
        }
        if (line.size() != short_width && line.size() != long_width) {
          fail(path, number, "a value in 8 or 11 characters", shown(line));
        }
        if (k == 1) {
          form = line.size();
        } else if (line.size() != form) {
          fail(path, number,
               "layer " + std::to_string(k) + " of cell (" + std::to_string(ix) + ", " +
                   std::to_string(iy) + ") is in the " + (form == short_width ? "long" : "short") +
                   " form, layer 1 in the " + (form == short_width ? "short" : "long") +
                   " one; the mesh " + description() + " does not fit this volume");
        }
        if (!wanted || (request.layer != 0 && k != request.layer))
          continue;
        float v = 0;
        if (!parse_value(line, v))
          fail(path, number, "not a value: " + shown(line));
        values[request.layer == 0 ? static_cast<std::size_t>(k - 1) : 0] = v;
      }
      if (wanted) {
        const bool filled = form == short_width;
        if (filled)
          std::fill(values.begin(), values.end(), not_a_number);
        sink(ix, iy, filled, values);
      }
    }
  }
  if (source.next(line, number + 1)) {
    fail(path, number + 1,
         "more lines than the mesh " + description() + " describes; is this its mesh?");
  }
}

}  // namespace tervox::formats
