// The choice of columns by name: what each role may be called, and how the
// user's choices and the file's names decide the plan.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <map>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "delivered_reader.hpp"

namespace tervox::formats {

using base::concat;
using base::diagnostic;
using base::quoted;

namespace {

using enum column_role;
using enum name_match;
using delivered::upper;

constexpr std::array names = {
    recognised_name{x, "X", exact, 0, {}, {}},
    recognised_name{x, "UTMX", exact, 0, {}, {}},
    recognised_name{x, "UTM_X", exact, 0, {}, {}},
    recognised_name{x, "XUTM", exact, 0, {}, {}},
    recognised_name{x, "EASTING", exact, 0, {}, {}},
    recognised_name{x, "EAST", exact, 0, {}, {}},
    recognised_name{x, "E", exact, 0, {}, {}},
    recognised_name{x, "E_", prefix, 1, {}, {}},
    recognised_name{x, "X_", prefix, 1, {}, {}},
    recognised_name{y, "Y", exact, 0, {}, {}},
    recognised_name{y, "UTMY", exact, 0, {}, {}},
    recognised_name{y, "UTM_Y", exact, 0, {}, {}},
    recognised_name{y, "YUTM", exact, 0, {}, {}},
    recognised_name{y, "NORTHING", exact, 0, {}, {}},
    recognised_name{y, "NORTH", exact, 0, {}, {}},
    recognised_name{y, "N", exact, 0, {}, {}},
    recognised_name{y, "N_", prefix, 1, {}, {}},
    recognised_name{y, "Y_", prefix, 1, {}, {}},
    recognised_name{values, "RHO_I", layered, 0, "resistivity", "ohm m"},
    recognised_name{values, "RHO", layered, 0, "resistivity", "ohm m"},
    recognised_name{values, "RESISTIVITY", layered, 0, "resistivity", "ohm m"},
    recognised_name{values, "SIGMA_I", layered, 0, "conductivity", "mS/m"},
    recognised_name{values, "SIGMA", layered, 0, "conductivity", "mS/m"},
    recognised_name{values, "CONDUCTIVITY", layered, 0, "conductivity", {}},
    recognised_name{uncertainty, "RHO_I_STD", layered, 0, {}, {}},
    recognised_name{uncertainty, "RHO_STD", layered, 0, {}, {}},
    recognised_name{uncertainty, "SIGMA_I_STD", layered, 0, {}, {}},
    recognised_name{uncertainty, "SIGMA_STD", layered, 0, {}, {}},
    recognised_name{thickness, "THK", layered, 0, {}, {}},
    recognised_name{thickness, "THICKNESS", layered, 0, {}, {}},
    recognised_name{top, "DEP_TOP", layered, 0, {}, {}},
    recognised_name{top, "DEPTH_TOP", layered, 0, {}, {}},
    recognised_name{bottom, "DEP_BOT", layered, 0, {}, {}},
    recognised_name{bottom, "DEPTH_BOT", layered, 0, {}, {}},
    recognised_name{bottom, "DEPTH_BOTTOM", layered, 0, {}, {}},
    recognised_name{elevation_top, "ELEVATION_TOP", layered, 0, {}, {}},
    recognised_name{elevation_top, "ELEV_TOP", layered, 0, {}, {}},
    recognised_name{doi, "DOI_CONSERVATIVE", exact, 0, {}, {}},
    recognised_name{doi, "DOI_STANDARD", exact, 1, {}, {}},
    recognised_name{doi, "DOI", exact, 2, {}, {}},
    recognised_name{doi, "DEPTH_OF_INVESTIGATION", exact, 2, {}, {}},
    recognised_name{elevation, "ELEVATION", exact, 0, {}, {}},
    recognised_name{elevation, "ELEV", exact, 0, {}, {}},
    recognised_name{elevation, "TOPO", exact, 0, {}, {}},
    recognised_name{elevation, "TOPOGRAPHY", exact, 0, {}, {}},
    recognised_name{elevation, "DEM", exact, 0, {}, {}},
    recognised_name{elevation, "DTM", exact, 0, {}, {}},
    recognised_name{line, "LINE", exact, 0, {}, {}},
    recognised_name{line, "LINE_NO", exact, 0, {}, {}},
    recognised_name{line, "LINENO", exact, 0, {}, {}},
    recognised_name{line, "LINE_NUMBER", exact, 0, {}, {}},
    recognised_name{line, "FLIGHT_LINE", exact, 0, {}, {}},
};

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char p, char q) { return upper(p) == upper(q); });
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

bool all_digits(std::string_view t) {
  return !t.empty() && std::all_of(t.begin(), t.end(), is_digit);
}

// The four ways a name carries its layer.
enum class form { underscore, direct, bracket, paren };

struct layered_name {
  std::string stem;  // upper case
  form how;
  long index;
};

// Layer indices beyond this are no layers (a name such as X_MGA55 ends in
// digits too, harmlessly).
constexpr long max_index = 100000;

std::optional<long> index_of(std::string_view digits) {
  if (!all_digits(digits) || digits.size() > 6)
    return std::nullopt;
  long v = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), v);
  return v <= max_index ? std::optional<long>(v) : std::nullopt;
}

std::optional<layered_name> parse_layered(std::string_view n) {
  if (n.size() < 2)
    return std::nullopt;
  if (n.back() == ']' || n.back() == ')') {
    const char open = n.back() == ']' ? '[' : '(';
    const std::size_t p = n.rfind(open);
    if (p == std::string_view::npos || p == 0)
      return std::nullopt;
    const auto index = index_of(n.substr(p + 1, n.size() - p - 2));
    if (!index)
      return std::nullopt;
    return layered_name{upper(n.substr(0, p)), open == '[' ? form::bracket : form::paren, *index};
  }
  std::size_t e = n.size();
  while (e > 0 && is_digit(n[e - 1])) --e;
  if (e == n.size() || e == 0)
    return std::nullopt;
  const auto index = index_of(n.substr(e));
  if (!index)
    return std::nullopt;
  if (n[e - 1] == '_') {
    if (e == 1)
      return std::nullopt;
    return layered_name{upper(n.substr(0, e - 1)), form::underscore, *index};
  }
  return layered_name{upper(n.substr(0, e)), form::direct, *index};
}

// A layered name as the lists of names show it: RHO_I_n.
std::string shown_layered(std::string_view stem) {
  return concat({stem, "_n"});
}

std::string option_of(column_role role) {
  switch (role) {
    case x:
      return "--x NAME";
    case y:
      return "--y NAME";
    case values:
      return "--values PATTERN";
    case doi:
      return "--doi-column NAME";
    case elevation:
      return "--elevation-column NAME";
    case line:
      return "--line-column NAME";
    default:
      return "--thicknesses LIST";
  }
}

// The recognised names of a role, for a diagnostic.
std::string names_of(column_role role) {
  std::string list;
  for (const recognised_name& r : names) {
    if (r.role != role)
      continue;
    if (!list.empty())
      list += ", ";
    list += r.match == layered  ? shown_layered(r.name)
            : r.match == prefix ? concat({r.name, "..."})
                                : std::string(r.name);
  }
  return list;
}

// A run of columns that carry the layers of one name, in layer order.
struct layer_run {
  std::vector<int> columns;
};

// The columns of one layered name, by index; what is wrong with a run that is
// not one (an index twice, a gap, a start beyond 1), or nothing.
struct run_builder {
  std::vector<std::pair<long, int>> entries;  // index, column

  std::string make(std::span<const delivered::column> cols, std::string_view what, layer_run& out) {
    std::sort(entries.begin(), entries.end());
    out = {};
    const auto name = [&](std::size_t k) {
      return cols[static_cast<std::size_t>(entries[k].second)].name;
    };
    for (std::size_t k = 1; k < entries.size(); ++k) {
      if (entries[k].first == entries[k - 1].first) {
        return concat({"the ", what, " columns ", name(k - 1), " and ", name(k),
                       " carry the same layer number"});
      }
      if (entries[k].first != entries[k - 1].first + 1) {
        return concat({"the ", what, " columns jump from ", name(k - 1), " to ", name(k),
                       "; a layer is missing"});
      }
    }
    if (entries.front().first > 1) {
      return concat({"the ", what, " columns start at ", name(0), "; layers count from 0 or 1"});
    }
    for (const auto& e : entries) out.columns.push_back(e.second);
    return {};
  }

  // The run as a diagnostic shows it, whole or not: its lowest and highest.
  std::string text(std::span<const delivered::column> cols) const {
    const auto [low, high] = std::minmax_element(entries.begin(), entries.end());
    const auto& first = cols[static_cast<std::size_t>(low->second)].name;
    return low == high ? first
                       : concat({first, "..", cols[static_cast<std::size_t>(high->second)].name});
  }
};

std::string run_text(std::span<const delivered::column> cols, const layer_run& run) {
  const auto& first = cols[static_cast<std::size_t>(run.columns.front())].name;
  if (run.columns.size() == 1)
    return first;
  return concat({first, "..", cols[static_cast<std::size_t>(run.columns.back())].name});
}

class chooser {
 public:
  chooser(std::span<const delivered::column> cols, const column_choices& choices,
          std::string_view file, std::int64_t line, survey_metadata& about)
      : cols_(cols), choices_(choices), file_(file), line_(line), about_(about) {
    for (std::size_t c = 0; c < cols.size(); ++c) {
      if (auto l = parse_layered(cols[c].name)) {
        groups_[{l->stem, l->how}].entries.emplace_back(l->index, static_cast<int>(c));
      }
    }
  }

  diagnostic run(delivered::plan& p);

 private:
  diagnostic fault(std::string text) const {
    return diagnostic::at_line(std::string(file_), line_, std::move(text));
  }
  std::string columns_note() const {
    return concat({"the columns are ", delivered::describe_columns(cols_)});
  }

  diagnostic scalar(column_role role, const std::string& chosen, bool required, int& out);
  diagnostic value_columns(delivered::plan& p);
  diagnostic geometry(delivered::plan& p);
  diagnostic by_user_name(column_role role, const std::string& chosen, int& out) const;
  void use(column_role role, std::string text) {
    about_.columns.push_back({role, std::move(text)});
  }

  std::span<const delivered::column> cols_;
  const column_choices& choices_;
  std::string_view file_;
  std::int64_t line_;
  survey_metadata& about_;
  std::map<std::pair<std::string, form>, run_builder> groups_;
};

diagnostic chooser::by_user_name(column_role role, const std::string& chosen, int& out) const {
  // The name as written first; then in any case, when that is one column.
  std::vector<int> found;
  for (std::size_t c = 0; c < cols_.size(); ++c) {
    if (cols_[c].name == chosen)
      found.push_back(static_cast<int>(c));
  }
  if (found.empty()) {
    for (std::size_t c = 0; c < cols_.size(); ++c) {
      if (same_name(cols_[c].name, chosen))
        found.push_back(static_cast<int>(c));
    }
  }
  const std::string option = option_of(role);
  const std::string given = concat({option.substr(0, option.find(' ')), " ", chosen});
  if (found.empty())
    return fault(
        concat({"no column is named ", quoted(chosen), " (", given, "); ", columns_note()}));
  if (found.size() > 1)
    return fault(concat({std::to_string(found.size()), " columns are named ", quoted(chosen), " (",
                         given, "); ", columns_note()}));
  out = found.front();
  return {};
}

diagnostic chooser::scalar(column_role role, const std::string& chosen, bool required, int& out) {
  out = -1;
  if (!chosen.empty()) {
    if (auto d = by_user_name(role, chosen, out); !d.empty())
      return d;
    use(role, cols_[static_cast<std::size_t>(out)].name);
    return {};
  }
  int best = 1 << 30;
  std::vector<int> found;
  for (std::size_t c = 0; c < cols_.size(); ++c) {
    const std::string u = upper(cols_[c].name);
    for (const recognised_name& r : names) {
      if (r.role != role || r.match == layered)
        continue;
      const bool meets =
          r.match == exact ? u == r.name : u.size() > r.name.size() && u.starts_with(r.name);
      if (!meets)
        continue;
      if (r.rank < best) {
        best = r.rank;
        found.clear();
      }
      if (r.rank == best)
        found.push_back(static_cast<int>(c));
      break;
    }
  }
  const std::string_view role_text = role_name(role);
  if (found.size() == 1) {
    out = found.front();
    use(role, cols_[static_cast<std::size_t>(out)].name);
    return {};
  }
  if (found.empty()) {
    if (!required)
      return {};
    return fault(concat({"cannot tell which column holds ", role_text,
                         ": none is named as the recognised ones are (", names_of(role), "); ",
                         columns_note(), "; name it with ", option_of(role)}));
  }
  std::string list;
  for (const int c : found) {
    list += concat({list.empty() ? "" : ", ", cols_[static_cast<std::size_t>(c)].name});
  }
  return fault(
      concat({"cannot tell which column holds ", role_text, ": ", list, " could all hold it; ",
              columns_note(), "; name one with ", option_of(role)}));
}

diagnostic chooser::value_columns(delivered::plan& p) {
  const std::string& pattern = choices_.values;
  std::vector<std::pair<std::string, run_builder>> candidates;  // stem, run
  if (!pattern.empty()) {
    const std::size_t star = pattern.find('*');
    if (star != std::string::npos) {
      const std::string pre = upper(pattern.substr(0, star));
      const std::string suf = upper(pattern.substr(star + 1));
      run_builder b;
      for (std::size_t c = 0; c < cols_.size(); ++c) {
        const std::string u = upper(cols_[c].name);
        if (u.size() <= pre.size() + suf.size() || !u.starts_with(pre) || !u.ends_with(suf))
          continue;
        if (auto i = index_of(
                std::string_view(u).substr(pre.size(), u.size() - pre.size() - suf.size())))
          b.entries.emplace_back(*i, static_cast<int>(c));
      }
      if (!b.entries.empty()) {
        std::string stem = pre;
        while (!stem.empty() && (stem.back() == '_' || stem.back() == '[' || stem.back() == '('))
          stem.pop_back();
        candidates.emplace_back(stem, std::move(b));
      }
    } else {
      const std::string stem = upper(pattern);
      for (auto& [key, b] : groups_) {
        if (key.first == stem)
          candidates.emplace_back(key.first, b);
      }
    }
    if (candidates.empty()) {
      return fault(concat({"no columns match --values ", pattern,
                           " (a name with `*` where the layer stands, RHO_I_* or RHO_I[*], or "
                           "an array's name); ",
                           columns_note()}));
    }
    if (candidates.size() > 1) {
      std::string list;
      for (const auto& [stem, b] : candidates)
        list += concat({list.empty() ? "" : ", ", b.text(cols_)});
      return fault(concat({"--values ", pattern, " matches several runs of columns (", list,
                           "); give the pattern with `*` where the layer stands"}));
    }
  } else {
    for (auto& [key, b] : groups_) {
      for (const recognised_name& r : names) {
        if (r.role == values && r.name == key.first) {
          candidates.emplace_back(key.first, b);
          break;
        }
      }
    }
    if (candidates.empty()) {
      return fault(
          concat({"cannot tell which columns hold the values: none is named as the "
                  "recognised ones are (",
                  names_of(values), ", with the layer as _1, 1, (1) or [0]); ", columns_note(),
                  "; name them with --values PATTERN (RHO_I_*)"}));
    }
    if (candidates.size() > 1) {
      std::string list;
      for (const auto& [stem, b] : candidates)
        list += concat({list.empty() ? "" : ", ", b.text(cols_)});
      return fault(concat({"cannot tell which columns hold the values: ", list,
                           " could all hold them; name them with --values PATTERN (`*` for "
                           "the layer: RHO_I_*)"}));
    }
  }
  auto& [stem, b] = candidates.front();
  layer_run run;
  if (auto fault_text = b.make(cols_, "value", run); !fault_text.empty())
    return fault(std::move(fault_text));
  p.values = run.columns;
  p.nlayer = static_cast<int>(run.columns.size());
  use(values, run_text(cols_, run));
  for (const recognised_name& r : names) {
    if (r.role == values && r.name == stem) {
      about_.property = r.property;
      about_.unit = r.unit;
    }
  }
  const std::string& units = cols_[static_cast<std::size_t>(run.columns.front())].units;
  if (!units.empty()) {
    about_.unit = delivered::normal_unit(units);
    if (about_.property.empty()) {
      if (about_.unit == "S/m" || about_.unit == "mS/m")
        about_.property = "conductivity";
      if (about_.unit == "ohm m")
        about_.property = "resistivity";
    }
  }
  return {};
}

diagnostic chooser::geometry(delivered::plan& p) {
  const int n = p.nlayer;
  if (!choices_.thicknesses.empty()) {
    const auto given = static_cast<int>(choices_.thicknesses.size());
    if (given != n - 1 && given != n) {
      return fault(concat({"--thicknesses gives ", std::to_string(given), " thicknesses for ",
                           std::to_string(n), " layers (", run_text(cols_, {p.values}), "); give ",
                           std::to_string(n - 1), " or ", std::to_string(n)}));
    }
    p.thicknesses = choices_.thicknesses;
    use(thickness, "--thicknesses");
    return {};
  }
  // The runs of each kind of geometry the file has.
  struct found_kind {
    column_role role;
    std::vector<layer_run> runs;
  };
  std::vector<found_kind> kinds;
  for (const column_role role : {thickness, top, bottom, elevation_top}) {
    found_kind k{role, {}};
    for (auto& group : groups_) {
      // A named reference, not a structured binding: clang 14 cannot capture
      // a binding in a lambda, and the fuzz build uses clang.
      const auto& key = group.first;
      auto& b = group.second;
      const bool recognised = std::any_of(names.begin(), names.end(), [&](const auto& r) {
        return r.role == role && r.name == key.first;
      });
      if (!recognised)
        continue;
      layer_run r;
      if (auto fault_text = b.make(cols_, std::string(role_name(role)), r); !fault_text.empty())
        return fault(concat({fault_text, "; or give the thicknesses with --thicknesses LIST"}));
      k.runs.push_back(std::move(r));
    }
    if (k.runs.size() > 1) {
      return fault(concat({"cannot tell which columns give the layer ", role_name(role),
                           "s: ", run_text(cols_, k.runs[0]), " and ", run_text(cols_, k.runs[1]),
                           " could both; give the thicknesses with --thicknesses LIST"}));
    }
    kinds.push_back(std::move(k));
  }
  const auto run_of = [&](column_role role) -> const layer_run* {
    for (const auto& k : kinds) {
      if (k.role == role && !k.runs.empty())
        return &k.runs.front();
    }
    return nullptr;
  };
  const layer_run* thk = run_of(thickness);
  const layer_run* tops = run_of(top);
  const layer_run* bots = run_of(bottom);
  const layer_run* etops = run_of(elevation_top);
  const auto size = [](const layer_run* r) { return static_cast<int>(r->columns.size()); };
  const auto wrong_count = [&](const layer_run* r, column_role role, std::string_view wanted) {
    return fault(concat({"the columns ", run_text(cols_, *r), " give ", std::to_string(size(r)),
                         " layer ", role_name(role), size(r) == 1 ? "" : "s", " for ",
                         std::to_string(n), " layers (", run_text(cols_, {p.values}), "), where ",
                         wanted, " are needed; give the thicknesses with --thicknesses LIST"}));
  };
  const std::string n_text = std::to_string(n);
  const std::string n_or_fewer = concat({std::to_string(n - 1), " or ", n_text});
  if (thk != nullptr) {
    if (size(thk) != n - 1 && size(thk) != n)
      return wrong_count(thk, thickness, n_or_fewer);
    p.geometry = thickness;
    p.geometry_columns = thk->columns;
    use(thickness, run_text(cols_, *thk));
  } else if (tops != nullptr) {
    if (size(tops) != n)
      return wrong_count(tops, top, n_text);
    p.geometry = top;
    p.geometry_columns = tops->columns;
    use(top, run_text(cols_, *tops));
  } else if (bots != nullptr) {
    if (size(bots) != n - 1 && size(bots) != n)
      return wrong_count(bots, bottom, n_or_fewer);
    p.geometry = bottom;
    p.geometry_columns = bots->columns;
    use(bottom, run_text(cols_, *bots));
  } else if (etops != nullptr) {
    if (size(etops) != n)
      return wrong_count(etops, elevation_top, n_text);
    p.geometry = elevation_top;
    p.geometry_columns = etops->columns;
    use(elevation_top, run_text(cols_, *etops));
  } else if (n > 1) {
    return fault(
        concat({"the file gives no layer geometry: no columns of layer thicknesses (",
                names_of(thickness), "), tops (", names_of(top), ") or bottoms (", names_of(bottom),
                "); ", columns_note(), "; give the thicknesses with --thicknesses LIST"}));
  }
  // The last layer's bottom, where a thickness column does not give it.
  const bool thickness_gives_last = thk != nullptr && size(thk) == n;
  if (!thickness_gives_last && bots != nullptr && size(bots) == n && n > 0) {
    if (p.geometry == top || p.geometry == thickness) {
      if (tops != nullptr && size(tops) == n) {
        p.last_bottom = bots->columns.back();
        p.last_top = tops->columns.back();
      }
    } else if (p.geometry == bottom && n > 1) {
      p.last_bottom = bots->columns.back();
      p.last_top = bots->columns[static_cast<std::size_t>(n - 2)];
    }
    if (p.last_bottom >= 0 && p.geometry != bottom)
      use(bottom, cols_[static_cast<std::size_t>(p.last_bottom)].name);
  }
  return {};
}

diagnostic chooser::run(delivered::plan& p) {
  if (auto d = scalar(x, choices_.x, true, p.x); !d.empty())
    return d;
  if (auto d = scalar(y, choices_.y, true, p.y); !d.empty())
    return d;
  if (auto d = value_columns(p); !d.empty())
    return d;
  if (auto d = scalar(doi, choices_.doi, choices_.doi_needed, p.doi); !d.empty())
    return d;
  if (auto d = scalar(elevation, choices_.elevation, choices_.elevation_needed, p.elevation);
      !d.empty())
    return d;
  if (auto d = scalar(line, choices_.line, false, p.line); !d.empty())
    return d;
  if (auto d = geometry(p); !d.empty())
    return d;
  // One column, one role: a column chosen twice is a mistake in a choice.
  std::map<int, column_role> taken;
  const auto claim = [&](int c, column_role role) -> diagnostic {
    if (c < 0)
      return {};
    const auto [it, fresh] = taken.emplace(c, role);
    if (fresh || it->second == role)
      return {};
    return fault(
        concat({"the column ", cols_[static_cast<std::size_t>(c)].name, " is taken both for ",
                role_name(it->second), " and for ", role_name(role)}));
  };
  for (const auto& [c, role] : std::initializer_list<std::pair<int, column_role>>{
           {p.x, x}, {p.y, y}, {p.doi, doi}, {p.elevation, elevation}, {p.line, line}}) {
    if (auto d = claim(c, role); !d.empty())
      return d;
  }
  for (const int c : p.values) {
    if (auto d = claim(c, values); !d.empty())
      return d;
  }
  for (const int c : p.geometry_columns) {
    if (auto d = claim(c, p.geometry); !d.empty())
      return d;
  }
  return {};
}

}  // namespace

std::string_view role_name(column_role role) {
  switch (role) {
    case x:
      return "x";
    case y:
      return "y";
    case values:
      return "values";
    case uncertainty:
      return "uncertainty";
    case thickness:
      return "thickness";
    case top:
      return "top";
    case bottom:
      return "bottom";
    case elevation_top:
      return "elevation top";
    case doi:
      return "doi";
    case elevation:
      return "elevation";
    case line:
      return "line";
  }
  return {};
}

std::span<const recognised_name> recognised_names() {
  return names;
}

namespace delivered {

std::string describe_columns(std::span<const column> columns) {
  std::string text;
  std::size_t c = 0;
  while (c < columns.size()) {
    const auto first = parse_layered(columns[c].name);
    std::size_t last = c;
    if (first) {
      long index = first->index;
      while (last + 1 < columns.size()) {
        const auto next = parse_layered(columns[last + 1].name);
        if (!next || next->stem != first->stem || next->how != first->how ||
            next->index != index + 1)
          break;
        ++last;
        ++index;
      }
    }
    text += concat({text.empty() ? "" : ", ", columns[c].name});
    if (last > c)
      text += concat({"..", columns[last].name});
    c = last + 1;
  }
  return text;
}

diagnostic choose_columns(std::span<const column> columns, const column_choices& choices,
                          std::string_view file, std::int64_t line, plan& out,
                          survey_metadata& about) {
  chooser ch(columns, choices, file, line, about);
  return ch.run(out);
}

std::string normal_unit(std::string_view units) {
  std::string u;
  for (const char c : units) {
    if (c != ' ' && c != '-' && c != '.' && c != '_' && c != '*')
      u += c;
  }
  const std::string lower = [&] {
    std::string l = u;
    for (char& c : l) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return l;
  }();
  if (lower == "ohmm" || lower == "ohmmetre" || lower == "ohmmeter" || lower == "ohmmetres")
    return "ohm m";
  if (lower == "s/m" || lower == "siemens/m" || lower == "siemens/metre")
    return "S/m";
  if (lower == "ms/m" || lower == "millisiemens/m")
    return u == "MS/m" ? std::string(units) : "mS/m";
  if (lower == "m" || lower == "metre" || lower == "metres" || lower == "meter" ||
      lower == "meters")
    return "m";
  if (lower == "ft" || lower == "feet" || lower == "foot")
    return "ft";
  return std::string(units);
}

}  // namespace delivered
}  // namespace tervox::formats
