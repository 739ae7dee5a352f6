// Survey files in the forms surveys deliver them, read into the same
// `survey` that the soundings file fills (soundings.hpp), so that everything
// after the reading is the same whatever the form.
//
//   xyz    an XYZ model export: header lines that start with '/', in
//          keyword/value pairs (/DUMMY then /9999, /COORDINATE SYSTEM then a
//          text that may hold epsg:NNNN, /NUMBER OF LAYERS then /30); the
//          last line that starts with "/ " names the columns; "/ ====" lines
//          divide. Then one record per line, values separated by blanks or
//          tabs. Lines "Line 1000" or "Tie 10" between the records (as
//          Geosoft writes them) give the line number of the records that
//          follow, where no column does; other lines that start with '/'
//          are comments.
//   gdf2   ASEG-GDF2: fixed-width records in a .dat file, described by the
//          .dfn beside it ("DEFN n ST=RECD,RT=; name : FORMAT : attributes").
//          A repeat count makes an array (30E15.6: 30 values 15 characters
//          wide), read as the columns name[0] .. name[29]. Records are cut at
//          the widths the .dfn gives, never at blanks: a value that fills its
//          width may touch the next. NULL= gives a field's dummy; UNITS= or
//          UNIT= its unit; attributes are separated by commas or colons.
//          Records of type COMM are comments, those of type PROJ (and the
//          PROJECTION=, DATUM=, extra2= attributes) describe the coordinates.
//   table  a headed table, CSV or blank-separated: one line of column names,
//          then one record per line. An empty field, NaN (any case) or '*'
//          is a missing value.
//
// Columns are found by name, never by position (recognised_names() lists
// the names; case does not matter), and the user's choices override them. A
// layered name carries the layer in one of four forms: NAME_1, NAME1 and
// NAME(1) count from 1, NAME[0] counts from 0; a run of such columns may
// start at 0 or 1 and must have no gap. Every column that is not chosen is
// read past unconverted: it may hold text (DATE 2021-09-17) or anything else.
// Only the chosen columns are kept: memory goes with soundings x layers,
// however many columns a record has. While reading, the layer values are
// held sounding by sounding and are then laid out layer by layer, so that
// for a moment they take twice their final room.
//
// Numbers are converted as the soundings file converts them: x and y to
// double, rounded once to single precision; layer values, the depth of
// investigation, the elevation and thicknesses written as such straight to
// single precision; D as an exponent letter is accepted.
//
// Layer geometry. The native file gives nlayer-1 thicknesses; here they come
// from, in this order of preference:
//   1. thicknesses from the user (--thicknesses), nlayer-1 or nlayer of them;
//   2. thickness columns (THK_n, thickness[n]): each converted straight to
//      single precision, as a thickness written in the soundings file is;
//   3. layer tops (DEP_TOP_n, depth_top[n]), depths below the ground:
//      dz(k) = top(k+1) - top(k), the tops converted to double, the
//      difference taken in double and rounded once to single precision;
//   4. layer bottoms alone (DEP_BOT_n): dz(k) = bot(k) - bot(k-1) alike,
//      with bot(0) = 0;
//   5. layer tops as elevations (elevation_top[n]):
//      dz(k) = etop(k) - etop(k+1) alike.
// This is what a careful converter writes into the soundings file: the
// thicknesses computed in double from the values read, rounded to single
// precision and printed in the shortest decimal that reads back as that
// single-precision value. The geometry of the first record is the one used;
// every later record must give the same within the precision each is
// written with (two written values agree when the intervals of half a unit
// in their last digit around them meet), or reading stops at the first
// record and column that differs. The last layer's thickness (the mesh
// file's last thickness, which is otherwise 1.5 times the one above) is
// kept in survey::last_dz where the file gives a real bottom for it: a last
// thickness, or a last bottom less its top; a dummy, a missing value or a
// value that is not positive is no bottom. A file with one layer needs no
// geometry; any other file without it needs the user's thicknesses.
//
// Missing values. The file's dummy (the /DUMMY value, NULL= of the values'
// field) and the markers of a missing value (an empty field, '*', NaN, a
// blank GDF2 field) are all stored as one value, survey_metadata::nodata:
// the user's --nodata where given, else the file's dummy for the values,
// else NaN. Values of a field equal to its own dummy (in single precision
// for layer values and depths of investigation) are stored as it too. So
// marking values equal to nodata as missing (NaN: the NaN values), as
// --nodata does, grids exactly as a careful converter's soundings file
// that holds the dummy in their place, run with --nodata <dummy>. A missing
// elevation or line number is stored as NaN; a missing x or y stops the
// reading.
//
// Diagnostics name the file, the line (for ASEG-GDF2, of the .dat or the
// .dfn) and the column, and quote the value:
//   survey.xyz:57: expected a number in column RHO_I_3 (layer 3 of sounding 17), got 'abc'
// A column that cannot be decided (no candidate, or several) is reported
// with the columns the file has and the option that names one.
#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostic.hpp"
#include "formats/soundings.hpp"

namespace tervox::formats {

/// The forms of a survey file: the soundings file, and the three of the
/// header comment.
enum class survey_format { native, xyz, gdf2, table };

/// "native", "xyz", "gdf2", "table": the names an option gives the forms.
std::string_view format_name(survey_format f);
/// The form of one of those names (any case), or nullopt.
std::optional<survey_format> format_from_name(std::string_view name);

/// The form of a file, from its first bytes (its first few lines are enough)
/// and its name:
///   gdf2    the name ends in .dfn, or the text starts with DEFN; or the name
///           ends in .dat and the first line holds no letters;
///   xyz     the first line that is not blank starts with '/';
///   table   the first line holds only names (no field is a number) and the
///           next as many fields;
///   native  anything else, so that its own reader reports what is wrong.
survey_format detect_format(std::string_view path, std::string_view first_bytes);
/// The same, reading the first bytes of `path`; a file whose name ends in
/// .dat and that has a .dfn beside it is ASEG-GDF2. A file that cannot be
/// read is native, for its reader to report.
survey_format detect_format(const std::string& path);

/// What a column can hold.
enum class column_role {
  x,              ///< easting
  y,              ///< northing
  values,         ///< the property, one column per layer
  uncertainty,    ///< the property's uncertainty per layer: recognised, never read
  thickness,      ///< layer thicknesses
  top,            ///< layer tops, depths below the ground
  bottom,         ///< layer bottoms, depths below the ground
  elevation_top,  ///< layer tops as elevations
  doi,            ///< depth of investigation
  elevation,      ///< ground elevation at the sounding
  line            ///< the survey line the sounding lies on
};
/// "x", "y", "values", "uncertainty", "thickness", "top", "bottom",
/// "elevation top", "doi", "elevation", "line".
std::string_view role_name(column_role role);

/// How a recognised name meets a column's name (case aside):
///   exact    the whole name;
///   prefix   the name starts with it (E_ for E_N83WTM);
///   layered  the name followed by a layer in one of the four forms
///            (RHO_I: RHO_I_1, RHO_I1, RHO_I(1), RHO_I[0]).
enum class name_match { exact, prefix, layered };

struct recognised_name {
  column_role role;
  std::string_view name;
  name_match match;
  /// Among the columns found for one role, those of the lowest rank are the
  /// candidates: DOI_CONSERVATIVE (rank 0) is taken over DOI_STANDARD (1).
  int rank;
  /// For values: the property and its usual unit ("resistivity", "ohm m").
  std::string_view property;
  std::string_view unit;
};

/// The names the readers recognise, as data (the user's guide shows them).
std::span<const recognised_name> recognised_names();

/// The user's choices, each overriding what the names would decide.
struct column_choices {
  std::string x;  ///< --x NAME
  std::string y;  ///< --y NAME
  /// --values PATTERN: the value columns, `*` standing for the layer number
  /// or index (RHO_I_*, RHO_I[*], SIGMA_I_*). A pattern without `*` is an
  /// array's name: an ASEG-GDF2 field (conductivity), or NAME in whichever
  /// of the four layered forms the file has.
  std::string values;
  std::string doi;  ///< --doi-column NAME
  /// --doi: the depth of investigation is needed, so a file without a
  /// column for it is refused (with its columns and the option that names
  /// one) rather than read without it.
  bool doi_needed = false;
  std::string elevation;  ///< --elevation-column NAME
  /// --elevation: the ground elevation is needed, so a file without a
  /// column for it is refused (with its columns and the option that names
  /// one).
  bool elevation_needed = false;
  std::string line;  ///< --line-column NAME
  /// --thicknesses LIST: nlayer-1 thicknesses, or nlayer (the last one the
  /// last layer's), each converted straight to single precision. They
  /// replace whatever geometry the file gives.
  std::vector<float> thicknesses;
};

struct delivered_options {
  std::optional<survey_format> format;  ///< nullopt: detect_format decides
  column_choices columns;
  /// The user's --nodata: missing values are stored as it (see the header
  /// comment), and values equal to it stay as they are.
  std::optional<float> nodata;
  /// For a soundings file: what its records hold beyond the usual.
  read_options native;
};

/// Which columns were taken for a role, for the user to see: "UTMX",
/// "RHO_I_1..RHO_I_30", "conductivity[0..29]".
struct column_use {
  column_role role;
  std::string columns;
};

/// What a file says about itself.
struct survey_metadata {
  survey_format format = survey_format::native;
  /// The EPSG code of the coordinates, where the file writes one or names a
  /// system that maps to exactly one (see epsg_from_text).
  std::optional<int> epsg;
  std::string crs;          ///< the coordinate system as the file words it
  std::string property;     ///< "resistivity" or "conductivity"; empty when not known
  std::string unit;         ///< "ohm m", "S/m", "mS/m", or as the file writes it
  std::string length_unit;  ///< "m", "ft", or as the file writes it; empty when not known
  /// The value missing values are stored as (see the header comment); empty
  /// when the file names no dummy and none of its values is missing.
  std::optional<float> nodata;
  std::string dummy;                ///< the file's dummy for the values as written; empty when none
  int header_layers = 0;            ///< the layer count the file's header gives; 0 when none
  std::vector<column_use> columns;  ///< the columns taken, role by role
};

/// The EPSG code a coordinate system's description names: an explicit code
/// (epsg:28354, EPSG 28354, EPSG=28354), or a datum and a UTM-style zone
/// that map to one code: GDA94 / MGA zone 54 (GDA94/MGA54) is 28354, GDA2020
/// / MGA zone 55 7855, WGS 84 / UTM zone 33N 32633 (33S 32733), NAD83 / UTM
/// zone 15N 26915, NAD27 26715, ETRS89 / UTM zone 32N 25832, AGD66 / AMG
/// zone 55 20255, AGD84 20355. nullopt where the text names none, or more
/// than one.
std::optional<int> epsg_from_text(std::string_view text);

/// Reads the survey file at `path` in the form `options.format`, or the one
/// detect_format finds. For ASEG-GDF2, `path` is the .dat or the .dfn, and
/// the other is the file of the same name beside it (.dfn or .DFN, .dat or
/// .DAT). A soundings file is read by read_soundings with `options.native`.
/// Results as read_soundings gives them; too_few_soundings comes when the
/// file holds fewer than 3 records. `bytes_read` counts the bytes of the
/// records' file (the .dat for ASEG-GDF2). A file that cannot be opened is
/// bad_input with a diagnostic saying why.
read_outcome read_survey(const std::string& path, survey& out, survey_metadata& about,
                         const delivered_options& options = {},
                         std::atomic<std::int64_t>* bytes_read = nullptr);

/// The same, with the survey file already open as `in` (the records' file
/// for ASEG-GDF2, whose pair is opened by name, and `in` then unused). The
/// file is opened once: a pipe or a terminal can be read only once, so where
/// `options.format` does not say the form, the first bytes read to tell it
/// are handed back to the reader in front of the rest.
read_outcome read_survey(std::istream& in, const std::string& path, survey& out,
                         survey_metadata& about, const delivered_options& options = {},
                         std::atomic<std::int64_t>* bytes_read = nullptr);

/// The readers of each form on streams; `name` names the file in
/// diagnostics.
read_outcome read_xyz(std::istream& in, std::string_view name, survey& out, survey_metadata& about,
                      const delivered_options& options = {},
                      std::atomic<std::int64_t>* bytes_read = nullptr);
read_outcome read_table(std::istream& in, std::string_view name, survey& out,
                        survey_metadata& about, const delivered_options& options = {},
                        std::atomic<std::int64_t>* bytes_read = nullptr);
read_outcome read_gdf2(std::istream& dfn, std::string_view dfn_name, std::istream& dat,
                       std::string_view dat_name, survey& out, survey_metadata& about,
                       const delivered_options& options = {},
                       std::atomic<std::int64_t>* bytes_read = nullptr);

}  // namespace tervox::formats
