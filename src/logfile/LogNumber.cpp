#include "logfile/LogNumber.h"

#include <charconv>
#include <system_error>

namespace vireo {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ParseLogNumber(std::string_view text, double& value) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == ' ') ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == n) return false;  // empty, blanks only, or a lone sign
    const std::size_t mantissaStart = i;
    std::size_t digits = 0;
    std::size_t firstSignificant = std::string_view::npos;  // first non-zero digit
    std::size_t point = std::string_view::npos;
    for (; i < n; ++i) {
        const char c = text[i];
        if (IsDigit(c)) {
            ++digits;
            if (c != '0' && firstSignificant == std::string_view::npos) firstSignificant = i;
        } else if (c == '.' && point == std::string_view::npos) {
            point = i;
        } else {
            break;
        }
    }
    const std::size_t mantissaEnd = i;
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
        const std::size_t exponentDigits = i;
        while (i < n && IsDigit(text[i])) ++i;
        if (i == exponentDigits) return false;  // an exponent needs a digit
    }
    if (i != n) return false;  // something follows the number

    if (digits == 0) {  // a lone point, or only an exponent: read as 0
        value = 0.0;
        return true;
    }
    // from_chars takes the sign '-' but not '+'; it reads '.' whatever the locale.
    const char* first = text.data() + mantissaStart;
    const char* last = text.data() + n;
    double result = 0;
    const std::from_chars_result read = std::from_chars(first, last, result, std::chars_format::general);
    if (read.ptr != last) return false;
    if (read.ec == std::errc::result_out_of_range) {
        if (firstSignificant == std::string_view::npos) {
            result = 0;
        } else {
            // Out of range one way or the other: tell by the decimal exponent.
            long long scale = 0;
            const std::size_t integerEnd = point == std::string_view::npos ? mantissaEnd : point;
            if (firstSignificant < integerEnd) {
                scale = static_cast<long long>(integerEnd - firstSignificant);
            } else {
                scale = -static_cast<long long>(firstSignificant - integerEnd - 1);
            }
            long long exponent = 0;
            std::size_t e = mantissaEnd + 1;
            bool exponentNegative = false;
            if (e < n && (text[e] == '+' || text[e] == '-')) exponentNegative = text[e++] == '-';
            for (; e < n && exponent < 100000000; ++e) exponent = exponent * 10 + (text[e] - '0');
            scale += exponentNegative ? -exponent : exponent;
            if (scale > 0) return false;  // too large for a double
            result = 0;
        }
    } else if (read.ec != std::errc()) {
        return false;
    }
    value = negative ? -result : result;
    return true;
}

}  // namespace vireo
