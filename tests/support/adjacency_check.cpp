#include "support/adjacency_check.hpp"

#include <gmpxx.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <sstream>
#include <unordered_map>
#include <vector>

#include "support/exact_predicates.hpp"
#include "triang/triang.hpp"

namespace tervox_test {
namespace {

using triang::one_based;

std::uint64_t arc_key(int from, int to) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(from)) << 32) |
         static_cast<std::uint32_t>(to);
}

// The lists of a structure already known to be packed, in range and free of
// repeats, with the position of every directed arc for constant-time lookups.
class lists {
 public:
  lists(int n, std::span<const int> iadj, std::span<const int> iend)
      : n_(n), adj_(iadj), end_(iend) {
    for (int node = 1; node <= n_; ++node) {
      for (int pos = first(node); pos <= last(node); ++pos) {
        if (adj_[pos] != triang::outside) {
          pos_of_.emplace(arc_key(node, adj_[pos]), pos);
        }
      }
    }
  }
  int first(int node) const { return node == 1 ? 1 : end_[node - 1] + 1; }
  int last(int node) const { return end_[node]; }
  int at(int pos) const { return adj_[pos]; }
  bool boundary(int node) const { return adj_[end_[node]] == triang::outside; }
  /// Position of nbr in node's list, or 0.
  int find(int node, int nbr) const {
    const auto it = pos_of_.find(arc_key(node, nbr));
    return it == pos_of_.end() ? 0 : it->second;
  }
  /// The entry after nbr in node's list (cyclic for an interior node; the
  /// trailing 0 for a boundary node's last neighbour), or -1 if nbr is absent.
  int next(int node, int nbr) const {
    const int pos = find(node, nbr);
    if (pos == 0) {
      return -1;
    }
    return pos == last(node) ? adj_[first(node)] : adj_[pos + 1];
  }
  /// The last non-zero entry of a boundary node's list.
  int last_neighbour(int node) const { return adj_[end_[node] - 1]; }

 private:
  int n_;
  one_based<const int> adj_;
  one_based<const int> end_;
  std::unordered_map<std::uint64_t, int> pos_of_;
};

// Twice the signed area of the triangle a, b, c, exactly, with every
// coordinate scaled by 2^149 to make it an integer.
mpz_class scaled(float v) {
  return mpz_class(static_cast<double>(v) * 0x1p149);
}

std::string node_text(int node, int pos) {
  std::ostringstream out;
  out << "node " << node << ", position " << pos << ": ";
  return out.str();
}

}  // namespace

std::string check_adjacency(int n, std::span<const float> x, std::span<const float> y,
                            std::span<const int> iadj, std::span<const int> iend, bool check_area) {
  std::ostringstream out;
  if (n < 3) {
    out << "n = " << n << ": a triangulation needs at least 3 nodes";
    return out.str();
  }
  const auto un = static_cast<std::size_t>(n);
  if (x.size() < un || y.size() < un || iend.size() < un) {
    out << "n = " << n << " but x, y, iend hold " << x.size() << ", " << y.size() << ", "
        << iend.size() << " entries";
    return out.str();
  }
  const one_based<const float> xs(x.first(un));
  const one_based<const float> ys(y.first(un));
  const one_based<const int> adj(iadj);
  const one_based<const int> end(iend.first(un));
  const int capacity = 6 * n - 9;

  // List ends: strictly increasing, within the capacity and the array.
  for (int node = 1, previous = 0; node <= n; previous = end[node], ++node) {
    if (end[node] <= previous) {
      out << "node " << node << ": iend = " << end[node] << " is not greater than iend of node "
          << node - 1 << " = " << previous;
      return out.str();
    }
    if (end[node] > capacity || end[node] > adj.size()) {
      out << "node " << node << ": iend = " << end[node]
          << " exceeds the capacity 6n-9 = " << capacity << " or the iadj array of " << adj.size()
          << " entries";
      return out.str();
    }
  }

  // Entries: in range, not the node itself, no repeats, 0 only at the end.
  std::vector<int> seen_in(un + 1, 0);
  int nb = 0;
  for (int node = 1; node <= n; ++node) {
    const int f = node == 1 ? 1 : end[node - 1] + 1;
    const int l = end[node];
    for (int pos = f; pos <= l; ++pos) {
      const int nbr = adj[pos];
      if (nbr < 0 || nbr > n) {
        out << node_text(node, pos) << "entry " << nbr << " is not in 0.." << n;
        return out.str();
      }
      if (nbr == node) {
        out << node_text(node, pos) << "the node lists itself";
        return out.str();
      }
      if (nbr == triang::outside) {
        if (pos != l) {
          out << node_text(node, pos) << "0 before the end of the list (which ends at " << l << ")";
          return out.str();
        }
        continue;
      }
      if (seen_in[static_cast<std::size_t>(nbr)] == node) {
        out << node_text(node, pos) << "neighbour " << nbr << " appears twice";
        return out.str();
      }
      seen_in[static_cast<std::size_t>(nbr)] = node;
    }
    const bool on_boundary = adj[l] == triang::outside;
    nb += on_boundary ? 1 : 0;
    const int neighbours = l - f + 1 - (on_boundary ? 1 : 0);
    if (neighbours < (on_boundary ? 2 : 3)) {
      out << "node " << node << ": only " << neighbours << " neighbours for "
          << (on_boundary ? "a boundary" : "an interior") << " node";
      return out.str();
    }
  }

  const lists ls(n, iadj, iend.first(un));

  // Symmetry.
  for (int node = 1; node <= n; ++node) {
    for (int pos = ls.first(node); pos <= ls.last(node); ++pos) {
      const int nbr = ls.at(pos);
      if (nbr != triang::outside && ls.find(nbr, node) == 0) {
        out << node_text(node, pos) << "neighbour " << nbr << " does not list " << node;
        return out.str();
      }
    }
  }

  // Size.
  if (nb < 3) {
    out << "only " << nb << " boundary nodes";
    return out.str();
  }
  if (end[n] != 6 * n - 6 - nb) {
    out << "iend(n) = " << end[n] << " but 6n-6-nb = " << 6 * n - 6 - nb << " with " << nb
        << " boundary nodes";
    return out.str();
  }

  // Triangles: counterclockwise, each seen from its three vertices.
  long long corners = 0;
  long long arcs = 0;
  mpz_class twice_area_sum = 0;
  for (int node = 1; node <= n; ++node) {
    const int f = ls.first(node);
    const int l = ls.last(node);
    const bool on_boundary = ls.boundary(node);
    const int stop = on_boundary ? l - 2 : l;
    arcs += l - f + 1 - (on_boundary ? 1 : 0);
    for (int pos = f; pos <= stop; ++pos) {
      const int a = ls.at(pos);
      const int b = pos == l ? ls.at(f) : ls.at(pos + 1);
      ++corners;
      if (orientation(xs[node], ys[node], xs[a], ys[a], xs[b], ys[b]) <= 0) {
        out << node_text(node, pos) << "triangle (" << node << ", " << a << ", " << b << ") is "
            << (orientation(xs[node], ys[node], xs[a], ys[a], xs[b], ys[b]) < 0 ? "clockwise"
                                                                                : "degenerate");
        return out.str();
      }
      if (ls.next(a, b) != node || ls.next(b, node) != a) {
        out << node_text(node, pos) << "triangle (" << node << ", " << a << ", " << b
            << ") is not seen from all its vertices: after " << b << " node " << a << " lists "
            << ls.next(a, b) << ", after " << node << " node " << b << " lists "
            << ls.next(b, node);
        return out.str();
      }
      // Each triangle once, from its smallest vertex.
      if (check_area && node < a && node < b) {
        twice_area_sum += (scaled(xs[a]) - scaled(xs[node])) * (scaled(ys[b]) - scaled(ys[node])) -
                          (scaled(ys[a]) - scaled(ys[node])) * (scaled(xs[b]) - scaled(xs[node]));
      }
    }
  }
  const long long triangles = 2LL * n - 2 - nb;
  if (corners != 3 * triangles || arcs != 2 * (3LL * n - 3 - nb)) {
    out << "Euler counts: " << corners << " triangle corners and " << arcs << " arc ends, expected "
        << 3 * triangles << " and " << 2 * (3LL * n - 3 - nb) << " for " << n << " nodes with "
        << nb << " on the boundary";
    return out.str();
  }

  // Boundary: linked both ways, one closed loop, turning left once around.
  int start = 0;
  for (int node = 1; node <= n; ++node) {
    if (!ls.boundary(node)) {
      continue;
    }
    if (start == 0) {
      start = node;
    }
    const int succ = ls.at(ls.first(node));
    if (!ls.boundary(succ) || ls.last_neighbour(succ) != node) {
      out << node_text(node, ls.first(node)) << "first entry " << succ
          << " is not a boundary node whose last neighbour is " << node;
      return out.str();
    }
  }
  int steps = 0;
  double turning = 0.0;
  int node = start;
  do {
    const int pred = ls.last_neighbour(node);
    const int succ = ls.at(ls.first(node));
    const int turn = orientation(xs[pred], ys[pred], xs[node], ys[node], xs[succ], ys[succ]);
    if (turn < 0) {
      out << "boundary node " << node << ": the boundary turns clockwise from " << pred << " to "
          << succ;
      return out.str();
    }
    const double ux = static_cast<double>(xs[node]) - static_cast<double>(xs[pred]);
    const double uy = static_cast<double>(ys[node]) - static_cast<double>(ys[pred]);
    const double vx = static_cast<double>(xs[succ]) - static_cast<double>(xs[node]);
    const double vy = static_cast<double>(ys[succ]) - static_cast<double>(ys[node]);
    if (turn == 0 && ux * vx + uy * vy <= 0.0) {
      out << "boundary node " << node << ": the boundary doubles back from " << pred << " to "
          << succ;
      return out.str();
    }
    turning += turn == 0 ? 0.0 : std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
    node = succ;
    ++steps;
  } while (node != start && steps <= nb);
  if (steps != nb) {
    out << "the boundary walk from node " << start << " closes after " << steps << " of " << nb
        << " boundary nodes";
    return out.str();
  }
  if (std::fabs(turning - 2.0 * std::numbers::pi) > 1.0) {
    out << "the boundary winds " << turning / (2.0 * std::numbers::pi) << " times";
    return out.str();
  }

  if (check_area) {
    mpz_class twice_hull = 0;
    node = start;
    do {
      const int succ = ls.at(ls.first(node));
      twice_hull += scaled(xs[node]) * scaled(ys[succ]) - scaled(xs[succ]) * scaled(ys[node]);
      node = succ;
    } while (node != start);
    if (twice_hull != twice_area_sum) {
      out << "the triangles cover " << twice_area_sum.get_d() * 0x1p-299
          << " but the boundary encloses " << twice_hull.get_d() * 0x1p-299;
      return out.str();
    }
  }
  return "";
}

}  // namespace tervox_test
