#include "logfile/LogNumber.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

namespace vireo {
namespace {

struct NumberRow {
    std::string text;
    bool isNumber;
    double value;
};

// clang-format off
const NumberRow kNumberRows[] = {
    {"21.5", true, 21.5},
    {"   21.5", true, 21.5},
    {"-.5", true, -0.5},
    {"+3", true, 3},
    {"1.5E2", true, 150},
    {"1.5e-2", true, 0.015},
    {"2E+3", true, 2000},
    {"7.", true, 7},
    {".", true, 0},       // a lone point reads as 0
    {"E5", true, 0},      // so does an exponent without a mantissa
    {"-.", true, 0},
    {"007", true, 7},
    {"0.1", true, 0.1},
    {"1e-400", true, 0},  // below the smallest double
    {"", false, 0},
    {"   ", false, 0},
    {"-", false, 0},
    {"  +", false, 0},
    {"21.5 ", false, 0},  // nothing may follow, not even a blank
    {"\t21.5", false, 0}, // only blanks are skipped
    {"n/a", false, 0},
    {"1,5", false, 0},
    {"1E", false, 0},
    {"1e+", false, 0},
    {"E", false, 0},
    {"1.2.3", false, 0},
    {"- 1", false, 0},
    {"inf", false, 0},
    {"nan", false, 0},
    {"0x10", false, 0},
    {"1e400", false, 0},  // too large for a double
};
// clang-format on

TEST(ParseLogNumber, NumberSyntax) {
    for (const NumberRow& row : kNumberRows) {
        SCOPED_TRACE("text [" + row.text + "]");
        double value = -99;
        EXPECT_EQ(ParseLogNumber(row.text, value), row.isNumber);
        EXPECT_EQ(value, row.isNumber ? row.value : -99) << "value is set only for a number";
    }
}

TEST(ParseLogNumber, ConvertsToTheNearestDouble) {
    double value = 0;
    ASSERT_TRUE(ParseLogNumber("0.30000000000000004", value));
    EXPECT_EQ(value, 0.30000000000000004);
    ASSERT_TRUE(ParseLogNumber("2.2250738585072011e-308", value));
    EXPECT_EQ(value, 2.2250738585072011e-308);
    ASSERT_TRUE(ParseLogNumber("4.9e-324", value));  // the smallest subnormal
    EXPECT_EQ(value, 4.9e-324);
    ASSERT_TRUE(ParseLogNumber("-1.7976931348623157e308", value));
    EXPECT_EQ(value, -1.7976931348623157e308);
    ASSERT_TRUE(ParseLogNumber("-0", value));
    EXPECT_TRUE(std::signbit(value));
}

TEST(ReadLogNumber, TellsANumberTooLargeFromATextThatIsNone) {
    const struct {
        std::string text;
        LogNumberRead read;
    } rows[] = {
        {"1e309", LogNumberRead::OutOfRange},
        {"-1e309", LogNumberRead::OutOfRange},
        {"  +1E+400", LogNumberRead::OutOfRange},
        {"9e999999999999", LogNumberRead::OutOfRange},
        {std::string(400, '9'), LogNumberRead::OutOfRange},
        {"1.7976931348623159e308", LogNumberRead::OutOfRange},
        {"1.7976931348623157e308", LogNumberRead::Number},
        {"1e-400", LogNumberRead::Number},  // too small: 0
        {"0e999999", LogNumberRead::Number},
        {"21.5", LogNumberRead::Number},
        {"1e309 ", LogNumberRead::NotANumber},
        {"1e309x", LogNumberRead::NotANumber},
        {"1e", LogNumberRead::NotANumber},
        {"n/a", LogNumberRead::NotANumber},
        {"", LogNumberRead::NotANumber},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("[" + row.text + "]");
        double value = -1;
        EXPECT_EQ(ReadLogNumber(row.text, value), row.read);
        EXPECT_EQ(IsLogNumberOutOfRange(row.text), row.read == LogNumberRead::OutOfRange);
        double parsed = -1;
        EXPECT_EQ(ParseLogNumber(row.text, parsed), row.read == LogNumberRead::Number);
        if (row.read == LogNumberRead::Number) {
            EXPECT_EQ(value, parsed);
        }
    }
}

TEST(ParseLogNumber, DecimalPointIsAlwaysAPoint) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no German locale here";
    double value = 0;
    EXPECT_TRUE(ParseLogNumber("21.5", value));
    EXPECT_EQ(value, 21.5);
    EXPECT_FALSE(ParseLogNumber("21,5", value));
    std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
}  // namespace vireo
