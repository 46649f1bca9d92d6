#include "scan/PScan.h"

#include <array>
#include <bit>
#include <cstdint>
#include <limits>

#include "scan/Chronos.h"
#include "scan/DecimalText.h"
#include "scan/PatternGrammar.h"

// The scanner: splits one line into typed values by a pattern. It is lenient
// on purpose: an element that does not match fails (the result turns false
// while checking is on) and scanning goes on from wherever the element left
// the position. Nothing here throws, and the position only moves forward.

namespace vireo {

namespace {

using pattern::IsDigit;
using pattern::IsUpperLetter;
using pattern::UpperAscii;

/// The caller's variable one directive stores into. No target means "read the
/// field, store nothing": no argument was left, or the caller passed a null
/// pointer. A reference of the wrong type also leaves no target, and the
/// element fails.
template <class T>
struct Target {
    T* variable = nullptr;
    bool wrongType = false;

    void Store(const T& value) const {
        if (variable != nullptr) *variable = value;
    }
};

class ArgumentList {
public:
    ArgumentList(const ScanArg* first, std::size_t count) : next_(first), end_(first + count) {}

    template <class T>
    Target<T> Take() {
        if (next_ == end_) return {};
        const ScanArg& argument = *next_++;
        if (T* const* variable = std::get_if<T*>(&argument)) return {*variable, false};
        return {nullptr, true};
    }

    /// The value of a '*' width or precision: a 32-bit value, or the value of
    /// a 32-bit variable. Another type fails the element and counts as 0.
    std::int32_t TakeCount(bool& wrongType) {
        if (next_ == end_) return 0;
        const ScanArg& argument = *next_++;
        if (const std::int32_t* value = std::get_if<std::int32_t>(&argument)) return *value;
        if (std::int32_t* const* variable = std::get_if<std::int32_t*>(&argument)) {
            return *variable != nullptr ? **variable : 0;
        }
        wrongType = true;
        return 0;
    }

private:
    const ScanArg* next_;
    const ScanArg* end_;
};

/// The terminator (or quote character or target) of S, '"', V and '?': the
/// pattern character after the directive, or the end of the pattern when the
/// directive stands last.
struct Terminator {
    bool endOfPattern = false;
    unsigned char character = 0;

    bool Matches(unsigned char c) const { return !endOfPattern && c == character; }
};

constexpr std::array<std::string_view, 12> kBooleanWords = {"YES", "Y", "TRUE",  "OK",  "ON",  "1",
                                                            "NO",  "N", "FALSE", "BAD", "OFF", "0"};
constexpr std::size_t kTrueWords = 6;

constexpr std::string_view kDirectives = "_PCILWERXMBS\"V?NJDTQ[]";

class Scanner {
public:
    Scanner(std::string_view text, std::size_t position, const ScanArg* arguments, std::size_t count)
        : text_(text), position_(position < text.size() ? position : text.size()), arguments_(arguments, count) {}

    bool Run(std::string_view pattern);
    std::size_t Position() const { return position_; }

private:
    bool AtEnd() const { return position_ >= text_.size(); }
    /// The character at the position; the end of the text reads as code 0.
    unsigned char Current() const { return AtEnd() ? 0 : static_cast<unsigned char>(text_[position_]); }
    bool EndsField() const {
        if (AtEnd()) return true;
        const char c = text_[position_];
        return c == '\n' || c == '\r';
    }
    bool CurrentIsDigit() const { return !AtEnd() && IsDigit(text_[position_]); }
    bool CurrentIsSign() const { return !AtEnd() && (text_[position_] == '+' || text_[position_] == '-'); }
    /// The field begun at `start` may take one more character.
    bool Room(std::size_t start) const { return width_ <= 0 || position_ - start < static_cast<std::size_t>(width_); }
    std::string_view FieldFrom(std::size_t start) const { return text_.substr(start, position_ - start); }
    void StepOverUnlessAtEnd() {
        if (!AtEnd()) ++position_;
    }

    void Fail() {
        if (checking_) result_ = false;
    }

    std::int32_t ReadCount(std::string_view pattern, std::size_t& index, bool& failed);
    void MatchLiteral(char expected);
    bool Directive(char letter, std::string_view pattern, std::size_t& index);
    void StepOverComma();

    // The directives; those returning bool return false when their element fails.
    void SkipBlanks();
    void ReadPlainField(std::size_t start);
    void ReadDigits(std::size_t start);
    void ReadNumber(std::size_t start);
    bool Text();
    bool Character();
    bool Integer();
    bool Word();
    bool SingleField();
    bool NumberField();
    bool DoubleField();
    bool Thousandths();
    bool Boolean();
    bool Delimited(Terminator terminator);
    bool Quoted(Terminator terminator);
    bool QuotedValue(Terminator quote);
    bool SkipTo(Terminator target);
    bool LineEnd();
    template <std::size_t N>
    bool Nested(std::string_view subPattern, std::array<std::uint16_t, N>& parts);
    bool Stamp();
    bool Day();
    bool TimeOfDay();
    bool DateExpression();

    std::string_view text_;
    std::size_t position_;
    ArgumentList arguments_;
    std::int32_t width_ = 0;
    bool checking_ = true;
    bool result_ = true;
};

bool Scanner::Run(std::string_view pattern) {
    std::size_t index = 0;
    while (index < pattern.size()) {
        const char c = pattern[index++];
        if (c != '%') {
            MatchLiteral(c);
            continue;
        }
        if (index < pattern.size() && pattern[index] == '%') {
            ++index;
            MatchLiteral('%');
            continue;
        }
        bool failed = false;
        width_ = ReadCount(pattern, index, failed);
        if (index < pattern.size() && pattern[index] == '.') {
            ++index;
            ReadCount(pattern, index, failed);  // the scanner has no use for a precision
        }
        if (index >= pattern.size()) {  // a '%' with no directive character ends the pattern
            Fail();
            break;
        }
        const char letter = pattern[index++];
        if (kDirectives.find(UpperAscii(letter)) == std::string_view::npos) {
            Fail();  // not a directive: nothing is consumed
            continue;
        }
        if (!Directive(letter, pattern, index)) failed = true;
        if (IsUpperLetter(letter)) StepOverComma();
        if (failed) Fail();
    }
    return result_;
}

std::int32_t Scanner::ReadCount(std::string_view pattern, std::size_t& index, bool& failed) {
    if (index < pattern.size() && pattern[index] == '*') {
        ++index;
        return arguments_.TakeCount(failed);
    }
    return pattern::ReadDigits(pattern, index);
}

void Scanner::MatchLiteral(char expected) {
    if (AtEnd()) {
        if (expected != '\0') Fail();  // the end of the text reads as code 0
        return;
    }
    if (UpperAscii(text_[position_]) != UpperAscii(expected)) Fail();
    ++position_;  // a differing separator is stepped over, so the values around it are still read
}

void Scanner::StepOverComma() {
    while (!EndsField() && text_[position_] != ',') ++position_;
    if (!AtEnd() && text_[position_] == ',') ++position_;
}

/// Carries out one directive; false when its element fails.
bool Scanner::Directive(char letter, std::string_view pattern, std::size_t& index) {
    const auto terminator = [&] {
        Terminator t;
        if (index < pattern.size()) {
            t.character = static_cast<unsigned char>(pattern[index++]);
        } else {
            t.endOfPattern = true;
        }
        return t;
    };
    switch (UpperAscii(letter)) {
        case '_':
            SkipBlanks();
            return true;
        case 'P':
            return Text();
        case 'C':
            return Character();
        case 'I':
        case 'L':
            return Integer();
        case 'W':
            return Word();
        case 'E':
            return SingleField();
        case 'R':
            return NumberField();
        case 'X':
            return DoubleField();
        case 'M':
            return Thousandths();
        case 'B':
            return Boolean();
        case 'S':
            return Delimited(terminator());
        case '"':
            return Quoted(terminator());
        case 'V':
            return QuotedValue(terminator());
        case '?':
            return SkipTo(terminator());
        case 'N':
            return LineEnd();
        case 'J':
            return Stamp();
        case 'D':
            return Day();
        case 'T':
            return TimeOfDay();
        case 'Q':
            return DateExpression();
        case '[':
            checking_ = false;
            return true;
        case ']':
            checking_ = true;
            return true;
        default:
            return false;
    }
}

void Scanner::SkipBlanks() {
    while (!AtEnd()) {
        const auto c = static_cast<unsigned char>(text_[position_]);
        if (c >= 33 && c <= 126) break;
        ++position_;
    }
}

void Scanner::ReadPlainField(std::size_t start) {
    while (!EndsField() && text_[position_] != ',' && Room(start)) ++position_;
}

void Scanner::ReadDigits(std::size_t start) {
    while (CurrentIsDigit() && Room(start)) ++position_;
}

/// Sign and point are taken whatever the width; digits and the exponent only
/// within it.
void Scanner::ReadNumber(std::size_t start) {
    if (CurrentIsSign()) ++position_;
    ReadDigits(start);
    if (!AtEnd() && text_[position_] == '.') ++position_;
    ReadDigits(start);
    if (!AtEnd() && (text_[position_] == 'E' || text_[position_] == 'e') && Room(start)) {
        ++position_;
        if (CurrentIsSign() && Room(start)) ++position_;
        ReadDigits(start);
    }
}

bool Scanner::Text() {
    const auto target = arguments_.Take<std::string>();
    const std::size_t start = position_;
    ReadPlainField(start);
    if (target.variable != nullptr) target.variable->assign(text_.data() + start, position_ - start);
    return !target.wrongType;
}

bool Scanner::Character() {
    const auto target = arguments_.Take<char>();
    target.Store(static_cast<char>(Current()));
    StepOverUnlessAtEnd();
    return !target.wrongType;
}

bool Scanner::Integer() {
    const auto target = arguments_.Take<std::int32_t>();
    const std::size_t start = position_;
    const bool negative = !AtEnd() && text_[position_] == '-';
    if (CurrentIsSign()) ++position_;
    const std::size_t digits = position_;
    // The magnitude is kept in 64 bits and stops growing past the 32-bit
    // range, so a field of any length is judged without overflow.
    constexpr std::int64_t kLimit = std::int64_t{1} << 31;
    std::int64_t magnitude = 0;
    while (CurrentIsDigit() && Room(start)) {
        if (magnitude <= kLimit) magnitude = magnitude * 10 + (text_[position_] - '0');
        ++position_;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    const bool converts = position_ > digits && value >= std::numeric_limits<std::int32_t>::min() &&
                          value <= std::numeric_limits<std::int32_t>::max();
    target.Store(converts ? static_cast<std::int32_t>(value) : 0);
    return converts && !target.wrongType;
}

bool Scanner::Word() {
    const auto target = arguments_.Take<std::uint16_t>();
    const std::size_t start = position_;
    std::int32_t value = 0;
    while (CurrentIsDigit() && Room(start)) {
        if (value <= 65535) value = value * 10 + (text_[position_] - '0');
        ++position_;
    }
    const bool converts = position_ > start && value <= 65535;
    target.Store(converts ? static_cast<std::uint16_t>(value) : 0);
    return converts && !target.wrongType;
}

bool Scanner::SingleField() {
    const auto target = arguments_.Take<float>();
    const std::size_t start = position_;
    ReadPlainField(start);
    std::string_view field = FieldFrom(start);
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    float value = 0;
    const bool converts = pattern::DecimalToFloat(field, value);
    // A failed conversion is marked in the value itself: all 32 bits set.
    target.Store(converts ? value : std::bit_cast<float>(std::uint32_t{0xFFFFFFFF}));
    return converts && !target.wrongType;
}

bool Scanner::NumberField() {
    const auto target = arguments_.Take<float>();
    const std::size_t start = position_;
    ReadNumber(start);
    float value = 0;
    const bool converts = pattern::DecimalToFloat(FieldFrom(start), value);
    target.Store(converts ? value : 0.0f);
    return converts && !target.wrongType;
}

bool Scanner::DoubleField() {
    const auto target = arguments_.Take<double>();
    const std::size_t start = position_;
    ReadNumber(start);
    double value = 0;
    const bool converts = pattern::DecimalToDouble(FieldFrom(start), value);
    target.Store(converts ? value : 0.0);
    return converts && !target.wrongType;
}

bool Scanner::Thousandths() {
    const auto target = arguments_.Take<std::int32_t>();
    const std::size_t start = position_;
    ReadNumber(start);
    float number = 0;
    bool converts = pattern::DecimalToFloat(FieldFrom(start), number);
    // Single precision on both sides of the multiplication, then truncation:
    // 1.234 gives 1234 although 1.234 is not exact as a float.
    const float scaled = number * 1000.0f;
    constexpr float kLimit = 2147483648.0f;  // 2^31
    converts = converts && scaled >= -kLimit && scaled < kLimit;
    target.Store(converts ? static_cast<std::int32_t>(scaled) : 0);
    return converts && !target.wrongType;
}

bool Scanner::Boolean() {
    const auto target = arguments_.Take<std::uint8_t>();
    const std::string_view rest = text_.substr(position_);
    for (std::size_t w = 0; w < kBooleanWords.size(); ++w) {
        const std::string_view word = kBooleanWords[w];
        if (rest.size() < word.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < word.size() && same; ++k) same = UpperAscii(rest[k]) == word[k];
        if (!same) continue;
        position_ += word.size();
        target.Store(w < kTrueWords ? 1 : 0);
        return !target.wrongType;
    }
    target.Store(0);
    return false;
}

bool Scanner::Delimited(Terminator terminator) {
    const auto target = arguments_.Take<std::string>();
    const std::size_t start = position_;
    while (!AtEnd() && !terminator.Matches(Current()) && Room(start)) ++position_;
    if (target.variable != nullptr) target.variable->assign(text_.data() + start, position_ - start);
    StepOverUnlessAtEnd();
    return !target.wrongType;
}

bool Scanner::Quoted(Terminator terminator) {
    const auto target = arguments_.Take<std::string>();
    const unsigned char first = Current();
    if (!AtEnd() && (first == '"' || first == '\'')) {
        ++position_;
        const std::size_t start = position_;
        while (!EndsField() && Current() != first && Room(start)) ++position_;
        if (target.variable != nullptr) target.variable->assign(text_.data() + start, position_ - start);
        // Over the closing quote and whatever stands before the terminator.
        while (!EndsField() && !terminator.Matches(Current()) && Room(start)) ++position_;
    } else {
        const std::size_t start = position_;
        while (!EndsField() && !terminator.Matches(Current()) && Room(start)) ++position_;
        if (target.variable != nullptr) target.variable->assign(text_.data() + start, position_ - start);
    }
    if (!AtEnd() && Current() >= 32) ++position_;
    return !target.wrongType;
}

bool Scanner::QuotedValue(Terminator quote) {
    const auto target = arguments_.Take<std::string>();
    const std::size_t start = position_;
    while (!EndsField() && Current() != ',' && Room(start)) {
        if (!quote.Matches(Current())) {
            ++position_;
            continue;
        }
        ++position_;  // commas inside the quotes belong to the field
        while (!EndsField() && !quote.Matches(Current()) && Room(start)) ++position_;
        if (!AtEnd() && quote.Matches(Current())) ++position_;
    }
    if (target.variable != nullptr) target.variable->assign(text_.data() + start, position_ - start);
    return !target.wrongType;
}

/// The width of '?' counts from the start of the text, not from the field.
bool Scanner::SkipTo(Terminator target) {
    while (!AtEnd() && !target.Matches(Current()) && (width_ <= 0 || position_ < static_cast<std::size_t>(width_))) {
        ++position_;
    }
    // The end of the text reads as code 0, and the end of the pattern as a
    // target is reached there too.
    const bool reached = AtEnd() ? (target.endOfPattern || target.character == 0) : target.Matches(Current());
    StepOverUnlessAtEnd();
    return reached;
}

bool Scanner::LineEnd() {
    if (position_ + 1 < text_.size() && text_[position_] == '\r' && text_[position_ + 1] == '\n') {
        position_ += 2;
        return true;
    }
    return false;
}

/// Runs a sub-pattern of W directives from the position; the outer scan goes
/// on where the nested one stopped.
template <std::size_t N>
bool Scanner::Nested(std::string_view subPattern, std::array<std::uint16_t, N>& parts) {
    std::array<ScanArg, N> references;
    for (std::size_t k = 0; k < N; ++k) references[k] = &parts[k];
    Scanner nested(text_, position_, references.data(), N);
    const bool matched = nested.Run(subPattern);
    position_ = nested.Position();
    return matched;
}

bool Scanner::Stamp() {
    const auto target = arguments_.Take<std::int32_t>();
    std::array<std::uint16_t, 6> parts{};  // month, day, year, hours, minutes, seconds
    const bool matched = Nested(pattern::SubPatternsInForce().stampScan, parts);
    target.Store(StampOf(parts[2], parts[0], parts[1], parts[3], parts[4], parts[5]));
    return matched && !target.wrongType;
}

bool Scanner::Day() {
    const auto target = arguments_.Take<std::uint16_t>();
    std::array<std::uint16_t, 3> parts{};  // month, day, year
    const bool matched = Nested(pattern::SubPatternsInForce().dateScan, parts);
    target.Store(DayNumberOf(parts[2], parts[0], parts[1]));
    return matched && !target.wrongType;
}

bool Scanner::TimeOfDay() {
    const auto target = arguments_.Take<std::int32_t>();
    bool negative = false;
    if (CurrentIsSign()) negative = text_[position_++] == '-';
    std::array<std::uint16_t, 3> parts{};  // hours, minutes, seconds
    const bool matched = Nested(pattern::SubPatternsInForce().timeScan, parts);
    // At most 65535 hours: well inside 32 bits.
    const std::int32_t seconds = parts[0] * 3600 + parts[1] * 60 + parts[2];
    target.Store(negative ? -seconds : seconds);
    return matched && !target.wrongType;
}

bool Scanner::DateExpression() {
    const auto target = arguments_.Take<std::int32_t>();
    const std::size_t start = position_;
    ReadPlainField(start);
    // The variable's earlier value is the base of the expression.
    if (target.variable != nullptr) *target.variable = ParseDateExpression(FieldFrom(start), *target.variable);
    return !target.wrongType;
}

}  // namespace

bool Scan(std::string_view text, std::string_view pattern, std::initializer_list<ScanArg> args) {
    Scanner scanner(text, 0, args.begin(), args.size());
    return scanner.Run(pattern);
}

bool ScanFrom(std::string_view text, std::size_t& position, std::string_view pattern,
              std::initializer_list<ScanArg> args) {
    Scanner scanner(text, position < 1 ? 0 : position - 1, args.begin(), args.size());
    const bool result = scanner.Run(pattern);
    position = scanner.Position() + 1;
    return result;
}

}  // namespace vireo
