// The command line on arbitrary text, split into arguments at NUL bytes as
// the operating system hands them over. Whatever the text, the outcome is
// five values, a refusal, or the help or version text; an accepted dx, dy and
// log are the numbers that an independent conversion of the same texts gives,
// and the cell sizes are positive and finite.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli.hpp"
#include "fuzz_target.hpp"

namespace {

using tervox_test::require;

// The decimal forms the tool accepts: sign, digits with an optional point,
// an optional exponent with e, E, d or D. Written apart from the parser.
bool decimal_form(const std::string& t, bool integer) {
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-'))
    ++i;
  std::size_t digits = 0;
  for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) ++digits;
  if (integer)
    return digits > 0 && i == t.size();
  if (i < t.size() && t[i] == '.') {
    for (++i; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) ++digits;
  }
  if (digits == 0)
    return false;
  if (i == t.size())
    return true;
  if (std::strchr("eEdD", t[i]) == nullptr || t[i] == '\0')
    return false;
  ++i;
  if (i < t.size() && (t[i] == '+' || t[i] == '-'))
    ++i;
  std::size_t exponent = 0;
  for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) ++exponent;
  return exponent > 0 && i == t.size();
}

void check_real(const std::string& text) {
  const auto v = tervox::driver::parse_real(text);
  require(v.has_value() == decimal_form(text, false), "parse_real and the decimal form disagree");
  if (!v)
    return;
  std::string e = text;
  for (char& c : e) {
    if (c == 'd' || c == 'D')
      c = 'e';
  }
  const float expected = std::strtof(e.c_str(), nullptr);
  require(std::memcmp(&*v, &expected, sizeof expected) == 0, "parse_real rounds differently");
}

void check_integer(const std::string& text) {
  const auto v = tervox::driver::parse_integer(text);
  bool fits = false;
  long long expected = 0;
  if (decimal_form(text, true)) {
    errno = 0;
    expected = std::strtoll(text.c_str(), nullptr, 10);
    fits = errno == 0 && expected >= INT32_MIN && expected <= INT32_MAX;
  }
  require(v.has_value() == fits, "parse_integer accepts what does not fit, or refuses a number");
  require(!v || *v == expected, "parse_integer reads another number");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const tervox_test::capped_scope memory_limit;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args;
  std::size_t from = 0;
  for (;;) {
    const std::size_t nul = text.find('\0', from);
    args.push_back(text.substr(from, nul == std::string::npos ? std::string::npos : nul - from));
    if (nul == std::string::npos)
      break;
    from = nul + 1;
  }
  if (size == 0)
    args.clear();

  const tervox::driver::command_line parsed = tervox::driver::read_command_line(args);
  // The options a run may have come first: the masking options, of which
  // --max-distance and --nodata take the next argument unless written with
  // '='; "--" ends them. (A malformed one refuses the run, checked below.)
  std::size_t first = 0;
  while (first < args.size() && args[first].starts_with("--")) {
    const std::string& option = args[first++];
    if (option == "--")
      break;
    if (option == "--max-distance" || option == "--nodata")
      ++first;
  }
  const std::vector<std::string> rest(
      args.begin() + static_cast<std::ptrdiff_t>(std::min(first, args.size())), args.end());
  std::string joined;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    joined += (i > 0 ? " " : "") + rest[i];
  }
  const auto values = rest.size() >= 5 ? std::optional(rest) : tervox::driver::split_values(joined);
  if (values) {
    for (const std::string& v : *values) {
      check_real(v);
      check_integer(v);
    }
  }
  if (parsed.what != tervox::driver::command_line::request::run)
    return 0;
  require(values && values->size() >= 5, "accepted with fewer than five values");
  const auto& v = *values;
  const tervox::driver::arguments& a = parsed.args;
  require(a.infile == v[0] && a.outfile == v[1], "file names are not the values");
  const auto dx = tervox::driver::parse_real(v[2]);
  const auto dy = tervox::driver::parse_real(v[3]);
  const auto log = tervox::driver::parse_integer(v[4]);
  require(dx && dy && log, "accepted a dx, dy or log that is not a number");
  require(std::memcmp(&a.dx, &*dx, sizeof(float)) == 0 &&
              std::memcmp(&a.dy, &*dy, sizeof(float)) == 0 && a.log == *log,
          "accepted numbers differ from the values");
  require(*dx > 0 && *dy > 0 && std::isfinite(*dx) && std::isfinite(*dy),
          "accepted a cell size that is not positive and finite");
  return 0;
}
