// The volume file read back cell by cell: values, filled cells, the
// spellings of values without a number, the parts a picture asks for, and
// files that do not match their mesh.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "base/diagnostic.hpp"
#include "formats/volume_file.hpp"
#include "support/grid_files.hpp"
#include "support/run_program.hpp"

namespace tervox_test {
using namespace tervox::base;
using namespace tervox::formats;
namespace {

constexpr float inf = std::numeric_limits<float>::infinity();

// 4 x 3 cells, 3 layers. Cells (1, 1) and (4, 3) are filled; the rest hold
// 100*ix + 10*iy + k, except for the values without a number in cell (2, 2),
// and -100 in a long-form cell, which is a value like any other.
grid_fixture example() {
  grid_fixture f;
  f.nx = 4;
  f.ny = 3;
  f.xmin = 10;
  f.ymin = -20;
  f.dx = 5;
  f.dy = 2.5f;
  f.dz = {1, 2};
  f.value = [](int ix, int iy, int k) {
    if (ix == 2 && iy == 2)
      return k == 1 ? std::nanf("") : k == 2 ? inf : -inf;
    if (ix == 3 && iy == 1 && k == 2)
      return -100.0f;
    return static_cast<float>(100 * ix + 10 * iy + k);
  };
  f.filled = [](int ix, int iy) { return (ix == 1 && iy == 1) || (ix == 4 && iy == 3); };
  return f;
}

struct cell {
  int ix, iy;
  bool filled;
  std::vector<float> values;
};

std::vector<cell> read_cells(const std::string& path, const mesh& m, const volume_request& r) {
  std::vector<cell> out;
  read_volume(path, m, r, [&](int ix, int iy, bool filled, std::span<const float> v) {
    out.push_back({ix, iy, filled, {v.begin(), v.end()}});
  });
  return out;
}

// Not-a-number where the fixture has a filled cell or a value that is not
// finite, the fixture's value elsewhere.
float expected_value(const grid_fixture& f, int ix, int iy, int k) {
  const float v = f.value(ix, iy, k);
  return f.filled(ix, iy) || !std::isfinite(v) ? std::nanf("") : v;
}

class view_volume_file : public ::testing::Test {
 protected:
  void SetUp() override {
    fixture.write(dir / "grid.vol");
    m = read_mesh((dir / "grid.vol.mesh").string());
  }
  std::string path() const { return (dir / "grid.vol").string(); }

  tervox_test::temp_folder dir;
  grid_fixture fixture = example();
  mesh m;
};

struct request_case {
  const char* what;
  volume_request request;
};

TEST_F(view_volume_file, gives_the_cells_and_layers_asked_for) {
  const request_case cases[] = {
      {"everything", volume_request::everything(m)},
      {"layer 2 of every cell", volume_request::everything(m, 2)},
      {"row 2", {1, 4, 2, 2, 0}},
      {"column 4", {4, 4, 1, 3, 0}},
      {"layer 3 of one cell", {2, 2, 2, 2, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const volume_request& r = c.request;
    std::vector<cell> expected;
    for (int iy = r.iy_first; iy <= r.iy_last; ++iy) {
      for (int ix = r.ix_first; ix <= r.ix_last; ++ix) {
        cell e{ix, iy, fixture.filled(ix, iy), {}};
        for (int k = 1; k <= m.nlayer; ++k) {
          if (r.layer == 0 || r.layer == k)
            e.values.push_back(expected_value(fixture, ix, iy, k));
        }
        expected.push_back(e);
      }
    }
    const std::vector<cell> got = read_cells(path(), m, r);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      SCOPED_TRACE("cell (" + std::to_string(expected[i].ix) + ", " +
                   std::to_string(expected[i].iy) + ")");
      EXPECT_EQ(got[i].ix, expected[i].ix);
      EXPECT_EQ(got[i].iy, expected[i].iy);
      EXPECT_EQ(got[i].filled, expected[i].filled);
      ASSERT_EQ(got[i].values.size(), expected[i].values.size());
      for (std::size_t k = 0; k < got[i].values.size(); ++k) {
        if (std::isnan(expected[i].values[k]))
          EXPECT_TRUE(std::isnan(got[i].values[k])) << "value " << k;
        else
          EXPECT_EQ(got[i].values[k], expected[i].values[k]) << "value " << k;
      }
    }
  }
}

TEST(view_volume_value, spellings) {
  struct case_ {
    const char* field;
    bool ok;
    float value;  // not-a-number: expected not-a-number
  };
  const float nan = std::nanf("");
  const case_ cases[] = {
      {" 1.2346E+02", true, 123.46f},
      {"-5.0000E-01", true, -0.5f},
      {"-1.0E+02", true, -100},
      {" 1.0E-10", true, 1e-10f},
      {"        NaN", true, nan},
      {"   Infinity", true, nan},
      {"  -Infinity", true, nan},
      {"********", true, nan},
      {"***********", true, nan},
      {"        abc", false, 0},
      {" 1.0E+02x  ", false, 0},
      {"           ", false, 0},
      {" 1.0E+02 ", false, 0},
      // Beyond single precision (tervox never writes it): no usable value.
      {" 1.0000E+39", true, nan},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    float v = 0;
    ASSERT_EQ(parse_value(c.field, v), c.ok);
    if (!c.ok)
      continue;
    if (std::isnan(c.value)) {
      EXPECT_TRUE(std::isnan(v));
    } else {
      EXPECT_EQ(v, c.value);
    }
  }
}

struct damage_case {
  const char* what;
  std::function<std::string(std::string)> damage;  // of the volume text
  const char* where;  // what follows the file name at the start of the message
  const char* reason;
};

// The volume has 4*3*3 = 36 lines: 11 characters and a line end each (9 for
// the short form of cells (1, 1) and (4, 3)).
const damage_case damage_cases[] = {
    {"the last line cut short", [](std::string t) { return t.substr(0, t.size() - 3); },
     ":36: ", "the file ends inside a line"},
    {"the last line gone", [](std::string t) { return t.substr(0, t.size() - 9); }, ": ",
     "the file ends after 35 lines"},
    {"an empty file", [](std::string) { return std::string(); }, ": ",
     "the file ends after 0 lines"},
    {"a line too many", [](std::string t) { return t + "-1.0E+02\n"; },
     ":37: ", "more lines than the mesh"},
    {"a line of the wrong width", [](std::string t) { return t.replace(27, 12, " 1.2345E+2\n"); },
     ":4: ", "expected a value in 8 or 11 characters, got ' 1.2345E+2'"},
    {"forms mixed in a cell", [](std::string t) { return t.replace(27, 12, "-1.0E+02\n"); },
     ":5: ", "layer 2 of cell (2, 1) is in the long form, layer 1 in the short one"},
    {"text that is no number", [](std::string t) { return t.replace(39, 12, " 1.23x5E+02\n"); },
     ":5: ", "not a value: ' 1.23x5E+02'"},
    {"bytes without line ends", [](std::string t) { return t + std::string(100, 'x'); },
     ":37: ", "runs on without a line end"},
};

TEST_F(view_volume_file, reports_damaged_and_mismatching_files) {
  const std::string intact = fixture.volume_text();
  ASSERT_EQ(intact.substr(0, 27), "-1.0E+02\n-1.0E+02\n-1.0E+02\n");
  for (const auto& c : damage_cases) {
    SCOPED_TRACE(c.what);
    tervox_test::write_file(path(), c.damage(intact));
    try {
      read_volume(path(), m, volume_request::everything(m), [](int, int, bool, auto) {});
      ADD_FAILURE() << "no error";
    } catch (const diagnostic_error& e) {
      const std::string message = e.what();
      EXPECT_TRUE(message.starts_with(path() + c.where)) << message;
      EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    }
  }
}

TEST_F(view_volume_file, a_mesh_of_another_grid_does_not_fit) {
  // The same number of lines, laid out as 3 layers of 4 x 3 cells or 2
  // layers of 6 x 3, or 4 layers of 3 x 3: the short-form cells no longer
  // line up with whole cells, or the count is wrong.
  for (const auto& [nx, nlayer] : {std::pair{6, 2}, std::pair{3, 4}, std::pair{4, 2}}) {
    SCOPED_TRACE(std::to_string(nx) + " cells along x, " + std::to_string(nlayer) + " layers");
    mesh other = m;
    other.nx = nx;
    other.nlayer = nlayer;
    other.dz.assign(static_cast<std::size_t>(nlayer), 1.0);
    EXPECT_THROW(
        read_volume(path(), other, volume_request::everything(other), [](int, int, bool, auto) {}),
        diagnostic_error);
  }
}

// A name that is no file, a folder, or a mesh larger than any tervox writes:
// one message naming the file, before anything is read into memory.
TEST_F(view_volume_file, files_that_cannot_be_read_are_named) {
  std::filesystem::create_directory(dir / "folder");
  const std::string missing = (dir / "missing").string();
  const std::string folder = (dir / "folder").string();
  const std::string huge = (dir / "huge.mesh").string();
  write_file(huge, std::string((std::size_t{4} << 20) + 1, ' '));
  const auto no_cells = [](int, int, bool, auto) {};
  const struct {
    std::function<void()> read;
    std::string message;
  } cases[] = {
      {[&] { (void)read_mesh(missing); },
       missing + ": cannot open the mesh file: No such file or directory"},
      {[&] { (void)read_mesh(folder); }, folder + ": cannot read the mesh file: it is a directory"},
      {[&] { (void)read_mesh(huge); },
       huge + ": not a mesh file: larger than any mesh file tervox writes"},
      {[&] { read_volume(missing, m, volume_request::everything(m), no_cells); },
       missing + ": cannot open the volume file: No such file or directory"},
      {[&] { read_volume(folder, m, volume_request::everything(m), no_cells); },
       folder + ": cannot read the volume file: it is a directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      c.read();
      ADD_FAILURE() << "no error";
    } catch (const diagnostic_error& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

}  // namespace
}  // namespace tervox_test
