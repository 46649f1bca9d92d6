#include "scan/DecimalText.h"

#include <charconv>
#include <cstdint>
#include <system_error>

#include "scan/PatternGrammar.h"

namespace vireo::pattern {

namespace {

/// Where the parts of a well-formed decimal number text lie.
struct DecimalShape {
    bool valid = false;
    bool negative = false;
    std::size_t mantissaStart = 0;  // after the sign
    std::size_t integerDigits = 0;
    std::size_t fractionStart = 0;  // first digit after the point
    std::size_t fractionDigits = 0;
    std::int64_t exponent = 0;  // saturated, far beyond any type's range
};

DecimalShape ShapeOf(std::string_view text) {
    DecimalShape shape;
    std::size_t i = 0;
    const std::size_t n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-')) shape.negative = text[i++] == '-';
    shape.mantissaStart = i;
    while (i < n && IsDigit(text[i])) ++i;
    shape.integerDigits = i - shape.mantissaStart;
    shape.fractionStart = i;
    if (i < n && text[i] == '.') {
        shape.fractionStart = ++i;
        while (i < n && IsDigit(text[i])) ++i;
        shape.fractionDigits = i - shape.fractionStart;
    }
    if (shape.integerDigits + shape.fractionDigits == 0) return shape;
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
        const std::size_t digits = i;
        constexpr std::int64_t kLimit = 1'000'000'000;
        while (i < n && IsDigit(text[i])) {
            shape.exponent = shape.exponent * 10 + (text[i] - '0');
            if (shape.exponent > kLimit) shape.exponent = kLimit;
            ++i;
        }
        if (i == digits) return shape;
        if (negativeExponent) shape.exponent = -shape.exponent;
    }
    shape.valid = i == n;
    return shape;
}

/// True when the magnitude of the (non-zero) number is below one: its first
/// significant digit stands after the point once the exponent is applied.
bool BelowOne(std::string_view text, const DecimalShape& shape) {
    std::int64_t magnitude = 0;
    bool found = false;
    for (std::size_t k = 0; k < shape.integerDigits && !found; ++k) {
        if (text[shape.mantissaStart + k] != '0') {
            magnitude = static_cast<std::int64_t>(shape.integerDigits - 1 - k);
            found = true;
        }
    }
    for (std::size_t k = 0; k < shape.fractionDigits && !found; ++k) {
        if (text[shape.fractionStart + k] != '0') {
            magnitude = -static_cast<std::int64_t>(k + 1);
            found = true;
        }
    }
    return !found || magnitude + shape.exponent < 0;
}

template <class T>
bool ConvertDecimal(std::string_view text, T& value) {
    const DecimalShape shape = ShapeOf(text);
    if (!shape.valid) return false;
    // std::from_chars takes no '+' sign; the shape check already made sure
    // that no second sign follows it.
    const std::string_view body = text.front() == '+' ? text.substr(1) : text;
    T converted{};
    const auto [end, error] =
        std::from_chars(body.data(), body.data() + body.size(), converted, std::chars_format::general);
    if (end != body.data() + body.size()) return false;
    if (error == std::errc{}) {
        value = converted;
        return true;
    }
    if (error == std::errc::result_out_of_range && BelowOne(text, shape)) {
        value = shape.negative ? -T{0} : T{0};
        return true;
    }
    return false;
}

}  // namespace

bool DecimalToFloat(std::string_view text, float& value) { return ConvertDecimal(text, value); }

bool DecimalToDouble(std::string_view text, double& value) { return ConvertDecimal(text, value); }

}  // namespace vireo::pattern
