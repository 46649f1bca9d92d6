#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "scan/PScan.h"

// The text directives of the scanner (P S " V ? _ C N), literals, the comma
// form, checking, the lenient failure model, arguments and walks.

namespace vireo {
namespace {

constexpr const char* kUntouched = "~untouched~";

struct TextRow {
    const char* text;
    const char* pattern;
    std::vector<std::string> fields;  // what the text arguments hold afterwards, in order
    bool result;
    std::size_t position;  // 1-based position reached
};

void CheckTextRows(const std::vector<TextRow>& rows) {
    for (const TextRow& row : rows) {
        SCOPED_TRACE(testing::Message() << "text [" << row.text << "] pattern [" << row.pattern << "]");
        std::array<std::string, 6> f;
        f.fill(kUntouched);
        std::size_t position = 1;
        const bool result = ScanFrom(row.text, position, row.pattern, {&f[0], &f[1], &f[2], &f[3], &f[4], &f[5]});
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(position, row.position);
        for (std::size_t k = 0; k < f.size(); ++k) {
            const std::string expected = k < row.fields.size() ? row.fields[k] : kUntouched;
            EXPECT_EQ(f[k], expected) << "field " << k;
        }
    }
}

TEST(ScanPlainField, SplitsCommaFieldsAndKeepsBlanksAndQuotes) {
    CheckTextRows({
        {"", "%P%P", {"", ""}, true, 1},
        {"a , b,c", "%P%P%P", {"a ", " b", "c"}, true, 8},
        {"a,b", "%p%P", {"a", ""}, true, 3},  // p stops at the comma, P steps over it
        {"a,b", "%P%P", {"a", "b"}, true, 4},
        {"\"q\",x", "%P%P", {"\"q\"", "x"}, true, 6},
        {"TEMP 1,2,3,4,5", "%s %P%P%P%P%P", {"TEMP", "1", "2", "3", "4", "5"}, true, 15},
        {"abcdefgh,xy", "%5P%P", {"abcde", "xy"}, true, 12},  // the comma form ignores the width
        {"abcdef", "%3p%p", {"abc", "def"}, true, 7},
        {"a\rb", "%p", {"a"}, true, 2},
        {"a\nb,c", "%P%P", {"a", ""}, true, 2},  // a line feed ends the field and the comma form
    });
}

TEST(ScanDelimited, ReadsUpToTheTerminatorAndStepsOverIt) {
    CheckTextRows({
        {"SENSOR1||STN01.BATT", "%s||%s.%s", {"SENSOR1", "STN01", "BATT"}, true, 20},
        {"a,b c,d", "%P%S", {"a", "b c,d"}, true, 8},  // last in the pattern: to the end of the text
        {"12.5 3.7", "%s %s", {"12.5", "3.7"}, true, 9},
        {"a\nb|c", "%s|%p", {"a\nb", "c"}, true, 6},   // line ends do not stop S
        {"abcdef", "%3s|%s", {"abc", "ef"}, true, 7},  // one character is stepped over after the width too
        {"abc", "%s;%p", {"abc", ""}, true, 4},
        // The '%' of the following directive is the terminator, its letter a literal.
        {"TEMP 1,2,3", "%s %S%P%P%P", {"TEMP", "1,2,3", "", ""}, false, 11},
        {"ab cd,ef", "%S %P", {"ab", "ef"}, true, 9},  // the comma form of S skips to the comma
    });
}

TEST(ScanQuoted, TakesQuotedFieldsWithoutTheQuotes) {
    CheckTextRows({
        {"\"a,b\",c", "%\",%p", {"a,b", "c"}, true, 8},
        {"'x\"y',z", "%\",%p", {"x\"y", "z"}, true, 8},
        {"abc,def", "%\",%p", {"abc", "def"}, true, 8},
        {"\"ab\"cd,ef", "%\",%p", {"ab", "ef"}, true, 10},
        {"\"abc", "%\",%p", {"abc", ""}, true, 5},
        {"\"ab\",cd", "%\"", {"ab"}, true, 8},  // last in the pattern: to the end of the field
        {"", "%\",", {""}, true, 1},
        {"\"abcdef\",g", "%3\",%p", {"abc", "ef\""}, true, 9},  // the character after the width is stepped over
    });
}

TEST(ScanQuotedValue, KeepsCommasInsideQuotesAndTheQuotes) {
    CheckTextRows({
        {"\"a,b\",c", "%V\"%P", {"\"a,b\"", "c"}, true, 8},
        {"x\"a,b\"y,z", "%V\"%P", {"x\"a,b\"y", "z"}, true, 10},
        {"\"a,b", "%V\"%P", {"\"a,b", ""}, true, 5},
        {"a,b", "%V", {"a"}, true, 3},
    });
}

TEST(ScanSkipTo, StepsOverTheTargetAndFailsWithoutIt) {
    CheckTextRows({
        {"abc:def", "%?:%p", {"def"}, true, 8},
        {"abc", "%?:%p", {""}, false, 4},
        {"abcd:e", "%3?:%p", {":e"}, false, 7},  // the width ends the search at the fourth character
        {"ab:cd:ef", "%p%5?:%p", {"ab:cd:ef", ""}, false, 9},
        {"x:y", "%?:%?:%p", {""}, false, 4},
        {"ab", "%?", {}, true, 3},  // last in the pattern: the end of the text is the target
    });
}

TEST(ScanBlanksAndLineEnd, SkipsNonPrintingCharactersAndReadsCrLf) {
    CheckTextRows({
        {"a  \t\x01 b", "%s %_%p", {"a", "b"}, true, 8},
        {"\x7F\xA0\xE9x", "%_%p", {"x"}, true, 5},
        {"", "%_%p", {""}, true, 1},
        {"a\r\nb", "%p%n%p", {"a", "b"}, true, 5},
        {"a\nb", "%p%n%p", {"a", ""}, false, 2},
        {"a\r", "%p%n", {"a"}, false, 2},
    });
}

TEST(ScanLiterals, MatchWithoutRegardToCaseAndStepOverMismatches) {
    CheckTextRows({
        {"abc=1", "ABC=%p", {"1"}, true, 6},
        {"ab-cd", "%2p/%p", {"ab", "cd"}, false, 6},
        {"a;b", "%?;x%p", {""}, false, 4},  // 'x' against 'b': the mismatch still advances
        {"a", "a%p;", {""}, false, 2},      // at the end of the text nothing is stepped over
        {"%x", "%%%p", {"x"}, true, 3},
        {"50%x", "%s%%p", {"50", "x"}, true, 5},  // "%s%" has '%' as its terminator
    });
}

TEST(ScanPatternFaults, FailTheElementOnly) {
    CheckTextRows({
        {"ab,c", "%z%p", {"ab"}, false, 3},  // no directive: nothing consumed, no argument taken
        {"ab,c", "%Z%p", {"ab"}, false, 3},  // ... and no comma form
        {"ab", "%p%", {"ab"}, false, 3},     // a '%' at the end of the pattern
        {"ab", "%p%5", {"ab"}, false, 3},
        {"ab", "%p%.", {"ab"}, false, 3},
    });
}

TEST(ScanChecking, BracketsMakeAStretchOptional) {
    std::string a = kUntouched;
    std::string b = kUntouched;
    std::uint16_t w = 9;
    EXPECT_TRUE(Scan("x,y", "%[%w%]%P%P", {&w, &a, &b}));
    EXPECT_EQ(w, 0);
    EXPECT_EQ(a, "x");
    EXPECT_EQ(b, "y");
    EXPECT_FALSE(Scan("x,y", "%[%w%]%w", {&w, &w}));
    // Checking is on again at the start of every call.
    EXPECT_TRUE(Scan("x", "%[%w", {&w}));
    EXPECT_FALSE(Scan("x", "%w", {&w}));
}

TEST(ScanCharacter, TakesOneCharacterAndCodeZeroAtTheEnd) {
    char a = '?';
    char b = '?';
    char c = '?';
    std::size_t position = 1;
    EXPECT_TRUE(ScanFrom("ab", position, "%c%c%c", {&a, &b, &c}));
    EXPECT_EQ(a, 'a');
    EXPECT_EQ(b, 'b');
    EXPECT_EQ(c, '\0');
    EXPECT_EQ(position, 3u);
    EXPECT_TRUE(Scan("x,y", "%C%c", {&a, &b}));
    EXPECT_EQ(b, 'y');
}

TEST(ScanArguments, AReferenceOfTheWrongTypeFailsAndStoresNothing) {
    std::string text = kUntouched;
    std::int32_t number = 77;
    float real = 7.0f;
    std::uint16_t word = 7;
    EXPECT_FALSE(Scan("42", "%i", {&text}));
    EXPECT_EQ(text, kUntouched);
    EXPECT_FALSE(Scan("abc", "%p", {&number}));
    EXPECT_EQ(number, 77);
    EXPECT_FALSE(Scan("12", "%w", {&number}));
    EXPECT_EQ(number, 77);
    EXPECT_FALSE(Scan("1.5", "%x", {&real}));
    EXPECT_EQ(real, 7.0f);
    EXPECT_FALSE(Scan("06/15/2005", "%d", {&number}));
    EXPECT_EQ(number, 77);
    EXPECT_FALSE(Scan("1:00:00", "%t", {&word}));
    EXPECT_EQ(word, 7);
    // The wrong reference is still taken: the next directive gets the next one.
    std::string second = kUntouched;
    EXPECT_FALSE(Scan("5,b", "%I%P", {&text, &second}));
    EXPECT_EQ(text, kUntouched);
    EXPECT_EQ(second, "b");
}

TEST(ScanArguments, ADirectiveWithoutReferenceStillReadsItsField) {
    std::string a;
    std::size_t position = 1;
    EXPECT_TRUE(ScanFrom("a,bcd,e", position, "%P%P", {&a}));
    EXPECT_EQ(a, "a");
    EXPECT_EQ(position, 7u);
    position = 1;
    EXPECT_FALSE(ScanFrom("x", position, "%i", {}));
    EXPECT_EQ(position, 1u);
    // A null reference reads the field and stores nothing.
    std::string b;
    EXPECT_TRUE(Scan("a,b", "%P%P", {static_cast<std::string*>(nullptr), &b}));
    EXPECT_EQ(b, "b");
}

TEST(ScanArguments, StarWidthAndPrecisionTakeTheirValueFirst) {
    std::string a;
    std::string b;
    EXPECT_TRUE(Scan("abcdef", "%*p%p", {3, &a, &b}));
    EXPECT_EQ(a, "abc");
    EXPECT_EQ(b, "def");
    std::int32_t width = 2;
    EXPECT_TRUE(Scan("abcdef", "%*p%p", {&width, &a, &b}));
    EXPECT_EQ(a, "ab");
    EXPECT_EQ(b, "cdef");
    EXPECT_TRUE(Scan("abcdef", "%.*p", {4, &a}));  // a precision is read and has no effect
    EXPECT_EQ(a, "abcdef");
    EXPECT_FALSE(Scan("abcdef", "%*p", {&b, &a}));
    EXPECT_EQ(a, "abcdef");
}

TEST(ScanArguments, ATextVariableKeepsItsCapacity) {
    std::string field;
    field.reserve(64);
    const char* before = field.data();
    EXPECT_TRUE(Scan("value", "%P", {&field}));
    EXPECT_EQ(field, "value");
    EXPECT_EQ(field.data(), before);
}

TEST(ScanFromWalk, OneFieldPerCallUntilBeyondTheLength) {
    struct Walk {
        const char* text;
        const char* pattern;
        std::vector<std::pair<std::string, std::size_t>> steps;
    };
    const std::vector<Walk> walks = {
        {"1,2,3", "%P", {{"1", 3}, {"2", 5}, {"3", 6}}},
        {"1,2,", "%P", {{"1", 3}, {"2", 5}}},
        {"12.5   3.7", "%s %_", {{"12.5", 8}, {"3.7", 11}}},
        {",,x", "%P", {{"", 2}, {"", 3}, {"x", 4}}},
    };
    for (const Walk& walk : walks) {
        SCOPED_TRACE(walk.text);
        const std::string text = walk.text;
        std::vector<std::pair<std::string, std::size_t>> steps;
        std::size_t position = 1;
        while (position <= text.size() && steps.size() < 10) {
            std::string value;
            ScanFrom(text, position, walk.pattern, {&value});
            steps.emplace_back(value, position);
        }
        EXPECT_EQ(steps, walk.steps);
    }
}

TEST(ScanFromWalk, PositionsOutsideTheTextAreHeldToIt) {
    std::string value = kUntouched;
    std::size_t position = 0;  // counts as 1
    EXPECT_TRUE(ScanFrom("ab,c", position, "%P", {&value}));
    EXPECT_EQ(value, "ab");
    EXPECT_EQ(position, 4u);
    position = 50;
    EXPECT_TRUE(ScanFrom("ab,c", position, "%P", {&value}));
    EXPECT_EQ(value, "");
    EXPECT_EQ(position, 5u);
}

TEST(ScanLongLine, PositionsBeyond65535Work) {
    const std::string big(100000, 'x');
    const std::string text = big + ",tail 12:" + std::string(70000, 'y') + "!z";
    std::string field;
    std::size_t position = 1;
    EXPECT_TRUE(ScanFrom(text, position, "%P", {&field}));
    EXPECT_EQ(field, big);
    EXPECT_EQ(position, 100002u);
    EXPECT_TRUE(ScanFrom(text, position, "%s %w:", {&field}));
    EXPECT_EQ(field, "tail");
    EXPECT_TRUE(ScanFrom(text, position, "%?!%p", {&field}));
    EXPECT_EQ(field, "z");
    EXPECT_EQ(position, text.size() + 1);
}

}  // namespace
}  // namespace vireo
