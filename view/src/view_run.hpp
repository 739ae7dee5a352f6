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

#include "base/diagnostic.hpp"  // exit_status

namespace tervox::view {

/// success; failure, after one diagnostic on `err`; usage, after a
/// diagnostic and a line pointing to --help on `err` (--help alone prints
/// the usage on `out`).
/// `args` are the arguments after the program name.
base::exit_status run(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace tervox::view
