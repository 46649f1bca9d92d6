#include "scan/PScan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VIREO_SCAN_SSE2 1
#endif

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

/// The caller's text variable of P, S, '"' and V: a copy into a std::string or
/// a view into the scanned text.
struct TextTarget {
    std::string* copy = nullptr;
    std::string_view* view = nullptr;
    bool wrongType = false;

    void Store(const char* data, std::size_t size) const {
        if (copy != nullptr) {
            copy->assign(data, size);
        } else if (view != nullptr) {
            *view = std::string_view(data, size);
        }
    }
};

class ArgumentList {
public:
    ArgumentList(const ScanArg* first, std::size_t count) : next_(first), end_(first + count) {}

    TextTarget TakeText() {
        if (next_ == end_) return {};
        const ScanArg& argument = *next_++;
        if (std::string* const* copy = std::get_if<std::string*>(&argument)) return {*copy, nullptr, false};
        if (std::string_view* const* view = std::get_if<std::string_view*>(&argument)) return {nullptr, *view, false};
        return {nullptr, nullptr, true};
    }

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

/// What a directive character asks for; letters in either case.
enum class Op : std::uint8_t {
    None,  // not a directive
    Blanks,
    Plain,
    Character,
    Integer,
    Word,
    Single,
    Number,
    Double,
    Thousandths,
    Boolean,
    Delimited,
    Quoted,
    QuotedValue,
    SkipTo,
    LineEnd,
    Stamp,
    Day,
    TimeOfDay,
    DateExpression,
    CheckingOff,
    CheckingOn,
};

constexpr std::array<Op, 256> MakeOpTable() {
    std::array<Op, 256> ops{};
    const auto set = [&ops](char c, Op op) {
        ops[static_cast<unsigned char>(c)] = op;
        if (IsUpperLetter(c)) ops[static_cast<unsigned char>(c - 'A' + 'a')] = op;
    };
    set('_', Op::Blanks);
    set('P', Op::Plain);
    set('C', Op::Character);
    set('I', Op::Integer);
    set('L', Op::Integer);
    set('W', Op::Word);
    set('E', Op::Single);
    set('R', Op::Number);
    set('X', Op::Double);
    set('M', Op::Thousandths);
    set('B', Op::Boolean);
    set('S', Op::Delimited);
    set('"', Op::Quoted);
    set('V', Op::QuotedValue);
    set('?', Op::SkipTo);
    set('N', Op::LineEnd);
    set('J', Op::Stamp);
    set('D', Op::Day);
    set('T', Op::TimeOfDay);
    set('Q', Op::DateExpression);
    set('[', Op::CheckingOff);
    set(']', Op::CheckingOn);
    return ops;
}

constexpr std::array<Op, 256> kOps = MakeOpTable();

/// The characters at which a plain field ends: ',' and the field-ending set
/// (the end of the text is tested apart).
constexpr std::array<bool, 256> MakePlainEnds() {
    std::array<bool, 256> ends{};
    ends[static_cast<unsigned char>(',')] = true;
    ends[static_cast<unsigned char>('\r')] = true;
    ends[static_cast<unsigned char>('\n')] = true;
    return ends;
}

constexpr std::array<bool, 256> kPlainEnds = MakePlainEnds();

/// The index of the first ',', carriage return or line feed at or after
/// `from`, or `size` when there is none. Reads only inside [data, data + size).
std::size_t PlainFieldEnd(const char* data, std::size_t from, std::size_t size) {
#ifdef VIREO_SCAN_SSE2
    if (size >= 16) {
        const __m128i comma = _mm_set1_epi8(',');
        const __m128i carriageReturn = _mm_set1_epi8('\r');
        const __m128i lineFeed = _mm_set1_epi8('\n');
        const auto hits = [&](std::size_t at) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
            const __m128i found =
                _mm_or_si128(_mm_cmpeq_epi8(chunk, comma),
                             _mm_or_si128(_mm_cmpeq_epi8(chunk, carriageReturn), _mm_cmpeq_epi8(chunk, lineFeed)));
            return static_cast<unsigned>(_mm_movemask_epi8(found));
        };
        for (; from + 16 <= size; from += 16) {
            if (const unsigned mask = hits(from); mask != 0)
                return from + static_cast<std::size_t>(std::countr_zero(mask));
        }
        if (from < size) {
            // The last 16 characters of the text, without those before `from`.
            const std::size_t last = size - 16;
            const unsigned mask = hits(last) >> (from - last);
            return mask != 0 ? from + static_cast<std::size_t>(std::countr_zero(mask)) : size;
        }
        return size;
    }
#endif
    while (from < size && !kPlainEnds[static_cast<unsigned char>(data[from])]) ++from;
    return from;
}

/// A run of "%P" and "%p" directives (no width, no precision), by far the
/// commonest, read in one loop: each takes the field up to the next ',', line
/// end or the end of the text, and 'P' steps over the ',' it stopped at.
/// `index` is at the letter of the first directive; gives the index after the
/// letter of the last. `wrongType` is set when a reference was not a text.
inline std::size_t ReadPlainRun(std::string_view text, std::size_t& position, std::string_view pattern,
                                std::size_t index, ArgumentList& arguments, bool& wrongType) {
    const char* const data = text.data();
    const std::size_t length = text.size();
    const char* const directives = pattern.data();
    const std::size_t patternSize = pattern.size();
    std::size_t at = position;
    for (;;) {
        const bool commaForm = directives[index++] == 'P';
        const std::size_t start = at;
        at = PlainFieldEnd(data, at, length);
        const TextTarget target = arguments.TakeText();
        target.Store(data + start, at - start);
        if (target.wrongType) wrongType = true;
        if (commaForm && at < length && data[at] == ',') ++at;
        if (index + 1 >= patternSize || directives[index] != '%' ||
            (directives[index + 1] != 'P' && directives[index + 1] != 'p')) {
            break;
        }
        ++index;
    }
    position = at;
    return index;
}

/// The one-field pattern of the walks over comma fields.
bool IsOnePlainField(std::string_view pattern) {
    return pattern.size() == 2 && pattern[0] == '%' && (pattern[1] == 'P' || pattern[1] == 'p');
}

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
    bool Directive(Op op, std::string_view pattern, std::size_t& index);
    void StepOverComma();
    std::size_t PlainFields(std::string_view pattern, std::size_t index);

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
    bool CommonStamp(std::array<std::uint16_t, 6>& parts);
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
    const std::size_t size = pattern.size();
    std::size_t index = 0;
    while (index < size) {
        const char c = pattern[index++];
        if (c != '%') {
            MatchLiteral(c);
            continue;
        }
        if (index < size && (pattern[index] == 'P' || pattern[index] == 'p')) {
            index = PlainFields(pattern, index);  // by far the commonest directive
            continue;
        }
        if (index < size && pattern[index] == '%') {
            ++index;
            MatchLiteral('%');
            continue;
        }
        bool failed = false;
        width_ = 0;
        if (index < size && (IsDigit(pattern[index]) || pattern[index] == '*' || pattern[index] == '.')) {
            width_ = ReadCount(pattern, index, failed);
            if (index < size && pattern[index] == '.') {
                ++index;
                ReadCount(pattern, index, failed);  // the scanner has no use for a precision
            }
        }
        if (index >= size) {  // a '%' with no directive character ends the pattern
            Fail();
            break;
        }
        const char letter = pattern[index++];
        const Op op = kOps[static_cast<unsigned char>(letter)];
        if (op == Op::None) {
            Fail();  // not a directive: nothing is consumed
            continue;
        }
        if (!Directive(op, pattern, index)) failed = true;
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
bool Scanner::Directive(Op op, std::string_view pattern, std::size_t& index) {
    const auto terminator = [&] {
        Terminator t;
        if (index < pattern.size()) {
            t.character = static_cast<unsigned char>(pattern[index++]);
        } else {
            t.endOfPattern = true;
        }
        return t;
    };
    switch (op) {
        case Op::Blanks:
            SkipBlanks();
            return true;
        case Op::Plain:
            return Text();
        case Op::Character:
            return Character();
        case Op::Integer:
            return Integer();
        case Op::Word:
            return Word();
        case Op::Single:
            return SingleField();
        case Op::Number:
            return NumberField();
        case Op::Double:
            return DoubleField();
        case Op::Thousandths:
            return Thousandths();
        case Op::Boolean:
            return Boolean();
        case Op::Delimited:
            return Delimited(terminator());
        case Op::Quoted:
            return Quoted(terminator());
        case Op::QuotedValue:
            return QuotedValue(terminator());
        case Op::SkipTo:
            return SkipTo(terminator());
        case Op::LineEnd:
            return LineEnd();
        case Op::Stamp:
            return Stamp();
        case Op::Day:
            return Day();
        case Op::TimeOfDay:
            return TimeOfDay();
        case Op::DateExpression:
            return DateExpression();
        case Op::CheckingOff:
            checking_ = false;
            return true;
        case Op::CheckingOn:
            checking_ = true;
            return true;
        case Op::None:
            break;
    }
    return false;
}

/// A run of "%P" and "%p": each is the same as Text() followed, for 'P', by
/// StepOverComma(), since the field stops at a ',', a line end or the end.
std::size_t Scanner::PlainFields(std::string_view pattern, std::size_t index) {
    bool wrongType = false;
    index = ReadPlainRun(text_, position_, pattern, index, arguments_, wrongType);
    if (wrongType) Fail();
    return index;
}

void Scanner::SkipBlanks() {
    while (!AtEnd()) {
        const auto c = static_cast<unsigned char>(text_[position_]);
        if (c >= 33 && c <= 126) break;
        ++position_;
    }
}

void Scanner::ReadPlainField(std::size_t start) {
    if (width_ <= 0) {
        position_ = PlainFieldEnd(text_.data(), position_, text_.size());
        return;
    }
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
    const TextTarget target = arguments_.TakeText();
    const std::size_t start = position_;
    ReadPlainField(start);
    target.Store(text_.data() + start, position_ - start);
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
    const TextTarget target = arguments_.TakeText();
    const std::size_t start = position_;
    if (width_ > 0) {
        while (!AtEnd() && !terminator.Matches(Current()) && Room(start)) ++position_;
    } else if (terminator.endOfPattern) {
        position_ = text_.size();
    } else if (!AtEnd()) {
        const void* found = std::memchr(text_.data() + position_, terminator.character, text_.size() - position_);
        position_ =
            found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - text_.data()) : text_.size();
    }
    target.Store(text_.data() + start, position_ - start);
    StepOverUnlessAtEnd();
    return !target.wrongType;
}

bool Scanner::Quoted(Terminator terminator) {
    const TextTarget target = arguments_.TakeText();
    const unsigned char first = Current();
    if (!AtEnd() && (first == '"' || first == '\'')) {
        ++position_;
        const std::size_t start = position_;
        while (!EndsField() && Current() != first && Room(start)) ++position_;
        target.Store(text_.data() + start, position_ - start);
        // Over the closing quote and whatever stands before the terminator.
        while (!EndsField() && !terminator.Matches(Current()) && Room(start)) ++position_;
    } else {
        const std::size_t start = position_;
        while (!EndsField() && !terminator.Matches(Current()) && Room(start)) ++position_;
        target.Store(text_.data() + start, position_ - start);
    }
    if (!AtEnd() && Current() >= 32) ++position_;
    return !target.wrongType;
}

bool Scanner::QuotedValue(Terminator quote) {
    const TextTarget target = arguments_.TakeText();
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
    target.Store(text_.data() + start, position_ - start);
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

/// The usual shape of a date and time: six numbers of one to four digits with
/// the date separator, the date separator, a blank, the time separator and the
/// time separator between them, exactly as the date-and-time sub-pattern reads
/// them when nothing fails. Anything else leaves the position and `parts` alone
/// and gives false, for the sub-pattern to read.
bool Scanner::CommonStamp(std::array<std::uint16_t, 6>& parts) {
    const pattern::SubPatterns& sub = pattern::SubPatternsInForce();
    // A digit (or code 0) as a separator would be read differently by the sub-pattern.
    for (const char separator : {sub.dateSeparator, sub.timeSeparator}) {
        if (IsDigit(separator) || separator == '\0') return false;
    }
    const char separators[5] = {UpperAscii(sub.dateSeparator), UpperAscii(sub.dateSeparator), ' ',
                                UpperAscii(sub.timeSeparator), UpperAscii(sub.timeSeparator)};
    const char* const data = text_.data();
    const std::size_t length = text_.size();
    std::size_t at = position_;
    std::array<std::uint16_t, 6> read{};
    // The commonest shape of all, two-digit numbers and a four-digit year as in
    // 06/15/2005 12:30:00, is read at fixed places.
    constexpr std::size_t kFixed = 19;
    if (length - at >= kFixed && (length - at == kFixed || !IsDigit(data[at + kFixed]))) {
        const char* const t = data + at;
        const auto digit = [t](std::size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(t[k]) - '0'); };
        const auto two = [&](std::size_t k) { return digit(k) * 10 + digit(k + 1); };
        constexpr std::size_t kDigitPlaces[] = {0, 1, 3, 4, 6, 7, 8, 9, 11, 12, 14, 15, 17, 18};
        unsigned nonDigits = 0;  // no early exit: the fourteen tests are cheaper without branches
        for (std::size_t k : kDigitPlaces) nonDigits |= static_cast<unsigned>(digit(k) > 9);
        const bool digits = nonDigits == 0;
        if (digits && UpperAscii(t[2]) == separators[0] && UpperAscii(t[5]) == separators[1] && t[10] == ' ' &&
            UpperAscii(t[13]) == separators[3] && UpperAscii(t[16]) == separators[4]) {
            parts = {static_cast<std::uint16_t>(two(0)),
                     static_cast<std::uint16_t>(two(3)),
                     static_cast<std::uint16_t>(two(6) * 100 + two(8)),
                     static_cast<std::uint16_t>(two(11)),
                     static_cast<std::uint16_t>(two(14)),
                     static_cast<std::uint16_t>(two(17))};
            position_ = at + kFixed;
            return true;
        }
    }
    for (std::size_t k = 0; k < read.size(); ++k) {
        if (k > 0) {
            if (at >= length || UpperAscii(data[at]) != separators[k - 1]) return false;
            ++at;
        }
        const std::size_t first = at;
        unsigned value = 0;
        while (at < length && IsDigit(data[at])) value = value * 10 + static_cast<unsigned>(data[at++] - '0');
        if (at == first || at - first > 4) return false;
        read[k] = static_cast<std::uint16_t>(value);
    }
    parts = read;
    position_ = at;
    return true;
}

bool Scanner::Stamp() {
    const auto target = arguments_.Take<std::int32_t>();
    std::array<std::uint16_t, 6> parts{};  // month, day, year, hours, minutes, seconds
    const bool matched = CommonStamp(parts) || Nested(pattern::SubPatternsInForce().stampScan, parts);
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
    if (IsOnePlainField(pattern)) {
        // A walk over comma fields: checking stays on, and only a reference
        // of the wrong type fails.
        std::size_t at = position < 1 ? 0 : std::min(position - 1, text.size());
        ArgumentList arguments(args.begin(), args.size());
        bool wrongType = false;
        ReadPlainRun(text, at, pattern, 1, arguments, wrongType);
        position = at + 1;
        return !wrongType;
    }
    Scanner scanner(text, position < 1 ? 0 : position - 1, args.begin(), args.size());
    const bool result = scanner.Run(pattern);
    position = scanner.Position() + 1;
    return result;
}

}  // namespace vireo
