// One run of tervox-view: arguments in, a picture or a grid file out, an
// exit status.
//
//   tervox-view slice   VOLUME --layer K -o OUT.png [--soundings FILE]
//   tervox-view section VOLUME (--row IY | --column IX) -o OUT.png [--height PIXELS]
//   tervox-view vtr     VOLUME -o OUT.vtr
//
// with --mesh FILE (default VOLUME.mesh) for all three, and --scale
// auto|linear|log and --cell-pixels N for the pictures.
#pragma once

#include <iosfwd>
#include <span>
#include <string>

namespace tervox::view {

/// Exit statuses: success; failure, after one diagnostic on `err`; usage,
/// after a diagnostic and the usage text on `err`.
enum class exit_status : int { success = 0, failure = 1, usage = 2 };

/// `args` are the arguments after the program name.
exit_status run(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace tervox::view
