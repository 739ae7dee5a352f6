// The description file: what tervox knows about a volume beyond its grid,
// written beside the volume as OUT.json when there is something to say (the
// input was a delivered survey file, or the user named a coordinate system).
// tervox-view reads it for its defaults (the coordinate system, the
// property's name and unit).
//
//   {
//     "tervox_description": 1,
//     "source": { "file": "survey.xyz", "format": "xyz" },
//     "crs": { "epsg": 28354, "name": "GDA94 / MGA zone 54" },
//     "property": { "name": "resistivity", "unit": "ohm m" },
//     "length_unit": "m",
//     "vertical": { "axis": "depth", "positive": "down", "unit": "m" },
//     "nodata": -9999,
//     "columns": { "x": "UTMX", "y": "UTMY", "values": "RHO_I_1..RHO_I_30" },
//     "elevation": "OUT.elevation"
//   }
//
// "elevation" names the ground elevation's grid beside the volume (a file
// name, no folder), where the run wrote one (--elevation).
//
// Every member is optional but "tervox_description". What is not known is
// left out rather than guessed: no "crs" without a code, no "length_unit"
// when the file names none, no "nodata" when the file marks nothing missing
// (NaN has no JSON form). Members the reader does not know are ignored, so
// a later version can add some.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/diagnostic.hpp"

namespace tervox::formats {

struct description {
  std::string source_file, source_format;
  std::optional<int> epsg;  ///< the coordinates' EPSG code
  std::string crs_name;     ///< the system as the file words it, else "EPSG:n"
  std::string property, unit, length_unit;
  std::string vertical_axis = "depth", vertical_positive = "down";
  std::optional<double> nodata;  ///< the value the file marks missing values with
  std::vector<std::pair<std::string, std::string>> columns;  ///< role name, columns taken
  std::string elevation_file;  ///< the ground elevation's grid beside the volume; empty: none
};

/// The JSON text, indented by 2 blanks, with a final line end.
std::string description_text(const description& about);

struct description_outcome {
  std::optional<description> about;  ///< absent when `problem` says why
  base::diagnostic problem;
};

/// Parses a description file's text. When it is not JSON, is no description
/// (no "tervox_description") or a member has the wrong type, the diagnostic
/// names `name` and, for a parse error, the parser's position.
description_outcome read_description(std::string_view text, std::string_view name);

}  // namespace tervox::formats
