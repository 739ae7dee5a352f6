#include "ground.hpp"

#include "messages.hpp"

namespace tervox::driver {

base::diagnostic write_ground(const node_data& nodes, std::span<const float> elevation,
                              const formats::grid& g, float max_distance, base::output_file& file,
                              const volume_method& method, int threads, std::string_view infile) {
  // The run's soundings and triangle lists with the elevation as their only
  // layer: the cells are located as layer 1 locates them.
  const node_data ground{nodes.nsound, 1,          nodes.xloc, nodes.yloc,
                         elevation,    nodes.iadj, nodes.iend};
  volume_masks masks;
  masks.max_distance = max_distance;
  if (auto r = file.open(); !r.ok())
    return r.problem;
  const bool located = method ? method(ground, g, false, file, masks)
                              : stream_volume(ground, g, false, file, threads, 0, nullptr, masks);
  if (!located)
    return messages::location_broken(infile);
  return {};
}

}  // namespace tervox::driver
