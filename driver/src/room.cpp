#include "room.hpp"

#include <algorithm>
#include <string>

#include "messages.hpp"

namespace tervox::driver {

using base::concat;
using base::diagnostic;
using base::output_room;
using base::quoted;
using formats::grid;

std::uint64_t space_to_keep(std::uint64_t file_system_bytes) {
  constexpr std::uint64_t gib = std::uint64_t{1} << 30;
  return std::max(file_system_bytes / 20, gib);
}

diagnostic check_volume_room(const volume_size& size, const output_room& room,
                             std::string_view outfile, const grid& g, int nlayer) {
  const std::string grid_text = messages::grid_size(g.nx, g.ny, nlayer);
  // A file of exactly the limit can be written; one byte more cannot.
  if (room.size_limit && size.bytes > *room.size_limit) {
    const auto [needed, limit] = messages::byte_sizes(size.bytes, *room.size_limit);
    return messages::volume_too_large(grid_text, messages::volume_size_text(needed, size.exact),
                                      concat({"the file-size limit of ", limit, " (ulimit -f)"}),
                                      g.dx, g.dy);
  }
  if (!room.free_bytes)
    return {};
  const std::uint64_t free = *room.free_bytes;
  if (size.bytes > free) {
    const auto [needed, free_text] = messages::byte_sizes(size.bytes, free);
    return messages::volume_too_large(
        grid_text, messages::volume_size_text(needed, size.exact),
        concat({"the ", free_text, " free on the file system of ", quoted(outfile)}), g.dx, g.dy);
  }
  if (!room.file_system_bytes)
    return {};
  const std::uint64_t keep = space_to_keep(*room.file_system_bytes);
  const std::uint64_t left = free - size.bytes;
  if (left >= keep)
    return {};
  return messages::volume_leaves_too_little(grid_text, size.bytes, size.exact, left, free, keep,
                                            keep > *room.file_system_bytes / 20, outfile, g.dx,
                                            g.dy);
}

}  // namespace tervox::driver
