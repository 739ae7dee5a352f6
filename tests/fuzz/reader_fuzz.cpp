// The soundings reader on arbitrary bytes: read_soundings, then the location
// checks, as a run does. Whatever the bytes, the outcome is a complete survey,
// "too few soundings", or one diagnostic line that names the file.
#include <cmath>
#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "formats/soundings.hpp"
#include "fuzz_target.hpp"

namespace {

constexpr std::string_view name = "fuzz.txt";

bool one_line_naming_the_file(const std::string& d) {
  return d.starts_with(name) && d.find('\n') == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const tervox_test::capped_scope memory_limit;
  using tervox_test::require;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  tervox::formats::survey s;
  const tervox::formats::read_outcome r = tervox::formats::read_soundings(in, name, s);
  switch (r.status) {
    case tervox::formats::read_status::too_few_soundings:
      require(s.nsound < 3, "too few soundings with nsound >= 3");
      require(r.problem.empty(), "too few soundings with a diagnostic");
      return 0;
    case tervox::formats::read_status::bad_input:
      require(one_line_naming_the_file(r.problem.message()), "a diagnostic that is not one line");
      return 0;
    case tervox::formats::read_status::ok:
      break;
  }

  const auto n = static_cast<std::size_t>(s.nsound);
  require(s.nlayer >= 1 && s.nsound >= 3, "a survey without layers or soundings");
  require(s.dz.size() == static_cast<std::size_t>(s.nlayer - 1), "dz of the wrong size");
  require(s.xloc.size() == n && s.yloc.size() == n, "locations of the wrong size");
  require(s.dat.size() == n * static_cast<std::size_t>(s.nlayer), "dat of the wrong size");

  const tervox::base::diagnostic problem = tervox::formats::check_locations(s, name);
  if (!problem.empty()) {
    require(one_line_naming_the_file(problem.message()),
            "a location diagnostic that is not one line");
    return 0;
  }
  // Accepted locations are finite and distinct (0 and -0 being one place).
  std::set<std::pair<float, float>> seen;
  for (std::size_t i = 0; i < n; ++i) {
    require(std::isfinite(s.xloc[i]) && std::isfinite(s.yloc[i]), "a non-finite location passed");
    const float x = s.xloc[i] == 0.0f ? 0.0f : s.xloc[i];
    const float y = s.yloc[i] == 0.0f ? 0.0f : s.yloc[i];
    require(seen.emplace(x, y).second, "a repeated location passed");
  }
  return 0;
}
