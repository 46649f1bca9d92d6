#include "logfile/LogNumber.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace vireo {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

/// The powers of ten that a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::size_t kMostFractionDigits = 22;
/// Every whole number up to 2^53 is a double exactly; 19 digits fit 64 bits.
constexpr std::uint64_t kLargestExactWhole = std::uint64_t{1} << 53;
constexpr std::size_t kMostDigitsAtOnce = 19;

}  // namespace

LogNumberRead ReadLogNumber(std::string_view text, double& value) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == ' ') ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == n) return LogNumberRead::NotANumber;  // empty, blanks only, or a lone sign
    const std::size_t mantissaStart = i;
    // The digits without the point as a whole number; it is used only when
    // there are few enough digits for it to be exact.
    std::uint64_t whole = 0;
    while (i < n && IsDigit(text[i])) whole = whole * 10 + static_cast<std::uint64_t>(text[i++] - '0');
    std::size_t digits = i - mantissaStart;
    std::size_t point = std::string_view::npos;
    std::size_t fractionDigits = 0;
    if (i < n && text[i] == '.') {
        point = i++;
        const std::size_t fractionStart = i;
        while (i < n && IsDigit(text[i])) whole = whole * 10 + static_cast<std::uint64_t>(text[i++] - '0');
        fractionDigits = i - fractionStart;
        digits += fractionDigits;
    }
    const std::size_t mantissaEnd = i;
    if (i == n && digits > 0 && digits <= kMostDigitsAtOnce && fractionDigits <= kMostFractionDigits) {
        // No exponent and few digits: when the whole number and the power of
        // ten are both exact doubles, the one correctly rounded division gives
        // the double nearest to the text, as from_chars would.
        if (whole <= kLargestExactWhole) {
            const double result = static_cast<double>(whole) / kExactPowersOfTen[fractionDigits];
            value = negative ? -result : result;
            return LogNumberRead::Number;
        }
    }
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
        const std::size_t exponentDigits = i;
        while (i < n && IsDigit(text[i])) ++i;
        if (i == exponentDigits) return LogNumberRead::NotANumber;  // an exponent needs a digit
    }
    if (i != n) return LogNumberRead::NotANumber;  // something follows the number

    if (digits == 0) {  // a lone point, or only an exponent: read as 0
        value = 0.0;
        return LogNumberRead::Number;
    }
    // from_chars takes the sign '-' but not '+'; it reads '.' whatever the locale.
    const char* first = text.data() + mantissaStart;
    const char* last = text.data() + n;
    double result = 0;
    const std::from_chars_result read = std::from_chars(first, last, result, std::chars_format::general);
    if (read.ptr != last) return LogNumberRead::NotANumber;
    if (read.ec == std::errc::result_out_of_range) {
        std::size_t firstSignificant = std::string_view::npos;  // first non-zero digit
        for (std::size_t k = mantissaStart; k < mantissaEnd && firstSignificant == std::string_view::npos; ++k) {
            if (text[k] >= '1' && text[k] <= '9') firstSignificant = k;
        }
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
            if (scale > 0) return LogNumberRead::OutOfRange;  // too large for a double
            result = 0;
        }
    } else if (read.ec != std::errc()) {
        return LogNumberRead::NotANumber;
    }
    value = negative ? -result : result;
    return LogNumberRead::Number;
}

bool ParseLogNumber(std::string_view text, double& value) {
    return ReadLogNumber(text, value) == LogNumberRead::Number;
}

bool IsLogNumberOutOfRange(std::string_view text) {
    double value = 0;
    return ReadLogNumber(text, value) == LogNumberRead::OutOfRange;
}

namespace {

/// With at most this many significant digits (and far from the ends of the
/// range of a double) the digits of a text are the only ones of that length or
/// less that read back as its value.
constexpr int kMostExactDigits = 15;

/// The significant digits of a plain decimal text (blanks, a sign, digits with
/// at most one point, no exponent) and the power of ten of the first of them.
struct PlainDigits {
    char digits[kMostExactDigits];
    int count = 0;
    long exponent = 0;
};

/// False when the text is not plain, holds no digit other than 0 or holds more
/// significant digits than kMostExactDigits.
bool FindPlainDigits(std::string_view text, PlainDigits& plain) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == ' ') ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    long digitsSeen = 0;
    long integerDigits = -1;  // digits before the point, once it is met
    long firstSignificant = -1;
    int zerosPending = 0;  // zeros after a significant digit, kept only if another follows
    for (; i < n; ++i) {
        const char c = text[i];
        if (c == '.' && integerDigits < 0) {
            integerDigits = digitsSeen;
            continue;
        }
        if (!IsDigit(c)) return false;
        ++digitsSeen;
        if (c == '0') {
            if (firstSignificant >= 0) ++zerosPending;
            continue;
        }
        if (firstSignificant < 0) firstSignificant = digitsSeen - 1;
        if (plain.count + zerosPending + 1 > kMostExactDigits) return false;
        for (; zerosPending > 0; --zerosPending) plain.digits[plain.count++] = '0';
        plain.digits[plain.count++] = c;
    }
    if (firstSignificant < 0) return false;
    if (integerDigits < 0) integerDigits = digitsSeen;
    plain.exponent = integerDigits - 1 - firstSignificant;
    return true;
}

/// The length of the text from `start` (after its blanks and sign) when
/// to_chars writes its value with just those characters, otherwise 0: a whole
/// number without leading zeros ("0" itself included) and with few trailing
/// zeros, or a number with a point and no trailing zero, "0." and few zeros
/// after the point when below one; at most kMostExactDigits significant digits.
std::size_t WrittenAsItStands(std::string_view text, std::size_t start) {
    const char* const begin = text.data() + start;
    const char* const end = text.data() + text.size();
    if (begin == end) return 0;
    const char* p = begin;
    if (*p == '0') {
        // "0" alone, or "0." and at most 2 zeros before the digits (3 before more than one).
        if (++p == end) return 1;
        if (*p != '.' || end[-1] == '0' || end - p < 2) return 0;
        const char* const fraction = ++p;
        while (p != end && *p == '0') ++p;
        const long zeros = p - fraction;
        const char* const digits = p;
        while (p != end && IsDigit(*p)) ++p;
        const long significant = p - digits;
        if (p != end || significant > kMostExactDigits) return 0;
        return zeros <= 2 + (significant > 1 ? 1 : 0) ? static_cast<std::size_t>(end - begin) : 0;
    }
    while (p != end && IsDigit(*p)) ++p;
    const long integerDigits = p - begin;
    if (integerDigits == 0 || integerDigits > kMostExactDigits) return 0;
    if (p == end) {
        // Trailing zeros: the plain form is the shorter (or as short) while there
        // are at most 4 of them, or 5 after more than one significant digit.
        const char* q = end;
        while (q - begin > 1 && q[-1] == '0') --q;
        const long zeros = end - q;
        return zeros <= 4 + (q - begin > 1 ? 1 : 0) ? static_cast<std::size_t>(integerDigits) : 0;
    }
    if (*p != '.' || end[-1] == '0' || end - p < 2) return 0;
    const char* const fraction = ++p;
    while (p != end && IsDigit(*p)) ++p;
    if (p != end || integerDigits + (end - fraction) > kMostExactDigits) return 0;
    return static_cast<std::size_t>(end - begin);
}

}  // namespace

char* WriteLogNumber(char* out, std::string_view text, double value) {
    std::size_t start = 0;
    while (start < text.size() && text[start] == ' ') ++start;
    if (start < text.size() && (text[start] == '+' || text[start] == '-')) ++start;
    if (const std::size_t length = WrittenAsItStands(text, start); length > 0) {
        if (std::signbit(value)) *out++ = '-';
        std::memcpy(out, text.data() + start, length);
        return out + length;
    }
    // The digits of the text are what to_chars writes, in the shorter of its two
    // forms, a tie going to the plain one.
    constexpr long kLargestExponent = 290;
    PlainDigits plain;
    if (!FindPlainDigits(text, plain) || plain.exponent > kLargestExponent || plain.exponent < -kLargestExponent) {
        return std::to_chars(out, out + kLogNumberTextSize, value).ptr;
    }
    const long count = plain.count;
    const long exponent = plain.exponent;
    const long plainLength =
        exponent >= 0 ? exponent + 1 + (count - 1 > exponent ? count - exponent : 0) : 1 - exponent + count;
    const long exponentDigits = exponent >= 100 || exponent <= -100 ? 3 : 2;
    const long scientificLength = count + (count > 1 ? 1 : 0) + 2 + exponentDigits;
    const bool plainForm = plainLength <= scientificLength;
    // Zeros after the digits of a whole number stand for digits of its exact
    // value, which to_chars writes: below 10^15 the value is exact.
    constexpr long kLargestExactExponent = 14;
    if (plainForm && exponent >= count && exponent > kLargestExactExponent) {
        return std::to_chars(out, out + kLogNumberTextSize, value).ptr;
    }
    if (std::signbit(value)) *out++ = '-';
    const char* const digits = plain.digits;
    if (plainForm) {
        if (exponent < 0) {
            *out++ = '0';
            *out++ = '.';
            for (long k = -1; k > exponent; --k) *out++ = '0';
            for (long k = 0; k < count; ++k) *out++ = digits[k];
        } else {
            for (long k = 0; k <= exponent; ++k) *out++ = k < count ? digits[k] : '0';
            if (count - 1 > exponent) {
                *out++ = '.';
                for (long k = exponent + 1; k < count; ++k) *out++ = digits[k];
            }
        }
        return out;
    }
    *out++ = digits[0];
    if (count > 1) {
        *out++ = '.';
        for (long k = 1; k < count; ++k) *out++ = digits[k];
    }
    *out++ = 'e';
    *out++ = exponent < 0 ? '-' : '+';
    const long magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude >= 100) *out++ = static_cast<char>('0' + magnitude / 100);
    *out++ = static_cast<char>('0' + magnitude / 10 % 10);
    *out++ = static_cast<char>('0' + magnitude % 10);
    return out;
}

}  // namespace vireo
