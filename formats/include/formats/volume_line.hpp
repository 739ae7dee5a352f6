// The two number forms of the volume file: tervox writes them straight into
// a caller's buffer, tervox-view parses them back.
//
// Both forms are scientific notation with one digit before the point, in a
// fixed field, followed by the line end '\n':
//
//   long form   width 11, 4 decimals   " 1.2346E+02"  "-5.0000E-01"  " 0.0000E+00"
//   short form  width  8, 1 decimal    "-1.0E+02"     " 1.0E-10"
//
// The digits are the value's exact binary expansion rounded to nearest, an
// exact decimal tie going to the even digit, so the output is byte-identical
// to printf's "%11.4E" and "%8.1E" in the default rounding mode. Where the
// two differ on purpose:
//
//   * negative zero is written like zero: only negative values carry a minus;
//   * infinities are "Infinity" and "-Infinity", a not-a-number is "NaN"
//     (whatever its sign bit), right-aligned in the field; a spelling too wide
//     for its field ("-Infinity" in the short form) fills the field with
//     asterisks, like any value too wide for its field.
//
// Every finite float fits both fields: decimal exponents run from -45 to +38,
// so the exponent always has two digits and the field is always full, with
// the sign or a blank in its first column.
//
// Every line has a fixed length, so a writer that fills a large buffer line
// after line knows in advance how much room a cell needs:
//
//   char* p = buffer;
//   for (float v : cell) p = put_long(p, v);   // p advances by long_line_size
//   p = put_long(p, cell);                     // the same lines, faster
//
// The functions write exactly long_line_size or short_line_size bytes per
// value (no terminating NUL) and return the new end; the caller guarantees
// the room. They do not allocate, lock or touch the floating-point
// environment.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace tervox::formats {

/// Field widths of the two forms, without the line end.
inline constexpr std::size_t long_field_width = 11;
inline constexpr std::size_t short_field_width = 8;

/// Bytes written per value, line end included.
inline constexpr std::size_t long_line_size = long_field_width + 1;
inline constexpr std::size_t short_line_size = short_field_width + 1;

/// Appends v in the long form (" 1.2346E+02") and a line end at out.
/// Writes exactly long_line_size bytes; returns out + long_line_size.
char* put_long(char* out, float v) noexcept;

/// Appends v in the short form (" 1.0E-10") and a line end at out.
/// Writes exactly short_line_size bytes; returns out + short_line_size.
char* put_short(char* out, float v) noexcept;

/// Appends every value of `values` in the long form, a line each, exactly as
/// put_long(out, v) one value after the other would. Writes
/// values.size() * long_line_size bytes; returns the new end.
char* put_long(char* out, std::span<const float> values) noexcept;

/// The same in the short form: values.size() * short_line_size bytes.
char* put_short(char* out, std::span<const float> values) noexcept;

/// Which code formats a run of values. `widest` takes eight values at a time
/// in AVX-512 registers on x86-64 processors that have AVX-512 with VBMI,
/// else four at a time in AVX2 registers where the processor has AVX2 (both
/// found at run time), else the portable loop; `avx2` skips the first,
/// `portable` always takes the portable loop. All write the same bytes: the
/// checks compare them.
enum class number_run_path { widest, avx2, portable };

char* put_long(char* out, std::span<const float> values, number_run_path path) noexcept;
char* put_short(char* out, std::span<const float> values, number_run_path path) noexcept;

/// Whether this processor runs the AVX-512 code (number_run_path::widest)
/// and the AVX2 code (widest without it, and number_run_path::avx2).
bool wide_number_runs_available() noexcept;
bool avx2_number_runs_available() noexcept;

/// One value as put_long or put_short writes it, in its field without the
/// line end; not-a-number for the spellings of non-finite values and for
/// asterisks. Returns false for anything else.
bool parse_value(std::string_view field, float& value);

}  // namespace tervox::formats
