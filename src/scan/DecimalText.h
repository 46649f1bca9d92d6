#pragma once

#include <string_view>

namespace vireo::pattern {

/// Converts a whole decimal number text: an optional sign, digits with at most
/// one point (at least one digit in all) and an optional exponent ('E' or 'e',
/// an optional sign, digits). Nothing else may be in the text. The result is
/// the representable value nearest to the decimal value; a value too small
/// for the type gives zero, one too large fails. `value` is left alone when
/// the conversion fails.
bool DecimalToFloat(std::string_view text, float& value);
bool DecimalToDouble(std::string_view text, double& value);

}  // namespace vireo::pattern
