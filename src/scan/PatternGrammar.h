#pragma once

// Pieces of the pattern language that the scanner and the formatter share:
// letter case, the digits of a width or precision, and the six date and time
// sub-patterns built from the regional separators.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "scan/AsciiCase.h"

namespace vireo::pattern {

constexpr bool IsUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }

constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }

/// Reads the decimal digits of a width or precision starting at `index` and
/// moves `index` past them; the value saturates at the largest 32-bit value.
std::int32_t ReadDigits(std::string_view pattern, std::size_t& index);

struct SubPatterns {
    char dateSeparator = '/';
    char timeSeparator = ':';
    std::string timeScan;
    std::string timePrint;
    std::string dateScan;
    std::string datePrint;
    std::string stampScan;
    std::string stampPrint;
};

/// The sub-patterns in force; built from Regional() on first use unless
/// RebuildSubPatterns ran before.
const SubPatterns& SubPatternsInForce();

}  // namespace vireo::pattern
