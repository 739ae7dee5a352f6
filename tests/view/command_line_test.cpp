// The built tervox-view run as a user runs it: what it writes on success,
// and for bad input one clear message, exit status 1 and no output file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_program.hpp"
#include "view/grid_fixture_support.hpp"

namespace tervox_test {
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

// Whether this build draws the pictures of `command` (it needs cairo).
bool drawn_here(const std::string& command) {
  return TERVOX_VIEW_CAIRO || (command != "slice" && command != "section");
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
  std::vector<std::vector<std::string>> all(std::begin(commands), std::end(commands));
  if (TERVOX_VIEW_NETCDF)
    all.push_back({"netcdf", "grid.vol", "-o", "out.nc", "--units", "ohm m", "--name", "rho"});
  if (TERVOX_VIEW_GDAL)
    // A system whose area of use (the world) holds the grid at (0, 0).
    all.push_back({"geotiff", "grid.vol", "--all-layers", "-o", "out.tif", "--crs", "EPSG:3857"});
  for (const auto& args : all) {
    SCOPED_TRACE(args[0]);
    if (!drawn_here(args[0]))
      continue;
    const tool_run r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    const std::string output = std::find(args.begin(), args.end(), "-o") != args.end()
                                   ? *(std::find(args.begin(), args.end(), "-o") + 1)
                                   : *(std::find(args.begin(), args.end(), "--output") + 1);
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
    {"a logarithmic scale over a range from 0",
     {"slice", "grid.vol", "--layer", "1", "--scale", "log", "--range", "0", "10", "-o", "out.svg"},
     {},
     {"grid.vol: layer 1: a logarithmic colour scale needs a positive range, but it starts at 0"}},
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
    // The description beside the volume, for a command that takes its defaults.
    {"a description file that is not JSON",
     {"slice", "grid.vol", "--layer", "1", "-o", "out.png"},
     {{"grid.vol.json", "{\"tervox_description\": 1,\n"}},
     {"grid.vol.json: not a description file: parse error at line 2",
      "; tervox-view reads it as the description of grid.vol: mend it, or remove it"}},
    {"a description file with a member of the wrong type",
     {"section", "grid.vol", "--row", "1", "-o", "out.png"},
     {{"grid.vol.json", "{\"tervox_description\": 1, \"property\": {\"unit\": 5}}\n"}},
     {"grid.vol.json: member \"property.unit\" should be"}},
    {"an empty grid",
     {"vtr", "empty.vol", "-o", "out.vtr"},
     {{"empty.vol", ""},
      {"empty.vol.mesh",
       "    0   10    2\n       -40.0       -40.0 0.0\n  0*100.000\n 10*100.000\n"
       "    4.00    6.00\n"}},
     {"empty.vol.mesh:1: the grid has no cells"}},
};

// Failures of the commands that need a library, where the build has it:
// nothing is left behind, not even the temporary files the libraries wrote.
std::vector<failure_case> library_failure_cases() {
  std::vector<failure_case> cases;
  const std::string short_volume = "-1.0E+02\n-1.0E+02\n" + repeated(" 3.0000E+00\n", 9);
  if (TERVOX_VIEW_NETCDF) {
    cases.push_back({"a NetCDF file of a volume a line short",
                     {"netcdf", "short.vol", "--mesh", "grid.vol.mesh", "-o", "out.nc"},
                     {{"short.vol", short_volume}},
                     {"short.vol: the file ends after 11 lines"}});
    cases.push_back({"a NetCDF file without depths",
                     {"netcdf", "grid.vol", "--mesh", "wide.mesh", "-o", "out.nc"},
                     {{"wide.mesh",
                       "    3    2    2\n         0.0         0.0 0.0\n  3*100.000\n"
                       "  2*100.000\n    5.00********\n"}},
                     {"wide.mesh:5: the thickness of layer 2 is too wide for its field"}});
    cases.push_back({"a NetCDF file in a folder that does not exist",
                     {"netcdf", "grid.vol", "-o", "nosuch/out.nc"},
                     {},
                     {"cannot create 'nosuch/out.nc'"}});
  }
  if (TERVOX_VIEW_GDAL) {
    cases.push_back(
        {"a GeoTIFF of a volume a line short",
         {"geotiff", "short.vol", "--mesh", "grid.vol.mesh", "--all-layers", "-o", "out.tif"},
         {{"short.vol", short_volume}},
         {"short.vol: the file ends after 11 lines"}});
    cases.push_back({"a GeoTIFF of a layer out of range",
                     {"geotiff", "grid.vol", "--layer", "3", "-o", "out.tif"},
                     {},
                     {"grid.vol.mesh: layer 3 is out of range"}});
    cases.push_back({"an EPSG code the database lacks",
                     {"geotiff", "grid.vol", "--layer", "1", "--crs", "EPSG:1", "-o", "out.tif"},
                     {},
                     {"EPSG:1 is not in the EPSG database"}});
    cases.push_back({"an EPSG code of the description file that the database lacks",
                     {"geotiff", "grid.vol", "--layer", "1", "-o", "out.tif"},
                     {{"grid.vol.json", "{\"tervox_description\": 1, \"crs\": {\"epsg\": 1}}\n"}},
                     {"grid.vol.json: EPSG:1 is not in the EPSG database"}});
    cases.push_back({"a vertical coordinate system",
                     {"geotiff", "grid.vol", "--layer", "1", "--crs", "EPSG:5703", "-o", "out.tif"},
                     {},
                     {"EPSG:5703", "is not a horizontal coordinate system"}});
  }
  return cases;
}

TEST_F(view_command_line, bad_input_gives_one_message_and_status_1) {
  std::vector<failure_case> cases(std::begin(failure_cases), std::end(failure_cases));
  for (failure_case& c : library_failure_cases()) cases.push_back(std::move(c));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (!drawn_here(c.args[0]))
      continue;
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

// A file-size limit stands for a full disk: each writer reports the failure
// once, exits with status 1 and leaves nothing behind, whichever library
// wrote the file.
TEST_F(view_command_line, a_failed_write_leaves_nothing) {
  if (coverage_run())
    GTEST_SKIP() << "the limit would stop the test process writing its coverage counts";
  std::vector<std::vector<std::string>> commands;
  if (TERVOX_VIEW_CAIRO) {
    commands.push_back({"slice", "grid.vol", "--layer", "1", "-o", "out.png"});
    commands.push_back({"section", "grid.vol", "--row", "1", "-o", "out.svg"});
    commands.push_back({"section", "grid.vol", "--row", "1", "-o", "out.pdf"});
  }
  commands.push_back({"vtr", "grid.vol", "-o", "out.vtr"});
  if (TERVOX_VIEW_NETCDF)
    commands.push_back({"netcdf", "grid.vol", "-o", "out.nc"});
  if (TERVOX_VIEW_GDAL)
    commands.push_back({"geotiff", "grid.vol", "--all-layers", "-o", "out.tif"});
  for (const auto& args : commands) {
    SCOPED_TRACE(args[0] + " " + args.back());
    tool_options options(dir.path());
    options.file_size_limit = 512;
    const tool_run r = run_program(TERVOX_VIEW_EXE, args, options);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with("tervox-view: ")) << r.err;
    EXPECT_NE(r.err.find(args.back()), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(entries(), (std::vector<std::string>{"grid.vol", "grid.vol.mesh"}));
  }
}

// The usage, byte for byte: what --help prints.
const std::string usage =
    "usage: tervox-view slice VOLUME (--layer K | --depth D) -o OUT.png|svg|pdf\n"
    "                   [--soundings FILE] [picture options]\n"
    "       tervox-view section VOLUME (--row IY | --column IX | --line X1,Y1,X2,Y2[,...])\n"
    "                   -o OUT.png|svg|pdf\n"
    "                   [--height PIXELS] [picture options]\n"
    "       tervox-view vtr VOLUME -o OUT.vtr\n"
    "       tervox-view netcdf VOLUME -o OUT.nc [--crs EPSG:n] [--name NAME] [--units TEXT]\n"
    "       tervox-view geotiff VOLUME (--layer K | --all-layers) -o OUT.tif [--crs EPSG:n]\n"
    "\n"
    "  --mesh FILE          the mesh file of VOLUME (default: VOLUME.mesh), for every command\n"
    "  --soundings FILE     draw the sounding locations of FILE as dots\n"
    "  --depth D            the map of the layer holding depth D (a depth on a boundary:\n"
    "                       the deeper layer)\n"
    "  --line X1,Y1,X2,Y2[,...]\n"
    "                       a section along the line through these points of the grid's\n"
    "                       coordinates, sampled every cell size along its length\n"
    "  --height PIXELS      the depth of a section's drawing (default: 300)\n"
    "  --crs EPSG:n         the coordinate reference system of x and y (default: that\n"
    "                       of VOLUME.json, the description tervox writes of some volumes)\n"
    "  --name NAME          the name of the values in the NetCDF file (default: the\n"
    "                       property of VOLUME.json, else value)\n"
    "  --units TEXT         the units of the values (\"ohm m\"); in a picture, the label\n"
    "                       of the colour bar (default: those of VOLUME.json)\n"
    "  --all-layers         every layer, one band each\n"
    "picture options:\n"
    "  --scale auto|linear|log\n"
    "                       the colour scale; auto (the default) is logarithmic when\n"
    "                       every value is positive and the largest is at least 100\n"
    "                       times the smallest, over the whole volume\n"
    "  --range MIN MAX      the values at the two ends of the colour bar (default: the\n"
    "                       smallest and largest value shown)\n"
    "  --cell-pixels N      pixels per cell across, a map's cells to scale (default:\n"
    "                       the drawing 1000 pixels along its longer side)\n";

TEST_F(view_command_line, help_prints_the_usage_and_what_the_build_lacks) {
  std::string expected = usage;
  if (!TERVOX_VIEW_GDAL)
    expected += "\nThis build has no geotiff command: it needs GDAL (Debian: libgdal-dev).";
  if (!TERVOX_VIEW_NETCDF) {
    expected +=
        "\nThis build has no netcdf command: it needs the netCDF C library (Debian: "
        "libnetcdf-dev).";
  }
  if (!TERVOX_VIEW_CAIRO) {
    expected += "\nThis build has no section command: it needs cairo (Debian: libcairo2-dev).";
    expected += "\nThis build has no slice command: it needs cairo (Debian: libcairo2-dev).";
  }
  if (!TERVOX_VIEW_GDAL)
    expected +=
        "\nThis build takes no --crs, nor the coordinate system of VOLUME.json: it needs GDAL "
        "(Debian: libgdal-dev).";
  if (!TERVOX_VIEW_NETCDF || !TERVOX_VIEW_GDAL)
    expected += "\n";
  for (const char* help : {"--help", "-h"}) {
    const tool_run r = run({help});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.err, "");
  }
}

// Command lines in the forms the program takes, each of which writes its
// file: options before the volume, values after "=", "--output", an empty
// value where any text will do.
TEST_F(view_command_line, takes_each_form_of_option) {
  const std::vector<std::string> accepted[] = {
      {"vtr", "-o", "out.vtr", "grid.vol"},
      {"vtr", "--output=out.vtr", "grid.vol"},
      {"vtr", "--mesh=grid.vol.mesh", "grid.vol", "--output", "out.vtr"},
      {"vtr", "--mesh", "grid.vol.mesh", "-o", "out.vtr", "grid.vol"},
      {"slice", "--layer=2", "--units=", "grid.vol", "-o", "out.png"},
      {"slice", "grid.vol", "--layer", "+2", "-o", "out.PNG"},
      {"section", "--range", "-5", "5", "grid.vol", "--column", "1", "-o", "out.svg"},
      {"section", "grid.vol", "--row", "2", "--height", "50", "--cell-pixels=2", "--scale=auto",
       "-o", "out.pdf"},
  };
  for (const auto& args : accepted) {
    SCOPED_TRACE(::testing::PrintToString(args));
    if (!drawn_here(args[0]))
      continue;
    const tool_run r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> files = entries();
    EXPECT_EQ(files.size(), 3u);
    for (const std::string& f : files) {
      if (f != "grid.vol" && f != "grid.vol.mesh")
        std::filesystem::remove(dir / f);
    }
  }
}

struct refusal {
  std::vector<std::string> args;
  std::string message;  ///< the first line on standard error, without "tervox-view: "
};

// Each argument is read in turn: an unknown, misplaced, incomplete or
// repeated option is refused as it comes; then a missing volume or output;
// then the values, in a fixed order whatever their order on the line; then
// what the command needs.
const refusal usage_cases[] = {
    {{}, "no command"},
    {{"show", "grid.vol", "-o", "out.png"}, "unknown command 'show'"},
    {{"--help", "x"}, "unknown command '--help'"},
    {{"slice", "--help"}, "unknown option '--help'"},
    {{"slice", "grid.vol", "-o", "out.png"}, "a slice needs one of --layer K and --depth D"},
    {{"slice", "grid.vol", "--layer", "1", "--depth", "5", "-o", "out.png"},
     "a slice needs one of --layer K and --depth D"},
    {{"slice", "grid.vol", "--depth", "deep", "-o", "out.png"},
     "--depth needs a number, got 'deep'"},
    {{"slice", "grid.vol", "--depth", "nan", "-o", "out.png"}, "--depth needs a number, got 'nan'"},
    {{"section", "grid.vol", "--depth", "5", "-o", "out.png"},
     "the section command takes no --depth"},
    {{"section", "grid.vol", "--line", "0,0,10", "-o", "out.png"},
     "--line needs x,y pairs, got 3 numbers in '0,0,10'"},
    {{"section", "grid.vol", "--line", "0,0", "-o", "out.png"},
     "--line needs two points or more (X1,Y1,X2,Y2), got '0,0'"},
    {{"section", "grid.vol", "--line", "0,0,,1", "-o", "out.png"},
     "--line needs numbers separated by commas, got '0,0,,1'"},
    {{"section", "grid.vol", "--line", "0,0,1,1", "--row", "1", "-o", "out.png"},
     "a section needs one of --row IY, --column IX and --line X1,Y1,X2,Y2"},
    {{"slice", "grid.vol", "--layer", "two", "-o", "out.png"},
     "--layer needs a whole number of 1 or more, got 'two'"},
    {{"slice", "grid.vol", "--layer", "0", "-o", "out.png"},
     "--layer needs a whole number of 1 or more, got '0'"},
    {{"slice", "grid.vol", "--layer", "1"}, "no output file (-o FILE)"},
    {{"slice", "--layer", "1", "-o", "out.png"}, "no volume file"},
    {{"slice", "grid.vol", "--layer", "1", "-o", "out.png", "--row", "1"},
     "the slice command takes no --row"},
    {{"section", "grid.vol", "--row", "1", "--column", "1", "-o", "out.png"},
     "a section needs one of --row IY, --column IX and --line X1,Y1,X2,Y2"},
    {{"section", "grid.vol", "-o", "out.png"},
     "a section needs one of --row IY, --column IX and --line X1,Y1,X2,Y2"},
    {{"section", "grid.vol", "--row", "1", "-o", "out.png", "--scale", "logarithmic"},
     "--scale is auto, linear or log, got 'logarithmic'"},
    {{"vtr", "grid.vol", "-o", "out.vtr", "--cell-pixels", "4"},
     "the vtr command takes no --cell-pixels"},
    {{"vtr", "grid.vol", "-o", "out.vtr", "--crs", "EPSG:4326"}, "the vtr command takes no --crs"},
    {{"vtr", "grid.vol", "-o", "out.vtr", "--range", "1", "2"}, "the vtr command takes no --range"},
    {{"slice", "grid.vol", "--layer", "1", "-o", "out.jpg"},
     "a picture is written as .png, .svg or .pdf, got 'out.jpg'"},
    {{"slice", "grid.vol", "--layer", "1", "-o", "out"},
     "a picture is written as .png, .svg or .pdf, got 'out'"},
    {{"slice", "grid.vol", "--layer", "1", "-o", "out.png", "--range", "5", "1"},
     "--range needs two numbers MIN MAX with MIN < MAX, got '5' '1'"},
    {{"slice", "grid.vol", "--layer", "1", "-o", "out.png", "--range", "1", "1"},
     "--range needs two numbers MIN MAX with MIN < MAX, got '1' '1'"},
    {{"slice", "grid.vol", "--layer", "1", "-o", "out.png", "--range", "a", "1"},
     "--range needs two numbers MIN MAX with MIN < MAX, got 'a' '1'"},
    {{"slice", "grid.vol", "--layer", "1", "-o", "out.png", "--range", "1", "inf"},
     "--range needs two numbers MIN MAX with MIN < MAX, got '1' 'inf'"},
    {{"slice", "grid.vol", "--layer", "1", "-o", "out.png", "--range", "1"},
     "--range needs two values"},
    {{"slice", "grid.vol", "--layer", "1", "-o", "out.png", "--range=1", "2"},
     "--range needs two values"},
    {{"geotiff", "grid.vol", "-o", "out.tif"}, "a GeoTIFF needs one of --layer K and --all-layers"},
    {{"geotiff", "grid.vol", "--layer", "1", "--all-layers", "-o", "out.tif"},
     "a GeoTIFF needs one of --layer K and --all-layers"},
    {{"geotiff", "grid.vol", "--all-layers=yes", "-o", "out.tif"}, "--all-layers takes no value"},
    {{"geotiff", "grid.vol", "--all-layers=", "-o", "out.tif"}, "--all-layers takes no value"},
    {{"geotiff", "grid.vol", "--layer", "1", "--crs", "32633", "-o", "out.tif"},
     "--crs takes EPSG:n, a code of the EPSG database, got '32633'"},
    {{"geotiff", "grid.vol", "--layer", "1", "--crs", "EPSG:", "-o", "out.tif"},
     "--crs takes EPSG:n, a code of the EPSG database, got 'EPSG:'"},
    {{"geotiff", "grid.vol", "--layer", "1", "--name", "rho", "-o", "out.tif"},
     "the geotiff command takes no --name"},
    {{"netcdf", "grid.vol", "--name", "x", "-o", "out.nc"},
     "--name needs a letter and then letters, digits or '_', other than the names of the "
     "coordinates, got 'x'"},
    {{"netcdf", "grid.vol", "--name", "2rho", "-o", "out.nc"},
     "--name needs a letter and then letters, digits or '_', other than the names of the "
     "coordinates, got '2rho'"},
    {{"netcdf", "grid.vol", "--name", "rho-1", "-o", "out.nc"},
     "--name needs a letter and then letters, digits or '_', other than the names of the "
     "coordinates, got 'rho-1'"},
    {{"netcdf", "grid.vol", "--layer", "1", "-o", "out.nc"}, "the netcdf command takes no --layer"},
    {{"vtr", "grid.vol", "-o"}, "-o needs a value"},
    {{"vtr", "grid.vol", "--output"}, "-o needs a value"},
    {{"vtr", "grid.vol", "-o", ""}, "no output file (-o FILE)"},
    {{"vtr", "grid.vol", "--output="}, "no output file (-o FILE)"},
    {{"vtr", "grid.vol", "other.vol", "-o", "out.vtr"},
     "more than one volume file: 'grid.vol' and 'other.vol'"},
    // A value is the next argument, whatever it looks like.
    {{"slice", "grid.vol", "-o", "--layer", "1"}, "more than one volume file: 'grid.vol' and '1'"},
    {{"vtr", "-", "other.vol", "-o", "out.vtr"}, "more than one volume file: '-' and 'other.vol'"},
    // Repeated options, under either name.
    {{"vtr", "grid.vol", "-o", "a.vtr", "--output", "b.vtr"}, "-o is given twice"},
    {{"vtr", "grid.vol", "--output=a.vtr", "-o", "a.vtr"}, "-o is given twice"},
    {{"slice", "grid.vol", "--layer", "1", "--layer=1", "-o", "out.png"}, "--layer is given twice"},
    {{"geotiff", "grid.vol", "--all-layers", "--all-layers", "-o", "out.tif"},
     "--all-layers is given twice"},
    // "--" ends nothing; "=" splits only a long option.
    {{"vtr", "grid.vol", "-o", "out.vtr", "--"}, "unknown option '--'"},
    {{"vtr", "--", "grid.vol", "-o", "out.vtr"}, "unknown option '--'"},
    {{"vtr", "grid.vol", "--=x", "-o", "out.vtr"}, "unknown option '--'"},
    {{"vtr", "grid.vol", "-o=out.vtr"}, "unknown option '-o=out.vtr'"},
    {{"vtr", "grid.vol", "-o", "out.vtr", "--bogus=1"}, "unknown option '--bogus'"},
    {{"vtr", "grid.vol", "-o", "out.vtr", "-x"}, "unknown option '-x'"},
    {{"slice", "grid.vol", "--LAYER", "1", "-o", "out.png"}, "unknown option '--LAYER'"},
    // Which of several faults is named.
    {{"slice", "grid.vol", "--layer", "0", "-o", "out.png", "--bogus"}, "unknown option '--bogus'"},
    {{"slice", "--layer", "0", "-o", "out.png"}, "no volume file"},
    {{"slice", "grid.vol", "--layer", "0"}, "no output file (-o FILE)"},
    {{"slice", "grid.vol", "--scale", "x", "--layer", "0", "-o", "out.png"},
     "--layer needs a whole number of 1 or more, got '0'"},
    {{"slice", "grid.vol", "--layer", "1", "--range", "2", "1", "--cell-pixels", "0", "-o",
      "out.png"},
     "--cell-pixels needs a whole number of 1 or more, got '0'"},
    {{"section", "grid.vol", "--scale", "x", "--cell-pixels", "0", "--height", "0", "--row", "1",
      "-o", "out.png"},
     "--height needs a whole number of 1 or more, got '0'"},
    {{"section", "grid.vol", "--row", "1", "--range", "2", "1", "--scale", "x", "-o", "out.png"},
     "--scale is auto, linear or log, got 'x'"},
    {{"netcdf", "grid.vol", "--name", "x", "--crs", "EPSG:", "-o", "out.nc"},
     "--crs takes EPSG:n, a code of the EPSG database, got 'EPSG:'"},
    {{"slice", "grid.vol", "--layer", "0", "-o", "out.jpg"},
     "--layer needs a whole number of 1 or more, got '0'"},
    {{"section", "grid.vol", "-o", "out.jpg"},
     "a picture is written as .png, .svg or .pdf, got 'out.jpg'"},
};

// A refusal is two lines: the fault, then where the usage is; the usage
// itself would bury the fault.
TEST_F(view_command_line, refused_command_lines_name_the_fault_and_point_to_help) {
  for (const auto& c : usage_cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const tool_run r = run(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tervox-view: " + c.message +
                         "\nrun 'tervox-view --help' for the commands and their options\n");
    EXPECT_EQ(entries(), (std::vector<std::string>{"grid.vol", "grid.vol.mesh"}));
  }
}

// The description tervox writes beside some volumes: read by the commands
// that take its defaults, never written over, and its unit the label of a
// picture (the SVG carries the label as text).
TEST_F(view_command_line, the_description_beside_the_volume) {
  write_file(dir / "grid.vol.json", "not JSON");
  tool_run r = run({"vtr", "grid.vol", "-o", "out.vtr"});
  EXPECT_EQ(r.status, 0) << "vtr takes nothing from it: " << r.err;
  EXPECT_EQ(r.err, "");
  r = run({"vtr", "grid.vol", "-o", "grid.vol.json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(
      r.err,
      "tervox-view: output file 'grid.vol.json' is the input file 'grid.vol.json'; writing it "
      "would destroy the input\n");
  EXPECT_EQ(read_file(dir / "grid.vol.json"), "not JSON");
  std::filesystem::remove(dir / "grid.vol.json");
  std::filesystem::create_directory(dir / "grid.vol.json");
  r = run({"section", "grid.vol", "--row", "1", "-o", "out.svg"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "tervox-view: grid.vol.json: cannot read the description file: it is a "
            "directory\n");
  std::filesystem::remove(dir / "grid.vol.json");
  // Its coordinate system, where the build can write one; a word where not.
  if (TERVOX_VIEW_NETCDF) {
    write_file(dir / "grid.vol.json", "{\"tervox_description\": 1, \"crs\": {\"epsg\": 3857}}\n");
    r = run({"netcdf", "grid.vol", "-o", "out.nc"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, TERVOX_VIEW_GDAL ? ""
                                      : "tervox-view: grid.vol.json: warning: the coordinate "
                                        "system EPSG:3857 is not written: this tervox-view was "
                                        "built without GDAL (Debian: libgdal-dev)\n");
    std::filesystem::remove(dir / "out.nc");
  }
  if (!TERVOX_VIEW_CAIRO)
    return;
  write_file(dir / "grid.vol.json",
             "{\"tervox_description\": 1, \"property\": {\"name\": \"rho\", \"unit\": "
             "\"ohm m\"}}\n");
  for (const auto& [units, label] : {std::pair<std::vector<std::string>, std::string>{{}, "ohm m"},
                                     {{"--units", "S/m"}, "S/m"}}) {
    std::vector<std::string> args = {"slice", "grid.vol", "--layer", "1", "-o", "out.svg"};
    args.insert(args.end(), units.begin(), units.end());
    r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string svg = read_file(dir / "out.svg");
    EXPECT_NE(svg.find(label), std::string::npos) << label;
    if (!units.empty()) {
      EXPECT_EQ(svg.find("ohm m"), std::string::npos) << "--units wins";
    }
  }
}

// A grid and the coordinate system it is said to be in.
struct placement_case {
  const char* what;
  float xmin, ymin, cell;  ///< the corner of the 3 x 2 cells, and their size
  std::string crs;
  std::vector<std::string> warning;  ///< parts of the one warning line; none: no warning
};

const placement_case placement_cases[] = {
    {"a survey inside its zone", 500000, 7000000, 100, "EPSG:28354", {}},
    // 144 degrees east, the edge of the zone, is near x 797000 there.
    {"a survey across the edge of its zone", 780000, 7000000, 10000, "EPSG:28354", {}},
    {"a survey in degrees", 151.2f, -33.9f, 0.01f, "EPSG:4326", {}},
    {"x and y swapped",
     7000000,
     500000,
     100,
     "EPSG:28354",
     {"tervox-view: placed.vol: warning: the grid (x from 7000000 to 7000300, y from 500000 to "
      "500200) lies outside the area of use of EPSG:28354 (GDA94 / MGA zone 54), 138\u00b0E to ",
      "(Australia - onshore and offshore between 138\u00b0E and 144\u00b0E); in it the grid "
      "lies at 132.71\u00b0W to 132.71\u00b0W and 39.54\u00b0S to 39.54\u00b0S; x and y look "
      "swapped: with them swapped the grid lies inside the area\n"}},
    {"longitude and latitude swapped",
     -33.9f,
     151.2f,
     0.01f,
     "EPSG:4326",
     {"outside the area of use of EPSG:4326 (WGS 84)", "the grid has no place in it",
      "x and y look swapped"}},
    {"degrees in a projected system",
     151.2f,
     -33.9f,
     0.01f,
     "EPSG:28354",
     {"outside the area of use of EPSG:28354",
      "are x and y swapped, or is the grid in another system?\n"}},
};

// A grid outside the area its coordinate system is meant for gets one
// warning, and its file all the same: a grid can be meant to lie there.
TEST_F(view_command_line, a_grid_outside_the_area_of_its_system_is_warned_about) {
  if (!TERVOX_VIEW_GDAL)
    GTEST_SKIP() << "this build takes no --crs: it has nothing to place a grid in";
  for (const placement_case& c : placement_cases) {
    grid_fixture f = example();
    f.xmin = c.xmin;
    f.ymin = c.ymin;
    f.dx = f.dy = c.cell;
    f.write(dir / "placed.vol");
    std::vector<std::vector<std::string>> commands = {
        {"geotiff", "placed.vol", "--layer", "1", "--crs", c.crs, "-o", "placed.tif"}};
    if (TERVOX_VIEW_NETCDF)
      commands.push_back({"netcdf", "placed.vol", "--crs", c.crs, "-o", "placed.nc"});
    for (const auto& args : commands) {
      SCOPED_TRACE(std::string(c.what) + ": " + args[0]);
      const tool_run r = run(args);
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out, "");
      if (c.warning.empty()) {
        EXPECT_EQ(r.err, "");
      } else {
        EXPECT_TRUE(r.err.starts_with("tervox-view: placed.vol: warning: the grid (x from "))
            << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
      }
      for (const std::string& part : c.warning)
        EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
      EXPECT_TRUE(std::filesystem::exists(dir / args.back()));
      std::filesystem::remove(dir / args.back());
    }
  }
}

}  // namespace
}  // namespace tervox_test
