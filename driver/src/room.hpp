// Whether the volume file fits where it is to be written, decided from its
// size before its first byte: a grid made far too fine by a slip of the cell
// size would otherwise run for minutes and then fill a disk that others use
// too.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/diagnostic.hpp"
#include "base/output_file.hpp"
#include "formats/mesh_file.hpp"  // grid

namespace tervox::driver {

/// The free space that writing a volume must leave on its file system: 5% of
/// the file system, and never less than 1 GiB.
std::uint64_t space_to_keep(std::uint64_t file_system_bytes);

/// The size of the volume file, and whether it is exact or an upper bound.
struct volume_size {
  std::uint64_t bytes = 0;
  bool exact = true;
};

/// Refuses a volume file of `size` that would pass the file-size limit, or
/// leave less than space_to_keep() free on its file system; empty when it
/// fits, or where `room` knows no limit. The diagnostic names the grid, the
/// size and the limit it passes.
base::diagnostic check_volume_room(const volume_size& size, const base::output_room& room,
                                   std::string_view outfile, const formats::grid& g, int nlayer);

}  // namespace tervox::driver
