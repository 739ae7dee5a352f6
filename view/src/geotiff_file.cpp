#include "geotiff_file.hpp"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

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

// Rows per strip of the first file (the tiles of the final one are GDAL's
// choice for a COG): a band of this many rows in every layer is what the
// writer holds.
constexpr int band_rows = 32;
// GDAL's block cache defaults to a share of the machine's memory; the
// copy to a COG needs only a few rows of tiles of every band.
constexpr std::int64_t gdal_cache_bytes = std::int64_t{16} << 20;

constexpr double no_value = std::numeric_limits<double>::quiet_NaN();

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", v);
  return text;
}

// GDAL reports failures through its error handler; they are collected here
// and the last one names the cause.
class gdal_errors {
 public:
  explicit gdal_errors(std::string path) : path_(std::move(path)) {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
  }
  ~gdal_errors() { CPLPopErrorHandler(); }
  gdal_errors(const gdal_errors&) = delete;
  gdal_errors& operator=(const gdal_errors&) = delete;

  [[noreturn]] void fail() const {
    const std::string reason = CPLGetLastErrorMsg();
    throw diagnostic_error(diagnostic::in_file(
        path_, "cannot write the GeoTIFF file" + (reason.empty() ? std::string{} : ": " + reason)));
  }
  void check(CPLErr e) const {
    if (e != CE_None)
      fail();
  }

 private:
  std::string path_;
};

class dataset {
 public:
  explicit dataset(GDALDatasetH h) : h_(h) {}
  ~dataset() {
    if (h_ != nullptr)
      GDALClose(h_);
  }
  dataset(const dataset&) = delete;
  dataset& operator=(const dataset&) = delete;
  GDALDatasetH get() const { return h_; }
  /// Closes the file, which writes what GDAL still holds; false on failure.
  bool close() {
    CPLErrorReset();
    GDALClose(h_);
    h_ = nullptr;
    return CPLGetLastErrorType() < CE_Failure;
  }

 private:
  GDALDatasetH h_;
};

class string_list {
 public:
  string_list& set(const char* name, const std::string& value) {
    list_ = CSLSetNameValue(list_, name, value.c_str());
    return *this;
  }
  ~string_list() { CSLDestroy(list_); }
  string_list() = default;
  string_list(const string_list&) = delete;
  string_list& operator=(const string_list&) = delete;
  char** get() const { return list_; }

 private:
  char** list_ = nullptr;
};

void describe(GDALDatasetH d, const mesh& m, const grid_options& o,
              const std::vector<double>& depth, const gdal_errors& errors) {
  // North up: the first row of the raster is the northernmost, row ny.
  double transform[6] = {m.xmin, m.dx, 0, m.y_edge(m.ny), 0, -m.dy};
  errors.check(GDALSetGeoTransform(d, transform));
  if (o.crs) {
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    const OGRErr e = OSRImportFromEPSG(srs, o.crs->epsg);
    OSRSetAxisMappingStrategy(srs, OAMS_TRADITIONAL_GIS_ORDER);
    const CPLErr set = e == OGRERR_NONE ? GDALSetSpatialRef(d, srs) : CE_Failure;
    OSRDestroySpatialReference(srs);
    errors.check(set);
  }
  const int bands = GDALGetRasterCount(d);
  for (int b = 1; b <= bands; ++b) {
    GDALRasterBandH band = GDALGetRasterBand(d, b);
    errors.check(GDALSetRasterNoDataValue(band, no_value));
    const int layer = o.layer != 0 ? o.layer : b;
    if (depth.empty()) {
      GDALSetDescription(band, ("layer " + std::to_string(layer)).c_str());
      continue;
    }
    const double top = depth[static_cast<std::size_t>(layer - 1)];
    const double bottom = depth[static_cast<std::size_t>(layer)];
    GDALSetDescription(band, ("layer " + std::to_string(layer) + ", depth " + number(top) + " to " +
                              number(bottom))
                                 .c_str());
    errors.check(GDALSetMetadataItem(band, "LAYER", std::to_string(layer).c_str(), nullptr));
    errors.check(GDALSetMetadataItem(band, "DEPTH_TOP", number(top).c_str(), nullptr));
    errors.check(GDALSetMetadataItem(band, "DEPTH_BOTTOM", number(bottom).c_str(), nullptr));
  }
}

// The depths where the mesh gives them; a map of layers needs none, so a
// thickness too wide for its field only leaves the descriptions shorter.
std::vector<double> known_depths(const mesh& m) {
  try {
    return layer_depths(m);
  } catch (const diagnostic_error&) {
    return {};
  }
}

}  // namespace

void write_geotiff(const std::string& path, const std::string& volume, const mesh& m,
                   const grid_options& o) {
  GDALAllRegister();
  // No side files: everything GDAL knows of the raster goes into the TIFF.
  CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
  GDALSetCacheMax64(gdal_cache_bytes);
  const gdal_errors errors(path);
  GDALDriverH gtiff = GDALGetDriverByName("GTiff");
  GDALDriverH cog = GDALGetDriverByName("COG");
  if (gtiff == nullptr)
    throw diagnostic_error(diagnostic::in_file(path, "this GDAL has no GeoTIFF driver"));

  const std::vector<double> depth = known_depths(m);
  const int bands = o.layer != 0 ? 1 : m.nlayer;
  const auto nx = static_cast<std::size_t>(m.nx);
  const auto ny = static_cast<std::size_t>(m.ny);
  const auto nbands = static_cast<std::size_t>(bands);

  output_file out(path);
  if (const io_result r = out.open(); !r.ok())
    throw diagnostic_error(r.problem);
  // A COG is made by copying a finished raster: the strips are written to a
  // second temporary file first, removed at the end whatever happens.
  output_file strips(path + ".strips");
  if (cog != nullptr) {
    if (const io_result r = strips.open(); !r.ok())
      throw diagnostic_error(r.problem);
  }
  const std::string first_path = cog != nullptr ? strips.temp_path() : out.temp_path();

  string_list create;
  create.set("BIGTIFF", "IF_SAFER").set("INTERLEAVE", "BAND");
  if (cog != nullptr) {
    // Read back once by the copy: compressing it would only cost time.
    create.set("COMPRESS", "NONE").set("BLOCKYSIZE", std::to_string(band_rows));
  } else {
    create.set("COMPRESS", "DEFLATE").set("PREDICTOR", "3").set("ZLEVEL", "1");
    create.set("TILED", "YES").set("BLOCKXSIZE", "256").set("BLOCKYSIZE", "256");
  }
  const int rows = cog != nullptr ? band_rows : 256;
  dataset d(GDALCreate(gtiff, first_path.c_str(), m.nx, m.ny, bands, GDT_Float32, create.get()));
  if (d.get() == nullptr)
    errors.fail();
  describe(d.get(), m, o, depth, errors);

  // Raster rows count from the north; a band of rows [top, top + rows) is
  // complete once its southernmost row, read first, and its northernmost,
  // read last, have come.
  const auto urows = static_cast<std::size_t>(rows);
  std::vector<float> band(nbands * urows * nx);
  read_volume(volume, m, volume_request::everything(m, o.layer),
              [&](int ix, int iy, bool, std::span<const float> values) {
                const std::size_t r = ny - static_cast<std::size_t>(iy);
                const std::size_t top = r / urows * urows;
                const std::size_t height = std::min(urows, ny - top);
                const std::size_t cell = (r - top) * nx + static_cast<std::size_t>(ix - 1);
                for (std::size_t b = 0; b < nbands; ++b) band[(b * height) * nx + cell] = values[b];
                if (ix < m.nx || r != top)
                  return;
                for (std::size_t b = 0; b < nbands; ++b) {
                  errors.check(GDALRasterIO(GDALGetRasterBand(d.get(), static_cast<int>(b + 1)),
                                            GF_Write, 0, static_cast<int>(top), m.nx,
                                            static_cast<int>(height), band.data() + b * height * nx,
                                            m.nx, static_cast<int>(height), GDT_Float32, 0, 0));
                }
              });

  if (cog != nullptr) {
    string_list copy;
    // The fastest deflate: the larger levels gain a few per cent on
    // floats at several times the time. Both cores compress.
    copy.set("COMPRESS", "DEFLATE").set("PREDICTOR", "YES").set("LEVEL", "1");
    copy.set("OVERVIEW_COMPRESS", "DEFLATE").set("OVERVIEW_PREDICTOR", "YES");
    copy.set("BLOCKSIZE", "256").set("BIGTIFF", "IF_SAFER").set("RESAMPLING", "AVERAGE");
    copy.set("NUM_THREADS", "ALL_CPUS");
    dataset c(
        GDALCreateCopy(cog, out.temp_path().c_str(), d.get(), FALSE, copy.get(), nullptr, nullptr));
    if (c.get() == nullptr || !c.close())
      errors.fail();
  }
  if (!d.close())
    errors.fail();
  if (const io_result r = out.commit(); !r.ok())
    throw diagnostic_error(r.problem);
}

}  // namespace tervox::view
