#pragma once

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

}  // namespace vireo
