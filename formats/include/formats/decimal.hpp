// Numbers as the tool reads them, in the soundings file and on the command
// line alike: integers are an optional sign and decimal digits; reals are
// [+-]digits[.digits][(e|E|d|D)[+-]digits], or with digits only after the
// point. Nothing else (inf, nan, hexadecimal, blanks) is a number.
#pragma once

#include <string_view>

namespace tervox::formats {

enum class conversion { ok, not_a_number, out_of_range };

/// Where std::from_chars should start on a decimal at b, or nullptr when the
/// text cannot start one: a single sign, then a digit or a point.
const char* number_start(const char* b, const char* e);

/// Converts a whole real, rounded once to the target precision. An overflow
/// gives an infinity and an underflow a zero, both signed: the correctly
/// rounded results.
conversion to_real(std::string_view t, float& v);
conversion to_real(std::string_view t, double& v);

/// Converts a whole integer; out_of_range beyond 32 bits.
conversion to_int(std::string_view t, int& v);

/// True for the word nan in any case: the spelling of a missing value that
/// some exports use, accepted only where the user asks for it.
bool is_nan_word(std::string_view t);

}  // namespace tervox::formats
