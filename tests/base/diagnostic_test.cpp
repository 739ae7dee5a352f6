#include "base/diagnostic.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tervox_test {
using namespace tervox::base;
namespace {

// Each kind of diagnostic prints in its own form; both programs' messages,
// and the golden files' standard error, are built from these.
TEST(diagnostic_test, each_kind_prints_in_its_form) {
  struct form {
    const char* kind;
    diagnostic d;
    std::string message;
  };
  const form forms[] = {
      {"plain", diagnostic::plain("cannot create 'out.vol': Permission denied"),
       "cannot create 'out.vol': Permission denied"},
      {"in a file", diagnostic::in_file("grid.mesh", "cannot read the mesh file"),
       "grid.mesh: cannot read the mesh file"},
      {"at a line", diagnostic::at_line("grid.mesh", 5, "every layer is 0 thick"),
       "grid.mesh:5: every layer is 0 thick"},
      {"at line 0", diagnostic::at_line("grid.mesh", 0, "no line applies"),
       "grid.mesh: no line applies"},
      {"expected, got",
       diagnostic::expected_got("survey.txt", 45, "layer 3 of sounding 17", "'abc'"),
       "survey.txt:45: expected layer 3 of sounding 17, got 'abc'"},
      {"expected, got, a note",
       diagnostic::expected_got("survey.txt", 9, "x of sounding 2", "the end of its line",
                                "; line 10 looks like the next record"),
       "survey.txt:9: expected x of sounding 2, got the end of its line; line 10 looks like "
       "the next record"},
      {"warning at a line", diagnostic::warning("survey.txt", 12, "a heading of numbers only"),
       "survey.txt:12: warning: a heading of numbers only"},
      {"warning, no line", diagnostic::warning("survey.txt", 0, "3 more records follow"),
       "survey.txt: warning: 3 more records follow"},
  };
  for (const form& f : forms) {
    EXPECT_EQ(f.d.message(), f.message) << f.kind;
    EXPECT_FALSE(f.d.empty()) << f.kind;
    EXPECT_EQ(f.d.is_warning(), std::string(f.kind).starts_with("warning")) << f.kind;
    EXPECT_EQ(diagnostic_line("tervox: ", f.d), "tervox: " + f.message + "\n") << f.kind;
  }
  EXPECT_TRUE(diagnostic().empty());
  EXPECT_FALSE(diagnostic().is_warning());
  EXPECT_EQ(diagnostic_error(diagnostic::at_line("a.mesh", 2, "bad")).what(),
            std::string("a.mesh:2: bad"));
}

}  // namespace
}  // namespace tervox_test
