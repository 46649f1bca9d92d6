#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "scan/PScan.h"

// The number directives of the scanner: I L W E R X M and B.

namespace vireo {
namespace {

template <class T>
struct NumberRow {
    const char* text;
    const char* pattern;  // one number directive, then "%p" for the rest
    T value;
    bool result;
    const char* rest;
};

template <class T>
void CheckNumberRows(const std::vector<NumberRow<T>>& rows, T untouched) {
    for (const NumberRow<T>& row : rows) {
        SCOPED_TRACE(testing::Message() << "text [" << row.text << "] pattern [" << row.pattern << "]");
        T value = untouched;
        std::string rest = "~";
        const bool result = Scan(row.text, row.pattern, {&value, &rest});
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(value, row.value);
        EXPECT_EQ(rest, row.rest);
    }
}

TEST(ScanInteger, ReadsSignedDecimalsInRange) {
    CheckNumberRows<std::int32_t>(
        {
            {"123", "%i%p", 123, true, ""},
            {"-42x", "%i%p", -42, true, "x"},
            {"+7", "%l%p", 7, true, ""},
            {"2147483647", "%i%p", 2147483647, true, ""},
            {"-2147483648", "%i%p", -2147483647 - 1, true, ""},
            {"2147483648", "%i%p", 0, false, ""},
            {"-2147483649", "%l%p", 0, false, ""},
            {"99999999999999999999999999", "%i%p", 0, false, ""},
            {"", "%i%p", 0, false, ""},
            {"-", "%i%p", 0, false, ""},
            {"abc", "%i%p", 0, false, "abc"},
            {"- 5", "%i%p", 0, false, " 5"},
            {"-123", "%2i%p", -1, true, "23"},  // the sign is taken whatever the width, and counts
            {"12345", "%3i%p", 123, true, "45"},
            {"12abc,34", "%I%p", 12, true, "34"},
            {"0012", "%i%p", 12, true, ""},
        },
        99);
}

TEST(ScanWord, ReadsUnsignedSixteenBit) {
    CheckNumberRows<std::uint16_t>(
        {
            {"65535", "%w%p", 65535, true, ""},
            {"70000", "%w%p", 0, false, ""},
            {"-5", "%w%p", 0, false, "-5"},  // no sign: the field is empty
            {"+5", "%w%p", 0, false, "+5"},
            {"0712", "%02w%p", 7, true, "12"},
            {"12:30", "%W%p", 12, true, ""},  // the comma form skips to the end
        },
        99);
}

TEST(ScanSingle, ConvertsTheWholeFieldOrMarksTheFailure) {
    const float failed = std::bit_cast<float>(std::uint32_t{0xFFFFFFFF});
    struct Row {
        const char* text;
        float value;  // failed stands for the all-bits-set mark
        bool result;
    };
    const std::vector<Row> rows = {
        {"1.5", 1.5f, true},    {" 2.5", 2.5f, true},    {"2.5 ", failed, false}, {"1e3", 1000.0f, true},
        {"+1.5", 1.5f, true},   {"-0.25", -0.25f, true}, {".5", 0.5f, true},      {"5.", 5.0f, true},
        {"+-1", failed, false}, {"inf", failed, false},  {"nan", failed, false},  {".", failed, false},
        {"", failed, false},    {"1e", failed, false},   {"0x10", failed, false}, {"1e39", failed, false},
        {"1e-50", 0.0f, true},  {"0.1", 0.1f, true},     {"1,5", 1.0f, true},     {"\t1", failed, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        float value = 7.0f;
        EXPECT_EQ(Scan(row.text, "%e", {&value}), row.result);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(value), std::bit_cast<std::uint32_t>(row.value));
    }
}

TEST(ScanSingle, SecondFieldOfTwoFailsAlone) {
    float first = 0;
    float second = 0;
    EXPECT_FALSE(Scan("1.5,x", "%E%E", {&first, &second}));
    EXPECT_EQ(first, 1.5f);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(second), 0xFFFFFFFFu);
}

TEST(ScanReal, ReadsANumberShapeWithinTheWidth) {
    CheckNumberRows<float>(
        {
            {"3.25abc", "%r%p", 3.25f, true, "abc"},
            {"-.5", "%r%p", -0.5f, true, ""},
            {"1e3x", "%r%p", 1000.0f, true, "x"},
            {"2.5E-1", "%r%p", 0.25f, true, ""},
            {"3east", "%r%p", 0.0f, false, "ast"},  // an exponent without digits
            {"-", "%r%p", 0.0f, false, ""},
            {".", "%r%p", 0.0f, false, ""},
            {"abc", "%r%p", 0.0f, false, "abc"},
            {"12345", "%3r%p", 123.0f, true, "45"},
            {"-1.5", "%2r%p", -1.0f, true, "5"},  // sign and point are taken whatever the width
            {"1.5e10", "%3r%p", 1.5f, true, "e10"},
            {"1.5e10", "%4r%p", 0.0f, false, "10"},  // the letter fits, its digits do not
            {"7.5,x", "%R%p", 7.5f, true, "x"},
            // Converted straight to single precision: just above the midpoint
            // between 1 and the next float, which rounding through double misses.
            {"1.0000000596046447753906251", "%r%p", 1.00000011920928955078125f, true, ""},
        },
        9.0f);
}

TEST(ScanDouble, ConvertsCorrectlyRounded) {
    CheckNumberRows<double>(
        {
            {"0.1", "%x%p", 0.1, true, ""},
            {"-2.5e-3", "%x%p", -0.0025, true, ""},
            {"1.7976931348623157e308", "%x%p", 1.7976931348623157e308, true, ""},
            {"1e309", "%x%p", 0.0, false, ""},
            {"1e-400", "%x%p", 0.0, true, ""},
            {"9007199254740993", "%x%p", 9007199254740992.0, true, ""},
            {"e5", "%x%p", 0.0, false, ""},
        },
        9.0);
}

TEST(ScanThousandths, ScalesInSinglePrecisionAndTruncates) {
    CheckNumberRows<std::int32_t>(
        {
            {"2.5", "%m%p", 2500, true, ""},
            {"1e3", "%m%p", 1000000, true, ""},
            {"1.234", "%m%p", 1234, true, ""},
            {"-0.5", "%m%p", -500, true, ""},
            {"0.0019", "%m%p", 1, true, ""},
            {"2147483", "%m%p", 2147483008, true, ""},  // 2147483000 is not a float
            {"3000000", "%m%p", 0, false, ""},
            {"", "%m%p", 0, false, ""},
            {"x", "%m%p", 0, false, "x"},
        },
        99);
}

TEST(ScanBoolean, TakesTheFirstWordTheTextBeginsWith) {
    CheckNumberRows<std::uint8_t>(
        {
            {"Yes", "%b%p", 1, true, ""},
            {"y", "%b%p", 1, true, ""},
            {"TRUE", "%b%p", 1, true, ""},
            {"ok", "%b%p", 1, true, ""},
            {"On", "%b%p", 1, true, ""},
            {"1", "%b%p", 1, true, ""},
            {"no", "%b%p", 0, true, ""},
            {"N", "%b%p", 0, true, ""},
            {"false", "%b%p", 0, true, ""},
            {"Bad", "%b%p", 0, true, ""},
            {"OFF", "%b%p", 0, true, ""},
            {"0", "%b%p", 0, true, ""},
            {"maybe", "%b%p", 0, false, "maybe"},
            {"", "%b%p", 0, false, ""},
            {"ONLINE", "%b%p", 1, true, "LINE"},  // no test for a word boundary
            {"YESTERDAY", "%b%p", 1, true, "TERDAY"},
            {"NOPE", "%b%p", 0, true, "PE"},
            {"yes please,x", "%B%p", 1, true, "x"},
        },
        9);
}

}  // namespace
}  // namespace vireo
