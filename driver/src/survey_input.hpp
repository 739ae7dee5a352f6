// The input in whichever form it comes: the soundings file, or a survey file
// as surveys deliver it (formats/delivered.hpp). Everything after the
// reading is the same for every form; what differs is said here: which
// options apply, the value that marks a missing value, the line that shows
// the columns taken, and the description file written beside the volume.
#pragma once

#include <optional>
#include <string>

#include "base/diagnostic.hpp"
#include "cli.hpp"
#include "formats/delivered.hpp"
#include "formats/description.hpp"

namespace tervox::driver {

/// The input's form: --format, else what its name and first bytes say;
/// nullopt for an input that is no regular file (a pipe, a terminal), which
/// can be read only once: its reader tells the form from the bytes it reads.
std::optional<formats::survey_format> input_form(const arguments& args);

/// Refuses the options that only a delivered file takes (--x, --values,
/// --thicknesses, ...) for a soundings file, naming the first one: they
/// would be ignored, and the run would not be what was asked.
base::diagnostic check_input_options(const arguments& args, formats::survey_format form);

/// What the readers are asked for.
formats::delivered_options reading_options(const arguments& args,
                                           std::optional<formats::survey_format> form);

/// The file holding the records, whose size the progress line measures
/// the reading by: for ASEG-GDF2 named by its .dfn, the .dat beside it.
std::string records_file(const std::string& infile, std::optional<formats::survey_format> form);

/// The ground elevation's grid (--elevation): outfile + ".elevation".
std::string elevation_path(const arguments& args);

/// The value that marks a missing value: --nodata where given, else, for a
/// delivered file, the one the reader stored its missing values as.
std::optional<float> missing_value(const arguments& args, const formats::survey_metadata& about);

/// One line for standard output naming the columns the grid is made from,
/// role by role: "columns: x UTMX, y UTMY, values RHO_I_1..RHO_I_12, top
/// DEP_TOP_1..DEP_TOP_12", with the depth of investigation's under --doi.
/// (The description file lists every column taken.)
std::string columns_taken(const arguments& args, const formats::survey_metadata& about);

/// The description file's content, or nullopt when there is nothing to say
/// (a soundings file without --crs): such a run writes the same files as
/// ever.
std::optional<formats::description> describe(const arguments& args,
                                             const formats::survey_metadata& about);

}  // namespace tervox::driver
