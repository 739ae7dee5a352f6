#include "survey_input.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace tervox::driver {

using base::concat;
using base::diagnostic;
using formats::survey_format;
using formats::survey_metadata;

std::optional<survey_format> input_form(const arguments& args) {
  if (args.format)
    return args.format;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(args.infile, ec))
    return std::nullopt;
  return formats::detect_format(args.infile);
}

diagnostic check_input_options(const arguments& args, survey_format form) {
  if (form != survey_format::native || args.delivered_only.empty())
    return {};
  return diagnostic::plain(concat({args.delivered_only.front(),
                                   " applies to survey files as delivered (xyz, gdf2, table), and ",
                                   base::quoted(args.infile), " is a soundings file",
                                   args.format ? "" : " (--format names the form)"}));
}

formats::delivered_options reading_options(const arguments& args,
                                           std::optional<survey_format> form) {
  formats::delivered_options o;
  o.format = form;
  o.columns = args.columns;
  o.columns.doi_needed = args.doi;
  o.columns.elevation_needed = args.elevation;
  o.nodata = args.nodata;
  o.native = {args.doi, args.nodata && std::isnan(*args.nodata), args.elevation};
  return o;
}

std::string records_file(const std::string& infile, std::optional<survey_format> form) {
  if (form != survey_format::gdf2)
    return infile;
  const std::filesystem::path p(infile);
  const std::string ext = p.extension().string();
  if (ext != ".dfn" && ext != ".DFN")
    return infile;
  for (const char* other : {".dat", ".DAT"}) {
    std::filesystem::path dat = p;
    dat.replace_extension(other);
    std::error_code ec;
    if (std::filesystem::is_regular_file(dat, ec))
      return dat.string();
  }
  return infile;
}

std::string elevation_path(const arguments& args) {
  return args.outfile + ".elevation";
}

std::optional<float> missing_value(const arguments& args, const survey_metadata& about) {
  if (args.nodata)
    return args.nodata;
  if (about.format != survey_format::native)
    return about.nodata;
  return std::nullopt;
}

std::string columns_taken(const arguments& args, const survey_metadata& about) {
  std::string line = "columns:";
  bool first = true;
  for (const formats::column_use& use : about.columns) {
    using formats::column_role;
    if (use.role == column_role::line || (use.role == column_role::doi && !args.doi) ||
        (use.role == column_role::elevation && !args.elevation))
      continue;
    line += concat({first ? " " : ", ", formats::role_name(use.role), " ", use.columns});
    first = false;
  }
  return line;
}

namespace {

// A single-precision value as a double that prints as its shortest decimal
// (-9999.99 rather than -9999.990234375): the value the file wrote.
double as_written(float v) {
  char text[32];
  const auto r = std::to_chars(text, text + sizeof text, v);
  *r.ptr = '\0';
  return std::strtod(text, nullptr);
}

}  // namespace

std::optional<formats::description> describe(const arguments& args, const survey_metadata& about) {
  const bool delivered = about.format != survey_format::native;
  if (!delivered && !args.crs_epsg)
    return std::nullopt;
  formats::description d;
  d.source_file = std::filesystem::path(args.infile).filename().string();
  d.source_format = std::string(formats::format_name(about.format));
  if (args.crs_epsg) {
    // The user's code wins; the file's wording may name another system.
    d.epsg = args.crs_epsg;
  } else if (about.epsg) {
    d.epsg = about.epsg;
    d.crs_name = about.crs;
  }
  d.property = about.property;
  d.unit = about.unit;
  d.length_unit = about.length_unit;
  if (const std::optional<float> nodata = missing_value(args, about);
      nodata && std::isfinite(*nodata))
    d.nodata = as_written(*nodata);
  for (const formats::column_use& use : about.columns)
    d.columns.emplace_back(std::string(formats::role_name(use.role)), use.columns);
  if (args.elevation)
    d.elevation_file = std::filesystem::path(elevation_path(args)).filename().string();
  return d;
}

}  // namespace tervox::driver
