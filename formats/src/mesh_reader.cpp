#include <cmath>
#include <fstream>
#include <limits>

#include "base/diagnostic.hpp"
#include "base/files.hpp"
#include "formats/decimal.hpp"
#include "formats/mesh_file.hpp"

namespace tervox::formats {

using base::concat;
using base::diagnostic;
using base::diagnostic_error;
using base::io_result;
using base::open_input;
using base::shown;

namespace {

// A mesh file of 99999 layers (the most line 1 can count) is under 800 kB;
// anything much larger is some other file, perhaps the volume itself, and is
// not read into memory.
constexpr std::size_t max_mesh_bytes = std::size_t{4} << 20;

std::string_view trim(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos)
    return {};
  const auto last = s.find_last_not_of(' ');
  return s.substr(first, last - first + 1);
}

bool all_asterisks(std::string_view s) {
  return !s.empty() && s.find_first_not_of('*') == std::string_view::npos;
}

class mesh_parser {
 public:
  mesh_parser(std::string_view text, const std::string& path) : path_(path) {
    // Lines end with '\n'; a '\r' before it (a file passed through an editor
    // that writes CRLF) is dropped.
    while (!text.empty()) {
      auto end = text.find('\n');
      std::string_view line = text.substr(0, end);
      if (line.ends_with('\r'))
        line.remove_suffix(1);
      lines_.push_back(line);
      text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
  }

  mesh parse() {
    mesh m;
    m.path = path_;
    // Lines 1 and 2 are longer than their fields only where tervox wrote a
    // value with the digits it needs, set off by blanks; they are then split
    // at blanks.
    constexpr std::size_t c = mesh_fields::count.width;
    if (is_wide(1, 3 * c)) {
      const std::vector<std::string_view> v = split(1, 3);
      m.nx = count(1, v[0], "the number of cells along x", 0);
      m.ny = count(1, v[1], "the number of cells along y", 0);
      m.nlayer = count(1, v[2], "the number of layers", 1);
    } else {
      m.nx = count(1, field(1, 0, c), "the number of cells along x", 0, columns(0, c));
      m.ny = count(1, field(1, c, 2 * c), "the number of cells along y", 0, columns(c, 2 * c));
      m.nlayer = count(1, field(1, 2 * c, 3 * c), "the number of layers", 1, columns(2 * c, 3 * c));
    }

    constexpr std::size_t o = mesh_fields::origin.width;
    constexpr std::size_t oz = mesh_fields::origin_z.width;
    if (is_wide(2, 2 * o + oz)) {
      const std::vector<std::string_view> v = split(2, 3);
      m.xmin = real(2, v[0], "xmin");
      m.ymin = real(2, v[1], "ymin");
    } else {
      m.xmin = real(2, field(2, 0, o), "xmin", columns(0, o));
      m.ymin = real(2, field(2, o, 2 * o), "ymin", columns(o, 2 * o));
    }

    m.dx = cell_size(3, m.nx, 'x');
    m.dy = cell_size(4, m.ny, 'y');

    constexpr std::size_t t = mesh_fields::thickness.width;
    const std::size_t width = t * static_cast<std::size_t>(m.nlayer);
    const std::string_view five = line(5);
    if (five.size() < width) {
      fail(5, "expected " + std::to_string(m.nlayer) + " thicknesses of " + std::to_string(t) +
                  " characters (" + std::to_string(width) + " characters), got " +
                  std::to_string(five.size()) + " characters");
    }
    for (int k = 0; k < m.nlayer; ++k) {
      const std::size_t from = t * static_cast<std::size_t>(k);
      const std::string_view field = five.substr(from, t);
      if (all_asterisks(trim(field))) {
        m.dz.push_back(std::numeric_limits<double>::quiet_NaN());
        continue;
      }
      m.dz.push_back(real(5, from, from + t, "the thickness of layer " + std::to_string(k + 1)));
    }
    rest_blank(5, width);

    for (std::size_t i = 5; i < lines_.size(); ++i) {
      if (!trim(lines_[i]).empty())
        fail(static_cast<int>(i + 1), "nothing after line 5", shown(lines_[i]));
    }
    return m;
  }

 private:
  [[noreturn]] void fail(int line_number, const std::string& text) const {
    throw diagnostic_error(diagnostic::at_line(path_, line_number, text));
  }
  [[noreturn]] void fail(int line_number, const std::string& expected,
                         const std::string& found) const {
    throw diagnostic_error(diagnostic::expected_got(path_, line_number, expected, found));
  }

  std::string_view line(int n) const {
    if (static_cast<std::size_t>(n) > lines_.size())
      fail(n, "the mesh file ends before line " + std::to_string(n) + " of 5");
    return lines_[static_cast<std::size_t>(n - 1)];
  }

  std::string_view field(int n, std::size_t from, std::size_t to) const {
    const std::string_view l = line(n);
    return from < l.size() ? l.substr(from, to - from) : std::string_view{};
  }

  static std::string columns(std::size_t from, std::size_t to) {
    return "columns " + std::to_string(from + 1) + "-" + std::to_string(to);
  }

  // True when line n, without trailing blanks, runs past `width`.
  bool is_wide(int n, std::size_t width) const {
    const std::string_view l = line(n);
    const auto last = l.find_last_not_of(' ');
    return last != std::string_view::npos && last >= width;
  }

  // The `values` blank-separated values of line n.
  std::vector<std::string_view> split(int n, std::size_t values) const {
    std::string_view l = line(n);
    std::vector<std::string_view> v;
    while (true) {
      const auto first = l.find_first_not_of(' ');
      if (first == std::string_view::npos)
        break;
      l.remove_prefix(first);
      const auto end = l.find(' ');
      v.push_back(l.substr(0, end));
      l.remove_prefix(end == std::string_view::npos ? l.size() : end);
    }
    if (v.size() != values)
      fail(n, std::to_string(values) + " values separated by blanks", shown(line(n)));
    return v;
  }

  // `where` names the columns of a fixed field; empty for a value set off
  // by blanks.
  int count(int n, std::string_view f, const std::string& what, int least,
            const std::string& where = {}) const {
    int v = 0;
    if (all_asterisks(trim(f)))
      fail(n, what + " is too large for its field (" + where + ")");
    if (to_int(trim(f), v) != conversion::ok)
      fail(n, where.empty() ? what : what + " in " + where, shown(f));
    if (v < least)
      fail(n, what + " must be at least " + std::to_string(least) + ", got " + std::to_string(v));
    return v;
  }

  double real(int n, std::string_view f, const std::string& what,
              const std::string& where = {}) const {
    double v = 0;
    if (all_asterisks(trim(f)))
      fail(n, what + " is too wide for its field (" + where + ")");
    if (to_real(trim(f), v) != conversion::ok || !std::isfinite(v))
      fail(n, where.empty() ? what : what + " in " + where, shown(f));
    return v;
  }

  double real(int n, std::size_t from, std::size_t to, const std::string& what) const {
    return real(n, field(n, from, to), what, columns(from, to));
  }

  void rest_blank(int n, std::size_t from) const {
    const std::string_view l = line(n);
    if (from < l.size() && !trim(l.substr(from)).empty())
      fail(n,
           "unexpected text after column " + std::to_string(from) + ": " + shown(l.substr(from)));
  }

  // "count*size": the count in 3 characters (asterisks from 1000 on), then
  // the size as long as it needs.
  double cell_size(int n, int cells, char axis) const {
    const std::string_view l = line(n);
    const std::string what = std::string("the cell size along ") + axis;
    constexpr std::size_t rw = mesh_fields::repeat.width;
    if (l.size() < rw + 2 || l[rw] != '*')
      fail(n, concat({"n", std::string_view(&axis, 1), "*d", std::string_view(&axis, 1)}),
           shown(l));
    const std::string_view repeat = trim(l.substr(0, rw));
    if (!all_asterisks(repeat)) {
      int r = 0;
      if (to_int(repeat, r) != conversion::ok)
        fail(n, "the number of cells in columns 1-3", shown(l.substr(0, rw)));
      if (r != cells) {
        fail(n, std::to_string(r) + " cells along " + axis + ", but line 1 gives " +
                    std::to_string(cells));
      }
    } else if (cells < 1000) {
      fail(n, "the count of cells along " + std::string(1, axis) + " is '***', but line 1 gives " +
                  std::to_string(cells));
    }
    const std::string_view size = trim(l.substr(rw + 1));
    double v = 0;
    if (all_asterisks(size))
      fail(n, what + " is too wide for its field (10000 or more); the grid cannot be placed");
    if (to_real(size, v) != conversion::ok || !std::isfinite(v))
      fail(n, what + " after the '*'", shown(l.substr(rw + 1)));
    if (!(v > 0))
      fail(n, what + " must be positive, got " + shown(size));
    return v;
  }

  const std::string& path_;
  std::vector<std::string_view> lines_;
};

}  // namespace

mesh parse_mesh(std::string_view text, const std::string& path) {
  return mesh_parser(text, path).parse();
}

mesh read_mesh(const std::string& path) {
  std::ifstream in;
  if (io_result r = open_input(path, "mesh file", in); !r.ok())
    throw diagnostic_error(std::move(r.problem));
  std::string text;
  text.resize(max_mesh_bytes + 1);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad())
    throw diagnostic_error(diagnostic::in_file(path, "cannot read the mesh file"));
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > max_mesh_bytes)
    throw diagnostic_error(
        diagnostic::in_file(path, "not a mesh file: larger than any mesh file tervox writes"));
  return parse_mesh(text, path);
}

namespace {

[[noreturn]] void depth_error(const mesh& m, const std::string& text) {
  throw diagnostic_error(diagnostic::at_line(m.path, 5, text));
}

}  // namespace

std::vector<double> layer_depths(const mesh& m) {
  std::vector<double> depth{0.0};
  for (int k = 0; k < m.nlayer; ++k) {
    const double t = m.dz[static_cast<std::size_t>(k)];
    if (std::isnan(t)) {
      depth_error(m, "the thickness of layer " + std::to_string(k + 1) +
                         " is too wide for its field; the depths are unknown");
    }
    if (t < 0) {
      depth_error(m, "the thickness of layer " + std::to_string(k + 1) + " is negative");
    }
    depth.push_back(depth.back() + t);
  }
  if (!(depth.back() > 0))
    depth_error(m, "every layer is 0 thick; the depths are all 0");
  return depth;
}

}  // namespace tervox::formats
