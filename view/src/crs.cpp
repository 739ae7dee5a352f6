#include "crs.hpp"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <ogr_srs_api.h>

#include <cmath>
#include <numbers>

#include "base/diagnostic.hpp"

namespace tervox::view {

using base::diagnostic_error;

namespace {

class srs_handle {
 public:
  srs_handle() : h_(OSRNewSpatialReference(nullptr)) {}
  ~srs_handle() { OSRDestroySpatialReference(h_); }
  srs_handle(const srs_handle&) = delete;
  srs_handle& operator=(const srs_handle&) = delete;
  OGRSpatialReferenceH get() const { return h_; }

 private:
  OGRSpatialReferenceH h_;
};

std::string to_wkt(OGRSpatialReferenceH h) {
  char* text = nullptr;
  // WKT1 as GDAL writes it: every GIS and CF reader of today understands it.
  const char* const options[] = {"FORMAT=WKT1_GDAL", nullptr};
  if (OSRExportToWktEx(h, &text, options) != OGRERR_NONE || text == nullptr) {
    CPLFree(text);
    return {};
  }
  std::string wkt = text;
  CPLFree(text);
  return wkt;
}

// The CF names of the projections most surveys are laid out in; for others
// the WKT is the description.
void add_grid_mapping(OGRSpatialReferenceH h, crs_info& c) {
  const auto parameter = [&](const char* cf_name, const char* osr_name, double fallback) {
    OGRErr err = OGRERR_NONE;
    const double v = OSRGetProjParm(h, osr_name, fallback, &err);
    c.parameters.emplace_back(cf_name, err == OGRERR_NONE ? v : fallback);
  };
  if (c.geographic) {
    c.grid_mapping_name = "latitude_longitude";
  } else {
    const char* projection = OSRGetAttrValue(h, "PROJECTION", 0);
    if (projection == nullptr || std::string(projection) != SRS_PT_TRANSVERSE_MERCATOR)
      return;
    c.grid_mapping_name = "transverse_mercator";
    parameter("scale_factor_at_central_meridian", SRS_PP_SCALE_FACTOR, 1.0);
    parameter("longitude_of_central_meridian", SRS_PP_CENTRAL_MERIDIAN, 0.0);
    parameter("latitude_of_projection_origin", SRS_PP_LATITUDE_OF_ORIGIN, 0.0);
    parameter("false_easting", SRS_PP_FALSE_EASTING, 0.0);
    parameter("false_northing", SRS_PP_FALSE_NORTHING, 0.0);
  }
  OGRErr err = OGRERR_NONE;
  const double a = OSRGetSemiMajor(h, &err);
  if (err == OGRERR_NONE)
    c.parameters.emplace_back("semi_major_axis", a);
  const double f = OSRGetInvFlattening(h, &err);
  if (err == OGRERR_NONE)
    c.parameters.emplace_back("inverse_flattening", f);
  c.parameters.emplace_back("longitude_of_prime_meridian", OSRGetPrimeMeridian(h, nullptr));
}

// The unit of x and y, and whether a file may say metres or degrees.
void add_unit(OGRSpatialReferenceH h, crs_info& c) {
  char* name = nullptr;  // GDAL's own string, not to be freed
  if (c.geographic) {
    const double radians = OSRGetAngularUnits(h, &name);
    c.in_degrees = std::abs(radians - std::numbers::pi / 180) <= 1e-15;
  } else {
    c.in_metres = OSRGetLinearUnits(h, &name) == 1.0;
  }
  c.unit_name = name != nullptr ? name : "";
}

}  // namespace

crs_info look_up_crs(int epsg) {
  srs_handle srs;
  CPLPushErrorHandler(CPLQuietErrorHandler);
  const OGRErr err = OSRImportFromEPSG(srs.get(), epsg);
  CPLPopErrorHandler();
  if (err != OGRERR_NONE)
    throw diagnostic_error("EPSG:" + std::to_string(epsg) + " is not in the EPSG database of GDAL");
  crs_info c;
  c.epsg = epsg;
  const char* name = OSRGetName(srs.get());
  c.name = name != nullptr ? name : "";
  c.wkt = to_wkt(srs.get());
  c.geographic = OSRIsGeographic(srs.get()) != 0;
  if (c.wkt.empty() || (!c.geographic && OSRIsProjected(srs.get()) == 0)) {
    throw diagnostic_error("EPSG:" + std::to_string(epsg) + " (" + c.name +
                           ") is not a horizontal coordinate system that a map grid can be in");
  }
  add_grid_mapping(srs.get(), c);
  add_unit(srs.get(), c);
  return c;
}

}  // namespace tervox::view
