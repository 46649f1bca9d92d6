#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "scan/Chronos.h"
#include "scan/PScan.h"
#include "scan/PatternGrammar.h"

// The formatter: builds a text from a pattern and values, appending to an
// accumulator. An upper-case directive puts a comma in front of its output
// when the accumulator already holds text, which is how comma lists are built.

namespace vireo {

namespace {

using pattern::IsUpperLetter;

constexpr int kDefaultPrecision = 6;
constexpr int kMaxPrecision = 9;

/// The directives that print one value.
constexpr std::string_view kValueDirectives = "PSF\"CBIWLMRXDTJ";

/// A value of another kind than the directive wants: numbers of any kind
/// convert among themselves, a text counts as 0, and only a text counts as
/// text (anything else is the empty text).
std::string_view AsText(const FormatArg& value) {
    const auto* text = std::get_if<std::string_view>(&value);
    return text != nullptr ? *text : std::string_view();
}

double AsDouble(const FormatArg& value) {
    if (const auto* d = std::get_if<double>(&value)) return *d;
    if (const auto* i = std::get_if<std::int32_t>(&value)) return *i;
    if (const auto* c = std::get_if<char>(&value)) return static_cast<unsigned char>(*c);
    if (const auto* b = std::get_if<bool>(&value)) return *b ? 1 : 0;
    return 0;
}

std::int32_t AsInteger(const FormatArg& value) {
    if (const auto* i = std::get_if<std::int32_t>(&value)) return *i;
    const double d = AsDouble(value);
    // Truncated toward zero; values beyond the 32-bit range (and NaN) count as 0.
    if (!(d > -2147483649.0 && d < 2147483648.0)) return 0;
    return static_cast<std::int32_t>(d);
}

void AppendInteger(std::string& out, std::int64_t value) {
    std::array<char, 24> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

/// Drops trailing zeros of a number text, keeping one digit after the point.
void Trim(std::string_view& number) {
    while (number.size() > 1 && number.back() == '0' && number[number.size() - 2] != '.') number.remove_suffix(1);
}

class Formatter {
public:
    Formatter(std::string& accumulator, const FormatArg* first, std::size_t count)
        : out_(accumulator), next_(first), end_(first + count) {}

    void Run(std::string_view pattern);

private:
    const FormatArg* Take() { return next_ != end_ ? next_++ : nullptr; }
    std::int32_t ReadCount(std::string_view pattern, std::size_t& index);
    void Directive(char letter);
    void AppendRightAligned(std::string_view text);
    void AppendNumber(std::string_view number);
    void Padded(std::string_view text);
    void Fixed(std::string_view text);
    void Quoted(std::string_view text);
    void Thousandths(std::int32_t value);
    void Real(double value);
    void Day(std::int32_t value);
    void TimeOfDay(std::int32_t seconds);
    void Stamp(std::int32_t stamp);
    template <std::size_t N>
    void Nested(std::string_view subPattern, const std::array<std::int32_t, N>& values);
    void ZeroFill(std::size_t fillStart);

    std::string& out_;
    const FormatArg* next_;
    const FormatArg* end_;
    std::int32_t width_ = 0;
    int precision_ = kDefaultPrecision;
    bool trimming_ = false;
};

void Formatter::Run(std::string_view pattern) {
    std::size_t index = 0;
    while (index < pattern.size()) {
        const char c = pattern[index++];
        if (c != '%') {
            out_ += c;
            continue;
        }
        if (index < pattern.size() && pattern[index] == '%') {
            ++index;
            out_ += '%';
            continue;
        }
        const bool zeroFill = index < pattern.size() && pattern[index] == '0';
        width_ = ReadCount(pattern, index);
        precision_ = kDefaultPrecision;
        if (index < pattern.size() && pattern[index] == '.') {
            ++index;
            precision_ = ReadCount(pattern, index);
        }
        trimming_ = precision_ > kMaxPrecision;
        if (trimming_) precision_ = kMaxPrecision;
        if (index >= pattern.size()) break;  // a '%' with no directive character appends nothing
        const char letter = pattern[index++];
        if (IsUpperLetter(letter) && !out_.empty()) out_ += ',';
        // The fill starts after the comma, so that a sign moves to the front of
        // the number and not onto the comma.
        const std::size_t fillStart = out_.size();
        Directive(letter);
        if (zeroFill) ZeroFill(fillStart);
    }
}

std::int32_t Formatter::ReadCount(std::string_view pattern, std::size_t& index) {
    if (index < pattern.size() && pattern[index] == '*') {
        ++index;
        const FormatArg* value = Take();
        const std::int32_t count = value != nullptr ? AsInteger(*value) : 0;
        return count > 0 ? count : 0;
    }
    return pattern::ReadDigits(pattern, index);
}

void Formatter::Directive(char letter) {
    const char directive = UpperAscii(letter);
    if (directive == 'N') {
        out_ += "\r\n";
        return;
    }
    if (directive == ' ') {
        out_ += '\xA0';  // the no-break space of Windows-1252
        return;
    }
    if (kValueDirectives.find(directive) == std::string_view::npos) return;  // nothing appended, no value taken
    const FormatArg* value = Take();
    if (value == nullptr) return;  // no value left: nothing to print
    switch (directive) {
        case 'P':
        case 'S':
            return Padded(AsText(*value));
        case 'F':
            return Fixed(AsText(*value));
        case '"':
            return Quoted(AsText(*value));
        case 'C':
            if (const auto* c = std::get_if<char>(value)) out_ += *c;
            return;
        case 'B':
            out_ += AsDouble(*value) != 0 ? "Yes" : "No";
            return;
        case 'I':
        case 'W':
        case 'L': {
            std::array<char, 16> buffer{};
            const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), AsInteger(*value)).ptr;
            return AppendRightAligned(std::string_view(buffer.data(), static_cast<std::size_t>(end - buffer.data())));
        }
        case 'M':
            return Thousandths(AsInteger(*value));
        case 'R':
        case 'X':
            return Real(AsDouble(*value));
        case 'D':
            return Day(AsInteger(*value));
        case 'T':
            return TimeOfDay(AsInteger(*value));
        case 'J':
            return Stamp(AsInteger(*value));
        default:
            return;
    }
}

void Formatter::AppendRightAligned(std::string_view text) {
    if (width_ > 0 && text.size() < static_cast<std::size_t>(width_)) {
        out_.append(static_cast<std::size_t>(width_) - text.size(), ' ');
    }
    out_ += text;
}

void Formatter::AppendNumber(std::string_view number) {
    if (trimming_) Trim(number);
    AppendRightAligned(number);
}

void Formatter::Padded(std::string_view text) {
    out_ += text;
    if (width_ > 0 && text.size() < static_cast<std::size_t>(width_)) {
        out_.append(static_cast<std::size_t>(width_) - text.size(), ' ');
    }
}

/// Exactly `width` characters: a longer text is cut, a shorter one filled with
/// blanks on the right.
void Formatter::Fixed(std::string_view text) {
    const auto width = static_cast<std::size_t>(width_);
    if (text.size() >= width) {
        out_ += text.substr(0, width);
    } else {
        out_ += text;
        out_.append(width - text.size(), ' ');
    }
}

/// Quotes a text that holds a comma, or begins with a quote, with a quote
/// character that it does not begin with (or contain), so that the scanner's
/// '"' directive reads it back.
void Formatter::Quoted(std::string_view text) {
    char quote = '\0';
    if (text.find(',') != std::string_view::npos) {
        quote = text.find('"') != std::string_view::npos ? '\'' : '"';
    } else if (!text.empty() && text.front() == '"') {
        quote = '\'';
    } else if (!text.empty() && text.front() == '\'') {
        quote = '"';
    }
    if (quote != '\0') out_ += quote;
    out_ += text;
    if (quote != '\0') out_ += quote;
}

/// Thousandths printed exactly in decimal; rounding (when fewer than three
/// decimals are asked for) goes half away from zero.
void Formatter::Thousandths(std::int32_t value) {
    const bool negative = value < 0;
    std::uint64_t magnitude =
        negative ? static_cast<std::uint64_t>(-static_cast<std::int64_t>(value)) : static_cast<std::uint64_t>(value);
    std::uint64_t scale = 1;  // 10^precision
    for (int k = 0; k < precision_; ++k) scale *= 10;
    if (precision_ < 3) {
        std::uint64_t divisor = 1;
        for (int k = precision_; k < 3; ++k) divisor *= 10;
        magnitude = (magnitude + divisor / 2) / divisor;
    } else {
        for (int k = 3; k < precision_; ++k) magnitude *= 10;
    }
    std::string number;
    if (negative && magnitude != 0) number += '-';
    AppendInteger(number, static_cast<std::int64_t>(magnitude / scale));
    if (precision_ > 0) {
        number += '.';
        std::string fraction;
        AppendInteger(fraction, static_cast<std::int64_t>(magnitude % scale));
        number.append(static_cast<std::size_t>(precision_) - fraction.size(), '0');
        number += fraction;
    }
    AppendNumber(number);
}

void Formatter::Real(double value) {
    if (std::isnan(value)) return;  // a value that is not a number prints nothing at all
    if (std::isinf(value)) return AppendRightAligned(value > 0 ? "INF" : "-INF");
    // Enough for the largest double in fixed notation with nine decimals.
    std::array<char, 340> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, precision_);
    AppendNumber(std::string_view(buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data())));
}

template <std::size_t N>
void Formatter::Nested(std::string_view subPattern, const std::array<std::int32_t, N>& values) {
    std::array<FormatArg, N> arguments;
    for (std::size_t k = 0; k < N; ++k) arguments[k] = values[k];
    Formatter nested(out_, arguments.data(), N);
    nested.Run(subPattern);
}

void Formatter::Day(std::int32_t value) {
    const CalendarDate date = SplitDayNumber(static_cast<DayNumber>(static_cast<std::uint32_t>(value) & 0xFFFF));
    Nested(pattern::SubPatternsInForce().datePrint, std::array<std::int32_t, 3>{date.month, date.day, date.year});
}

/// Hours are not limited to a day and print with more digits above 99.
void Formatter::TimeOfDay(std::int32_t seconds) {
    std::int64_t magnitude = seconds;
    if (magnitude < 0) {
        out_ += '-';
        magnitude = -magnitude;
    }
    const auto hours = static_cast<std::int32_t>(magnitude / 3600);
    const auto minutes = static_cast<std::int32_t>(magnitude % 3600 / 60);
    const auto rest = static_cast<std::int32_t>(magnitude % 60);
    Nested(pattern::SubPatternsInForce().timePrint, std::array<std::int32_t, 3>{hours, minutes, rest});
}

void Formatter::Stamp(std::int32_t stamp) {
    const CalendarStamp s = SplitStamp(stamp);
    Nested(pattern::SubPatternsInForce().stampPrint,
           std::array<std::int32_t, 6>{s.month, s.day, s.year, s.hours, s.minutes, s.seconds});
}

/// Blanks from the fill start on become '0'; a sign behind the filled zeros
/// moves to the front (%05I of -5 gives -0005).
void Formatter::ZeroFill(std::size_t fillStart) {
    for (std::size_t k = fillStart; k < out_.size(); ++k) {
        if (out_[k] == ' ') {
            out_[k] = '0';
        } else if ((out_[k] == '+' || out_[k] == '-') && out_[fillStart] == '0') {
            out_[fillStart] = out_[k];
            out_[k] = '0';
        }
    }
}

}  // namespace

std::string FormatPattern(std::string_view pattern, std::initializer_list<FormatArg> args) {
    std::string accumulator;
    Formatter formatter(accumulator, args.begin(), args.size());
    formatter.Run(pattern);
    return accumulator;
}

void AppendPattern(std::string& accumulator, std::string_view pattern, std::initializer_list<FormatArg> args,
                   std::string& result) {
    Formatter formatter(accumulator, args.begin(), args.size());
    formatter.Run(pattern);
    if (&result != &accumulator) result = accumulator;
}

}  // namespace vireo
