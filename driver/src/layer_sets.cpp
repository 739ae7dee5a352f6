#include "layer_sets.hpp"

#include <cmath>
#include <cstddef>
#include <triang/triang.hpp>

#include "leading_nodes.hpp"
#include "messages.hpp"

namespace tervox::driver {

using base::diagnostic;
using formats::survey;

layer_sets layer_sets::find(const survey& s) {
  layer_sets found;
  const std::size_t n = static_cast<std::size_t>(s.nsound);
  std::vector<unsigned char> present(n);
  // A hash of each set's soundings, so that a layer is compared in full only
  // with a set that most likely is its own.
  std::vector<std::uint64_t> hashes;
  for (int k = 1; k <= s.nlayer; ++k) {
    const std::span<const float> values = s.layer(k);
    std::int64_t count = 0;
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (std::size_t i = 0; i < n; ++i) {
      present[i] = std::isnan(values[i]) ? 0 : 1;
      count += present[i];
      hash = (hash ^ present[i]) * 0x100000001b3u;
    }
    if (count == s.nsound)
      continue;  // the run's own triangulation serves it
    bool joined = false;
    for (std::size_t t = 0; t < found.sets_.size() && !joined; ++t) {
      set& other = found.sets_[t];
      if (hashes[t] == hash && other.count == count && other.present == present) {
        other.layers.push_back(k);
        joined = true;
      }
    }
    if (!joined) {
      found.sets_.push_back(set{{k}, present, {}, count, {}, {}, {}, {}, {}, {}});
      hashes.push_back(hash);
    }
  }
  return found;
}

void layer_sets::reorder(std::span<const int> ind) {
  if (sets_.empty())
    return;
  // Where the sounding read f-th (from 0) is now.
  std::vector<int> now(ind.size());
  for (std::size_t q = 0; q < ind.size(); ++q)
    now[static_cast<std::size_t>(ind[q] - 1)] = static_cast<int>(q);
  for (set& t : sets_) {
    t.at.reserve(static_cast<std::size_t>(t.count));
    for (std::size_t f = 0; f < t.present.size(); ++f) {
      if (t.present[f])
        t.at.push_back(now[f]);
    }
    t.present = {};
  }
}

diagnostic layer_sets::triangulate(const survey& s, bool doi, std::string_view infile,
                                   std::vector<diagnostic>& warnings, progress_meter* meter,
                                   std::string_view subject) {
  views_.clear();
  for (set& t : sets_) {
    const std::size_t m = t.at.size();
    const int nodes = static_cast<int>(m);
    // The set's soundings in file order, then ordered by x as the run orders
    // its soundings, each column carried along.
    t.x.resize(m);
    t.y.resize(m);
    t.dat.resize(m * t.layers.size());
    for (std::size_t i = 0; i < m; ++i) {
      const auto q = static_cast<std::size_t>(t.at[i]);
      t.x[i] = s.xloc[q];
      t.y[i] = s.yloc[q];
      for (std::size_t j = 0; j < t.layers.size(); ++j) t.dat[j * m + i] = s.layer(t.layers[j])[q];
    }
    if (doi) {
      t.doi.resize(m);
      for (std::size_t i = 0; i < m; ++i) t.doi[i] = s.doi[static_cast<std::size_t>(t.at[i])];
    }
    t.at = {};
    const auto column = [&](std::size_t j) { return std::span<float>(t.dat).subspan(j * m, m); };
    {
      std::vector<int> ind(m);
      triang::reordr(nodes, 3, t.x, t.y, column(0), ind);
      for (std::size_t j = 1; j < t.layers.size(); ++j) triang::permut(nodes, ind, column(j));
      if (doi)
        triang::permut(nodes, ind, t.doi);
    }

    if (nodes < 3) {
      warnings.push_back(subject.empty()
                             ? messages::too_few_values(infile, t.layers, t.count)
                             : messages::too_few_values(infile, subject, true, t.count));
    } else {
      // The same checks as the run's own triangulation: first triangles that
      // single precision gets wrong, a construction that breaks down.
      if (!leading_nodes_agree(t.x, t.y))
        return messages::spread_too_wide(infile);
      t.iadj.resize(6 * m - 9);
      t.iend.resize(m);
      std::vector<int> work(triang::trmesh_work_size(nodes));
      int ier = 0;
      if (meter != nullptr)
        meter->begin(run_phase::triangulating, t.count);
      triang::trmesh(nodes, t.x, t.y, t.iadj, t.iend, work, ier,
                     meter != nullptr ? &meter->counter() : nullptr);
      if (ier == triang::trmesh_ier::collinear) {
        warnings.push_back(subject.empty()
                               ? messages::values_on_one_line(infile, t.layers, t.count)
                               : messages::values_on_one_line(infile, subject, true, t.count));
        t.iadj = {};
        t.iend = {};
      } else if (ier != triang::trmesh_ier::ok) {
        return messages::triangulation_broken(infile);
      }
    }
    views_.push_back(layer_set{
        node_data{nodes, static_cast<int>(t.layers.size()), t.x, t.y, t.dat, t.iadj, t.iend}, t.doi,
        t.layers});
  }
  return {};
}

}  // namespace tervox::driver
