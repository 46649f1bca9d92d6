#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "scan/Chronos.h"
#include "scan/PScan.h"
#include "scan/Regional.h"
#include "support/TestScopes.h"

// The date and time directives of both engines (J D T Q) and the sub-patterns
// built from the regional separators.

namespace vireo {
namespace {

using testing::RegionalScope;

constexpr SecondStamp kNoonHalf = 645'539'400;  // 2005-06-15 12:30:00
constexpr SecondStamp kJune15 = 645'494'400;    // 2005-06-15 00:00:00

struct StampRow {
    const char* text;
    const char* pattern;
    std::int32_t value;
    bool result;
    const char* rest;
};

void CheckStampRows(const std::vector<StampRow>& rows) {
    for (const StampRow& row : rows) {
        SCOPED_TRACE(::testing::Message() << "text [" << row.text << "] pattern [" << row.pattern << "]");
        std::int32_t value = 99;
        std::string rest = "~";
        EXPECT_EQ(Scan(row.text, row.pattern, {&value, &rest}), row.result);
        EXPECT_EQ(value, row.value);
        EXPECT_EQ(rest, row.rest);
    }
}

TEST(ScanStamp, ReadsMonthDayYearAndTime) {
    const RegionalScope separators('/', ':');
    CheckStampRows({
        {"06/15/2005 12:30:00", "%j%p", kNoonHalf, true, ""},
        {"06-15-2005 12.30.00", "%j%p", kNoonHalf, false, ""},  // differing separators are stepped over
        {"06/15/05 12:30:00", "%j%p", 45'000, true, ""},        // a two-digit year gives date part 0
        {"06/15/2005", "%j%p", kJune15, false, ""},
        {"06/15/2005 12:30:00,21.5", "%J%p", kNoonHalf, true, "21.5"},
        {"6/15/2005 1:2:3 rest", "%j %p", kJune15 + 3723, true, "rest"},
        {"", "%j%p", 0, false, ""},
        // Every part is still read, each one place further along.
        {"x6/15/2005 12:30:00", "%j%p", 2005 * 3600 + 12 * 60 + 30, false, ":00"},
    });
}

TEST(ScanStamp, UsesTheSeparatorsInForce) {
    const RegionalScope separators('-', '.');
    CheckStampRows({
        {"06-15-2005 12.30.00", "%j%p", kNoonHalf, true, ""},
        {"06/15/2005 12:30:00", "%j%p", kNoonHalf, false, ""},
    });
}

TEST(ScanTimeOfDay, ReadsSignedHoursMinutesSeconds) {
    const RegionalScope separators('/', ':');
    CheckStampRows({
        {"12:30:00", "%t%p", 45'000, true, ""},
        {"-1:30:00", "%t%p", -5'400, true, ""},
        {"+1:30:00", "%t%p", 5'400, true, ""},
        {"1:30", "%t%p", 5'400, false, ""},
        {"100:00:00", "%t%p", 360'000, true, ""},
        {"65535:59:59", "%t%p", 65535 * 3600 + 3599, true, ""},
        {"1:00:00,x", "%T%p", 3'600, true, "x"},
    });
}

TEST(ScanDay, ReadsADayNumber) {
    const RegionalScope separators('/', ':');
    struct Row {
        const char* text;
        DayNumber value;
        bool result;
    };
    const std::vector<Row> rows = {
        {"06/15/2005", 7471, true}, {"01/01/1985", 1, true},    {"12/31/1984", 0, true},
        {"06/15", 0, false},        {"6.15.2005", 7471, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        DayNumber value = 99;
        EXPECT_EQ(Scan(row.text, "%d", {&value}), row.result);
        EXPECT_EQ(value, row.value);
    }
}

TEST(ScanDateExpression, EvaluatesTheFieldAgainstTheVariable) {
    const RegionalScope separators('/', ':');
    std::int32_t value = kNoonHalf;
    std::string rest;
    EXPECT_TRUE(Scan("TODAY,x", "%Q%p", {&value, &rest}));
    EXPECT_EQ(value, kJune15);
    EXPECT_EQ(rest, "x");
    value = kNoonHalf;
    EXPECT_TRUE(Scan("NOW", "%q", {&value}));
    EXPECT_EQ(value, kNoonHalf);
    value = 12345;
    EXPECT_TRUE(Scan("06/15/2005 12:30:00", "%q", {&value}));
    EXPECT_EQ(value, kNoonHalf);
}

TEST(FormatDates, PrintsThroughThePrintingSubPatterns) {
    const RegionalScope separators('/', ':');
    struct Row {
        std::string actual;
        const char* expected;
    };
    const std::vector<Row> rows = {
        {FormatPattern("%J", {0}), "12/31/1984 00:00:00"},
        {FormatPattern("%j", {kNoonHalf}), "06/15/2005 12:30:00"},
        {FormatPattern("%j", {kJune15}), "06/15/2005 00:00:00"},
        {FormatPattern("%D", {7471}), "06/15/2005"},
        {FormatPattern("%d", {7471 + 65536}), "06/15/2005"},  // the low 16 bits
        {FormatPattern("%T", {-5400}), "-01:30:00"},
        {FormatPattern("%t", {45'000}), "12:30:00"},
        {FormatPattern("%t", {360'000}), "100:00:00"},
        {FormatPattern("%t", {-2147483647 - 1}), "-596523:14:08"},
        {FormatPattern("%p%J", {"at", kNoonHalf}), "at,06/15/2005 12:30:00"},
    };
    for (const Row& row : rows) EXPECT_EQ(row.actual, row.expected);
}

TEST(FormatDates, UsesTheSeparatorsInForceAndScansBack) {
    const RegionalScope separators('.', '-');
    const std::string text = FormatPattern("%j", {kNoonHalf});
    EXPECT_EQ(text, "06.15.2005 12-30-00");
    std::int32_t value = 0;
    EXPECT_TRUE(Scan(text, "%j", {&value}));
    EXPECT_EQ(value, kNoonHalf);
    EXPECT_EQ(FormatPattern("%d", {7471}), "06.15.2005");
}

TEST(FormatDates, APercentSeparatorIsALiteral) {
    RebuildSubPatterns('%', ':');
    const std::string text = FormatPattern("%d", {7471});
    std::uint16_t day = 0;
    const bool scanned = Scan(text, "%d", {&day});
    SetRegional(Regional());  // back to the separators in force
    EXPECT_EQ(text, "06%15%2005");
    EXPECT_TRUE(scanned);
    EXPECT_EQ(day, 7471);
}

}  // namespace
}  // namespace vireo
