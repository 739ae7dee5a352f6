// The two operations every edit of the adjacency structure is made of: finding
// a neighbour's position in a node's list, and moving a block of a packed
// integer array.
#include <cassert>
#include <cstddef>
#include <cstring>

#include "detail.hpp"
#include "triang/triang.hpp"

namespace triang {

int index(int kvert, int nbr, std::span<const int> iadj, std::span<const int> iend) {
  const one_based<const int> adj(iadj);
  const one_based<const int> ends(iend);
  // The search stops at the start of kvert's list: a missing neighbour must
  // not be "found" in the list of the node before.
  const int first = detail::first_pos(ends, kvert);
  for (int pos = ends[kvert]; pos >= first; --pos) {
    if (adj[pos] == nbr) {
      return pos;
    }
  }
  assert(false && "index: nbr is not in the list of kvert");
  return 0;
}

void shiftd(int ifirst, int ilast, int kshift, std::span<int> ivec) {
  if (ifirst > ilast || kshift == 0) {
    return;
  }
  const one_based<int> vec(ivec);
  // Both the block and its destination must lie inside ivec. The check is two
  // comparisons per end against a copy of up to the whole tail of iadj; a move
  // that would leave the array is refused rather than made.
  const bool inside = vec.contains(ifirst) && vec.contains(ilast) &&
                      vec.contains(ifirst + kshift) && vec.contains(ilast + kshift);
  assert(inside && "shiftd: block or destination outside ivec");
  if (!inside) {
    return;
  }
  // memmove copies as if through a temporary, which gives the same result as
  // copying from ilast down (kshift > 0) or from ifirst up (kshift < 0), and it
  // is the fastest way to move the tail of iadj, the main cost of an insertion.
  const auto count = static_cast<std::size_t>(ilast - ifirst + 1);
  std::memmove(&vec[ifirst + kshift], &vec[ifirst], count * sizeof(int));
}

}  // namespace triang
