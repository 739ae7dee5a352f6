// The readers of delivered files on arbitrary bytes. The first byte picks the
// form (XYZ export, headed table, ASEG-GDF2); for ASEG-GDF2 the bytes up to
// the first 0x1e are the .dfn and the rest the .dat. Whatever the bytes, the
// outcome is a survey whose arrays agree in size, "too few soundings", or one
// diagnostic line that names one of the files.
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "formats/delivered.hpp"
#include "fuzz_target.hpp"

namespace {

bool one_line_naming_a_file(const std::string& d) {
  return (d.starts_with("fuzz.xyz") || d.starts_with("fuzz.dfn") || d.starts_with("fuzz.dat")) &&
         d.find('\n') == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const tervox_test::capped_scope memory_limit;
  using tervox_test::require;
  if (size == 0)
    return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  tervox::formats::survey s;
  tervox::formats::survey_metadata about;
  tervox::formats::read_outcome r;
  switch (data[0] % 3) {
    case 0: {
      std::istringstream in{std::string(bytes)};
      r = tervox::formats::read_xyz(in, "fuzz.xyz", s, about);
      break;
    }
    case 1: {
      std::istringstream in{std::string(bytes)};
      r = tervox::formats::read_table(in, "fuzz.xyz", s, about);
      break;
    }
    default: {
      const std::size_t split = bytes.find('\x1e');
      std::istringstream dfn{std::string(bytes.substr(0, split))};
      std::istringstream dat{
          split == std::string_view::npos ? std::string() : std::string(bytes.substr(split + 1))};
      r = tervox::formats::read_gdf2(dfn, "fuzz.dfn", dat, "fuzz.dat", s, about);
      break;
    }
  }
  switch (r.status) {
    case tervox::formats::read_status::too_few_soundings:
      require(s.nsound < 3, "too few soundings with nsound >= 3");
      require(r.problem.empty(), "too few soundings with a diagnostic");
      return 0;
    case tervox::formats::read_status::bad_input:
      require(one_line_naming_a_file(r.problem.message()), "a diagnostic that is not one line");
      return 0;
    case tervox::formats::read_status::ok:
      break;
  }
  const auto n = static_cast<std::size_t>(s.nsound);
  const auto sized = [n](std::size_t v) { return v == 0 || v == n; };
  require(s.nlayer >= 1 && s.nsound >= 3, "a survey without layers or soundings");
  require(s.dz.size() == static_cast<std::size_t>(s.nlayer - 1), "dz of the wrong size");
  require(s.xloc.size() == n && s.yloc.size() == n && s.line.size() == n,
          "locations of the wrong size");
  require(s.dat.size() == n * static_cast<std::size_t>(s.nlayer), "dat of the wrong size");
  require(sized(s.doi.size()) && sized(s.elevation.size()) && sized(s.flight_line.size()),
          "a per-sounding array of the wrong size");
  require(!s.last_dz || *s.last_dz > 0, "a last thickness that is not positive");
  return 0;
}
