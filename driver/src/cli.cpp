#include "cli.hpp"

#include <cmath>
#include <limits>
#include <tuple>
#include <utility>

#include "base/diagnostic.hpp"
#include "formats/decimal.hpp"

namespace tervox::driver {

using base::concat;
using base::quoted;
using formats::conversion;
using formats::is_nan_word;
using formats::to_int;
using formats::to_real;

namespace {

bool is_separator(char c) {
  return c == ' ' || c == '\t' || c == ',';
}
}  // namespace

std::optional<std::vector<std::string>> split_values(std::string_view text) {
  std::vector<std::string> values;
  std::size_t pos = 0;
  while (true) {
    while (pos < text.size() && is_separator(text[pos])) ++pos;
    if (pos == text.size())
      break;
    // A value runs to the next separator outside quotes; "" alone is an
    // empty value, not nothing.
    std::string value;
    bool quoted = false;
    for (; pos < text.size(); ++pos) {
      const char c = text[pos];
      if (c == '"') {
        quoted = !quoted;
      } else if (!quoted && is_separator(c)) {
        break;
      } else {
        value += c;
      }
    }
    if (quoted)
      return std::nullopt;
    values.push_back(std::move(value));
  }
  return values;
}

std::optional<float> parse_real(std::string_view text) {
  float v = 0;
  return to_real(text, v) == conversion::ok ? std::optional<float>(v) : std::nullopt;
}

std::optional<int> parse_integer(std::string_view text) {
  int v = 0;
  return to_int(text, v) == conversion::ok ? std::optional<int>(v) : std::nullopt;
}

namespace {

using request = command_line::request;

command_line refuse(std::string problem = {}) {
  command_line c;
  c.problem = std::move(problem);
  return c;
}

// The options. Each is one row: its name, whether it takes a value, what it
// means (for --help), and what it does to the command line; `apply` returns
// what is wrong with the value, or "".
struct option {
  std::string_view name;
  std::string_view value_name;  ///< empty for an option without a value
  std::string_view help;
  std::string (*apply)(command_line& c, std::string_view value);
};

const option options[] = {
    {"--help",
     {},
     "print this text and stop",
     [](command_line& c, std::string_view) {
       c.what = request::help;
       return std::string();
     }},
    {"--version",
     {},
     "print the version and stop",
     [](command_line& c, std::string_view) {
       if (c.what != request::help)
         c.what = request::version;
       return std::string();
     }},
    {"--max-distance", "D", "fill the cells whose centre lies farther than D from every sounding",
     [](command_line& c, std::string_view value) {
       const std::optional<float> d = parse_real(value);
       if (!d || !(*d > 0) || !std::isfinite(*d))
         return concat({"--max-distance must be a positive distance, got ", quoted(value)});
       c.args.max_distance = *d;
       return std::string();
     }},
    {"--nodata", "V", "values equal to V (or nan) are missing: NaN where a cell's triangle has one",
     [](command_line& c, std::string_view value) {
       if (is_nan_word(value)) {
         c.args.nodata = std::numeric_limits<float>::quiet_NaN();
         return std::string();
       }
       const std::optional<float> v = parse_real(value);
       if (!v)
         return concat({"--nodata must be a number or nan, got ", quoted(value)});
       c.args.nodata = *v;
       return std::string();
     }},
    {"--doi",
     {},
     "records end with a depth of investigation; deeper layers are NaN",
     [](command_line& c, std::string_view) {
       c.args.doi = true;
       return std::string();
     }},
};

const option* find_option(std::string_view name) {
  for (const option& o : options) {
    if (o.name == name)
      return &o;
  }
  return nullptr;
}

std::string quoted_arg(std::string_view text) {
  std::string s = "'";
  s += text;
  s += '\'';
  return s;
}

// A cell size is a length: zero, negative, infinite or not-a-number sizes
// place no usable grid.
std::string check_cell_size(std::string_view name, std::string_view text, float v) {
  if (v > 0 && std::isfinite(v))
    return {};
  std::string problem(name);
  problem += " must be a positive cell size, got ";
  problem += quoted_arg(text);
  return problem;
}

}  // namespace

std::string option_help() {
  std::string text;
  for (const option& o : options) {
    std::string head = "  ";
    head += o.name;
    if (!o.value_name.empty()) {
      head += ' ';
      head += o.value_name;
    }
    if (head.size() < 20)
      head.resize(20, ' ');
    else
      head += "  ";
    text += head;
    text += o.help;
    text += '\n';
  }
  return text;
}

command_line read_command_line(std::span<const std::string> args) {
  command_line c;
  c.what = request::run;
  std::size_t i = 0;
  for (; i < args.size() && args[i].starts_with("--"); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      ++i;
      break;
    }
    const std::size_t eq = arg.find('=');
    const std::string_view name = std::string_view(arg).substr(0, eq);
    const option* o = find_option(name);
    if (o == nullptr)
      return refuse("unknown option " + quoted_arg(name));
    std::string_view value;
    if (o->value_name.empty()) {
      if (eq != std::string::npos)
        return refuse("option " + quoted_arg(name) + " takes no value");
    } else if (eq != std::string::npos) {
      value = std::string_view(arg).substr(eq + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return refuse("option " + quoted_arg(name) + " needs a value");
    }
    if (std::string problem = o->apply(c, value); !problem.empty())
      return refuse(std::move(problem));
  }
  if (c.what != request::run)
    return c;

  const std::span<const std::string> rest = args.subspan(i);
  std::vector<std::string> v;
  if (rest.size() >= 5) {
    v.assign(rest.begin(), rest.begin() + 5);
  } else {
    std::string text;
    for (std::size_t k = 0; k < rest.size(); ++k) {
      if (k > 0)
        text += ' ';
      text += rest[k];
    }
    auto values = split_values(text);
    if (!values || values->size() < 5)
      return refuse();
    v = std::move(*values);
  }
  const auto dx = parse_real(v[2]);
  const auto dy = parse_real(v[3]);
  const auto log = parse_integer(v[4]);
  if (!dx || !dy || !log)
    return refuse();
  for (const auto& [name, text, size] :
       {std::tuple{"dx", v[2], *dx}, std::tuple{"dy", v[3], *dy}}) {
    if (std::string problem = check_cell_size(name, text, size); !problem.empty())
      return refuse(std::move(problem));
  }
  c.args.infile = v[0];
  c.args.outfile = v[1];
  c.args.dx = *dx;
  c.args.dy = *dy;
  c.args.log = *log;
  return c;
}

}  // namespace tervox::driver
