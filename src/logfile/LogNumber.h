#pragma once

#include <cstddef>
#include <string_view>

namespace vireo {

/// Reads the value text of a log record as a number. The text is: any number of
/// blanks (character 32 only), an optional sign, digits, optionally '.' and
/// digits, optionally 'E' or 'e' with an optional sign and at least one digit;
/// nothing may follow, and something must follow the blanks and the sign. The
/// decimal point is always '.', whatever the regional settings.
/// A mantissa without digits (a lone point, "E5", "-.") reads as 0. The number is
/// converted to the nearest double; a number too small for a double reads as 0
/// (with its sign), one too large is not a number.
/// True when the text is a number; `value` is set only then.
bool ParseLogNumber(std::string_view text, double& value);

/// What ReadLogNumber found in a value text.
enum class LogNumberRead {
    Number,      ///< a number; `value` holds it
    NotANumber,  ///< not written as a number
    OutOfRange,  ///< written as a number, but too large for a double (as 1e309)
};
/// ParseLogNumber telling a number too large for a double from a text that is none.
LogNumberRead ReadLogNumber(std::string_view text, double& value);
/// True when the text is written as a number that is too large for a double.
bool IsLogNumberOutOfRange(std::string_view text);

/// Room that WriteLogNumber needs.
inline constexpr std::size_t kLogNumberTextSize = 32;

/// Writes `value`, which ParseLogNumber read from `text`, exactly as
/// std::to_chars writes a double (the shortest text that reads back as the
/// value, plain or with an exponent, whichever is shorter). Made from the
/// digits of the text where that gives the same, which is much quicker. Gives
/// the end of what was written to `out`, which has room for kLogNumberTextSize.
char* WriteLogNumber(char* out, std::string_view text, double value);

}  // namespace vireo
