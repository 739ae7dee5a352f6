#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <istream>
#include <limits>
#include <new>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "formats/decimal.hpp"
#include "formats/diagnostic.hpp"
#include "formats/soundings.hpp"
#include "lexer.hpp"

namespace tervox {
namespace {

using free_format::item;
using free_format::lexer;

// The triangulation needs 6*nsound-9 adjacency positions, each an int.
constexpr int max_soundings =
    static_cast<int>((static_cast<std::int64_t>(std::numeric_limits<int>::max()) + 9) / 6);

// ---------------------------------------------------------------------------
// Numbers
// ---------------------------------------------------------------------------

// Rounds a double to single precision, an overflow giving an infinity.
float to_single(double d) {
  // Half an ulp above the largest float: from here on the correctly rounded
  // result is an infinity, and the cast would not be defined.
  constexpr double limit = 0x1.ffffffp127;
  if (d >= limit) {
    return std::numeric_limits<float>::infinity();
  }
  if (d <= -limit) {
    return -std::numeric_limits<float>::infinity();
  }
  return static_cast<float>(d);
}

// ---------------------------------------------------------------------------
// Diagnostics
// ---------------------------------------------------------------------------

/// What a read statement expects, for the diagnostics.
struct expected {
  enum kind { label, nlayer, thickness, nsound, heading, x, y, layer };
  kind what;
  int number = 0;    // label word, thickness or layer number
  int sounding = 0;  // sounding number; for a label, the header line (1 to 3)
};

std::string describe(const expected& e) {
  using std::to_string;
  switch (e.what) {
    case expected::label: {
      static constexpr const char* lines[] = {"the layer count line", "the thickness line",
                                              "the sounding count line"};
      return concat({"label word ", to_string(e.number), " of ",
                     lines[static_cast<std::size_t>(e.sounding - 1)]});
    }
    case expected::nlayer:
      return "the number of layers";
    case expected::thickness:
      return concat({"thickness ", to_string(e.number)});
    case expected::nsound:
      return "the number of soundings";
    case expected::heading:
      return "the heading line";
    case expected::x:
      return concat({"x of sounding ", to_string(e.sounding)});
    case expected::y:
      return concat({"y of sounding ", to_string(e.sounding)});
    case expected::layer:
      return concat({"layer ", to_string(e.number), " of sounding ", to_string(e.sounding)});
  }
  return {};
}

std::string found_text(const item& it) {
  switch (it.what) {
    case item::value:
    case item::malformed:
      return quoted_token(it.shown);
    case item::empty:
      return "an empty value";
    case item::slash:
      return "'/'";
    case item::end_of_file:
      return "end of file";
    case item::input_error:
      return "an input error";
    case item::unterminated:
      return concat({quoted_token(it.shown), " (no closing quote on its line)"});
  }
  return {};
}

// ---------------------------------------------------------------------------
// Reader
// ---------------------------------------------------------------------------

class reader {
 public:
  reader(std::istream& in, std::string_view name, std::atomic<std::int64_t>* bytes_read)
      : lex_(in, bytes_read), name_(name) {}

  read_outcome run(survey& out);

 private:
  bool fail(const expected& e, const item& it, std::string_view note = {}) {
    diagnostic_ = {std::string(name_), it.line, describe(e), concat({found_text(it), note}), {}};
    return false;
  }

  // Three label words; anything is accepted but a broken token.
  bool labels(int header_line) {
    for (int w = 1; w <= 3; ++w) {
      const item it = lex_.next();
      if (it.what == item::slash) {
        return true;
      }
      if (it.what != item::value && it.what != item::empty) {
        return fail({expected::label, w, header_line}, it);
      }
    }
    return true;
  }

  bool integer(const expected& e, int& v, std::int64_t& line) {
    const item it = lex_.next();
    line = it.line;
    if (it.what != item::value) {
      return fail(e, it);
    }
    switch (to_int(it.text, v)) {
      case conversion::ok:
        return true;
      case conversion::out_of_range:
        return fail(e, it, " (out of range)");
      case conversion::not_a_number:
        break;
    }
    return fail(e, it);
  }

  template <class T>
  bool real(const expected& e, T& v) {
    item it;
    if (lex_.next_number(v, it)) {
      return true;
    }
    if (it.what != item::value || to_real(it.text, v) != conversion::ok) {
      return fail(e, it);
    }
    return true;
  }

  read_outcome bad() { return {read_status::bad_input, std::move(diagnostic_)}; }

  // Runs `make` and turns an allocation failure into a diagnostic naming the
  // array and the number of values asked for.
  template <class F>
  bool allocate(const char* array, std::uint64_t values, F&& make) {
    try {
      make();
      return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    diagnostic_ = {std::string(name_),
                   0,
                   {},
                   {},
                   concat({"cannot allocate ", array, ": ", std::to_string(values), " values (",
                           std::to_string(values * sizeof(float)), " bytes)"})};
    return false;
  }

  lexer lex_;
  std::string_view name_;
  diagnostic diagnostic_;
};

read_outcome reader::run(survey& out) {
  std::int64_t line = 0;

  lex_.begin_statement();
  if (!labels(1) || !integer({expected::nlayer}, out.nlayer, line)) {
    return bad();
  }
  lex_.end_statement();
  if (out.nlayer < 1) {
    diagnostic_ = {
        std::string(name_),
        line,
        {},
        {},
        concat({"the number of layers must be at least 1, got ", std::to_string(out.nlayer)})};
    return bad();
  }
  const int nlayer = out.nlayer;

  // Only reserved: a huge layer count in a short file then ends with a
  // diagnostic at the missing thickness, not with memory touched for nothing.
  const auto ndz = static_cast<std::uint64_t>(nlayer - 1);
  if (!allocate("dz", ndz, [&] { out.dz.reserve(static_cast<std::size_t>(ndz)); })) {
    return bad();
  }
  lex_.begin_statement();
  if (!labels(2)) {
    return bad();
  }
  for (int k = 1; k < nlayer; ++k) {
    float t = 0;
    if (!real({expected::thickness, k}, t)) {
      return bad();
    }
    out.dz.push_back(t);
  }
  lex_.end_statement();

  lex_.begin_statement();
  if (!labels(3) || !integer({expected::nsound}, out.nsound, line)) {
    return bad();
  }
  lex_.end_statement();
  if (out.nsound < 3) {
    return {read_status::too_few_soundings, {}};
  }
  if (out.nsound > max_soundings) {
    diagnostic_ = {std::string(name_),
                   line,
                   {},
                   {},
                   concat({"too many soundings: ", std::to_string(out.nsound), "; at most ",
                           std::to_string(max_soundings), " are supported"})};
    return bad();
  }
  const int nsound = out.nsound;

  if (!lex_.skip_whole_line()) {
    item eof{item::end_of_file, {}, {}, lex_.last_line()};
    fail({expected::heading}, eof);
    return bad();
  }

  const auto n = static_cast<std::uint64_t>(nsound);
  const std::uint64_t ndat = n * static_cast<std::uint64_t>(nlayer);
  if (!allocate("xloc", n, [&] { out.xloc.reserve(static_cast<std::size_t>(n)); }) ||
      !allocate("yloc", n, [&] { out.yloc.reserve(static_cast<std::size_t>(n)); }) ||
      !allocate("dat", ndat, [&] {
        if (ndat > out.dat.max_size()) {
          throw std::length_error("dat");
        }
        out.dat.resize(static_cast<std::size_t>(ndat));
      })) {
    return bad();
  }

  for (int i = 1; i <= nsound; ++i) {
    lex_.begin_statement();
    double x = 0;
    double y = 0;
    if (!real({expected::x, 0, i}, x) || !real({expected::y, 0, i}, y)) {
      return bad();
    }
    for (int k = 1; k <= nlayer; ++k) {
      // dat(i, k): entry i of the contiguous column of layer k.
      if (!real({expected::layer, k, i}, out.value(i, k))) {
        return bad();
      }
    }
    lex_.end_statement();
    out.xloc.push_back(to_single(x));
    out.yloc.push_back(to_single(y));
  }
  return {};
}

}  // namespace

read_outcome read_soundings(std::istream& in, std::string_view name, survey& out,
                            std::atomic<std::int64_t>* bytes_read) {
  reader r(in, name, bytes_read);
  return r.run(out);
}

}  // namespace tervox
