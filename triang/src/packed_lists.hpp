// The packed adjacency structure (iadj, iend) seen through the small list
// interface that point location and node addition are written against, so
// that the packed structure and the growable per-node lists share one copy of
// each algorithm.
//
// Read interface (a "list view"), positions being int:
//   nodes()            number of nodes whose lists are in the structure
//   entries()          entries in use; bounds the point-location walk
//   first(k), last(k)  positions of node k's first and last entries
//   at(pos)            the entry at a position
//   has_list(k)        k's list lies inside the arrays and has two entries
//   find(k, nbr)       position of nbr in k's list, searching backwards from
//                      its end (the first match from the end); 0 if absent
// Every list is contiguous, so the entries of k's list are at(first(k)) to
// at(last(k)) in order, and position 0 is never a valid position.
//
// Editable interface, on top of it:
//   before(knew)       a view of nodes 1..knew-1 only
//   bdyadd, intadd     link knew in (outside the boundary, inside a triangle)
//   swap               replace one diagonal of a quadrilateral by the other;
//                      given where find puts diag1 in diag2's list, which the
//                      caller has just looked up
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "detail.hpp"
#include "triang/triang.hpp"

namespace triang::detail {

/// The read interface over the caller's iadj and iend; Int is const int
/// for a view, int for the editable structure. The spans give the bounds:
/// iend holds the lists of nodes 1..iend.size() and iadj the entries the
/// walk may read.
template <class Int>
class packed_reader {
 public:
  packed_reader(std::span<Int> iadj, std::span<Int> iend) noexcept
      : iadj_(iadj), iend_(iend), adj_(iadj), ends_(iend) {}

  int nodes() const noexcept { return ends_.size(); }
  std::int64_t entries() const noexcept { return static_cast<std::int64_t>(iadj_.size()); }
  int first(int node) const noexcept { return first_pos(ends_, node); }
  int last(int node) const noexcept { return ends_[node]; }
  int at(int pos) const noexcept { return adj_[pos]; }
  bool has_list(int node) const noexcept {
    const int f = first(node);
    const int l = last(node);
    return f >= 1 && f < l && l <= adj_.size();
  }
  int find(int node, int nbr) const noexcept { return index(node, nbr, iadj_, iend_); }

 protected:
  std::span<Int> iadj_;
  std::span<Int> iend_;
  one_based<Int> adj_;
  one_based<Int> ends_;
};

/// The caller's iadj and iend, read only.
class packed_view : public packed_reader<const int> {
 public:
  using packed_reader::packed_reader;
};

/// The caller's iadj and iend, edited in place by the packed routines.
class packed_lists : public packed_reader<int> {
 public:
  using packed_reader::packed_reader;

  /// Nodes 1..knew-1 and exactly the entries of their lists.
  packed_view before(int knew) const noexcept {
    const int used = ends_[knew - 1];
    return {iadj_.first(static_cast<std::size_t>(used)),
            iend_.first(static_cast<std::size_t>(knew - 1))};
  }

  void bdyadd(int knew, int nv1, int nv2) const { triang::bdyadd(knew, nv1, nv2, iadj_, iend_); }
  void intadd(int knew, int nv1, int nv2, int nv3) const {
    triang::intadd(knew, nv1, nv2, nv3, iadj_, iend_);
  }
  void swap(int join1, int join2, int diag1, int diag2, int /*diag1_pos*/) const {
    triang::swap(join1, join2, diag1, diag2, iadj_, iend_);
  }
};

}  // namespace triang::detail
