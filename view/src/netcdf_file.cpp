#include "netcdf_file.hpp"

#include <netcdf.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "band_pipeline.hpp"
#include "base/diagnostic.hpp"
#include "base/output_file.hpp"
#include "formats/volume_file.hpp"

namespace tervox::view {

using base::diagnostic;
using base::diagnostic_error;
using base::io_result;
using base::output_file;
using formats::layer_depths;
using formats::mesh;
using formats::read_volume;
using formats::volume_request;

namespace {

// Rows of cells per chunk, and cells along x: a chunk of one layer is then
// at most 64 kB, small enough to read one layer of a corner quickly and large
// enough to compress well.
constexpr int band_rows = 32;
constexpr int chunk_columns = 512;
constexpr int deflate_level =
    1;  // the larger levels gain little on floats, at several times the time

constexpr float no_value = std::numeric_limits<float>::quiet_NaN();

// One open NetCDF file; failures become diagnostic_error naming the output file.
class nc_file {
 public:
  nc_file(const std::string& shown_path, const std::string& real_path) : path_(shown_path) {
    // Every variable but the values is written whole or band by band, and
    // needs no more than a small cache; the values' cache is set to a band.
    check(nc_set_chunk_cache(std::size_t{1} << 20, 101, 1.0f));
    check(nc_create(real_path.c_str(), NC_NETCDF4 | NC_CLOBBER, &id_));
    open_ = true;
  }
  ~nc_file() {
    // After a failed write the library's own abort can crash (netCDF 4.9
    // walks objects the failed flush left half-closed), so the handle is
    // then left as it is: the file is removed anyway, and the process ends.
    if (open_ && !failed_)
      nc_abort(id_);
  }
  nc_file(const nc_file&) = delete;
  nc_file& operator=(const nc_file&) = delete;

  void check(int status) {
    if (status == NC_NOERR)
      return;
    failed_ = true;
    throw diagnostic_error(diagnostic::in_file(
        path_, std::string("cannot write the NetCDF file: ") + nc_strerror(status)));
  }
  int id() const { return id_; }

  int dimension(const char* name, std::size_t length) {
    int d = 0;
    check(nc_def_dim(id_, name, length, &d));
    return d;
  }
  int variable(const std::string& name, nc_type type, std::initializer_list<int> dims) {
    int v = 0;
    const std::vector<int> d(dims);
    check(nc_def_var(id_, name.c_str(), type, static_cast<int>(d.size()), d.data(), &v));
    return v;
  }
  void text(int var, const char* name, const std::string& value) {
    check(nc_put_att_text(id_, var, name, value.size(), value.c_str()));
  }
  void number(int var, const char* name, double value) {
    check(nc_put_att_double(id_, var, name, NC_DOUBLE, 1, &value));
  }
  void close() {
    open_ = false;
    check(nc_close(id_));
  }

 private:
  std::string path_;
  int id_ = -1;
  bool open_ = false;
  bool failed_ = false;
};

// The dimensions of the file.
struct dimensions {
  int depth = 0, y = 0, x = 0, bnds = 0;
};

dimensions define_dimensions(nc_file& f, const mesh& m) {
  dimensions d;
  d.depth = f.dimension("depth", static_cast<std::size_t>(m.nlayer));
  d.y = f.dimension("y", static_cast<std::size_t>(m.ny));
  d.x = f.dimension("x", static_cast<std::size_t>(m.nx));
  d.bnds = f.dimension("bnds", 2);
  return d;
}

// A coordinate variable with its bounds variable, both double.
int coordinate(nc_file& f, const char* name, int dim, int bnds) {
  const int v = f.variable(name, NC_DOUBLE, {dim});
  f.variable(std::string(name) + "_bounds", NC_DOUBLE, {dim, bnds});
  f.text(v, "bounds", std::string(name) + "_bounds");
  return v;
}

// x, y and depth with their bounds, depth positive down. x and y claim a
// unit only where the coordinate system gives one CF can name: degrees in a
// geographic system, metres in a projected one in metres. Without a system
// the numbers may be metres, feet or degrees, and a file that said metres
// would place a grid in degrees wrongly; so it says nothing of their unit,
// nor that they are projection coordinates.
void define_coordinates(nc_file& f, const dimensions& d, const std::optional<crs_info>& crs) {
  const int x = coordinate(f, "x", d.x, d.bnds);
  const int y = coordinate(f, "y", d.y, d.bnds);
  f.text(x, "axis", "X");
  f.text(y, "axis", "Y");
  if (crs && crs->geographic) {
    f.text(x, "standard_name", "longitude");
    f.text(y, "standard_name", "latitude");
  } else if (crs) {
    f.text(x, "standard_name", "projection_x_coordinate");
    f.text(y, "standard_name", "projection_y_coordinate");
  }
  // A unit CF cannot name is given in words.
  const std::string in_words = crs && !crs->in_metres && !crs->in_degrees && !crs->unit_name.empty()
                                   ? " (" + crs->unit_name + ")"
                                   : "";
  f.text(x, "long_name", "x of the cell centre" + in_words);
  f.text(y, "long_name", "y of the cell centre" + in_words);
  if (crs && crs->in_degrees) {
    f.text(x, "units", "degrees_east");
    f.text(y, "units", "degrees_north");
  } else if (crs && crs->in_metres) {
    f.text(x, "units", "m");
    f.text(y, "units", "m");
  }
  const int z = coordinate(f, "depth", d.depth, d.bnds);
  f.text(z, "standard_name", "depth");
  f.text(z, "long_name", "depth of the middle of the layer");
  f.text(z, "units", "m");
  f.text(z, "positive", "down");
  f.text(z, "axis", "Z");
}

// A chunk of the values: one layer of a band of rows by up to chunk_columns
// cells; the filled array's chunks are the last two of these.
using chunk_shape = std::array<std::size_t, 3>;

chunk_shape chunk_of(const mesh& m) {
  return {1, std::min<std::size_t>(static_cast<std::size_t>(m.ny), band_rows),
          std::min<std::size_t>(static_cast<std::size_t>(m.nx), chunk_columns)};
}

// The values, NAME(depth, y, x), chunked and compressed, with NaN for
// missing values.
int define_values(nc_file& f, const dimensions& d, const chunk_shape& chunk,
                  const grid_options& o) {
  const int data = f.variable(o.name, NC_FLOAT, {d.depth, d.y, d.x});
  f.check(nc_def_var_chunking(f.id(), data, NC_CHUNKED, chunk.data()));
  f.check(nc_def_var_deflate(f.id(), data, 1, 1, deflate_level));
  f.check(nc_def_var_fill(f.id(), data, NC_FILL, &no_value));
  f.text(data, "long_name", o.long_name.empty() ? o.name : o.long_name);
  if (!o.units.empty())
    f.text(data, "units", o.units);
  if (o.crs)
    f.text(data, "grid_mapping", "crs");
  f.text(data, "comment",
         "not-a-number in filled cells (see filled) and where the volume file holds no number");
  return data;
}

// filled(y, x): 1 in filled cells, as CF flags.
int define_filled(nc_file& f, const dimensions& d, const chunk_shape& chunk, bool mapped) {
  const int filled = f.variable("filled", NC_BYTE, {d.y, d.x});
  f.check(nc_def_var_chunking(f.id(), filled, NC_CHUNKED, chunk.data() + 1));
  f.check(nc_def_var_deflate(f.id(), filled, 1, 1, deflate_level));
  const std::array<signed char, 2> flags{0, 1};
  f.check(nc_put_att_schar(f.id(), filled, "flag_values", NC_BYTE, 2, flags.data()));
  f.text(filled, "flag_meanings", "interpolated filled");
  f.text(filled, "long_name", "cell centre outside the soundings' convex hull, given no value");
  if (mapped)
    f.text(filled, "grid_mapping", "crs");
  return filled;
}

// The grid mapping variable crs: CF's parameters where CF names the
// projection, and the WKT.
void define_crs(nc_file& f, const crs_info& crs) {
  const int c = f.variable("crs", NC_INT, {});
  if (!crs.grid_mapping_name.empty())
    f.text(c, "grid_mapping_name", crs.grid_mapping_name);
  for (const auto& [name, value] : crs.parameters) f.number(c, name.c_str(), value);
  f.text(c, "crs_wkt", crs.wkt);
  // GDAL, and QGIS through it, look for the WKT under this name.
  f.text(c, "spatial_ref", crs.wkt);
  f.text(c, "long_name", crs.name);
}

void define_global_attributes(nc_file& f, const std::string& volume, const std::string& history) {
  f.text(NC_GLOBAL, "Conventions", "CF-1.8");
  f.text(NC_GLOBAL, "source", "tervox-view netcdf, from the volume file " + volume);
  if (!history.empty())
    f.text(NC_GLOBAL, "history", history);
}

void put_coordinate(nc_file& f, const char* name, const std::vector<double>& edges) {
  std::vector<double> centre, bounds;
  for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
    centre.push_back((edges[i] + edges[i + 1]) / 2);
    bounds.push_back(edges[i]);
    bounds.push_back(edges[i + 1]);
  }
  int v = 0;
  f.check(nc_inq_varid(f.id(), name, &v));
  f.check(nc_put_var_double(f.id(), v, centre.data()));
  f.check(nc_inq_varid(f.id(), (std::string(name) + "_bounds").c_str(), &v));
  f.check(nc_put_var_double(f.id(), v, bounds.data()));
}

void put_coordinates(nc_file& f, const mesh& m, const std::vector<double>& depth) {
  std::vector<double> edges;
  for (int i = 0; i <= m.nx; ++i) edges.push_back(m.x_edge(i));
  put_coordinate(f, "x", edges);
  edges.clear();
  for (int i = 0; i <= m.ny; ++i) edges.push_back(m.y_edge(i));
  put_coordinate(f, "y", edges);
  put_coordinate(f, "depth", depth);
}

// The values and the filled array, read from the volume file and written
// band by band: one band of rows in every layer, layer by layer as the
// variable is stored, written whole, so every chunk is written once and
// complete.
void put_values(nc_file& f, const std::string& volume, const mesh& m, int data, int filled,
                const chunk_shape& chunk) {
  const auto nx = static_cast<std::size_t>(m.nx);
  const auto nlayer = static_cast<std::size_t>(m.nlayer);
  const std::size_t rows = chunk[1];
  const std::size_t plane = rows * nx;
  // The library's cache need only hold the chunks of one band.
  const std::size_t band_bytes = nlayer * plane * sizeof(float);
  f.check(nc_set_var_chunk_cache(f.id(), data, band_bytes + (std::size_t{1} << 20), 1009, 1.0f));

  struct band {
    std::vector<float> values;
    std::vector<signed char> filled;
    std::size_t first = 0, rows = 0;  ///< rows from 0, south first
  };
  const auto write_band = [&](band& b) {
    if (b.rows < rows) {
      // The last, shorter band: its layers must lie back to back.
      for (std::size_t k = 1; k < nlayer; ++k) {
        std::copy_n(b.values.begin() + static_cast<std::ptrdiff_t>(k * plane), b.rows * nx,
                    b.values.begin() + static_cast<std::ptrdiff_t>(k * b.rows * nx));
      }
    }
    const std::array<std::size_t, 3> start{0, b.first, 0};
    const std::array<std::size_t, 3> count{nlayer, b.rows, nx};
    f.check(nc_put_vara_float(f.id(), data, start.data(), count.data(), b.values.data()));
    f.check(nc_put_vara_schar(f.id(), filled, start.data() + 1, count.data() + 1, b.filled.data()));
  };
  const auto empty_band = [&] {
    return band{std::vector<float>(nlayer * plane), std::vector<signed char>(plane), 0, 0};
  };
  band_pipeline<band> pipeline(write_band, empty_band(), empty_band());

  read_volume(volume, m, volume_request::everything(m),
              [&](int ix, int iy, bool is_filled, std::span<const float> values) {
                band& b = pipeline.filling();
                const std::size_t row = static_cast<std::size_t>(iy - 1) % rows;
                const std::size_t cell = row * nx + static_cast<std::size_t>(ix - 1);
                for (std::size_t k = 0; k < nlayer; ++k) b.values[k * plane + cell] = values[k];
                b.filled[cell] = is_filled ? 1 : 0;
                if (ix < m.nx || (row + 1 < rows && iy < m.ny))
                  return;
                b.first = static_cast<std::size_t>(iy) - 1 - row;
                b.rows = row + 1;
                pipeline.hand_over();
              });
  pipeline.finish();
}

}  // namespace

void write_netcdf(const std::string& path, const std::string& volume, const mesh& m,
                  const grid_options& o) {
  const std::vector<double> depth = layer_depths(m);
  output_file out(path);
  if (const io_result r = out.open(); !r.ok())
    throw diagnostic_error(r.problem);
  nc_file f(path, out.temp_path());

  // The definitions, in the order the file lists them.
  const dimensions d = define_dimensions(f, m);
  define_coordinates(f, d, o.crs);
  const chunk_shape chunk = chunk_of(m);
  const int data = define_values(f, d, chunk, o);
  const int filled = define_filled(f, d, chunk, o.crs.has_value());
  if (o.crs)
    define_crs(f, *o.crs);
  define_global_attributes(f, volume, o.history);
  f.check(nc_enddef(f.id()));

  put_coordinates(f, m, depth);
  put_values(f, volume, m, data, filled, chunk);
  f.close();
  if (const io_result r = out.commit(); !r.ok())
    throw diagnostic_error(r.problem);
}

}  // namespace tervox::view
