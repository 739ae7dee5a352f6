// triang: Delaunay triangulation of scattered points in the plane and
// piecewise-linear interpolation over it.
//
// The routines never allocate, never print and keep no state between calls:
// every array belongs to the caller and is read or rewritten in place. Results
// come back through out-arguments and integer error codes.
//
// Node numbers
// ------------
// Nodes are numbered 1..n; node k lies at (x[k], y[k]) where x and y are
// single-precision arrays seen through `one_based`. The number `outside` (0)
// stands for the exterior of the triangulation wherever a node number may
// appear. Positions in `iadj` are 1-based too. Node numbers and positions are
// both `int`; the code keeps them apart by name (`node`, `nb`, `k1` for nodes;
// `pos`, `last`, `f`, `l` for positions).
//
// Adjacency structure (iadj, iend)
// --------------------------------
// The whole triangulation is two integer arrays and nothing else.
//
//   iadj  the neighbour lists of nodes 1..n, back to back in node order, with
//         no gaps or separators. Capacity: 6n-9 entries.
//   iend  iend[k] is the position in iadj of the last entry of node k's list.
//         Strictly increasing. Capacity: n entries.
//
// Node k's list occupies positions iend[k-1]+1 .. iend[k] (iend[0] read as 0)
// and holds every neighbour of k exactly once, in counterclockwise order
// around k (x to the right, y upwards).
//
//   * A boundary node's list ends with a single `outside`; its first entry is
//     the next boundary node counterclockwise and its last non-zero entry the
//     previous one. So k is on the boundary exactly when iadj[iend[k]] == 0.
//   * An interior node's list is cyclic: any neighbour may stand first.
//   * For consecutive entries a, b of k's list (not involving the 0, and for
//     an interior node also last-then-first) k, a, b is a counterclockwise
//     triangle. Every triangle is seen this way from all three vertices.
//   * j is in k's list exactly when k is in j's list.
//   * With nb boundary nodes, iend[n] = 6n-6-nb <= 6n-9.
//
// Example: nodes 1 (0,0), 2 (1,0), 3 (0,1) form one triangle:
//
//       3            iadj = 2 3 0 | 3 1 0 | 1 2 0
//       | \          iend = 3 6 9
//       1---2        node 1's list (2,3,0): 2 follows 1 on the boundary
//
// Arithmetic
// ----------
// Coordinates and values are stored in single precision. Geometric tests form
// their products and sums in double precision and round to single precision
// exactly where each routine says; there is no tolerance anywhere. Build with
// -ffp-contract=off: a fused multiply-add would change the outcome of
// near-degenerate tests.
#pragma once

#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>

namespace triang {

/// The exterior of the triangulation, where a node number may appear: the
/// trailing entry of a boundary node's list, and nv3 of an exterior point.
inline constexpr int outside = 0;

/// A caller's array seen with 1-based subscripts: a[1] is its first element.
/// This is the only place where a node number or a list position becomes a
/// 0-based offset. The assertion turns an off-by-one into a loud failure in
/// debug and sanitizer builds instead of a silent read outside the array.
template <class T>
class one_based {
 public:
  constexpr one_based(std::span<T> s) noexcept : s_(s) {}  // NOLINT: implicit by design
  constexpr T& operator[](int k) const noexcept {
    assert(k >= 1 && static_cast<std::size_t>(k) <= s_.size());
    return s_[static_cast<std::size_t>(k - 1)];
  }
  /// True when k is a valid subscript.
  constexpr bool contains(int k) const noexcept {
    return k >= 1 && static_cast<std::size_t>(k) <= s_.size();
  }
  constexpr int size() const noexcept { return static_cast<int>(s_.size()); }
  constexpr std::span<T> span() const noexcept { return s_; }

 private:
  std::span<T> s_;
};

// ---------------------------------------------------------------------------
// Error codes
// ---------------------------------------------------------------------------

/// Possible values of `ier` from trmesh.
namespace trmesh_ier {
inline constexpr int ok = 0;
inline constexpr int too_few_nodes = 1;  ///< n < 3; arrays untouched
inline constexpr int collinear = 2;      ///< all nodes on one line; iend holds the chain
/// The construction broke down: a point-location walk or a swap loop exceeded
/// its bound, a node number or list end fell outside the arrays, a node could
/// not be linked in, or the finished lists are not a triangulation of the
/// nodes by exact arithmetic (a clockwise or zero-area triangle, a boundary
/// turning clockwise). The coordinates broke the routines' assumptions:
/// non-finite or coincident nodes, or nodes so nearly collinear that the
/// single-precision tests misjudged a side. iadj and iend are not a valid
/// triangulation. `ok` guarantees one.
inline constexpr int broken = 3;
}  // namespace trmesh_ier

/// Possible values of `ier` from adnode.
namespace adnode_ier {
inline constexpr int ok = 0;
inline constexpr int collinear = 1;  ///< nodes 1..knew-1 are collinear; nothing changed
/// Point location or the swap loop exceeded its bound (see trmesh_ier::broken).
inline constexpr int broken = 3;
}  // namespace adnode_ier

/// Possible values of `ier` from intrc0.
namespace intrc0_ier {
inline constexpr int inside = 0;        ///< pz is the interpolant over the containing triangle
inline constexpr int exterior = 1;      ///< pz is the value at the nearest boundary point
inline constexpr int bad_input = -1;    ///< n < 3 or istart outside 1..n; pz = 0
inline constexpr int no_triangle = -2;  ///< all nodes collinear, or a zero-area triangle; pz = 0
/// Point location exceeded its bound (see trfind_failed); pz = 0, istart unchanged.
inline constexpr int broken = -3;
}  // namespace intrc0_ier

/// Possible values of `ier` from coords.
namespace coords_ier {
inline constexpr int ok = 0;
inline constexpr int zero_area = 1;  ///< the vertices are collinear; r untouched
}  // namespace coords_ier

// ---------------------------------------------------------------------------
// Adjacency structure
// ---------------------------------------------------------------------------

/// Position p in iadj, inside node kvert's list, with iadj[p] == nbr, searching
/// backwards from iend[kvert] (the first match from the end). nbr may be
/// `outside` for a boundary node, which gives iend[kvert].
/// A nbr that is not in the list is a caller error: it asserts in debug builds
/// and returns 0 (no valid position) without reading outside the list.
int index(int kvert, int nbr, std::span<const int> iadj, std::span<const int> iend);

/// Moves ivec[ifirst..ilast] by kshift positions (up for kshift > 0). Nothing
/// happens when ifirst > ilast or kshift == 0. Overlapping moves are safe;
/// vacated positions keep stale values. The destination must lie inside ivec.
void shiftd(int ifirst, int ilast, int kshift, std::span<int> ivec);

// ---------------------------------------------------------------------------
// Node ordering
// ---------------------------------------------------------------------------

/// Fills ind[1..n] with an index order that sorts a[1..n] ascending, without
/// moving a. The order of equal keys is fixed by the procedure (not stable,
/// not input order) and decides the insertion order of nodes with equal x.
/// n < 1 leaves ind untouched.
void qsort(int n, std::span<const float> a, std::span<int> ind);

/// Applies the permutation ip in place: afterwards a[q] holds the former
/// a[ip[q]]. ip is negated while in use and restored on return. ip must be a
/// permutation of 1..n; anything else asserts in debug builds and never
/// indexes outside a or ip. n < 2 does nothing.
void permut(int n, std::span<int> ip, std::span<float> a);

/// Sorts by the keys a with qsort into ind, then applies ind to a (iflag >= 1),
/// b (iflag >= 2) and c (iflag >= 3). iflag <= 0 only computes ind.
void reordr(int n, int iflag, std::span<float> a, std::span<float> b, std::span<float> c,
            std::span<int> ind);

// ---------------------------------------------------------------------------
// Point location
// ---------------------------------------------------------------------------

/// Locates P = (px, py) by a directed walk from node istart (values below 1
/// are taken as 1). Results:
///   nv1, nv2, nv3 all non-zero: a counterclockwise triangle containing P;
///   nv3 == outside: P is exterior or exactly on a boundary arc; nv1 and nv2
///     are the rightmost and leftmost boundary nodes visible from P;
///   all zero: the nodes are collinear.
/// A point on a line counts as on its left. If the walk exceeds a bound that
/// no valid structure with finite coordinates reaches, it asserts in debug
/// builds and returns nv1 = nv2 = -1, nv3 = 0 (`trfind_failed`).
void trfind(int istart, float px, float py, std::span<const float> x, std::span<const float> y,
            std::span<const int> iadj, std::span<const int> iend, int& nv1, int& nv2, int& nv3);

/// nv1 and nv2 of a point-location walk that exceeded its bound.
inline constexpr int trfind_failed = -1;

// ---------------------------------------------------------------------------
// Nearest node
// ---------------------------------------------------------------------------

/// The node nearest to (px, py), found by a walk from node start (values
/// outside 1..n are taken as 1) that moves to the nearest neighbour while it
/// is strictly nearer; in a Delaunay triangulation that walk ends at a
/// nearest node. dsq receives the squared distance, formed in double from the
/// single-precision coordinates. Of several nodes at the same distance, the
/// one the walk reaches first is returned. The structure must be a
/// triangulation of nodes 1..iend.size() (n >= 1).
int nearnd(int start, float px, float py, std::span<const float> x, std::span<const float> y,
           std::span<const int> iadj, std::span<const int> iend, double& dsq);

// ---------------------------------------------------------------------------
// Node insertion (no optimisation: see adnode)
// ---------------------------------------------------------------------------

/// Links knew, the highest-numbered node, outside the boundary: joined to
/// every boundary node from nv1 (rightmost visible) clockwise to nv2
/// (leftmost visible). knew's list becomes (nv1, ..., nv2, 0).
void bdyadd(int knew, int nv1, int nv2, std::span<int> iadj, std::span<int> iend);

/// Links knew, the highest-numbered node, inside the counterclockwise
/// triangle (nv1, nv2, nv3). knew's list becomes (nv1, nv2, nv3).
void intadd(int knew, int nv1, int nv2, int nv3, std::span<int> iadj, std::span<int> iend);

// ---------------------------------------------------------------------------
// Delaunay swap test and edge swap
// ---------------------------------------------------------------------------
//
//              join2
//             /  |  \          The quadrilateral join1, diag1, join2, diag2
//        diag2   |   diag1     runs counterclockwise; the current diagonal is
//             \  |  /          diag1-diag2 (not drawn). After a swap the
//              join1           arc join1-join2 (drawn) replaces it.

/// True when the diagonal diag1-diag2 is to be replaced by join1-join2: the
/// two angles facing the diagonal sum to more than 180 degrees. Four nodes on
/// one circle keep their diagonal.
bool swptst(int join1, int join2, int diag1, int diag2, std::span<const float> x,
            std::span<const float> y);

/// Replaces the arc diag1-diag2 by join1-join2 in place. The caller
/// guarantees the orientation contract and a strictly convex quadrilateral.
void swap(int join1, int join2, int diag1, int diag2, std::span<int> iadj, std::span<int> iend);

// ---------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------

/// Adds node knew (>= 4) to the Delaunay triangulation of nodes 1..knew-1:
/// locates it from node knew-1, links it in, and restores the Delaunay
/// property by swaps around it. ier: see adnode_ier.
void adnode(int knew, std::span<const float> x, std::span<const float> y, std::span<int> iadj,
            std::span<int> iend, int& ier);

/// Builds the Delaunay triangulation of nodes 1..n (ordered by increasing x
/// for speed) into iadj (capacity 6n-9) and iend (capacity n). ier: see
/// trmesh_ier. On `collinear`, iend[1..n] holds the nodes ordered along
/// their line and iadj is untouched.
void trmesh(int n, std::span<const float> x, std::span<const float> y, std::span<int> iadj,
            std::span<int> iend, int& ier);

/// Ints of workspace for the trmesh overload below: 15n + 64 for n >= 3, and
/// 0 for n < 3 or n > 178956965 (where positions in the workspace would not
/// fit in an int; the overload then needs none).
std::size_t trmesh_work_size(int n);

/// The same construction as trmesh above, edit for edit, giving exactly the
/// same iadj, iend and ier (including what a broken construction leaves),
/// faster on large sets: each node's list grows in a block of its own in
/// work, so that an edit moves only the entries of the lists it names instead
/// of the whole tail of iadj and every later list end, and the lists are
/// packed into iadj and iend once at the end. work must hold
/// trmesh_work_size(n) ints; its contents on entry do not matter and on
/// return are meaningless. With a smaller work (or a work size of 0) the call
/// runs the in-place construction above, with the same result.
/// When `nodes_linked` is given, the number of nodes linked in so far is
/// stored there (relaxed) as the construction goes, so that another thread
/// can show how far it has come.
void trmesh(int n, std::span<const float> x, std::span<const float> y, std::span<int> iadj,
            std::span<int> iend, std::span<int> work, int& ier,
            std::atomic<std::int64_t>* nodes_linked = nullptr);

/// The sign (-1, 0, +1) of the orientation of the points a, b, c, decided
/// exactly: +1 when c lies to the left of the line from a to b. The
/// construction checks its result with it; callers may check their own
/// decisions about the nodes alike.
int exact_orientation(float ax, float ay, float bx, float by, float cx, float cy);

// ---------------------------------------------------------------------------
// Linear interpolation
// ---------------------------------------------------------------------------

/// Barycentric coordinates r[0..2] of (px, py) with respect to the triangle
/// (x1,y1), (x2,y2), (x3,y3), in either rotational order. ier: see coords_ier.
void coords(float px, float py, float x1, float x2, float x3, float y1, float y2, float y3,
            std::span<float, 3> r, int& ier);

/// Piecewise-linear interpolant pz of the node values z at (px, py). istart is
/// the start node of point location, carried from call to call by the caller
/// and updated here. ier: see intrc0_ier.
void intrc0(int n, float px, float py, std::span<const float> x, std::span<const float> y,
            std::span<const float> z, std::span<const int> iadj, std::span<const int> iend,
            int& istart, float& pz, int& ier);

}  // namespace triang
