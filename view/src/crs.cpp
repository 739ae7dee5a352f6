#include "crs.hpp"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
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

// GDAL gives -1000 for the bounds of an area it does not know.
bool is_area(double west, double south, double east, double north) {
  const auto longitude = [](double v) { return v >= -180 && v <= 180; };
  const auto latitude = [](double v) { return v >= -90 && v <= 90; };
  return longitude(west) && longitude(east) && latitude(south) && latitude(north) && south <= north;
}

// A box of longitudes and latitudes in degrees; west > east where it
// crosses 180 degrees.
using box = area_of_use;

// The box of longitudes and latitudes (of WGS 84, within a few metres of
// other datums, plenty for telling a continent from an ocean) that the
// grid's extent covers in the system `epsg`, with the edges followed, not
// only the corners; none where the system cannot place it.
std::optional<box> in_degrees(int epsg, const extent& e) {
  srs_handle from, to;
  CPLPushErrorHandler(CPLQuietErrorHandler);
  std::optional<box> b;
  if (OSRImportFromEPSG(from.get(), epsg) == OGRERR_NONE &&
      OSRImportFromEPSG(to.get(), 4326) == OGRERR_NONE) {
    // x and y as the grid has them, and longitude before latitude, whatever
    // order the database gives the axes.
    OSRSetAxisMappingStrategy(from.get(), OAMS_TRADITIONAL_GIS_ORDER);
    OSRSetAxisMappingStrategy(to.get(), OAMS_TRADITIONAL_GIS_ORDER);
    OGRCoordinateTransformationH t = OCTNewCoordinateTransformation(from.get(), to.get());
    box r;
    if (t != nullptr &&
        OCTTransformBounds(t, e.x0, e.y0, e.x1, e.y1, &r.west, &r.south, &r.east, &r.north, 21) !=
            0 &&
        is_area(r.west, r.south, r.east, r.north)) {
      b = r;
    }
    OCTDestroyCoordinateTransformation(t);
  }
  CPLPopErrorHandler();
  return b;
}

// The stretches of longitude a box covers: one, or two where it crosses 180
// degrees.
std::vector<std::pair<double, double>> longitudes(const box& b) {
  if (b.west <= b.east)
    return {{b.west, b.east}};
  return {{b.west, 180}, {-180, b.east}};
}

bool overlaps(const box& a, const box& b) {
  if (b.north < a.south || b.south > a.north)
    return false;
  for (const auto& [w1, e1] : longitudes(a)) {
    for (const auto& [w2, e2] : longitudes(b)) {
      if (w2 <= e1 && w1 <= e2)
        return true;
    }
  }
  return false;
}

// Whether `inner` lies within `outer`.
bool within(const box& outer, const box& inner) {
  if (inner.south < outer.south || inner.north > outer.north)
    return false;
  const auto stretches = longitudes(outer);
  for (const auto& [w, e] : longitudes(inner)) {
    if (std::none_of(stretches.begin(), stretches.end(),
                     [&](const auto& s) { return s.first <= w && e <= s.second; }))
      return false;
  }
  return true;
}

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", v);
  return text;
}

// "48.19°S": degrees to two decimals, without trailing zeros.
std::string degree(double v, char positive, char negative) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", std::abs(v));
  std::string t = text;
  t.erase(t.find_last_not_of('0') + 1);
  if (t.back() == '.')
    t.pop_back();
  return t + "\u00b0" + (v < 0 && t != "0" ? negative : positive);
}

std::string degrees(double west, double east, double south, double north) {
  return degree(west, 'E', 'W') + " to " + degree(east, 'E', 'W') + " and " +
         degree(south, 'N', 'S') + " to " + degree(north, 'N', 'S');
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
  double west = 0, south = 0, east = 0, north = 0;
  const char* area_name = nullptr;
  if (OSRGetAreaOfUse(srs.get(), &west, &south, &east, &north, &area_name) != 0 &&
      is_area(west, south, east, north)) {
    c.area = area_of_use{west, south, east, north, area_name != nullptr ? area_name : ""};
  }
  return c;
}

std::string placement_doubt(const crs_info& c, const extent& e) {
  if (!c.area)
    return {};
  const std::optional<box> at = in_degrees(c.epsg, e);
  if (at && overlaps(*c.area, *at))
    return {};
  const std::optional<box> swapped = in_degrees(c.epsg, {e.y0, e.y1, e.x0, e.x1});
  std::string text =
      "the grid (x from " + number(e.x0) + " to " + number(e.x1) + ", y from " + number(e.y0) +
      " to " + number(e.y1) + ") lies outside the area of use of EPSG:" + std::to_string(c.epsg) +
      " (" + c.name + "), " + degrees(c.area->west, c.area->east, c.area->south, c.area->north);
  // The database words some areas as a list of every country or county
  // they touch: those the degrees say well enough.
  std::string area = c.area->name;
  if (area.ends_with('.'))
    area.pop_back();
  if (!area.empty() && area.size() <= 100)
    text += " (" + area + ")";
  text += at ? "; in it the grid lies at " + degrees(at->west, at->east, at->south, at->north)
             : "; the grid has no place in it";
  if (swapped && within(*c.area, *swapped))
    text += "; x and y look swapped: with them swapped the grid lies inside the area";
  else
    text += "; are x and y swapped, or is the grid in another system?";
  return text;
}

}  // namespace tervox::view
