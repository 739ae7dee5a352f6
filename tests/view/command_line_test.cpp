// The built tervox-view run as a user runs it: what it writes on success,
// and for bad input one clear message, exit status 1 and no output file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_program.hpp"
#include "view/grid_fixture_support.hpp"

namespace tervox_test {
using namespace tervox;
using namespace tervox::view;
namespace {

// 3 x 2 cells, 2 layers; cell (1, 1) filled, one negative value.
grid_fixture example() {
  grid_fixture f;
  f.nx = 3;
  f.ny = 2;
  f.dx = 100;
  f.dy = 100;
  f.dz = {5};
  f.value = [](int ix, int iy, int k) {
    return ix == 3 && iy == 2 && k == 2 ? -1.0f : static_cast<float>(ix + iy + k);
  };
  f.filled = [](int ix, int iy) { return ix == 1 && iy == 1; };
  return f;
}

class view_command_line : public ::testing::Test {
 protected:
  void SetUp() override { example().write(dir / "grid.vol"); }
  tool_run run(const std::vector<std::string>& args) {
    return run_program(TERVOX_VIEW_EXE, args, tool_options(dir.path()));
  }
  std::vector<std::string> entries() const { return list_entries(dir.path()); }

  temp_folder dir;
};

TEST_F(view_command_line, writes_each_kind_of_output) {
  const std::vector<std::string> commands[] = {
      {"slice", "grid.vol", "--layer", "2", "-o", "out.png"},
      {"section", "grid.vol", "--column=3", "--output", "out.png", "--scale", "linear"},
      {"vtr", "grid.vol", "--mesh", "grid.vol.mesh", "-o", "out.vtr"},
  };
  for (const auto& args : commands) {
    SCOPED_TRACE(args[0]);
    const tool_run r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    const std::string output = args[0] == "vtr" ? "out.vtr" : "out.png";
    EXPECT_EQ(entries(), (std::vector<std::string>{"grid.vol", "grid.vol.mesh", output}));
    std::filesystem::remove(dir / output);
  }
}

struct failure_case {
  const char* what;
  std::vector<std::string> args;
  // Files put in the folder first: name and text (the example grid is there).
  std::vector<std::pair<std::string, std::string>> files;
  std::vector<std::string> message;  // parts of the one line on standard error
};

const std::string other_mesh =
    "    2    2    2\n         0.0         0.0 0.0\n  2*100.000\n  2*100.000\n"
    "    5.00    7.50\n";

std::string repeated(const std::string& line, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += line;
  return text;
}

const failure_case failure_cases[] = {
    {"a missing volume file",
     {"slice", "nosuch.vol", "--mesh", "grid.vol.mesh", "--layer", "1", "-o", "out.png"},
     {},
     {"nosuch.vol: cannot open the volume file: No such file or directory"}},
    {"a missing mesh file",
     {"vtr", "grid.vol", "--mesh", "nosuch.mesh", "-o", "out.vtr"},
     {},
     {"nosuch.mesh: cannot open the mesh file"}},
    {"a layer out of range",
     {"slice", "grid.vol", "--layer", "3", "-o", "out.png"},
     {},
     {"grid.vol.mesh: layer 3 is out of range: the mesh has 2 layers (1 to 2)"}},
    {"a row out of range",
     {"section", "grid.vol", "--row", "3", "-o", "out.png"},
     {},
     {"grid.vol.mesh: row 3 is out of range", "2 rows"}},
    {"a column out of range",
     {"section", "grid.vol", "--column", "4", "-o", "out.png"},
     {},
     {"grid.vol.mesh: column 4 is out of range", "3 columns"}},
    {"a mesh of another grid",
     {"vtr", "grid.vol", "--mesh", "other.mesh", "-o", "out.vtr"},
     {{"other.mesh", other_mesh}},
     {"grid.vol:", "other.mesh (2 x 2 cells, 2 layers: 8 lines)"}},
    // Too small for its mesh: refused before anything is read.
    {"a volume cut short",
     {"slice", "short.vol", "--mesh", "grid.vol.mesh", "--layer", "1", "-o", "out.png"},
     {{"short.vol", "-1.0E+02\n-1.0E+02\n 3.0000E+00\n"}},
     {"short.vol: the file holds 30 bytes, too few for the mesh grid.vol.mesh"}},
    // Large enough to pass for its mesh, but a line short.
    {"a volume a line short",
     {"slice", "short.vol", "--mesh", "grid.vol.mesh", "--layer", "1", "-o", "out.png"},
     {{"short.vol", "-1.0E+02\n-1.0E+02\n" + repeated(" 3.0000E+00\n", 9)}},
     {"short.vol: the file ends after 11 lines", "grid.vol.mesh"}},
    // A mesh that claims 99999 x 99999 cells must not have its arrays made.
    {"a mesh of a huge grid",
     {"vtr", "grid.vol", "--mesh", "huge.mesh", "-o", "out.vtr"},
     {{"huge.mesh",
       "9999999999    2\n         0.0         0.0 0.0\n****100.000\n"
       "****100.000\n    5.00    7.50\n"}},
     {"grid.vol: the file holds", "too few for the mesh huge.mesh (99999 x 99999 cells"}},
    {"a logarithmic scale for a negative value",
     {"section", "grid.vol", "--row", "2", "--scale", "log", "-o", "out.png"},
     {},
     {"grid.vol: row 2: a logarithmic colour scale needs positive values", "-1"}},
    {"a missing soundings file",
     {"slice", "grid.vol", "--layer", "1", "--soundings", "nosuch.txt", "-o", "out.png"},
     {},
     {"nosuch.txt: cannot open the soundings file"}},
    {"a malformed soundings file",
     {"slice", "grid.vol", "--layer", "1", "--soundings", "bad.txt", "-o", "out.png"},
     {{"bad.txt",
       "Number of layers 1\nLayer thicknesses (m)\nNumber of soundings 3\nx y v\n0 0 abc\n"}},
     {"bad.txt:5: expected"}},
    {"an output folder that does not exist",
     {"vtr", "grid.vol", "-o", "nosuch/out.vtr"},
     {},
     {"cannot create 'nosuch/out.vtr'"}},
    {"the output is the volume",
     {"vtr", "grid.vol", "-o", "grid.vol"},
     {},
     {"'grid.vol' is the input file"}},
    {"depths unknown for a section",
     {"section", "grid.vol", "--mesh", "wide.mesh", "--row", "1", "-o", "out.png"},
     {{"wide.mesh",
       "    3    2    2\n         0.0         0.0 0.0\n  3*100.000\n  2*100.000\n"
       "    5.00********\n"}},
     {"wide.mesh:5: the thickness of layer 2 is too wide for its field"}},
    {"a picture too large",
     {"slice", "grid.vol", "--layer", "1", "--cell-pixels", "10000", "-o", "out.png"},
     {},
     {"grid.vol: layer 1: the drawing would be 30000 x 20000 pixels"}},
    {"an empty grid",
     {"vtr", "empty.vol", "-o", "out.vtr"},
     {{"empty.vol", ""},
      {"empty.vol.mesh",
       "    0   10    2\n       -40.0       -40.0 0.0\n  0*100.000\n 10*100.000\n"
       "    4.00    6.00\n"}},
     {"empty.vol.mesh:1: the grid has no cells"}},
};

TEST_F(view_command_line, bad_input_gives_one_message_and_status_1) {
  for (const auto& c : failure_cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> before = {"grid.vol", "grid.vol.mesh"};
    for (const auto& [name, text] : c.files) {
      write_file(dir / name, text);
      before.push_back(name);
    }
    std::sort(before.begin(), before.end());
    const tool_run r = run(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with("tervox-view: ")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    for (const std::string& part : c.message)
      EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
    EXPECT_EQ(entries(), before);
    for (const auto& [name, text] : c.files) std::filesystem::remove(dir / name);
  }
}

const std::vector<std::string> usage_cases[] = {
    {},
    {"show", "grid.vol", "-o", "out.png"},
    {"slice", "grid.vol", "-o", "out.png"},
    {"slice", "grid.vol", "--layer", "two", "-o", "out.png"},
    {"slice", "grid.vol", "--layer", "0", "-o", "out.png"},
    {"slice", "grid.vol", "--layer", "1"},
    {"slice", "--layer", "1", "-o", "out.png"},
    {"slice", "grid.vol", "--layer", "1", "-o", "out.png", "--row", "1"},
    {"section", "grid.vol", "--row", "1", "--column", "1", "-o", "out.png"},
    {"section", "grid.vol", "-o", "out.png"},
    {"section", "grid.vol", "--row", "1", "-o", "out.png", "--scale", "logarithmic"},
    {"vtr", "grid.vol", "-o", "out.vtr", "--cell-pixels", "4"},
    {"vtr", "grid.vol", "-o"},
    {"vtr", "grid.vol", "other.vol", "-o", "out.vtr"},
};

TEST_F(view_command_line, refused_command_lines_give_the_usage_and_status_2) {
  for (const auto& args : usage_cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const tool_run r = run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with("tervox-view: ")) << r.err;
    EXPECT_NE(r.err.find("\nusage: tervox-view slice VOLUME"), std::string::npos) << r.err;
    EXPECT_EQ(entries(), (std::vector<std::string>{"grid.vol", "grid.vol.mesh"}));
  }
}

// The README shows these pictures of the example survey; they must be what
// tervox-view draws now.
TEST(view_examples, readme_pictures_are_current) {
  temp_folder dir;
  const std::string source = TERVOX_SOURCE_DIR;
  const std::string survey = source + "/examples/survey.txt";
  const tool_options in_dir(dir.path());
  ASSERT_EQ(run_program(TERVOX_EXE, {survey, "survey.vol", "25", "25", "1"}, in_dir).status, 0);
  const std::vector<std::string> commands[] = {
      {"slice", "survey.vol", "--layer", "6", "--soundings", survey, "-o", "survey_slice.png"},
      {"section", "survey.vol", "--row", "40", "-o", "survey_section.png"},
  };
  for (const auto& args : commands) {
    const std::string& name = args.back();
    SCOPED_TRACE(name);
    const tool_run r = run_program(TERVOX_VIEW_EXE, args, in_dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto drawn = read_png(dir / name);
    const auto committed = read_png(source + "/examples/" + name);
    EXPECT_EQ(drawn.width, committed.width);
    EXPECT_EQ(drawn.height, committed.height);
    std::string command = "tervox-view";
    for (const std::string& a : args) command += " " + (a == survey ? "examples/survey.txt" : a);
    EXPECT_TRUE(drawn.pixels == committed.pixels)
        << "examples/" << name << " is not what tervox-view draws now; make it again with\n"
        << "  tervox examples/survey.txt survey.vol 25 25 1\n  " << command;
  }
}

}  // namespace
}  // namespace tervox_test
