// Layers of the grid as a GeoTIFF, which QGIS, ArcGIS and every other GIS
// open directly: float32, one band per layer, north up, the geotransform
// from the mesh (top-left corner at xmin, ymin + ny*dy), nodata NaN in filled
// cells and where the volume holds no number. Written as a Cloud-Optimized
// GeoTIFF (tiled, compressed, with overviews) where GDAL has its COG
// driver, and as a tiled, compressed GeoTIFF otherwise.
//
// The volume is read once, front to back: its rows come south first, each
// band of rows is written as it is complete, and GDAL's block cache is held
// small, so the memory taken is that of a band of rows in every band.
#pragma once

#include <string>

#include "formats/mesh_file.hpp"
#include "grid_file.hpp"

namespace tervox::view {

/// Writes the volume file at `volume`, laid out as `m` says, to `path`,
/// complete or not at all: the options' layer, or every layer, in the
/// options' coordinate system. Throws diagnostic_error.
void write_geotiff(const std::string& path, const std::string& volume, const formats::mesh& m,
                   const grid_options& o);

}  // namespace tervox::view
