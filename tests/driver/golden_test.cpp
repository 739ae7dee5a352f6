// Whole runs of the built program compared byte for byte with the expected
// files under tests/golden/.
//
// Each case is a folder there: "command" holds the five arguments, the
// soundings file named relative to the folder; beside it lie the soundings
// (unless they live elsewhere in the repository) and the two files the run
// writes, under the names the command gives them. So running the command in
// the case folder rewrites the expected files in place. A case without the
// volume file is a run that is refused: exit status 1, no file written, and
// its "stderr" holds what it prints.
//
// Every case also runs through tervox_plain, which computes the volume
// with the plain sequence (one interpolation call per value, layer by layer,
// one start node carried through all calls) instead of the streamed one. Both
// programs must write the same bytes. That checks the streaming only (the
// blocks, the threads, one point location per cell): both share the reader,
// the grid, the triangulation, the weights and the number forms, so a fault
// there is in both. The values themselves are checked against CGAL by
// tests/oracle/cgal_whole_run_test.cpp, on these files and on fresh runs.
//
// TERVOX_UPDATE_GOLDEN=1 writes the expected files from the run instead of
// comparing with them; the two programs must still agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/files.hpp"
#include "support/run_program.hpp"

namespace tervox_test {
namespace {

namespace fs = std::filesystem;

const fs::path golden_root = fs::path(TERVOX_SOURCE_DIR) / "tests" / "golden";

bool updating() {
  const char* setting = std::getenv("TERVOX_UPDATE_GOLDEN");
  return setting != nullptr && std::string_view(setting) == "1";
}

// Empty when the texts are equal; otherwise where they first differ, so that
// a mismatch in a file of tens of thousands of lines shows the line at fault.
std::string first_difference(std::string_view expected, std::string_view actual) {
  if (expected == actual)
    return "";
  const std::vector<std::string> e = split_lines(expected);
  const std::vector<std::string> a = split_lines(actual);
  std::ostringstream out;
  for (std::size_t i = 0; i < e.size() || i < a.size(); ++i) {
    if (i >= e.size()) {
      out << "line " << i + 1 << ": expected the end, got \"" << a[i] << "\"";
      return out.str();
    }
    if (i >= a.size()) {
      out << "line " << i + 1 << ": expected \"" << e[i] << "\", got the end";
      return out.str();
    }
    if (e[i] != a[i]) {
      out << "line " << i + 1 << ": expected \"" << e[i] << "\", got \"" << a[i] << "\"";
      return out.str();
    }
  }
  return "the same lines, but one text lacks the final line end";
}

struct case_run {
  std::string volume_name;
  std::string volume;
  std::string mesh;
  bool refused = false;
};

// Runs one program on a case in a fresh folder holding a copy of the
// soundings, and returns what it wrote; expects a successful run that writes
// `err` to standard error (nothing, or the warnings the case gives) and
// leaves exactly the two output files, or, for a case without the volume
// file, a refused run that writes `err` and leaves the soundings alone. The
// five arguments are the last five of `command`; options come before them.
case_run run_in_folder(const std::string& exe, const fs::path& case_dir,
                       std::vector<std::string> command, const std::string& err) {
  temp_folder dir;
  const std::span<std::string> args = std::span(command).last(5);
  const fs::path soundings = (case_dir / args[0]).lexically_normal();
  args[0] = soundings.filename().string();
  write_file(dir / args[0], read_file(soundings));
  const tool_run r = exe.empty() ? run_tool(command, tool_options(dir.path()))
                                 : run_program(exe, command, tool_options(dir.path()));
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, err);
  if (!fs::exists(case_dir / args[1])) {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(list_entries(dir.path()), std::vector<std::string>{args[0]});
    return {args[1], {}, {}, true};
  }
  EXPECT_EQ(r.status, 0);
  const std::string mesh_name = args[1] + ".mesh";
  std::vector<std::string> files{args[0], args[1], mesh_name};
  std::sort(files.begin(), files.end());
  EXPECT_EQ(list_entries(dir.path()), files);
  case_run out{args[1], {}, {}, false};
  if (fs::exists(dir / args[1]))
    out.volume = read_file(dir / args[1]);
  if (fs::exists(dir / mesh_name))
    out.mesh = read_file(dir / mesh_name);
  return out;
}

// Runs the case with tervox and with tervox_plain; both must write the
// same bytes. Returns tervox's files.
case_run run_case(const std::string& name) {
  const fs::path case_dir = golden_root / name;
  std::istringstream command(read_file(case_dir / "command"));
  std::vector<std::string> args;
  for (std::string arg; command >> arg;) args.push_back(arg);
  EXPECT_GE(args.size(), 5u) << "the command of " << name;
  if (args.size() < 5)
    return {};
  const std::string err =
      fs::exists(case_dir / "stderr") ? read_file(case_dir / "stderr") : std::string();
  const case_run tool = run_in_folder("", case_dir, args, err);
  const case_run plain = run_in_folder(TERVOX_PLAIN_EXE, case_dir, args, err);
  EXPECT_EQ(first_difference(plain.volume, tool.volume), "")
      << "tervox and tervox_plain disagree on the volume of " << name;
  EXPECT_EQ(first_difference(plain.mesh, tool.mesh), "")
      << "tervox and tervox_plain disagree on the mesh of " << name;
  return tool;
}

void compare_or_update(const fs::path& expected_file, const std::string& actual) {
  if (updating()) {
    write_file(expected_file, actual);
    return;
  }
  ASSERT_TRUE(fs::exists(expected_file))
      << expected_file << " is missing; TERVOX_UPDATE_GOLDEN=1 writes it";
  EXPECT_EQ(first_difference(read_file(expected_file), actual), "") << expected_file;
}

const char* const golden_cases[] = {
    "three_soundings",  // three soundings, three layers, linear
    "log_constant",     // log mode, every value 10
    "log_nonpositive",  // log mode with a zero and a negative value
    "hull_boundary",    // cell centres on a hull edge and at soundings
    "single_layer",     // one layer
    "no_cells",         // soundings within a fifth of a cell along x: refused
    "survey_linear",    // examples/survey.txt, linear
    "survey_log",       // examples/survey.txt, log mode
    "cells_12_3",       // cell size and origin not exact in single precision
    "cells_0_7",        // the same in log mode, with cells of 0.7
    "mask_distance",    // --max-distance: centres at, inside and beyond the limit
    "mask_nodata",      // --nodata: a missing value at one vertex
    "mask_doi",         // --doi: depths of investigation between the layer tops
    "mask_combined",    // all three, log mode, NaN as the missing value
    "skip_missing",     // --skip-missing: layers gridded from their own soundings
};

TEST(golden_test, whole_runs_match_the_expected_files) {
  for (const char* name : golden_cases) {
    SCOPED_TRACE(name);
    const case_run r = run_case(name);
    if (r.volume_name.empty() || r.refused)
      continue;
    compare_or_update(golden_root / name / r.volume_name, r.volume);
    compare_or_update(golden_root / name / (r.volume_name + ".mesh"), r.mesh);
  }
}

// ---------------------------------------------------------------------------
// Lines that follow from the arithmetic by hand. These read the run, not the
// expected files, so they hold while the expected files are being rewritten.
// ---------------------------------------------------------------------------

// The volume of an nx-by-ny grid with nlayer values per cell: cells in rows
// of x, one line per layer.
class volume_lines {
 public:
  volume_lines(const std::string& text, int nx, int ny, int nlayer)
      : lines_(split_lines(text)), nx_(nx), nlayer_(nlayer) {
    EXPECT_EQ(lines_.size(), static_cast<std::size_t>(nx * ny * nlayer));
  }
  /// The nlayer lines of cell (ix, iy), both from 1.
  std::vector<std::string> cell(int ix, int iy) const {
    const auto first = static_cast<std::size_t>(((iy - 1) * nx_ + (ix - 1)) * nlayer_);
    if (first + static_cast<std::size_t>(nlayer_) > lines_.size())
      return {};
    const auto begin = lines_.begin() + static_cast<std::ptrdiff_t>(first);
    return {begin, begin + nlayer_};
  }

 private:
  std::vector<std::string> lines_;
  int nx_;
  int nlayer_;
};

// What printf gives for the long form: the number formatter's own rounding
// is tested elsewhere; here it stands in for the hand arithmetic.
std::string long_form(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%11.4E", v);
  return text;
}

const std::vector<std::string> filled3{"-1.0E+02", "-1.0E+02", "-1.0E+02"};

// Soundings (0,0), (1000,0), (0,1000); layer 1 holds 1, 2, 3, layer 2 -100
// everywhere, layer 3 10, 20, 40. With dx = dy = 100 the grid starts at -40
// and has 10 by 10 cells, centres at 10, 110, ..., 910. A centre (x, y) is
// inside the triangle exactly when x + y < 1000 (no centre lies on the
// hypotenuse), where layer 1 is 1 + x/1000 + 2y/1000 and layer 3 is
// 10 + x/100 + 3y/100.
TEST(golden_test, three_soundings_by_hand) {
  const case_run r = run_case("three_soundings");
  EXPECT_EQ(r.mesh,
            "   10   10    3\n"
            "       -40.0       -40.0 0.0\n"
            " 10*100.000\n"
            " 10*100.000\n"
            "    5.00   12.25   18.38\n");
  const volume_lines v(r.volume, 10, 10, 3);

  // Centre (10, 10): weights 0.98, 0.01, 0.01.
  EXPECT_EQ(v.cell(1, 1), (std::vector<std::string>{" 1.0300E+00", "-1.0000E+02", " 1.0400E+01"}));
  // Centre (910, 910) is outside: every layer holds the fill value.
  EXPECT_EQ(v.cell(10, 10), filled3);

  for (int iy = 1; iy <= 10; ++iy) {
    for (int ix = 1; ix <= 10; ++ix) {
      SCOPED_TRACE(::testing::Message() << "cell " << ix << ", " << iy);
      const double x = 100.0 * ix - 90.0;
      const double y = 100.0 * iy - 90.0;
      if (x + y < 1000.0) {
        // Layer 2 is -100 but the cell is inside: the form follows layer 1.
        EXPECT_EQ(v.cell(ix, iy),
                  (std::vector<std::string>{long_form(1.0 + x / 1000.0 + y / 500.0), "-1.0000E+02",
                                            long_form(10.0 + x / 100.0 + 3.0 * y / 100.0)}));
      } else {
        EXPECT_EQ(v.cell(ix, iy), filled3);
      }
    }
  }
}

// The same triangle in log mode with every value 10: the logarithm and the
// exponential, each rounded to single, do not show in four decimals, and
// outside cells hold exp(ln(1e-10)).
// Soundings at the corners of a 100 m square and at (61, 61); cell centres
// at 1, 11, ..., 91. With a limit of 30 a centre counts as near when some
// sounding lies within 30, exactly 30 included: (61, 31) is kept, (51, 31)
// at 31.6 and (61, 21) at 40 are filled.
TEST(golden_test, max_distance_by_hand) {
  const case_run r = run_case("mask_distance");
  const volume_lines v(r.volume, 10, 10, 2);
  const double soundings[][2] = {{0, 0}, {100, 0}, {0, 100}, {100, 100}, {61, 61}};
  int kept = 0, filled = 0;
  for (int iy = 1; iy <= 10; ++iy) {
    for (int ix = 1; ix <= 10; ++ix) {
      SCOPED_TRACE(::testing::Message() << "cell " << ix << ", " << iy);
      const double x = 10.0 * ix - 9.0;
      const double y = 10.0 * iy - 9.0;
      double nearest = 1e300;
      for (const auto& s : soundings) nearest = std::min(nearest, std::hypot(x - s[0], y - s[1]));
      const std::vector<std::string> cell = v.cell(ix, iy);
      ASSERT_EQ(cell.size(), 2u);
      if (nearest > 30.0) {
        EXPECT_EQ(cell, (std::vector<std::string>{"-1.0E+02", "-1.0E+02"}));
        ++filled;
      } else {
        EXPECT_EQ(cell[0].size(), 11u);
        ++kept;
      }
    }
  }
  EXPECT_EQ(v.cell(7, 4)[0].size(), 11u);  // (61, 31): exactly 30 away
  EXPECT_EQ(v.cell(6, 4)[0], "-1.0E+02");  // (51, 31): 31.6 away
  EXPECT_GT(kept, 0);
  EXPECT_GT(filled, 0);
}

// The square is split along its diagonal from (1000, 0) to (0, 1000); the
// sounding at (1000, 1000) has no layer-2 value. Layer 2 is NaN exactly in
// the cells of its triangle, layer 1 nowhere.
TEST(golden_test, missing_value_by_hand) {
  const case_run r = run_case("mask_nodata");
  const volume_lines v(r.volume, 10, 10, 2);
  for (int iy = 1; iy <= 10; ++iy) {
    for (int ix = 1; ix <= 10; ++ix) {
      SCOPED_TRACE(::testing::Message() << "cell " << ix << ", " << iy);
      const double x = 100.0 * ix - 90.0;
      const double y = 100.0 * iy - 90.0;
      const std::vector<std::string> cell = v.cell(ix, iy);
      ASSERT_EQ(cell.size(), 2u);
      EXPECT_EQ(cell[0].find("NaN"), std::string::npos);
      EXPECT_EQ(cell[1] == "        NaN", x + y > 1000.0);
    }
  }
}

// Soundings on a 100 m lattice from 0 to 400 but for the corner (0, 400);
// cells of 50 with centres at 5, 55, ..., 355, outside the hull where
// y - x >= 300. Every layer is linear in x and y where it has values, so any
// triangulation of its soundings reproduces it: layer 1 is 10 + x/100 + y/50
// everywhere; layer 2 is 20 + x/50 but has no value at (400, 400), so its
// hull stops at x + y = 700; layers 3 and 5 (100 + x/10 + y/20 and
// 1000 - x/10) have none at three interior soundings, one in eight; layer 4
// has values only along y = 0, on one line, and is NaN inside the hull with
// a warning. Without --skip-missing the three missing soundings blank layer
// 3 in more than half of the cells.
TEST(golden_test, skip_missing_by_hand) {
  const case_run r = run_case("skip_missing");
  const volume_lines v(r.volume, 8, 8, 5);
  const auto near = [](const std::string& line, double expected) {
    return line != "        NaN" && std::abs(std::stod(line) - expected) <= 1e-4 * expected;
  };
  const std::string filled = "-1.0E+02";
  int inside = 0;
  for (int iy = 1; iy <= 8; ++iy) {
    for (int ix = 1; ix <= 8; ++ix) {
      SCOPED_TRACE(::testing::Message() << "cell " << ix << ", " << iy);
      const double x = 50.0 * ix - 45.0;
      const double y = 50.0 * iy - 45.0;
      const std::vector<std::string> cell = v.cell(ix, iy);
      ASSERT_EQ(cell.size(), 5u);
      if (y - x >= 300.0) {
        EXPECT_EQ(cell, std::vector<std::string>(5, filled));
        continue;
      }
      ++inside;
      EXPECT_TRUE(near(cell[0], 10.0 + x / 100.0 + y / 50.0)) << cell[0];
      if (x + y > 700.0) {
        EXPECT_EQ(cell[1], "        NaN");
      } else {
        EXPECT_TRUE(near(cell[1], 20.0 + x / 50.0)) << cell[1];
      }
      EXPECT_TRUE(near(cell[2], 100.0 + x / 10.0 + y / 20.0)) << cell[2];
      EXPECT_EQ(cell[3], "        NaN");
      EXPECT_TRUE(near(cell[4], 1000.0 - x / 10.0)) << cell[4];
    }
  }
  EXPECT_EQ(inside, 61);

  // The same soundings without the option: NaN around every missing value.
  temp_folder dir;
  write_file(dir / "soundings.txt", read_file(golden_root / "skip_missing" / "soundings.txt"));
  const tool_run plain =
      run_tool({"--nodata", "-9999", "soundings.txt", "plain.vol", "50", "50", "0"},
               tool_options(dir.path()));
  ASSERT_EQ(plain.status, 0) << plain.err;
  const volume_lines p(read_file(dir / "plain.vol"), 8, 8, 5);
  int blank = 0;
  for (int iy = 1; iy <= 8; ++iy) {
    for (int ix = 1; ix <= 8; ++ix) blank += p.cell(ix, iy)[2] == "        NaN";
  }
  EXPECT_GT(2 * blank, inside);
}

TEST(golden_test, log_mode_constant_values) {
  const case_run r = run_case("log_constant");
  const volume_lines v(r.volume, 10, 10, 2);
  for (int iy = 1; iy <= 10; ++iy) {
    for (int ix = 1; ix <= 10; ++ix) {
      SCOPED_TRACE(::testing::Message() << "cell " << ix << ", " << iy);
      const bool inside = ix + iy <= 11;  // centre x + y < 1000
      const std::string line = inside ? " 1.0000E+01" : " 1.0E-10";
      EXPECT_EQ(v.cell(ix, iy), (std::vector<std::string>{line, line}));
    }
  }
}

// Log mode, grid centres on the multiples of 10. Sounding (10, 30) has 0 in
// layer 1, whose logarithm is -Infinity; sounding (30, 10) has -5 in layer 2,
// whose logarithm is NaN. Both travel into the output, named in a warning.
TEST(golden_test, log_mode_zero_and_negative_values) {
  const case_run r = run_case("log_nonpositive");
  const volume_lines v(r.volume, 7, 6, 2);
  struct cell_case {
    const char* what;
    int ix, iy;
    std::vector<std::string> lines;
  };
  const cell_case cases[] = {
      {"the zero: exp(-Infinity) is 0", 2, 4, {" 0.0000E+00", " 7.0000E+01"}},
      {"inside a triangle at the zero: -Infinity again", 2, 2, {" 0.0000E+00", " 2.8478E+01"}},
      {"the negative value: NaN, written in full", 4, 2, {" 2.0000E+00", "        NaN"}},
      {"next to the negative value", 5, 3, {" 2.8513E+00", "        NaN"}},
      // Boundary sounding (20, 0): in layer 1 point location answers with a
      // triangle whose vertex (10, 30) weighs 0 here, and -Infinity times 0 is
      // NaN; in layer 2 the search starts elsewhere and answers exterior, so
      // the fill value is written in the long form that layer 1 chose.
      {"a boundary sounding next to the zero", 3, 1, {"        NaN", " 1.0000E-10"}},
      {"outside", 7, 1, {" 1.0E-10", " 1.0E-10"}},
  };
  for (const cell_case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(v.cell(c.ix, c.iy), c.lines);
  }
}

// Grid centres on the multiples of 10 (the soundings start at -1, so the grid
// starts at -5). The hull runs (-1,-1), (20,0), (60,10), (67,23), (40,60),
// (0,40); centre (20, 50) lies on its edge from (40,60) to (0,40).
TEST(golden_test, centres_on_the_hull_and_at_soundings) {
  const case_run r = run_case("hull_boundary");
  EXPECT_EQ(split_lines(r.mesh).front(), "    7    6    3");
  const volume_lines v(r.volume, 7, 6, 3);
  struct cell_case {
    const char* what;
    int ix, iy;
    std::vector<std::string> lines;
  };
  const cell_case cases[] = {
      {"on a hull edge: exterior, the fill value", 3, 6, filled3},
      {"interior sounding (10, 30): its values",
       2,
       4,
       {" 7.0000E+00", " 7.0000E+01", " 7.0000E+02"}},
      // Its layer-1 value equals the fill value, so the whole cell takes the
      // short form, whatever the other layers hold.
      {"interior sounding (30, 10) with -100 in layer 1",
       4,
       2,
       {"-1.0E+02", " 2.0E+01", " 2.0E+02"}},
      // At a boundary sounding the answer depends on the start node. The
      // searches of this run answer exterior at (0, 40) and (60, 10) in every
      // layer, and at (20, 0) a triangle in layer 1 (the sounding's value)
      // but exterior in layers 2 and 3: the fill value in the long form.
      {"boundary sounding (0, 40)", 1, 5, filled3},
      {"boundary sounding (60, 10)", 7, 2, filled3},
      {"boundary sounding (20, 0)", 3, 1, {" 3.0000E+00", "-1.0000E+02", "-1.0000E+02"}},
  };
  for (const cell_case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(v.cell(c.ix, c.iy), c.lines);
  }
}

// Soundings from x = 0 to 10 under cells of 100: a grid without cells along
// x. The run that would write an empty volume is refused (its message is
// the case's stderr).
TEST(golden_test, no_cells_is_refused) {
  EXPECT_TRUE(run_case("no_cells").refused);
}

}  // namespace
}  // namespace tervox_test
