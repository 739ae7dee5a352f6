// The built program, run as a user runs it: in a fresh folder, checking what
// it prints, its exit status and which files it leaves.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/run_program.hpp"

namespace tervox_test {
namespace {

namespace fs = std::filesystem;

// Three soundings and three layers; with dx = 100 and dy = 50 they give
// nx = 10, ny = 12, xmin = -40 and ymin = 960.5.
const std::string example_soundings =
    "Number of layers 3\n"
    "Layer thicknesses (m) 5 12.25\n"
    "Number of soundings 3\n"
    "x y rho1 rho2 rho3\n"
    "0 980.5 10 20 30\n"
    "1000 980.5 11 21 31\n"
    "0 1560 12 22 32\n";

const std::string example_mesh =
    "   10   12    3\n"
    "       -40.0       960.5 0.0\n"
    " 10*100.000\n"
    " 12*50.000\n"
    "    5.00   12.25   18.38\n";

const std::string earlier_mesh = "an earlier mesh file\n";

class e2e_test : public ::testing::Test {
 protected:
  tool_run run(const std::vector<std::string>& args,
               std::optional<unsigned long> file_size_limit = std::nullopt) {
    tool_options options(dir.path());
    options.file_size_limit = file_size_limit;
    return run_tool(args, options);
  }
  void put(const std::string& name, const std::string& text) {
    const fs::path file = dir / name;
    fs::create_directories(file.parent_path());
    write_file(file, text);
  }
  std::vector<std::string> entries() const { return list_entries(dir.path()); }

  temp_folder dir;
};

struct usage_case {
  const char* what;
  std::vector<std::string> args;
  const char* err;  // standard error: the fault named, or nothing
};

const usage_case usage_cases[] = {
    {"no arguments", {}, ""},
    {"one empty argument", {""}, ""},
    {"unclosed quote", {"\"in.txt out.vol 100 50 0"}, ""},
    {"four values",
     {"in.txt", "out.vol", "100", "50"},
     "tervox: expected 5 arguments (infile outfile dx dy log), got 4\n"},
    {"non-numeric dx",
     {"in.txt", "out.vol", "dx", "50", "0"},
     "tervox: dx must be a number, got 'dx'\n"},
    {"non-numeric dy",
     {"in.txt", "out.vol", "100", "fifty", "0"},
     "tervox: dy must be a number, got 'fifty'\n"},
    {"non-numeric log",
     {"in.txt", "out.vol", "100", "50", "log"},
     "tervox: log must be a whole number (1 for log mode), got 'log'\n"},
    {"real log",
     {"in.txt", "out.vol", "100", "50", "1.5"},
     "tervox: log must be a whole number (1 for log mode), got '1.5'\n"},
    // Fewer than five arguments are split at blanks: dx becomes "out.vol".
    {"name with a blank in the joined form",
     {"my in.txt out.vol 100", "50", "0"},
     "tervox: dx must be a number, got 'out.vol'\n"},
};

TEST_F(e2e_test, usage_lines_for_refused_command_lines) {
  put("in.txt", example_soundings);
  for (const auto& c : usage_cases) {
    SCOPED_TRACE(c.what);
    const tool_run r = run(c.args);
    EXPECT_EQ(r.out, usage_text);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(entries(), std::vector<std::string>{"in.txt"});
  }
}

struct accepted_case {
  const char* what;
  std::vector<std::string> args;
  const char* input;               // where the soundings file is put
  const char* volume;              // the volume file the run is to write
  std::vector<std::string> files;  // everything else there afterwards
};

const accepted_case accepted_cases[] = {
    {"five values",
     {"in.txt", "out.vol", "100", "50", "0"},
     "in.txt",
     "out.vol",
     {"in.txt", "out.vol.mesh"}},
    {"commas without blanks",
     {"in.txt,out.vol,100,50,0"},
     "in.txt",
     "out.vol",
     {"in.txt", "out.vol.mesh"}},
    {"names with blanks, one argument each",
     {"my in.txt", "my out.vol", "100", "50", "2"},
     "my in.txt",
     "my out.vol",
     {"my in.txt", "my out.vol.mesh"}},
    {"quoted names with blanks in the joined form",
     {"\"my in.txt\" \"my out.vol\" 100 50 2"},
     "my in.txt",
     "my out.vol",
     {"my in.txt", "my out.vol.mesh"}},
    {"an option-like name after --",
     {"--", "--in.txt", "out.vol", "100", "50", "0"},
     "--in.txt",
     "out.vol",
     {"--in.txt", "out.vol.mesh"}},
    {"names with slashes",
     {"data/in.txt", "./results/../data/out.vol", "100", "50", "-1"},
     "data/in.txt",
     "data/out.vol",
     {"data/", "data/in.txt", "data/out.vol.mesh"}},
    {"long names used whole",
     {"soundings_of_the_north_block.txt", "volume_of_the_north_block.vol", "100", "50", "1"},
     "soundings_of_the_north_block.txt",
     "volume_of_the_north_block.vol",
     {"soundings_of_the_north_block.txt", "volume_of_the_north_block.vol.mesh"}},
};

TEST(e2e_command_line, accepted_command_lines_write_the_mesh_file) {
  for (const auto& c : accepted_cases) {
    SCOPED_TRACE(c.what);
    temp_folder dir;
    fs::create_directories((dir / c.input).parent_path());
    fs::create_directories(dir / "results");
    write_file(dir / c.input, example_soundings);
    const tool_run r = run_tool(c.args, tool_options(dir.path()));
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    fs::remove(dir / "results");
    auto names = list_entries(dir.path());
    names.erase(std::remove(names.begin(), names.end(), c.volume), names.end());
    EXPECT_EQ(names, c.files);
    EXPECT_EQ(read_file(dir / (std::string(c.volume) + ".mesh")), example_mesh);
  }
}

// The message stays " Error: <infile> not found."; where the input is there
// but cannot be read, standard error says why.
TEST_F(e2e_test, missing_soundings_file_creates_nothing) {
  fs::create_directory(dir / "folder");
  put("locked.txt", example_soundings);
  fs::permissions(dir / "locked.txt", fs::perms::none);
  const struct {
    std::string name;
    std::string err;
  } cases[] = {
      {"nosuch.txt", ""},
      // Names are used whole, so the message shows all 25 characters.
      {"soundings_of_25_chars.txt", ""},
      {"folder", "tervox: 'folder': is a folder\n"},
      {"locked.txt", "tervox: 'locked.txt': permission denied\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.name == "locked.txt" && ::geteuid() == 0)
      continue;  // root reads any file
    const tool_run r = run({c.name, "out.vol", "100", "50", "0"});
    EXPECT_EQ(r.out, " Error: " + c.name + " not found.\n");
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(entries(), (std::vector<std::string>{"folder/", "locked.txt"}));
  }
}

TEST_F(e2e_test, two_soundings_are_too_few) {
  put("in.txt",
      "Number of layers 1\nLayer thicknesses (m)\nNumber of soundings 2\nx y rho\n"
      "0 0 1\n1 0 1\n0 1 1\n");
  put("out.vol.mesh", earlier_mesh);
  const tool_run r = run({"in.txt", "out.vol", "1", "1", "0"});
  EXPECT_EQ(r.out, " Error: need more than 2 soundings.\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(entries(), (std::vector<std::string>{"in.txt", "out.vol.mesh"}));
  EXPECT_EQ(read_file(dir / "out.vol.mesh"), earlier_mesh);
}

struct mesh_case {
  const char* what;
  std::string soundings;
  std::vector<std::string> sizes;  // dx, dy
  std::string mesh;
};

const mesh_case mesh_cases[] = {
    {"one layer",
     "Number of layers 1\nLayer thicknesses (m)\nNumber of soundings 3\nx y a\n"
     "0 0 1\n10 0 1\n0 10 1\n",
     {"5", "2.5"},
     "    2    4    1\n        -2.0        -1.0 0.0\n  2*5.000\n  4*2.500\n    1.00\n"},
};

TEST_F(e2e_test, mesh_file_contents) {
  for (const auto& c : mesh_cases) {
    SCOPED_TRACE(c.what);
    put("in.txt", c.soundings);
    const tool_run r = run({"in.txt", "out.vol", c.sizes[0], c.sizes[1], "0"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir / "out.vol.mesh"), c.mesh);
  }
}

TEST_F(e2e_test, collinear_soundings_leave_the_mesh_file_only) {
  put("in.txt",
      "Number of layers 1\nLayer thicknesses (m)\nNumber of soundings 3\nx y rho\n"
      "0 0 1\n2 2 1\n1 1 1\n");
  put("out.vol", "an earlier volume\n");
  const tool_run r = run({"in.txt", "out.vol", "1", "1", "0"});
  EXPECT_EQ(r.out, " Error: points are collinear.\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(entries(), (std::vector<std::string>{"in.txt", "out.vol", "out.vol.mesh"}));
  EXPECT_EQ(read_file(dir / "out.vol"), "an earlier volume\n");
  EXPECT_EQ(read_file(dir / "out.vol.mesh"),
            "    2    2    1\n        -0.4        -0.4 0.0\n  2*1.000\n  2*1.000\n    1.00\n");
}

struct refused_input_case {
  const char* what;
  std::string soundings;
  std::vector<std::string> args;
  const char* needle;  // a part of the diagnostic
};

const std::string header3 =
    "Number of layers 1\nLayer thicknesses (m)\nNumber of soundings 3\nx y rho\n";

const refused_input_case refused_input_cases[] = {
    {"no layers",
     "Number of layers 0\nLayer thicknesses (m)\nNumber of soundings 3\nx y\n0 0\n1 0\n0 1\n",
     {"in.txt", "out.vol", "1", "1", "0"},
     "in.txt"},
    {"negative layer count",
     "Number of layers -1\nLayer thicknesses (m)\nNumber of soundings 3\nx y\n0 0\n1 0\n0 1\n",
     {"in.txt", "out.vol", "1", "1", "0"},
     "in.txt"},
    {"text where a value belongs",
     header3 + "0 0 1\n1 0 one\n0 1 1\n",
     {"in.txt", "out.vol", "1", "1", "0"},
     "in.txt"},
    {"file ends early", header3 + "0 0 1\n1 0 1\n", {"in.txt", "out.vol", "1", "1", "0"}, "in.txt"},
    {"two soundings at one place",
     header3 + "0 0 1\n1 0 1\n0 0 2\n",
     {"in.txt", "out.vol", "1", "1", "0"},
     "in.txt"},
    {"x beyond single precision",
     header3 + "0 0 1\n1e39 0 1\n0 1 1\n",
     {"in.txt", "out.vol", "1", "1", "0"},
     "in.txt"},
    {"y below single precision",
     header3 + "0 0 1\n1 -1e39 1\n0 1 1\n",
     {"in.txt", "out.vol", "1", "1", "0"},
     "sounding 2 has a location that is not finite: (1, -inf)"},
    {"cell count beyond 32 bits",
     header3 + "0 0 1\n1000 0 1\n0 1000 1\n",
     {"in.txt", "out.vol", "1e-7", "1", "0"},
     "cells along x (dx = "},
    {"cell count along y beyond 32 bits",
     header3 + "0 0 1\n1000 0 1\n0 1000 1\n",
     {"in.txt", "out.vol", "1", "1e-7", "0"},
     "cells along y (dy = "},
    {"output named as the input",
     header3 + "0 0 1\n1 0 1\n0 1 1\n",
     {"in.txt", "in.txt", "1", "1", "0"},
     "'in.txt' is the soundings file"},
};

TEST_F(e2e_test, refused_input_writes_nothing) {
  for (const auto& c : refused_input_cases) {
    SCOPED_TRACE(c.what);
    put("in.txt", c.soundings);
    put("out.vol.mesh", earlier_mesh);
    const tool_run r = run(c.args);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with("tervox: ")) << r.err;
    EXPECT_NE(r.err.find(c.needle), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(entries(), (std::vector<std::string>{"in.txt", "out.vol.mesh"}));
    EXPECT_EQ(read_file(dir / "in.txt"), c.soundings);
    EXPECT_EQ(read_file(dir / "out.vol.mesh"), earlier_mesh);
  }
}

// A thread count that is not a positive whole number is refused before
// anything is read or written; an empty setting means the default.
TEST_F(e2e_test, bad_thread_count_writes_nothing) {
  put("in.txt", example_soundings);
  for (const char* setting : {"0", "-2", "two", "1.5", "2 "}) {
    SCOPED_TRACE(setting);
    put("out.vol.mesh", earlier_mesh);
    tool_options options(dir.path());
    options.environment.push_back(std::string("TERVOX_THREADS=") + setting);
    const tool_run r = run_tool({"in.txt", "out.vol", "100", "50", "0"}, options);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string("tervox: TERVOX_THREADS must be a positive whole number of "
                                 "threads, got '") +
                         setting + "'\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(entries(), (std::vector<std::string>{"in.txt", "out.vol.mesh"}));
    EXPECT_EQ(read_file(dir / "out.vol.mesh"), earlier_mesh);
  }
  tool_options options(dir.path());
  options.environment.push_back("TERVOX_THREADS=");
  const tool_run r = run_tool({"in.txt", "out.vol", "100", "50", "0"}, options);
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(e2e_test, mesh_file_named_as_the_input_is_refused) {
  put("in.mesh", example_soundings);
  const tool_run r = run({"in.mesh", "in", "100", "50", "0"});
  EXPECT_EQ(r.err,
            "tervox: output file 'in.mesh' is the soundings file 'in.mesh'; "
            "writing it would destroy the input\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(entries(), std::vector<std::string>{"in.mesh"});
  EXPECT_EQ(read_file(dir / "in.mesh"), example_soundings);
}

TEST_F(e2e_test, output_path_that_is_a_folder) {
  put("in.txt", example_soundings);
  fs::create_directory(dir / "out.vol.mesh");
  const tool_run r = run({"in.txt", "out.vol", "100", "50", "0"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "tervox: cannot write 'out.vol.mesh': it is a directory\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(entries(), (std::vector<std::string>{"in.txt", "out.vol.mesh/"}));
}

TEST_F(e2e_test, volume_path_that_is_a_folder_stops_before_writing) {
  put("in.txt", example_soundings);
  fs::create_directory(dir / "out.vol");
  const tool_run r = run({"in.txt", "out.vol", "100", "50", "0"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "tervox: cannot write 'out.vol': it is a directory\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(entries(), (std::vector<std::string>{"in.txt", "out.vol/"}));
}

TEST_F(e2e_test, output_folder_that_does_not_exist) {
  put("in.txt", example_soundings);
  const tool_run r = run({"in.txt", "nodir/out.vol", "100", "50", "0"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "tervox: cannot create 'nodir/out.vol.mesh': No such file or directory\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(entries(), std::vector<std::string>{"in.txt"});
}

TEST_F(e2e_test, full_disk_leaves_the_earlier_file) {
  if (coverage_run())
    GTEST_SKIP() << "the limit would stop the test process writing its coverage counts";
  // A grid without cells: its volume is empty and passes the size check
  // made before anything is written, and the mesh file is written before
  // the grid is refused. The limit lets the earlier file stand but not the
  // new mesh file.
  put("in.txt",
      "Number of layers 2\nLayer thicknesses (m) 4\nNumber of soundings 3\nx y a b\n"
      "0 0 1 2\n10 500 1 2\n5 1000 1 2\n");
  put("out.vol.mesh", earlier_mesh);
  const tool_run r = run({"in.txt", "out.vol", "100", "100", "0"}, earlier_mesh.size() + 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "tervox: cannot write 'out.vol.mesh': File too large\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(entries(), (std::vector<std::string>{"in.txt", "out.vol.mesh"}));
  EXPECT_EQ(read_file(dir / "out.vol.mesh"), earlier_mesh);
}

}  // namespace
}  // namespace tervox_test
