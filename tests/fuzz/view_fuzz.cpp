// tervox-view's readers on arbitrary bytes: the bytes up to the first NUL are
// a mesh file, the rest its volume file. Whatever the bytes, each reader
// either returns what the mesh describes or throws one message line that
// names its file; a mesh never gets arrays larger than its volume can fill.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <new>
#include <span>
#include <string>
#include <string_view>

#include "base/diagnostic.hpp"
#include "formats/mesh_file.hpp"
#include "formats/volume_file.hpp"
#include "fuzz_target.hpp"

namespace {

using tervox_test::require;

void require_one_line(const tervox::base::diagnostic_error& e, std::string_view file) {
  const std::string_view message = e.what();
  require(message.starts_with(file) || message.find(file) != std::string_view::npos,
          "a message that does not name its file");
  require(message.find('\n') == std::string_view::npos, "a message of more than one line");
}

// The volume text as a file: an anonymous memory file, named through /proc.
class memory_file {
 public:
  explicit memory_file(std::string_view text) : fd_(::memfd_create("fuzz.vol", 0)) {
    require(fd_ >= 0, "memfd_create failed");
    for (std::size_t done = 0; done < text.size();) {
      const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
      require(n > 0, "writing the memory file failed");
      done += static_cast<std::size_t>(n);
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~memory_file() { ::close(fd_); }
  memory_file(const memory_file&) = delete;
  memory_file& operator=(const memory_file&) = delete;
  const std::string& path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const tervox_test::capped_scope memory_limit;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t split = std::min(bytes.find('\0'), bytes.size());
  const std::string_view mesh_text = bytes.substr(0, split);
  const std::string_view volume_text = split < bytes.size() ? bytes.substr(split + 1) : "";

  tervox::formats::mesh m;
  try {
    m = tervox::formats::parse_mesh(mesh_text, "fuzz.mesh");
  } catch (const tervox::base::diagnostic_error& e) {
    require_one_line(e, "fuzz.mesh");
    return 0;
  }
  require(m.nx >= 0 && m.ny >= 0 && m.nlayer >= 1, "a mesh with negative counts");
  require(m.dz.size() == static_cast<std::size_t>(m.nlayer), "dz of the wrong size");
  try {
    const std::vector<double> depth = tervox::formats::layer_depths(m);
    require(depth.size() == m.dz.size() + 1 && depth[0] == 0.0, "depths of the wrong shape");
    for (std::size_t k = 1; k < depth.size(); ++k)
      require(depth[k] >= depth[k - 1], "depths that decrease");
  } catch (const tervox::base::diagnostic_error& e) {
    require_one_line(e, "fuzz.mesh");
  }

  const memory_file volume(volume_text);
  std::int64_t cells = 0;
  try {
    // As the program does: the size first, then one pass over the lines.
    tervox::formats::check_volume_size(volume.path(), m);
    tervox::formats::read_volume(
        volume.path(), m, tervox::formats::volume_request::everything(m),
        [&](int ix, int iy, bool filled, std::span<const float> values) {
          require(ix >= 1 && ix <= m.nx && iy >= 1 && iy <= m.ny, "a cell outside the grid");
          require(values.size() == static_cast<std::size_t>(m.nlayer), "a cell's layers missing");
          for (const float v : values)
            require(!filled || std::isnan(v), "a filled cell with a value");
          ++cells;
        });
  } catch (const tervox::base::diagnostic_error& e) {
    require_one_line(e, volume.path());
    return 0;
  } catch (const std::bad_alloc&) {
    return 0;  // beyond the fuzzer's memory cap; the program reports it
  }
  require(cells == m.cells(), "a volume read whole with cells missing");
  return 0;
}
