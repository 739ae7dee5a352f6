// The check of the construction's first triangles against exact arithmetic.
//
// The construction lays out its first triangles from the leading nodes (in
// order of x): it looks for the first node off the line of nodes 1 and 2,
// from differences of coordinates rounded to single precision and a cross
// product rounded likewise. Where the coordinates are spread wider than
// single precision can hold their differences (a node at x = -2^32 beside
// nodes at 0 and 1), a node off the line can round onto it: the first
// triangles then hold a clockwise one, and every later step builds on it.
// A cross product that underflows (coordinates near 2^-80) does the same when
// a later node is far enough away to be found off the line. The construction
// would report the result as a breakdown (it checks what it built exactly);
// checked here, before it, the refusal can say what is wrong with the
// soundings and what to do about it.
#pragma once

#include <span>

namespace tervox::driver {

/// True when the construction's first triangles over the ordered nodes
/// (x, y) agree with exact arithmetic: it finds the same first node off the
/// line of nodes 1 and 2, on the same side, and orders the nodes before it
/// along the line. Also true when every node is exactly on that line and the
/// construction reports them collinear. Runs the construction on the
/// leading nodes alone, up to the first one exactly off the line.
bool leading_nodes_agree(std::span<const float> x, std::span<const float> y);

}  // namespace tervox::driver
