#include "volume.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <triang/triang.hpp>

#include "formats/volume_line.hpp"
#include "ordered_blocks.hpp"

namespace tervox::driver {

using base::output_file;
using formats::grid;
using formats::long_line_size;
using formats::put_long;
using formats::put_short;
using formats::short_line_size;

float fill_value(bool log_mode) {
  // The constant is the single-precision 1e-10; its logarithm is taken in
  // double and stored in single like every other value.
  return log_mode ? static_cast<float>(std::log(static_cast<double>(1.0e-10f))) : -100.0f;
}

float back_transform(float v, bool log_mode) {
  return log_mode ? static_cast<float>(std::exp(static_cast<double>(v))) : v;
}

float cell_centre(int i, float d, float min) {
  return static_cast<float>((static_cast<double>(i) - 0.5) * static_cast<double>(d) +
                            static_cast<double>(min));
}

// ---------------------------------------------------------------------------
// The streamed volume
// ---------------------------------------------------------------------------
//
// Why one point location per cell gives the same answers as one per value.
// Point location is a pure function of its start node, the point and the
// triangulation, and every call starts from the first node the previous call
// returned. Number the cells 0..N-1 in the order of one layer's pass (row by
// row, x fastest). The pass over layer k is then a chain: its start node at
// cell c decides every later answer of that pass, vertex order included, and
// with it the barycentric weights. Layer 1 starts at node 1; layer k+1 starts
// where layer k ended.
//
// So as soon as the pass over layer k reaches a cell with the same start node
// that the pass over layer k-1 had there, it repeats layer k-1's answers for
// the rest of the grid, and ends on the same node. Then layer k+1 starts where
// layer k did, and every later layer repeats layer k. Usually layer 2 agrees
// with layer 1 from the first cell or within a few; where it does not, its own
// chain is run until it joins.
//
// A location-only pre-pass finds where each chain joins the previous one and
// records each chain's start node at the first cell of every block of cells.
// The blocks are then independent: any thread can compute a block, and the
// writer takes them in file order.

// Where each layer's chain comes from. Chain j (0-based) is the pass over
// layer j+1; layers beyond the last chain repeat the last chain.
struct chain_plan {
  std::int64_t cells = 0;
  std::int64_t block = 1;  // cells per block
  // join[j]: first cell from which chain j repeats chain j-1 (cells if never).
  std::vector<std::int64_t> join;
  // start[j][b]: chain j's start node at the first cell of block b, for every
  // block that begins before join[j].
  std::vector<std::vector<int>> start;
  // The cells that chain 0, layer 1's pass, locates outside the hull.
  std::int64_t exterior = 0;

  std::size_t chain_of_layer(int k) const {
    return std::min(static_cast<std::size_t>(k - 1), join.size() - 1);
  }
  std::int64_t blocks() const { return (cells + block - 1) / block; }
};

namespace {

enum class cell_kind : unsigned char { inside, exterior, degenerate };

// What the interpolation routine decides for one cell, independent of the
// layer's values: the containing triangle (in the order point location gave
// it) and the barycentric weights.
struct cell_location {
  cell_kind kind = cell_kind::degenerate;
  int nv1 = 0, nv2 = 0, nv3 = 0;
  std::array<float, 3> r{};
};

class cell_grid {
 public:
  cell_grid(const grid& g) : g_(g), nx_(g.nx) {}
  std::int64_t count() const { return g_.nx > 0 && g_.ny > 0 ? std::int64_t{g_.nx} * g_.ny : 0; }
  // Centre of cell c, numbered from 0 in file order.
  float px(std::int64_t c) const {
    return cell_centre(static_cast<int>(c % nx_) + 1, g_.dx, g_.xmin);
  }
  float py(std::int64_t c) const {
    return cell_centre(static_cast<int>(c / nx_) + 1, g_.dy, g_.ymin);
  }

 private:
  grid g_;
  std::int64_t nx_;
};

// Point location and weights for one cell, exactly as the interpolation
// routine computes them, minus the boundary walk for exterior points (whose
// value the driver replaces by the fill value anyway). `istart` is carried
// from call to call. Returns false if point location reported a broken
// structure.
bool locate_cell(const node_data& nodes, float px, float py, int& istart, cell_location& out) {
  int nv1 = 0, nv2 = 0, nv3 = 0;
  triang::trfind(istart, px, py, nodes.xloc, nodes.yloc, nodes.iadj, nodes.iend, nv1, nv2, nv3);
  if (nv1 == triang::trfind_failed)
    return false;
  out.kind = cell_kind::degenerate;
  if (nv1 == triang::outside)
    return true;
  istart = nv1;  // as the interpolation routine leaves it (see advance_start)
  if (nv3 == triang::outside) {
    out.kind = cell_kind::exterior;
    return true;
  }
  const triang::one_based<const float> x(nodes.xloc);
  const triang::one_based<const float> y(nodes.yloc);
  int ier = 0;
  triang::coords(px, py, x[nv1], x[nv2], x[nv3], y[nv1], y[nv2], y[nv3], out.r, ier);
  if (ier != triang::coords_ier::ok)
    return true;
  out = cell_location{cell_kind::inside, nv1, nv2, nv3, out.r};
  return true;
}

// Only the start node that locate_cell leaves for the next cell, without the
// weights: all that the pre-pass needs. `exterior`, when given, counts the
// cells that locate_cell calls exterior, the ones written in the short form.
bool advance_start(const node_data& nodes, float px, float py, int& istart,
                   std::int64_t* exterior = nullptr) {
  int nv1 = 0, nv2 = 0, nv3 = 0;
  triang::trfind(istart, px, py, nodes.xloc, nodes.yloc, nodes.iadj, nodes.iend, nv1, nv2, nv3);
  if (nv1 == triang::trfind_failed)
    return false;
  if (nv1 != triang::outside) {
    istart = nv1;
    if (exterior != nullptr && nv3 == triang::outside)
      ++*exterior;
  }
  return true;
}

// One stretch of chain 0, whole blocks [first_block, end_block), followed
// from a start node that may be a guess.
struct chain_segment {
  std::int64_t first_block = 0, end_block = 0;
  int guess = 1;
  std::vector<int> block_start;  // the start node at each block's first cell
  std::vector<int> head;         // the start node at each of the first cells
  // The exterior cells before each of the first cells, and in the whole
  // segment: where the true chain meets the guessed one, the count of the
  // rest of the segment is their difference.
  std::vector<std::int64_t> head_exterior;
  std::int64_t exterior = 0;
  int end = 1;  // the start node after the last cell
  bool ok = true;
};

// `located`, when given, counts the cells followed, for a progress line.
void run_segment(const node_data& nodes, const cell_grid& cells, std::int64_t block,
                 chain_segment& seg, std::atomic<std::int64_t>* located) {
  const std::int64_t first = seg.first_block * block;
  const std::int64_t end = std::min(seg.end_block * block, cells.count());
  int istart = seg.guess;
  std::int64_t counted = first;
  const auto count = [&](std::int64_t upto) {
    if (located != nullptr)
      located->fetch_add(upto - counted, std::memory_order_relaxed);
    counted = upto;
  };
  for (std::int64_t c = first; c < end; ++c) {
    if (c % block == 0) {
      seg.block_start.push_back(istart);
      count(c);
    }
    if (seg.head.size() < seg.head.capacity()) {
      seg.head.push_back(istart);
      seg.head_exterior.push_back(seg.exterior);
    }
    if (!advance_start(nodes, cells.px(c), cells.py(c), istart, &seg.exterior)) {
      seg.ok = false;
      return;
    }
  }
  count(end);
  seg.end = istart;
}

// Follows chain 0 (layer 1's pass, from node 1) over the whole grid, records
// its start node at the first cell of every block in plan.start[0] and its
// exterior cells in plan.exterior, and leaves its last start node in `end`.
//
// With several threads the grid is cut into segments of whole blocks, each
// followed from a guessed start node at the same time. The guess is where a
// walk from node 1 ends at the cell before the segment, usually the true
// start node or a neighbour of it. Then, in order, the true chain is followed
// into each segment from where the previous one ended, until its start node
// meets the guessed chain's at a cell: from there on both are the same chain,
// so the guessed segment's start nodes are the true ones. Where they do not
// meet within the first cells, the rest of the segment is followed again.
bool follow_chain0(const node_data& nodes, const cell_grid& cells, int threads, chain_plan& plan,
                   int& end, std::atomic<std::int64_t>* located) {
  const std::int64_t block = plan.block;
  const std::int64_t blocks = plan.blocks();
  const std::int64_t segments = threads > 1 && blocks >= 2 * std::int64_t{threads} ? threads : 1;
  constexpr std::size_t head_cells = 4096;
  std::vector<chain_segment> segs(static_cast<std::size_t>(segments));
  for (std::int64_t t = 0; t < segments; ++t) {
    chain_segment& seg = segs[static_cast<std::size_t>(t)];
    seg.first_block = blocks * t / segments;
    seg.end_block = blocks * (t + 1) / segments;
    // Room is made here, so that the threads never allocate.
    seg.block_start.reserve(static_cast<std::size_t>(seg.end_block - seg.first_block));
    seg.head.reserve(t == 0 ? 0 : head_cells);
    seg.head_exterior.reserve(seg.head.capacity());
    if (t > 0) {
      const std::int64_t before = seg.first_block * block - 1;
      seg.guess = 1;
      if (!advance_start(nodes, cells.px(before), cells.py(before), seg.guess))
        return false;
    }
  }
  {
    std::vector<std::jthread> pool;
    for (std::size_t t = 1; t < segs.size(); ++t) {
      try {
        pool.emplace_back([&, t] { run_segment(nodes, cells, block, segs[t], located); });
      } catch (const std::system_error&) {
        run_segment(nodes, cells, block, segs[t], located);  // no thread to be had: here, then
      }
    }
    run_segment(nodes, cells, block, segs[0], located);
  }  // the threads have ended

  std::vector<int>& starts = plan.start[0];
  starts = std::move(segs[0].block_start);
  if (!segs[0].ok)
    return false;
  int state = segs[0].end;
  std::int64_t exterior = segs[0].exterior;
  for (std::size_t t = 1; t < segs.size(); ++t) {
    chain_segment& seg = segs[t];
    const std::int64_t first = seg.first_block * block;
    const std::int64_t last = std::min(seg.end_block * block, cells.count());
    // Follow the true chain until it meets the guessed one at a cell; past
    // the guessed chain's first cells, this follows the rest of the segment.
    std::int64_t c = first;
    bool met = false;
    for (std::size_t i = 0; c < last; ++c, ++i) {
      if (i < seg.head.size() && seg.head[i] == state) {
        met = true;
        break;
      }
      if (c % block == 0)
        starts.push_back(state);
      if (!advance_start(nodes, cells.px(c), cells.py(c), state, &exterior))
        return false;
    }
    if (met) {
      // The same chain from cell c on: it fails where the guessed one did.
      if (!seg.ok)
        return false;
      const std::size_t from = static_cast<std::size_t>((c - first + block - 1) / block);
      starts.insert(starts.end(), seg.block_start.begin() + static_cast<std::ptrdiff_t>(from),
                    seg.block_start.end());
      exterior += seg.exterior - seg.head_exterior[static_cast<std::size_t>(c - first)];
      state = seg.end;
    }
  }
  end = state;
  plan.exterior = exterior;
  return true;
}

bool plan_chains(const node_data& nodes, const cell_grid& cells, std::int64_t block, int threads,
                 chain_plan& plan, std::atomic<std::int64_t>* located) {
  plan.cells = cells.count();
  plan.block = block;

  // Chain 0 over the whole grid gives layer 2's start node.
  plan.join.push_back(plan.cells);
  plan.start.emplace_back();
  int next_start = 1;
  if (!follow_chain0(nodes, cells, threads, plan, next_start, located))
    return false;

  for (int k = 2; k <= nodes.nlayer; ++k) {
    // Run chain j beside chain j-1 until their start nodes meet at a cell.
    const std::size_t j = plan.join.size();
    int prev = plan.start[j - 1].empty() ? next_start : plan.start[j - 1][0];
    int own = next_start;
    std::int64_t c = 0;
    plan.start.emplace_back();
    for (; c < plan.cells && own != prev; ++c) {
      if (c % block == 0)
        plan.start[j].push_back(own);
      if (!advance_start(nodes, cells.px(c), cells.py(c), prev) ||
          !advance_start(nodes, cells.px(c), cells.py(c), own))
        return false;
    }
    plan.join.push_back(c);
    if (c < plan.cells || plan.cells == 0)
      break;  // joined: every later layer starts where this one did
    next_start = own;
  }
  return true;
}

// The layer values of every node side by side (node-major), so that the
// values of one cell's three vertices for all layers are three short runs of
// memory instead of 3*nlayer reads scattered over the layer columns.
class node_values {
 public:
  node_values(const node_data& nodes)
      : nlayer_(static_cast<std::size_t>(nodes.nlayer)),
        values_(static_cast<std::size_t>(nodes.nsound) * nlayer_) {
    for (int k = 1; k <= nodes.nlayer; ++k) {
      const std::span<const float> column = nodes.layer(k);
      for (std::size_t i = 0; i < column.size(); ++i)
        values_[i * nlayer_ + static_cast<std::size_t>(k - 1)] = column[i];
    }
  }
  // The nlayer values of node `node` (1-based), layer 1 first.
  const float* of(int node) const {
    return values_.data() + static_cast<std::size_t>(node - 1) * nlayer_;
  }

 private:
  std::size_t nlayer_;
  std::vector<float> values_;
};

// What the writer needs of the layer sets beyond volume_masks::layer_sets:
// each set's chain (its pass over the grid from its node 1, as the only
// chain of a survey of its own) at the first cell of every block, and its
// values side by side. A set without a triangulation has no chain.
struct set_chains {
  std::vector<std::vector<int>> start;
  std::vector<node_values> values;
};

bool same_location(const cell_location& a, const cell_location& b) {
  return a.kind == b.kind && a.nv1 == b.nv1 && a.nv2 == b.nv2 && a.nv3 == b.nv3 && a.r == b.r;
}

// Fills the text of block b: all layers of every cell, in file order.
class block_writer {
 public:
  block_writer(const node_data& nodes, const node_values& values, const cell_grid& cells,
               const chain_plan& plan, bool log_mode, const volume_masks& masks,
               const set_chains& sets)
      : nodes_(nodes),
        values_(values),
        cells_(cells),
        plan_(plan),
        log_mode_(log_mode),
        masks_(masks),
        sets_(sets),
        max_dsq_(static_cast<double>(masks.max_distance) * static_cast<double>(masks.max_distance)),
        fill_(back_transform(fill_value(log_mode), log_mode)),
        zero_(back_transform(0.0f, log_mode)),
        locs_(plan.join.size(), std::vector<cell_location>(static_cast<std::size_t>(plan.block))),
        set_locs_(masks.layer_sets.size(),
                  std::vector<cell_location>(static_cast<std::size_t>(plan.block))),
        cell_(static_cast<std::size_t>(nodes.nlayer)) {}

  static std::size_t max_bytes(const chain_plan& plan, int nlayer) {
    return static_cast<std::size_t>(plan.block) * static_cast<std::size_t>(nlayer) * long_line_size;
  }

  // Returns false if point location reported a broken structure.
  // The text goes to the front of `text`, which keeps the size of the
  // largest block so that it is never shrunk and refilled block after block;
  // `used` receives the block's length.
  bool fill_block(std::int64_t b, std::vector<char>& text, std::size_t& used) {
    const std::int64_t first = b * plan_.block;
    const std::int64_t end = std::min(first + plan_.block, plan_.cells);
    const std::size_t count = static_cast<std::size_t>(end - first);
    for (std::size_t j = 0; j < locs_.size(); ++j) {
      const std::int64_t own_end = std::min(end, plan_.join[j]);
      std::size_t i = 0;
      if (first < own_end) {
        int istart = plan_.start[j][static_cast<std::size_t>(b)];
        for (std::int64_t c = first; c < own_end; ++c, ++i) {
          if (!locate_cell(nodes_, cells_.px(c), cells_.py(c), istart, locs_[j][i]))
            return false;
        }
      }
      for (; i < count; ++i) locs_[j][i] = locs_[j - 1][i];
    }
    if (masks_.max_distance > 0)
      mask_far_cells(first, count);
    for (std::size_t t = 0; t < set_locs_.size(); ++t) {
      if (!locate_set(t, b, first, count))
        return false;
    }

    if (text.size() < max_bytes(plan_, nodes_.nlayer))
      text.resize(max_bytes(plan_, nodes_.nlayer));
    char* p = text.data();
    for (std::size_t i = 0; i < count; ++i) {
      cell_values(i);
      if (!set_locs_.empty())
        set_layer_values(i);
      // The form is chosen from layer 1 alone; a NaN never equals the fill.
      if (cell_[0] == fill_) {
        p = put_short(p, cell_);
      } else {
        p = put_long(p, cell_);
      }
    }
    used = static_cast<std::size_t>(p - text.data());
    return true;
  }

 private:
  // Cells whose centre lies farther than the limit from every sounding
  // become filled cells in every layer. Only cells that layer 1 locates
  // inside a triangle need the test: a cell outside the hull in layer 1 is
  // filled there already, and can be inside in another layer only when its
  // centre is a boundary node, at distance 0. The walk to the nearest node
  // starts at a vertex of the cell's own triangle, a step or two away.
  void mask_far_cells(std::int64_t first, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      const cell_location& loc = locs_[0][i];
      if (loc.kind != cell_kind::inside)
        continue;
      const std::int64_t c = first + static_cast<std::int64_t>(i);
      if (beyond_limit(nodes_, loc, cells_.px(c), cells_.py(c))) {
        for (auto& chain : locs_) chain[i].kind = cell_kind::exterior;
      }
    }
  }

  // True when the centre (px, py), inside the triangle `loc` of `nodes`,
  // lies farther than the limit from every node. A vertex of the triangle
  // within the limit settles it without a walk, as it does for most cells
  // when the limit exceeds the spacing.
  bool beyond_limit(const node_data& nodes, const cell_location& loc, float px, float py) const {
    if (within_limit(nodes, loc.nv1, px, py) || within_limit(nodes, loc.nv2, px, py) ||
        within_limit(nodes, loc.nv3, px, py))
      return false;
    double dsq = 0;
    triang::nearnd(loc.nv1, px, py, nodes.xloc, nodes.yloc, nodes.iadj, nodes.iend, dsq);
    return dsq > max_dsq_;
  }

  bool within_limit(const node_data& nodes, int node, float px, float py) const {
    const triang::one_based<const float> x(nodes.xloc);
    const triang::one_based<const float> y(nodes.yloc);
    const double dx = static_cast<double>(x[node]) - static_cast<double>(px);
    const double dy = static_cast<double>(y[node]) - static_cast<double>(py);
    return dx * dx + dy * dy <= max_dsq_;
  }

  // Locates the cells of block b in layer set t's own triangulation, along
  // the set's chain; a centre the distance limit puts out of the set's reach
  // counts as outside its hull. A set without a triangulation locates
  // nothing.
  bool locate_set(std::size_t t, std::int64_t b, std::int64_t first, std::size_t count) {
    const node_data& nodes = masks_.layer_sets[t].nodes;
    if (nodes.iadj.empty())
      return true;
    std::vector<cell_location>& locs = set_locs_[t];
    int istart = sets_.start[t][static_cast<std::size_t>(b)];
    for (std::size_t i = 0; i < count; ++i) {
      const std::int64_t c = first + static_cast<std::int64_t>(i);
      const float px = cells_.px(c);
      const float py = cells_.py(c);
      if (!locate_cell(nodes, px, py, istart, locs[i]))
        return false;
      if (masks_.max_distance > 0 && locs[i].kind == cell_kind::inside &&
          beyond_limit(nodes, locs[i], px, py))
        locs[i].kind = cell_kind::exterior;
    }
    return true;
  }

  // The layers of the sets at cell i of the block, over what cell_values
  // put there from the run's triangulation: outside the whole survey's hull
  // they stay filled, inside it each takes its set's value.
  void set_layer_values(std::size_t i) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    for (std::size_t t = 0; t < set_locs_.size(); ++t) {
      const layer_set& set = masks_.layer_sets[t];
      const cell_location& own = set_locs_[t][i];
      const bool triangulated = !set.nodes.iadj.empty();
      for (std::size_t j = 0; j < set.layers.size(); ++j) {
        const int k = set.layers[j];
        if (locs_[plan_.chain_of_layer(k)][i].kind == cell_kind::exterior)
          continue;
        const std::size_t at = static_cast<std::size_t>(k - 1);
        if (!triangulated || own.kind == cell_kind::exterior) {
          cell_[at] = nan;
        } else if (own.kind == cell_kind::degenerate) {
          cell_[at] = zero_;
        } else {
          const float* v = sets_.values[t].of(1);
          const std::size_t width = set.layers.size();
          const auto value = [&](int node) {
            return v[static_cast<std::size_t>(node - 1) * width + j];
          };
          cell_[at] = back_transform(weighted(own, value(own.nv1), value(own.nv2), value(own.nv3)),
                                     log_mode_);
          if (!set.doi.empty()) {
            const triang::one_based<const float> doi(set.doi);
            if (masks_.tops[at] >
                static_cast<double>(weighted(own, doi[own.nv1], doi[own.nv2], doi[own.nv3])))
              cell_[at] = nan;
          }
        }
      }
    }
  }

  // The interpolation routine's sum over a triangle, rounded to single.
  static float weighted(const cell_location& loc, float z1, float z2, float z3) {
    return static_cast<float>(static_cast<double>(z1) * static_cast<double>(loc.r[0]) +
                              static_cast<double>(z2) * static_cast<double>(loc.r[1]) +
                              static_cast<double>(z3) * static_cast<double>(loc.r[2]));
  }

  // All layers' values at cell i of the block into cell_, as the
  // interpolation routine and the back-transform leave them. Usually every
  // layer has the same location there; where the chains still differ, each
  // layer takes its own.
  void cell_values(std::size_t i) {
    const cell_location& common = locs_[0][i];
    bool uniform = true;
    for (std::size_t j = 1; j < locs_.size() && uniform; ++j)
      uniform = same_location(locs_[j][i], common);
    if (uniform) {
      layer_values(common, 0, cell_.size());
      return;
    }
    for (std::size_t k = 0; k < cell_.size(); ++k)
      layer_values(locs_[plan_.chain_of_layer(static_cast<int>(k) + 1)][i], k, k + 1);
  }

  // Layers first+1 .. last of one cell located at `loc`, into cell_.
  void layer_values(const cell_location& loc, std::size_t first, std::size_t last) {
    switch (loc.kind) {
      case cell_kind::inside: {
        const float* z1 = values_.of(loc.nv1);
        const float* z2 = values_.of(loc.nv2);
        const float* z3 = values_.of(loc.nv3);
        const double r1 = static_cast<double>(loc.r[0]);
        const double r2 = static_cast<double>(loc.r[1]);
        const double r3 = static_cast<double>(loc.r[2]);
        for (std::size_t k = first; k < last; ++k) {
          const float pz =
              static_cast<float>(static_cast<double>(z1[k]) * r1 + static_cast<double>(z2[k]) * r2 +
                                 static_cast<double>(z3[k]) * r3);
          cell_[k] = back_transform(pz, log_mode_);
        }
        if (!masks_.doi.empty())
          mask_below_doi(loc, first, last);
        return;
      }
      case cell_kind::exterior:
        std::fill(cell_.begin() + static_cast<std::ptrdiff_t>(first),
                  cell_.begin() + static_cast<std::ptrdiff_t>(last), fill_);
        return;
      case cell_kind::degenerate:
        break;
    }
    std::fill(cell_.begin() + static_cast<std::ptrdiff_t>(first),
              cell_.begin() + static_cast<std::ptrdiff_t>(last), zero_);
  }

  // Layers first+1 .. last whose top lies deeper than the depth of
  // investigation at the cell become not-a-number. The depth is interpolated
  // like a layer value, over the same triangle with the same weights.
  void mask_below_doi(const cell_location& loc, std::size_t first, std::size_t last) {
    const triang::one_based<const float> doi(masks_.doi);
    const float depth =
        static_cast<float>(static_cast<double>(doi[loc.nv1]) * static_cast<double>(loc.r[0]) +
                           static_cast<double>(doi[loc.nv2]) * static_cast<double>(loc.r[1]) +
                           static_cast<double>(doi[loc.nv3]) * static_cast<double>(loc.r[2]));
    for (std::size_t k = first; k < last; ++k) {
      if (masks_.tops[k] > static_cast<double>(depth))
        cell_[k] = std::numeric_limits<float>::quiet_NaN();
    }
  }

  const node_data& nodes_;
  const node_values& values_;
  const cell_grid& cells_;
  const chain_plan& plan_;
  bool log_mode_;
  const volume_masks& masks_;
  const set_chains& sets_;
  double max_dsq_;
  float fill_;
  float zero_;
  std::vector<std::vector<cell_location>> locs_;
  std::vector<std::vector<cell_location>> set_locs_;  // per layer set, as locs_
  std::vector<float> cell_;  // the values of the cell being written, layer 1 first
};

// Follows the chain of every layer set that has a triangulation, as
// follow_chain0 follows the run's first chain, in the plan's blocks; a
// `meter`, when given, hears of it as gridding. False if point location
// reported a broken structure.
bool plan_set_chains(std::span<const layer_set> layer_sets, const cell_grid& cells,
                     const chain_plan& plan, int threads, set_chains& sets, progress_meter* meter) {
  sets.start.resize(layer_sets.size());
  sets.values.reserve(layer_sets.size());
  for (std::size_t t = 0; t < layer_sets.size(); ++t) {
    const node_data& nodes = layer_sets[t].nodes;
    sets.values.emplace_back(nodes);
    if (nodes.iadj.empty())
      continue;
    if (meter != nullptr)
      meter->begin(run_phase::gridding, cells.count());
    chain_plan chain;
    chain.cells = plan.cells;
    chain.block = plan.block;
    chain.join.push_back(plan.cells);
    chain.start.emplace_back();
    int end = 1;
    if (!follow_chain0(nodes, cells, threads, chain, end, meter ? &meter->counter() : nullptr))
      return false;
    sets.start[t] = std::move(chain.start[0]);
  }
  return true;
}

}  // namespace

volume_plan::volume_plan() = default;
volume_plan::~volume_plan() = default;
volume_plan::volume_plan(volume_plan&&) noexcept = default;
volume_plan& volume_plan::operator=(volume_plan&&) noexcept = default;

std::optional<volume_plan> plan_volume(const node_data& nodes, const grid& g, int threads,
                                       std::int64_t block_cells, progress_meter* meter) {
  volume_plan planned;
  const cell_grid cells(g);
  if (cells.count() == 0 || nodes.nlayer < 1)
    return planned;

  // About a megabyte of text per block: large writes, small buffers.
  const std::int64_t bytes_per_cell =
      static_cast<std::int64_t>(nodes.nlayer) * static_cast<std::int64_t>(long_line_size);
  const std::int64_t block =
      block_cells > 0 ? block_cells
                      : std::max<std::int64_t>(1, (std::int64_t{1} << 20) / bytes_per_cell);
  if (meter != nullptr)
    meter->begin(run_phase::gridding, cells.count());
  auto plan = std::make_unique<chain_plan>();
  if (!plan_chains(nodes, cells, block, threads, *plan, meter ? &meter->counter() : nullptr))
    return std::nullopt;

  // Layer 1 alone chooses each cell's form, so its chain gives the size. The
  // counts are below 2^62 and the bytes of a line at most 12, but nlayer
  // times that can pass 64 bits: such a size saturates, as it fits nowhere.
  const auto lines = [&](std::int64_t count, std::size_t line_size) {
    std::uint64_t bytes = 0;
    if (__builtin_mul_overflow(static_cast<std::uint64_t>(count),
                               static_cast<std::uint64_t>(line_size), &bytes) ||
        __builtin_mul_overflow(bytes, static_cast<std::uint64_t>(nodes.nlayer), &bytes))
      return std::numeric_limits<std::uint64_t>::max();
    return bytes;
  };
  const std::uint64_t short_bytes = lines(plan->exterior, short_line_size);
  const std::uint64_t long_bytes = lines(plan->cells - plan->exterior, long_line_size);
  planned.bytes_ = short_bytes + long_bytes < short_bytes
                       ? std::numeric_limits<std::uint64_t>::max()
                       : short_bytes + long_bytes;
  planned.chains_ = std::move(plan);
  return planned;
}

bool write_planned_volume(const volume_plan& planned, const node_data& nodes, const grid& g,
                          bool log_mode, output_file& file, int threads, progress_meter* meter,
                          const volume_masks& masks) {
  const cell_grid cells(g);
  if (!planned.chains_ || cells.count() == 0 || nodes.nlayer < 1)
    return true;
  const chain_plan& plan = *planned.chains_;
  const node_values values(nodes);
  set_chains sets;
  if (!plan_set_chains(masks.layer_sets, cells, plan, threads, sets, meter))
    return false;
  if (meter != nullptr)
    meter->begin(run_phase::writing, cells.count());
  // Blocks are made on the threads and written in file order; a failed
  // write stops the work, and the caller learns of it on commit.
  return make_blocks_in_order(
      plan.blocks(), threads,
      [&] {
        return [writer = block_writer(nodes, values, cells, plan, log_mode, masks, sets)](
                   std::int64_t b, std::vector<char>& text, std::size_t& used) mutable {
          return writer.fill_block(b, text, used);
        };
      },
      [&](const char* data, std::size_t size, std::int64_t b) {
        file.write(data, size);
        if (meter != nullptr)
          meter->advance_to(std::min(cells.count(), (b + 1) * plan.block));
        return !file.failed();
      });
}

bool stream_volume(const node_data& nodes, const grid& g, bool log_mode, output_file& file,
                   int threads, std::int64_t block_cells, progress_meter* meter,
                   const volume_masks& masks) {
  const std::optional<volume_plan> plan = plan_volume(nodes, g, threads, block_cells, meter);
  return plan && write_planned_volume(*plan, nodes, g, log_mode, file, threads, meter, masks);
}

}  // namespace tervox::driver
