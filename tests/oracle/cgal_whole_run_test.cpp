// Whole runs of the built program against an oracle that shares no code with
// it: the soundings file and the command line are read here, the grid is
// placed and the cell centres computed here (see grid_oracle.hpp), and every
// line of the volume file is compared with what CGAL's triangulation of the
// soundings gives at that centre.
//
// The cases are the folders of tests/golden: their expected files, and what
// the program writes now for their command (the two agree byte for byte when
// golden_test passes; checking both keeps the expected files honest while
// they are being rewritten). cells_12_3 and cells_0_7 use cell sizes and
// origins that are not exact in single precision, and each puts one cell
// centre exactly on a hull edge, where the fill value is due.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "oracle/cgal_oracle.hpp"
#include "oracle/grid_oracle.hpp"
#include "support/run_program.hpp"

namespace tervox_test {
namespace {

namespace fs = std::filesystem;
using tervox_test::read_file;
using tervox_test::run_tool;
using tervox_test::temp_folder;
using tervox_test::tool_options;
using tervox_test::write_file;

const fs::path golden_root = fs::path(TERVOX_SOURCE_DIR) / "tests" / "golden";

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> words_of(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// The soundings as the README describes the file, for the plain files of the
// golden cases: three header lines ending in their numbers, a line of
// headings, then one line per sounding (x, y, one value per layer). x, y and
// the values are single-precision numbers.
struct soundings {
  int nlayer = 0;
  std::vector<float> x, y;
  std::vector<std::vector<float>> z;  // z[layer][sounding], file order
};

soundings read_soundings(const fs::path& file) {
  const std::vector<std::string> lines = lines_of(read_file(file));
  soundings s;
  if (lines.size() < 4) {
    ADD_FAILURE() << file << ": too short";
    return s;
  }
  s.nlayer = std::atoi(words_of(lines[0]).back().c_str());
  const int count = std::atoi(words_of(lines[2]).back().c_str());
  s.z.resize(static_cast<std::size_t>(s.nlayer));
  for (int i = 0; i < count; ++i) {
    const std::vector<std::string> w = words_of(lines.at(static_cast<std::size_t>(4 + i)));
    if (w.size() < static_cast<std::size_t>(2 + s.nlayer)) {
      ADD_FAILURE() << file << ": sounding " << i + 1 << " is short";
      return s;
    }
    s.x.push_back(std::strtof(w[0].c_str(), nullptr));
    s.y.push_back(std::strtof(w[1].c_str(), nullptr));
    for (std::size_t k = 0; k < s.z.size(); ++k)
      s.z[k].push_back(std::strtof(w[2 + k].c_str(), nullptr));
  }
  return s;
}

struct command {
  std::string infile, outfile;
  float dx = 0, dy = 0;
  bool log_mode = false;
};

command read_command(const fs::path& file) {
  const std::vector<std::string> w = words_of(read_file(file));
  EXPECT_EQ(w.size(), 5u) << file;
  if (w.size() != 5)
    return {};
  return {w[0], w[1], std::strtof(w[2].c_str(), nullptr), std::strtof(w[3].c_str(), nullptr),
          std::atoi(w[4].c_str()) == 1};
}

// Empty when the mesh file and the volume file agree with the oracle at every
// cell and layer; else the first few disagreements.
std::string check_run(const fs::path& case_dir, const std::string& volume,
                      const std::string& mesh) {
  const command c = read_command(case_dir / "command");
  soundings s = read_soundings(case_dir / c.infile);
  if (c.log_mode) {
    for (auto& layer : s.z) {
      for (float& v : layer) v = static_cast<float>(std::log(static_cast<double>(v)));
    }
  }
  const independent::axis ax = independent::place(s.x, c.dx);
  const independent::axis ay = independent::place(s.y, c.dy);
  std::ostringstream problems;
  const std::vector<std::string> mesh_lines = lines_of(mesh);
  const std::vector<std::string> counts = words_of(mesh_lines.empty() ? "" : mesh_lines[0]);
  const std::vector<std::string> expected_counts{std::to_string(ax.count), std::to_string(ay.count),
                                                 std::to_string(s.nlayer)};
  if (counts != expected_counts)
    problems << "mesh line 1: \"" << (mesh_lines.empty() ? "" : mesh_lines[0]) << "\"\n";
  const std::vector<std::string> origin = words_of(mesh_lines.size() > 1 ? mesh_lines[1] : "");
  if (origin.size() != 3 ||
      std::fabs(std::strtod(origin[0].c_str(), nullptr) - static_cast<double>(ax.min)) > 0.05001 ||
      std::fabs(std::strtod(origin[1].c_str(), nullptr) - static_cast<double>(ay.min)) > 0.05001)
    problems << "mesh line 2: \"" << (mesh_lines.size() > 1 ? mesh_lines[1] : "") << "\"\n";

  const cgal_oracle oracle(s.x, s.y, s.z, c.log_mode);
  const float fill = c.log_mode ? static_cast<float>(std::exp(static_cast<double>(
                                      static_cast<float>(std::log(static_cast<double>(1.0e-10f))))))
                                : -100.0f;
  const std::string filled_line = c.log_mode ? " 1.0E-10" : "-1.0E+02";
  const std::vector<std::string> lines = lines_of(volume);
  const std::size_t layers = static_cast<std::size_t>(s.nlayer);
  const std::size_t nx = static_cast<std::size_t>(std::max(ax.count, 0));
  const std::size_t ny = static_cast<std::size_t>(std::max(ay.count, 0));
  if (lines.size() != nx * ny * layers)
    problems << lines.size() << " lines, not " << nx * ny * layers << "\n";
  int shown = 0;
  for (std::size_t iy = 1; iy <= ny; ++iy) {
    const float py = independent::centre(static_cast<int>(iy), c.dy, ay.min);
    for (std::size_t ix = 1; ix <= nx; ++ix) {
      const float px = independent::centre(static_cast<int>(ix), c.dx, ax.min);
      const expectation e = oracle.at(px, py);
      for (std::size_t k = 0; k < layers; ++k) {
        const std::size_t at = ((iy - 1) * nx + ix - 1) * layers + k;
        const std::string line = at < lines.size() ? lines[at] : "(missing)";
        const std::string why = oracle.check_line(e, k, line, filled_line, fill);
        if (!why.empty() && ++shown <= 5) {
          problems.precision(9);
          problems << "cell " << ix << ", " << iy << " at (" << px << ", " << py << ") layer "
                   << k + 1 << ": \"" << line << "\": " << why << "\n";
        }
      }
    }
  }
  if (shown > 5)
    problems << shown << " lines disagree in all\n";
  return problems.str();
}

// Every folder of tests/golden, so that a new case is checked here too;
// except the runs with options (masking), which this oracle does not model:
// the plain sequence (tests/plain) and the by-hand checks of golden_test cover
// them; and the refused runs (no volume file in the folder), which write
// nothing to compare.
std::vector<std::string> golden_cases() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(golden_root)) {
    if (e.is_directory() && !read_file(e.path() / "command").starts_with("--") &&
        fs::exists(e.path() / read_command(e.path() / "command").outfile))
      names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_FALSE(names.empty()) << golden_root;
  return names;
}

TEST(cgal_whole_run_test, expected_files_match_the_oracle) {
  for (const std::string& name : golden_cases()) {
    SCOPED_TRACE(name);
    const fs::path dir = golden_root / name;
    const command c = read_command(dir / "command");
    EXPECT_EQ(check_run(dir, read_file(dir / c.outfile), read_file(dir / (c.outfile + ".mesh"))),
              "");
  }
}

TEST(cgal_whole_run_test, the_program_matches_the_oracle) {
  for (const std::string& name : golden_cases()) {
    SCOPED_TRACE(name);
    const fs::path dir = golden_root / name;
    const command c = read_command(dir / "command");
    const temp_folder work;
    const std::string infile = (dir / c.infile).lexically_normal().string();
    std::vector<std::string> args = words_of(read_file(dir / "command"));
    args[0] = infile;
    const auto r = run_tool(args, tool_options(work.path()));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(check_run(dir, read_file(work / c.outfile), read_file(work / (c.outfile + ".mesh"))),
              "");
  }
}

}  // namespace
}  // namespace tervox_test
