// A whole run after the reading step, on a tiny survey built from the bytes:
// location checks, log transform, grid placement, mesh text, ordering,
// triangulation and the streamed volume, as tervox::driver::run does them. The bytes
// choose coordinates and values from several kinds of numbers (any float bit
// pattern, small integers, wide-ranging powers of two, a previous number moved
// by a few ulps, short fractions), so that lattices, collinear and cocircular
// points, mixed magnitudes and points a hair off a line all come up.
//
// The survey is capped (at most 32 soundings, 3 layers, 2000 cells), so every
// input runs in milliseconds. What must hold:
//   * where the arithmetic decides exactly (see exact_arithmetic), the
//     construction never breaks down and reports nodes as collinear only
//     when they are; whatever the arithmetic, what it reports built passes
//     the adjacency check;
//   * the streamed volume, with 1 to 3 threads, is byte for byte the
//     plain sequence's, and both agree on a broken structure
//     (whatever the triangulation: both run the same point location).
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "base/output_file.hpp"
#include "formats/mesh_file.hpp"
#include "formats/soundings.hpp"
#include "fuzz_target.hpp"
#include "grid.hpp"
#include "plain/plain_volume.hpp"
#include "support/adjacency_check.hpp"
#include "support/exact_arithmetic.hpp"
#include "support/exact_predicates.hpp"
#include "support/files.hpp"
#include "triang/triang.hpp"
#include "volume.hpp"

namespace {

using tervox_test::byte_reader;
using tervox_test::require;

constexpr int max_soundings = 32;
constexpr int max_layers = 3;
constexpr std::int64_t max_cells = 2000;

// One number of the kind the next byte chooses; `previous` is the last
// number made, for the kind that nudges it.
float number(byte_reader& in, float& previous) {
  float v = 0;
  switch (in.byte() % 5) {
    case 0: {
      const std::uint32_t bits = in.u32();
      std::memcpy(&v, &bits, sizeof v);
      break;
    }
    case 1:
      v = static_cast<float>(static_cast<std::int8_t>(in.byte()));
      break;
    case 2: {
      const auto mantissa = static_cast<float>(static_cast<std::int8_t>(in.byte()));
      const int exponent = static_cast<int>(in.byte() % 201) - 100;
      v = std::ldexp(mantissa, exponent);
      break;
    }
    case 3: {
      const int steps = static_cast<int>(in.byte() % 9) - 4;
      v = previous;
      for (int i = 0; i < std::abs(steps); ++i) {
        v = std::nextafter(v, steps > 0 ? INFINITY : -INFINITY);
      }
      break;
    }
    default: {
      const auto hi = static_cast<std::uint16_t>(in.byte() << 8);
      const auto raw = static_cast<std::int16_t>(hi | in.byte());
      v = static_cast<float>(raw) / 256.0f;
      break;
    }
  }
  previous = v;
  return v;
}

// Writes the volume with `method` and returns whether it located every cell,
// and the file's bytes when it did.
template <class F>
bool volume_text(const std::filesystem::path& path, F&& method, std::string& text) {
  tervox::base::output_file file(path.string());
  require(file.open().ok(), "cannot open a volume file");
  if (!method(file))
    return false;
  const tervox::base::io_result r = file.commit();
  require(r.ok(), "cannot write a volume file");
  text = tervox_test::read_file(path);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const tervox_test::capped_scope memory_limit;
  byte_reader in(data, size);
  tervox::formats::survey s;
  s.nsound = 3 + in.byte() % (max_soundings - 2);
  const std::uint8_t shape = in.byte();
  s.nlayer = 1 + shape % max_layers;
  const bool log_mode = (shape >> 2 & 1) != 0;
  const int threads = 1 + (shape >> 3) % 3;
  float previous = 0;
  const float dx = number(in, previous);
  const float dy = number(in, previous);

  const auto n = static_cast<std::size_t>(s.nsound);
  s.dz.assign(static_cast<std::size_t>(s.nlayer - 1), 2.5f);
  s.dat.resize(n * static_cast<std::size_t>(s.nlayer));
  for (std::size_t i = 0; i < n; ++i) {
    s.xloc.push_back(number(in, previous));
    s.yloc.push_back(number(in, previous));
    for (int k = 1; k <= s.nlayer; ++k) {
      s.dat[static_cast<std::size_t>(k - 1) * n + i] = number(in, previous);
    }
  }

  // From here on, the steps of a run after the reader.
  if (!tervox::formats::check_locations(s, "fuzz.txt").empty())
    return 0;
  if (log_mode) {
    for (float& v : s.dat) v = static_cast<float>(std::log(static_cast<double>(v)));
  }
  const tervox::driver::axis_placement ax = tervox::driver::place_axis(s.xloc, dx);
  const tervox::driver::axis_placement ay = tervox::driver::place_axis(s.yloc, dy);
  if (!ax.fits || !ay.fits)
    return 0;
  const tervox::formats::grid g{ax.min, ay.min, ax.count, ay.count, dx, dy};
  // Either count alone is capped too: the plain sequence walks the
  // rows of a grid without columns.
  const std::int64_t nx = std::max(g.nx, 0);
  const std::int64_t ny = std::max(g.ny, 0);
  if (nx > max_cells || ny > max_cells || nx * ny > max_cells)
    return 0;
  const std::string mesh = tervox::formats::mesh_text({g, s.nlayer, s.dz});
  require(std::count(mesh.begin(), mesh.end(), '\n') == 5, "a mesh text not of five lines");

  const int nodes = s.nsound;
  std::vector<int> ind(n);
  triang::reordr(nodes, 3, s.xloc, s.yloc, s.layer(1), ind);
  for (int k = 2; k <= s.nlayer; ++k) triang::permut(nodes, ind, s.layer(k));
  std::vector<int> iadj(6 * n - 9);
  std::vector<int> iend(n);
  const bool exact = tervox_test::exact_arithmetic(s.xloc) && tervox_test::exact_arithmetic(s.yloc);
#ifndef NDEBUG
  // With assertions on, the library stops the process where a walk exceeds
  // its bound, which rounded arithmetic can bring about. The fuzz build has
  // them off, as the tool has, and so has the optimised test build, whose
  // replay of the corpus takes these inputs through the construction and
  // the volume: the guards must then report it.
  if (!exact)
    return 0;
#endif
  int ier = -1;
  triang::trmesh(nodes, s.xloc, s.yloc, iadj, iend, ier);
  require(!exact || ier != triang::trmesh_ier::broken,
          "trmesh broke down on coordinates it decides exactly");
  require(
      !exact || ier != triang::trmesh_ier::collinear || tervox_test::all_collinear(s.xloc, s.yloc),
      "trmesh reported nodes as collinear that are not");
  if (ier != triang::trmesh_ier::ok)
    return 0;
  // Success means a valid triangulation, however the coordinates round.
  const std::string problem = tervox_test::check_adjacency(nodes, s.xloc, s.yloc, iadj, iend);
  require(problem.empty(), "trmesh reported success for an invalid triangulation");

  const tervox::driver::node_data data_nodes{nodes, s.nlayer, s.xloc, s.yloc, s.dat, iadj, iend};
  // One per input, in memory where it can be: libFuzzer often ends with
  // _Exit, which would leave a folder made once per process behind.
  const tervox_test::temp_folder folder(true);
  std::string streamed;
  std::string plain;
  std::optional<tervox::driver::volume_plan> plan;
  const bool streamed_ok = volume_text(
      folder / "streamed.vol",
      [&](tervox::base::output_file& f) {
        plan = tervox::driver::plan_volume(data_nodes, g, threads);
        return plan &&
               tervox::driver::write_planned_volume(*plan, data_nodes, g, log_mode, f, threads);
      },
      streamed);
  // The plan counts a cell short where layer 1 is located outside the hull;
  // a cell inside whose layer-1 value is exactly the fill value is short too,
  // 3 bytes a layer less than counted.
  if (streamed_ok) {
    const std::uint64_t planned = plan->file_bytes();
    require(planned >= streamed.size() &&
                (planned - streamed.size()) % (3 * static_cast<std::uint64_t>(s.nlayer)) == 0,
            "the planned size of the volume is not the size written");
  }
  const bool plain_ok = volume_text(
      folder / "plain.vol",
      [&](tervox::base::output_file& f) {
        return tervox_test::plain_volume(data_nodes, g, log_mode, f);
      },
      plain);
  require(streamed_ok == plain_ok, "only one volume found the structure broken");
  require(streamed == plain, "the streamed volume differs from the plain sequence's");
  return 0;
}
