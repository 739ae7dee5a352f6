// Runs refused for their input, checked the same way wherever they are
// listed: the fault on standard error, status 1, nothing else written.
#pragma once

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "support/files.hpp"
#include "support/run_program.hpp"

namespace tervox_test {

struct refused_run {
  const char* what;
  const char* file;  ///< the input's name
  std::string text;  ///< the input's content
  std::vector<std::string> options;
  std::string err;  ///< standard error, exactly
};

/// Runs `tervox FILE out.vol 1 1 0 OPTIONS` for each case in a folder of its
/// own that holds only the input: the run must end with status 1, nothing on
/// standard output, exactly `err` on standard error, and no file beside the
/// input.
inline void expect_refused(std::span<const refused_run> cases) {
  for (const refused_run& c : cases) {
    SCOPED_TRACE(c.what);
    temp_folder folder;
    write_file(folder / c.file, c.text);
    std::vector<std::string> args{c.file, "out.vol", "1", "1", "0"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const tool_run r = run_tool(args, tool_options(folder.path()));
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(list_entries(folder.path()), std::vector<std::string>{c.file});
  }
}

}  // namespace tervox_test
