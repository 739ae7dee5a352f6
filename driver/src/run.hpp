// One run of the tool: arguments in, files and messages out, an exit status.
#pragma once

#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include "cli.hpp"
#include "grid.hpp"
#include "reader.hpp"

namespace tervox {

/// Possible exit statuses of a run:
///   success  the run went through (including an empty grid);
///   failure  a message or diagnostic was printed and the run stopped;
///   usage    the command line was refused with the usage lines.
enum class exit_status : int { success = 0, failure = 1, usage = 2 };

/// The triangulation of the ordered soundings, as the library lays it out:
/// iadj holds 6*nsound-9 entries and iend nsound.
struct triangulation {
  std::vector<int> iadj;
  std::vector<int> iend;
};

/// Everything a run holds once the soundings are triangulated: the soundings
/// ordered by increasing x (every layer column carried along), the grid and
/// the triangulation. Values are logarithms when args.log is 1.
struct run_state {
  arguments args;
  survey soundings;
  grid g;
  triangulation tri;
};

/// Carries out a whole run; messages go to `out`, diagnostics to `err`.
/// `args` are the command-line arguments after the program name.
exit_status run(std::span<const std::string> args, std::ostream& out, std::ostream& err);

/// The last stage of a run, from the triangulated soundings: interpolation of
/// every layer at every cell centre and the volume file.
exit_status interpolate_and_write(run_state& state, std::ostream& out, std::ostream& err);

}  // namespace tervox
