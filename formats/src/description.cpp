#include "formats/description.hpp"

#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace tervox::formats {
namespace {

// Members in the order they are written, so that the file reads top down.
using json = nlohmann::ordered_json;

// A whole number is written without a fraction (-9999, not -9999.0), as the
// file it came from most likely wrote it.
json number(double v) {
  if (std::trunc(v) == v && std::fabs(v) < 9007199254740992.0)
    return static_cast<std::int64_t>(v);
  return v;
}

// Thrown inside the reader with the member at fault; caught below.
struct wrong_member {
  std::string member, expected;
};

const json* member(const json& object, const char* key) {
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

std::string text_member(const json& object, const char* key, const std::string& path) {
  const json* m = member(object, key);
  if (!m)
    return {};
  if (!m->is_string())
    throw wrong_member{path + key, "a string"};
  return m->get<std::string>();
}

const json* object_member(const json& object, const char* key) {
  const json* m = member(object, key);
  if (m && !m->is_object())
    throw wrong_member{key, "an object"};
  return m;
}

}  // namespace

std::string description_text(const description& about) {
  json j;
  j["tervox_description"] = 1;
  if (!about.source_file.empty() || !about.source_format.empty()) {
    json& s = j["source"] = json::object();
    if (!about.source_file.empty())
      s["file"] = about.source_file;
    if (!about.source_format.empty())
      s["format"] = about.source_format;
  }
  if (about.epsg) {
    j["crs"] = {
        {"epsg", *about.epsg},
        {"name", about.crs_name.empty() ? "EPSG:" + std::to_string(*about.epsg) : about.crs_name}};
  }
  if (!about.property.empty() || !about.unit.empty()) {
    json& p = j["property"] = json::object();
    if (!about.property.empty())
      p["name"] = about.property;
    if (!about.unit.empty())
      p["unit"] = about.unit;
  }
  if (!about.length_unit.empty())
    j["length_unit"] = about.length_unit;
  json& v = j["vertical"] = {{"axis", about.vertical_axis}, {"positive", about.vertical_positive}};
  if (!about.length_unit.empty())
    v["unit"] = about.length_unit;
  if (about.nodata && std::isfinite(*about.nodata))
    j["nodata"] = number(*about.nodata);
  if (!about.columns.empty()) {
    json& c = j["columns"] = json::object();
    for (const auto& [role, taken] : about.columns) c[role] = taken;
  }
  if (!about.elevation_file.empty())
    j["elevation"] = about.elevation_file;
  // Names come from the survey file, which need not be UTF-8: a stray byte
  // becomes U+FFFD rather than stopping the run.
  return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

description_outcome read_description(std::string_view text, std::string_view name) {
  const std::string file(name);
  json j;
  try {
    j = json::parse(text);
  } catch (const json::parse_error& e) {
    // The parser's own words ("parse error at line 3, column 5: ...") without
    // its "[json.exception.parse_error.101] " tag.
    std::string what = e.what();
    if (auto close = what.find("] "); what.starts_with("[") && close != std::string::npos)
      what.erase(0, close + 2);
    return {std::nullopt, base::diagnostic::in_file(file, "not a description file: " + what)};
  }
  if (!j.is_object() || !j.contains("tervox_description"))
    return {std::nullopt, base::diagnostic::in_file(
                              file, "not a description file: no member \"tervox_description\"")};
  description about;
  try {
    if (!j["tervox_description"].is_number_integer())
      throw wrong_member{"tervox_description", "an integer"};
    if (const json* s = object_member(j, "source")) {
      about.source_file = text_member(*s, "file", "source.");
      about.source_format = text_member(*s, "format", "source.");
    }
    if (const json* c = object_member(j, "crs")) {
      if (const json* e = member(*c, "epsg")) {
        if (!e->is_number_integer() || e->get<std::int64_t>() <= 0 ||
            e->get<std::int64_t>() > INT32_MAX)
          throw wrong_member{"crs.epsg", "a positive integer"};
        about.epsg = static_cast<int>(e->get<std::int64_t>());
      }
      about.crs_name = text_member(*c, "name", "crs.");
    }
    if (const json* p = object_member(j, "property")) {
      about.property = text_member(*p, "name", "property.");
      about.unit = text_member(*p, "unit", "property.");
    }
    about.length_unit = text_member(j, "length_unit", "");
    if (const json* v = object_member(j, "vertical")) {
      if (v->contains("axis"))
        about.vertical_axis = text_member(*v, "axis", "vertical.");
      if (v->contains("positive"))
        about.vertical_positive = text_member(*v, "positive", "vertical.");
    }
    if (const json* n = member(j, "nodata")) {
      if (!n->is_number())
        throw wrong_member{"nodata", "a number"};
      about.nodata = n->get<double>();
    }
    if (const json* c = object_member(j, "columns")) {
      for (const auto& [role, taken] : c->items()) {
        if (!taken.is_string())
          throw wrong_member{"columns." + role, "a string"};
        about.columns.emplace_back(role, taken.get<std::string>());
      }
    }
    about.elevation_file = text_member(j, "elevation", "");
  } catch (const wrong_member& w) {
    return {std::nullopt,
            base::diagnostic::in_file(file, "member \"" + w.member + "\" should be " + w.expected)};
  }
  return {std::move(about), {}};
}

}  // namespace tervox::formats
