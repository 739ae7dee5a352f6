#include "ground.hpp"

#include "messages.hpp"

namespace tervox::driver {

namespace {

// The elevations as the only layer of a survey of the soundings, for the
// layer sets; the coordinates where they are needed.
formats::survey as_survey(const formats::survey& s, bool located) {
  formats::survey ground;
  ground.nlayer = 1;
  ground.nsound = s.nsound;
  ground.dat = s.elevation;
  if (located) {
    ground.xloc = s.xloc;
    ground.yloc = s.yloc;
  }
  return ground;
}

}  // namespace

layer_sets find_ground_set(const formats::survey& s) {
  if (s.elevation.empty())
    return {};
  return layer_sets::find(as_survey(s, false));
}

base::diagnostic triangulate_ground_set(layer_sets& ground, const formats::survey& s,
                                        std::string_view infile,
                                        std::vector<base::diagnostic>& warnings,
                                        progress_meter* meter) {
  if (ground.empty())
    return {};
  // The set keeps copies of what it takes; this survey goes on return.
  return ground.triangulate(as_survey(s, true), false, infile, warnings, meter,
                            "the ground elevation");
}

base::diagnostic write_ground(const node_data& nodes, std::span<const float> elevation,
                              const formats::grid& g, float max_distance,
                              std::span<const layer_set> own, base::output_file& file,
                              const volume_method& method, int threads, std::string_view infile) {
  // The run's soundings and triangle lists with the elevation as their only
  // layer: the cells are located as layer 1 locates them.
  const node_data ground{nodes.nsound, 1,          nodes.xloc, nodes.yloc,
                         elevation,    nodes.iadj, nodes.iend};
  volume_masks masks;
  masks.max_distance = max_distance;
  masks.layer_sets = own;
  if (auto r = file.open(); !r.ok())
    return r.problem;
  const bool located = method ? method(ground, g, false, file, masks)
                              : stream_volume(ground, g, false, file, threads, 0, nullptr, masks);
  if (!located)
    return messages::location_broken(infile);
  return {};
}

}  // namespace tervox::driver
