// Point location on the packed structure. The walk itself is in walk.hpp,
// shared with the workspace construction.
#include "packed_lists.hpp"
#include "triang/triang.hpp"
#include "walk.hpp"

namespace triang {

void trfind(int istart, float px, float py, std::span<const float> x, std::span<const float> y,
            std::span<const int> iadj, std::span<const int> iend, int& nv1, int& nv2, int& nv3) {
  detail::locate(detail::packed_view(iadj, iend), istart, px, py, x, y, nv1, nv2, nv3);
}

}  // namespace triang
