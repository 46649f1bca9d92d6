#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "scan/PScan.h"

// The formatter: text, number and special directives, widths, zero fill,
// trimming, the comma form and the accumulator.

namespace vireo {
namespace {

struct Row {
    std::string actual;
    std::string expected;
};

void CheckRows(const std::vector<Row>& rows) {
    for (std::size_t k = 0; k < rows.size(); ++k) EXPECT_EQ(rows[k].actual, rows[k].expected) << "row " << k;
}

TEST(FormatText, AppendsPadsAndCuts) {
    CheckRows({
        {FormatPattern("%p||%s.%p", {"LS1", "ST", "SN"}), "LS1||ST.SN"},
        {FormatPattern("%5P|", {"ab"}), "ab   |"},
        {FormatPattern("%1p", {"abc"}), "abc"},  // never cut
        {FormatPattern("%4f|", {"abcdef"}), "abcd|"},
        {FormatPattern("%4f|", {"ab"}), "ab  |"},
        {FormatPattern("%f|", {"ab"}), "|"},
        {FormatPattern("%*p|", {5, "ab"}), "ab   |"},
        {FormatPattern("%c%c", {'x', 'y'}), "xy"},
        {FormatPattern("%b %b", {true, false}), "Yes No"},
        {FormatPattern("a%nb% c", {}), std::string("a\r\nb") + '\xA0' + 'c'},
        {FormatPattern("100%%", {}), "100%"},
    });
}

TEST(FormatText, QuotesTextsTheScannerWouldSplit) {
    CheckRows({
        {FormatPattern("%\"", {"a,b"}), "\"a,b\""},
        {FormatPattern("%\"", {"a\"b,c"}), "'a\"b,c'"},
        {FormatPattern("%\"", {"\"x"}), "'\"x'"},
        {FormatPattern("%\"", {"'x"}), "\"'x\""},
        {FormatPattern("%\"", {"plain"}), "plain"},
        {FormatPattern("%\"|", {""}), "|"},
    });
    // What the formatter quotes, the scanner reads back.
    for (const char* text : {"a,b", "a\"b,c", "\"x", "'x", "plain"}) {
        SCOPED_TRACE(text);
        std::string back;
        EXPECT_TRUE(Scan(FormatPattern("%\"", {text}), "%\",", {&back}));
        EXPECT_EQ(back, text);
    }
}

TEST(FormatIntegers, RightAlignsAndZeroFills) {
    CheckRows({
        {FormatPattern("%5I", {42}), "   42"},
        {FormatPattern("%05I", {-42}), "-0042"},
        {FormatPattern("%05i", {-5}), "-0005"},
        {FormatPattern("%02w", {7}), "07"},
        {FormatPattern("%02w", {123}), "123"},
        {FormatPattern("%l", {-2147483647 - 1}), "-2147483648"},
        {FormatPattern("%1i", {12345}), "12345"},
        {FormatPattern("%03p", {"a b"}), "a0b"},  // every blank of the field becomes '0'
        {FormatPattern("%*i", {-4, 7}), "7"},
    });
}

TEST(FormatReals, FixedPointWithPrecisionAndTrimming) {
    CheckRows({
        {FormatPattern("%r", {1.5}), "1.500000"},
        {FormatPattern("%8.2r", {3.14159}), "    3.14"},
        {FormatPattern("%.0x", {7.0}), "7"},
        {FormatPattern("%.12R", {1.5}), "1.5"},
        {FormatPattern("%.12R", {2.0}), "2.0"},
        {FormatPattern("%.10x", {0.1}), "0.1"},
        {FormatPattern("%.10x", {1.0 / 3.0}), "0.333333333"},
        {FormatPattern("%.*x", {2, 2.346}), "2.35"},
        {FormatPattern("%010r", {-1.5}), "-01.500000"},
        {FormatPattern("|%r|", {std::nan("")}), "||"},
        {FormatPattern("%5.1r", {std::numeric_limits<double>::infinity()}), "  INF"},
        {FormatPattern("%.1x", {-std::numeric_limits<double>::infinity()}), "-INF"},
        {FormatPattern("%.0x", {1e20}), "100000000000000000000"},
    });
}

TEST(FormatThousandths, PrintsExactlyInDecimal) {
    CheckRows({
        {FormatPattern("%m", {1234}), "1.234000"},
        {FormatPattern("%.3m", {-500}), "-0.500"},
        {FormatPattern("%.2m", {1235}), "1.24"},
        {FormatPattern("%.2m", {-1235}), "-1.24"},
        {FormatPattern("%.0m", {2500}), "3"},
        {FormatPattern("%.0m", {-1}), "0"},
        {FormatPattern("%.12m", {-500}), "-0.5"},
        {FormatPattern("%.12m", {7000}), "7.0"},
        {FormatPattern("%8.1m", {12345}), "    12.3"},
        {FormatPattern("%.9m", {-2147483647 - 1}), "-2147483.648000000"},
    });
}

TEST(FormatCommaForm, UpperCaseSeesTheWholeAccumulator) {
    std::string accumulator;
    std::string result;
    AppendPattern(accumulator, "%P", {"a"}, result);
    EXPECT_EQ(result, "a");
    AppendPattern(accumulator, "%P", {"b"}, result);
    EXPECT_EQ(result, "a,b");
    AppendPattern(accumulator, "%P", {"c"}, result);
    EXPECT_EQ(accumulator, "a,b,c");
    EXPECT_EQ(result, "a,b,c");
    AppendPattern(accumulator, "%p", {"d"}, result);
    EXPECT_EQ(result, "a,b,cd");
    // The list walks back field by field.
    std::vector<std::string> values;
    std::size_t position = 1;
    while (position <= accumulator.size()) {
        std::string value;
        ScanFrom(accumulator, position, "%P", {&value});
        values.push_back(value);
    }
    EXPECT_EQ(values, (std::vector<std::string>{"a", "b", "cd"}));
}

TEST(FormatCommaForm, AppliesToEveryUpperCaseLetter) {
    CheckRows({
        {FormatPattern("%P%P", {"", "b"}), "b"},  // an empty first field leaves nothing to put a comma after
        {FormatPattern("x%Z%p", {"y"}), "x,y"},   // no directive, still a comma, no value taken
        {FormatPattern("%p%I", {"n", 5}), "n,5"},
        {FormatPattern("%N", {}), "\r\n"},
        {FormatPattern("%p%B", {"x", true}), "x,Yes"},
    });
    std::string accumulator = "x";
    std::string result;
    AppendPattern(accumulator, "%05I", {-42}, result);
    EXPECT_EQ(result, "x,-0042");  // the sign goes in front of the number, not onto the comma
    AppendPattern(accumulator, "%p", {"!"}, accumulator);
    EXPECT_EQ(accumulator, "x,-0042!");
}

TEST(FormatValues, MissingOrOtherKindsOfValues) {
    CheckRows({
        {FormatPattern("%p|%p|", {"a"}), "a||"},  // no value left: nothing printed
        {FormatPattern("%p|", {5}), "|"},         // not a text: the empty text
        {FormatPattern("%i", {"abc"}), "0"},
        {FormatPattern("%i", {2.9}), "2"},
        {FormatPattern("%i", {true}), "1"},
        {FormatPattern("%r", {3}), "3.000000"},
        {FormatPattern("%c|", {"x"}), "|"},
        {FormatPattern("%p%", {"a"}), "a"},
        {FormatPattern("%p", {std::string("owned")}), "owned"},
    });
}

}  // namespace
}  // namespace vireo
