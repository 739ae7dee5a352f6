// One run of the tool: arguments in, files and messages out, an exit status.
#pragma once

#include <functional>
#include <iosfwd>
#include <span>
#include <string>

#include "base/diagnostic.hpp"  // exit_status
#include "base/output_file.hpp"
#include "volume.hpp"

namespace tervox::driver {

/// How the volume is computed and written into the open volume file. The
/// tool streams it (stream_volume); the test suite puts the plain
/// sequence in its place to compare the two. Returns false when point
/// location reported a broken structure.
using volume_method =
    std::function<bool(const node_data& nodes, const formats::grid& g, bool log_mode,
                       base::output_file& file, const volume_masks& masks)>;

/// Carries out a whole run; messages go to `out`, diagnostics to `err`.
/// `args` are the command-line arguments after the program name. Without a
/// `method` the volume is streamed with the number of threads that
/// TERVOX_THREADS sets (the machine's hardware threads when it is unset).
base::exit_status run(std::span<const std::string> args, std::ostream& out, std::ostream& err,
                      const volume_method& method = {});

}  // namespace tervox::driver
