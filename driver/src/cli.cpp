#include "cli.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <string>
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

// The form an option names: the user's words (tervox, gdf, csv) or the
// formats' own (native, gdf2, table), in any case.
std::optional<formats::survey_format> survey_format_named(std::string_view name) {
  std::string lower(name);
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (lower == "tervox")
    return formats::survey_format::native;
  if (lower == "gdf")
    return formats::survey_format::gdf2;
  if (lower == "csv")
    return formats::survey_format::table;
  return formats::format_from_name(name);
}

// A column's name (or pattern) for a delivered file: not empty. Notes the
// option as one only a delivered file takes.
std::string column_name(command_line& c, std::string_view option, std::string_view value,
                        std::string& name) {
  if (value.empty())
    return concat({option, " needs a column name"});
  name = value;
  c.args.delivered_only.emplace_back(option);
  return {};
}

// --thicknesses: reals separated by commas, each positive and finite.
std::string read_thicknesses(command_line& c, std::string_view list) {
  std::vector<float> dz;
  std::size_t pos = 0;
  while (true) {
    const std::size_t comma = std::min(list.find(',', pos), list.size());
    std::string_view item = list.substr(pos, comma - pos);
    while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
    const std::optional<float> t = parse_real(item);
    if (!t || !(*t > 0) || !std::isfinite(*t))
      return concat({"--thicknesses must be positive numbers separated by commas, got ",
                     quoted(item), " in ", quoted(list)});
    dz.push_back(*t);
    if (comma == list.size())
      break;
    pos = comma + 1;
  }
  c.args.columns.thicknesses = std::move(dz);
  c.args.delivered_only.emplace_back("--thicknesses");
  return {};
}

// EPSG:n (any case), n a positive 32-bit integer.
std::optional<int> epsg_code(std::string_view text) {
  if (text.size() < 5 || !std::equal(text.begin(), text.begin() + 5, "EPSG:", [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) == b;
      }))
    return std::nullopt;
  const std::string_view digits = text.substr(5);
  if (digits.empty() ||
      !std::all_of(digits.begin(), digits.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
    return std::nullopt;
  const std::optional<int> code = parse_integer(digits);
  if (!code || *code <= 0)
    return std::nullopt;
  return code;
}

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
     "records end with a depth of investigation (a delivered file: its DOI column); "
     "deeper layers are NaN",
     [](command_line& c, std::string_view) {
       c.args.doi = true;
       return std::string();
     }},
    {"--elevation",
     {},
     "grid each sounding's ground elevation into OUT.elevation (a soundings file: a value at the "
     "end of each record)",
     [](command_line& c, std::string_view) {
       c.args.elevation = true;
       return std::string();
     }},
    {"--skip-missing",
     {},
     "grid each layer from the soundings with a value in it, not NaN around a missing one",
     [](command_line& c, std::string_view) {
       c.args.skip_missing = true;
       return std::string();
     }},
    {"--format", "F", "the input's form: tervox, xyz, gdf or csv (default: from its content)",
     [](command_line& c, std::string_view value) {
       const std::optional<formats::survey_format> f = survey_format_named(value);
       if (!f)
         return concat({"--format must be tervox, xyz, gdf or csv, got ", quoted(value)});
       c.args.format = *f;
       return std::string();
     }},
    {"--x", "NAME", "the column of x in a delivered file",
     [](command_line& c, std::string_view value) {
       return column_name(c, "--x", value, c.args.columns.x);
     }},
    {"--y", "NAME", "the column of y in a delivered file",
     [](command_line& c, std::string_view value) {
       return column_name(c, "--y", value, c.args.columns.y);
     }},
    {"--values", "PATTERN", "the value columns, * for the layer: RHO_I_*, RHO_I[*], or an array",
     [](command_line& c, std::string_view value) {
       return column_name(c, "--values", value, c.args.columns.values);
     }},
    {"--doi-column", "NAME", "the depth of investigation's column (implies --doi)",
     [](command_line& c, std::string_view value) {
       c.args.doi = true;
       return column_name(c, "--doi-column", value, c.args.columns.doi);
     }},
    {"--elevation-column", "NAME", "the ground elevation's column (implies --elevation)",
     [](command_line& c, std::string_view value) {
       c.args.elevation = true;
       return column_name(c, "--elevation-column", value, c.args.columns.elevation);
     }},
    {"--line-column", "NAME", "the survey line's column",
     [](command_line& c, std::string_view value) {
       return column_name(c, "--line-column", value, c.args.columns.line);
     }},
    {"--thicknesses", "LIST", "layer thicknesses, comma-separated: one per layer or one fewer",
     [](command_line& c, std::string_view value) { return read_thicknesses(c, value); }},
    {"--crs", "EPSG:N", "the coordinates' system, for the description file",
     [](command_line& c, std::string_view value) {
       const std::optional<int> code = epsg_code(value);
       if (!code)
         return concat(
             {"--crs must be EPSG:n with n a positive whole number, got ", quoted(value)});
       c.args.crs_epsg = *code;
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

// dx or dy: a number, and a length: zero, negative, infinite or
// not-a-number sizes place no usable grid. Returns the problem, or "".
std::string read_cell_size(std::string_view name, std::string_view text, float& size) {
  const std::optional<float> v = parse_real(text);
  if (!v)
    return concat({name, " must be a number, got ", quoted_arg(text)});
  if (!(*v > 0) || !std::isfinite(*v))
    return concat({name, " must be a positive cell size, got ", quoted_arg(text)});
  size = *v;
  return {};
}

std::string read_log(std::string_view text, int& log) {
  switch (to_int(text, log)) {
    case conversion::ok:
      return {};
    case conversion::out_of_range:
      return concat(
          {"log must be a whole number within 32 bits (1 for log mode), got ", quoted_arg(text)});
    case conversion::not_a_number:
      break;
  }
  return concat({"log must be a whole number (1 for log mode), got ", quoted_arg(text)});
}

// Reads the option at items[i] ("--name" or "--name=value"), with its value
// from the next item when it takes one not given after "="; moves i past
// what it used. Returns the problem, or "".
std::string read_option(command_line& c, std::span<const std::string> items, std::size_t& i) {
  const std::string& item = items[i++];
  const std::size_t eq = item.find('=');
  const std::string_view name = std::string_view(item).substr(0, eq);
  const option* o = find_option(name);
  if (o == nullptr)
    return "unknown option " + quoted_arg(name);
  std::string_view value;
  if (o->value_name.empty()) {
    if (eq != std::string::npos)
      return "option " + quoted_arg(name) + " takes no value";
  } else if (eq != std::string::npos) {
    value = std::string_view(item).substr(eq + 1);
  } else if (i < items.size()) {
    value = items[i++];
  } else {
    return "option " + quoted_arg(name) + " needs a value";
  }
  return o->apply(c, value);
}

// One line for the arguments after the five values that are no option.
std::string ignored_arguments(const std::vector<std::string>& extra) {
  if (extra.size() == 1)
    return "extra argument " + quoted_arg(extra[0]) + " is ignored";
  std::string text = "extra arguments " + quoted_arg(extra[0]);
  if (extra.size() == 2)
    return text + " and " + quoted_arg(extra[1]) + " are ignored";
  return text + ", " + quoted_arg(extra[1]) + " and " + std::to_string(extra.size() - 2) +
         " more are ignored";
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
  bool options_ended = false;
  std::size_t i = 0;
  while (i < args.size() && args[i].starts_with("--")) {
    if (args[i] == "--") {
      ++i;
      options_ended = true;
      break;
    }
    if (std::string problem = read_option(c, args, i); !problem.empty())
      return refuse(std::move(problem));
  }
  if (c.what != request::run)
    return c;

  const std::span<const std::string> rest = args.subspan(i);
  std::vector<std::string> split;
  std::span<const std::string> v = rest;
  if (rest.size() < 5) {
    std::string text;
    for (std::size_t k = 0; k < rest.size(); ++k) {
      if (k > 0)
        text += ' ';
      text += rest[k];
    }
    auto values = split_values(text);
    if (!values)
      return refuse();
    split = std::move(*values);
    v = split;
  }
  // No values at all is how one asks for the usage lines.
  if (v.empty())
    return refuse();
  if (v.size() < 5)
    return refuse(concat(
        {"expected 5 arguments (infile outfile dx dy log), got ", std::to_string(v.size())}));

  // After the five values: options, as if they came first, unless "--" has
  // ended them; anything else is ignored, and said to be.
  const std::span<const std::string> after = v.subspan(5);
  std::vector<std::string> extra;
  for (std::size_t k = 0; k < after.size();) {
    if (options_ended || !after[k].starts_with("--")) {
      extra.push_back(after[k++]);
    } else if (after[k] == "--") {
      options_ended = true;
      ++k;
    } else if (std::string problem = read_option(c, after, k); !problem.empty()) {
      return refuse(std::move(problem));
    }
  }
  if (c.what != request::run)
    return c;

  std::string problem = read_cell_size("dx", v[2], c.args.dx);
  if (problem.empty())
    problem = read_cell_size("dy", v[3], c.args.dy);
  if (problem.empty())
    problem = read_log(v[4], c.args.log);
  if (!problem.empty())
    return refuse(std::move(problem));
  c.args.infile = v[0];
  c.args.outfile = v[1];
  if (!extra.empty())
    c.warnings.push_back(ignored_arguments(extra));
  return c;
}

}  // namespace tervox::driver
