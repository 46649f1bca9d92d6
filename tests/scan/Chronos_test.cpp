#include "scan/Chronos.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "scan/Regional.h"
#include "support/TestScopes.h"

namespace vireo {
namespace {

using testing::ClockScope;
using testing::RegionalScope;

using namespace std::chrono;

constexpr SecondStamp kMaxStamp = std::numeric_limits<SecondStamp>::max();
constexpr SecondStamp kMinStamp = std::numeric_limits<SecondStamp>::min();

/// Days since 1984-12-31 after the standard library's calendar.
long ReferenceDays(int y, int m, int d) {
    return (sys_days{year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(d)}} -
            sys_days{year{1984} / December / day{31}})
        .count();
}

TEST(DayNumberOf, CountsDaysFromTheLastDayOf1984) {
    struct Row {
        int year, month, day;
        DayNumber expected;
    };
    const std::vector<Row> rows = {
        {1985, 1, 1, 1},     {1984, 12, 31, 0},   {1900, 6, 1, 0},      {5, 6, 15, 0},      {99, 1, 1, 0},
        {0, 0, 0, 0},        {2000, 3, 1, 5539},  {2000, 2, 29, 5538},  {2006, 1, 1, 7671}, {2005, 13, 1, 7671},
        {2005, 25, 1, 8036}, {2006, 13, 1, 8036}, {2005, 0, 1, 7306},   {2005, 1, 1, 7306}, {2005, 6, 15, 7471},
        {1985, 1, 32, 32},   {1985, 2, 1, 32},    {2053, 1, 18, 24855},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.year) + "-" + std::to_string(row.month) + "-" + std::to_string(row.day));
        EXPECT_EQ(DayNumberOf(row.year, row.month, row.day), row.expected);
    }
    EXPECT_EQ(DayNumberOf(2005, 3, 0), DayNumberOf(2005, 2, 28));
    EXPECT_EQ(DayNumberOf(2004, 3, 0), DayNumberOf(2004, 2, 29));
}

TEST(DayNumberOf, AgreesWithTheCalendarOnEveryDayItCanHold) {
    for (DayNumber n = 1; n < 65535; ++n) {
        const CalendarDate date = SplitDayNumber(n);
        ASSERT_EQ(ReferenceDays(date.year, date.month, date.day), n);
        ASSERT_EQ(DayNumberOf(date.year, date.month, date.day), n);
    }
    const CalendarDate last = SplitDayNumber(65535);
    EXPECT_EQ(ReferenceDays(last.year, last.month, last.day), 65535);
    const CalendarDate first = SplitDayNumber(0);
    EXPECT_EQ(first.year * 10000 + first.month * 100 + first.day, 19841231);
}

TEST(DayNumberOf, OutOfRangeValuesGiveDefinedResults) {
    // Days beyond 65535 keep their low 16 bits.
    EXPECT_EQ(DayNumberOf(2200, 1, 1), static_cast<DayNumber>(ReferenceDays(2200, 1, 1)));
    EXPECT_EQ(DayNumberOf(2005, -1, 1), DayNumberOf(2004, 11, 1));
    EXPECT_EQ(DayNumberOf(2005, -12, 1), DayNumberOf(2004, 0, 1));
    EXPECT_EQ(DayNumberOf(2005, 1, -1), DayNumberOf(2004, 12, 30));
    // Extreme arguments must not overflow (checked under the sanitizers).
    const int big = std::numeric_limits<int>::max();
    const int small = std::numeric_limits<int>::min();
    EXPECT_EQ(DayNumberOf(small, small, small), 0);
    (void)DayNumberOf(big, big, big);
    (void)DayNumberOf(big, small, big);
    (void)DayNumberOf(2005, 1, small);
}

TEST(StampOf, AddsUpDayAndTime) {
    EXPECT_EQ(StampOf(2005, 6, 15, 12, 30, 0), 645539400);
    EXPECT_EQ(StampOf(2053, 1, 18, 3, 14, 7), kMaxStamp);
    EXPECT_EQ(StampOf(1984, 12, 31, 12, 30, 0), 45000);
    // Hours, minutes and seconds are not limited to their usual range.
    EXPECT_EQ(StampOf(2005, 6, 15, 0, 0, 86400), StampOf(2005, 6, 16, 0, 0, 0));
    EXPECT_EQ(StampOf(2005, 6, 15, -1, 0, 0), StampOf(2005, 6, 14, 23, 0, 0));
    EXPECT_EQ(StampOf(2005, 6, 15, 0, 90, 0), StampOf(2005, 6, 15, 1, 30, 0));
}

TEST(StampOf, WrapsLikeThirtyTwoBitArithmeticBeyond2053) {
    const auto wrapped = [](long long value) {
        return static_cast<SecondStamp>(static_cast<std::uint32_t>(static_cast<unsigned long long>(value)));
    };
    EXPECT_EQ(StampOf(2053, 1, 18, 3, 14, 8), kMinStamp);
    EXPECT_EQ(StampOf(2100, 1, 1, 0, 0, 0), wrapped(ReferenceDays(2100, 1, 1) * 86400LL));
    const int big = std::numeric_limits<int>::max();
    EXPECT_EQ(StampOf(2005, 6, 15, big, big, big),
              wrapped(7471LL * 86400 + big * 3600LL + big * 60LL + static_cast<long long>(big)));
    (void)StampOf(big, big, big, big, big, big);
    const int small = std::numeric_limits<int>::min();
    (void)StampOf(small, small, small, small, small, small);
}

TEST(SplitStamp, GivesTheCalendarSecond) {
    struct Row {
        SecondStamp stamp;
        CalendarStamp expected;
    };
    const std::vector<Row> rows = {
        {0, {1984, 12, 31, 0, 0, 0}},     {45000, {1984, 12, 31, 12, 30, 0}},    {86399, {1984, 12, 31, 23, 59, 59}},
        {86400, {1985, 1, 1, 0, 0, 0}},   {645539400, {2005, 6, 15, 12, 30, 0}}, {kMaxStamp, {2053, 1, 18, 3, 14, 7}},
        {-1, {1984, 12, 30, 23, 59, 59}}, {-86400, {1984, 12, 30, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stamp);
        EXPECT_EQ(SplitStamp(row.stamp), row.expected);
    }
}

/// Every 9973rd stamp of the range, its ends, and the seconds around the
/// midnights of some days that catch faults (leap days, year ends).
std::vector<SecondStamp> SampleStamps() {
    std::vector<SecondStamp> stamps;
    for (long long s = 0; s <= kMaxStamp; s += 9973) stamps.push_back(static_cast<SecondStamp>(s));
    for (SecondStamp s = 0; s < 100; ++s) {
        stamps.push_back(s);
        stamps.push_back(kMaxStamp - s);
    }
    const int days[][3] = {{1985, 1, 1}, {1988, 2, 29}, {1988, 3, 1},  {1999, 12, 31}, {2000, 1, 1}, {2000, 2, 29},
                           {2000, 3, 1}, {2005, 6, 15}, {2038, 1, 19}, {2052, 12, 31}, {2053, 1, 18}};
    for (const auto& d : days) {
        const long long midnight = ReferenceDays(d[0], d[1], d[2]) * 86400LL;
        for (long long s = midnight - 2; s <= midnight + 2 && s <= kMaxStamp; ++s) {
            stamps.push_back(static_cast<SecondStamp>(s));
        }
    }
    return stamps;
}

TEST(DateTime, RoundTripsEveryStamp) {
    for (const SecondStamp s : SampleStamps()) {
        const DateTime dateTime = SecondsToDateTime(s);
        ASSERT_EQ(DateTimeToSeconds(dateTime), s) << s;
        const CalendarStamp split = SplitStamp(s);
        ASSERT_EQ(SplitDateTime(dateTime), split) << s;
        ASSERT_EQ(StampOf(split.year, split.month, split.day, split.hours, split.minutes, split.seconds), s) << s;
    }
}

TEST(DateTime, CountsDaysFrom1899) {
    EXPECT_EQ(SecondsToDateTime(0), 31047.0);
    EXPECT_EQ(SecondsToDateTime(86400), 31048.0);
    EXPECT_EQ(SecondsToDateTime(43200), 31047.5);
    EXPECT_EQ(SplitDateTime(0.0), (CalendarStamp{1899, 12, 30, 0, 0, 0}));
    EXPECT_EQ(SplitDateTime(2.75), (CalendarStamp{1900, 1, 1, 18, 0, 0}));
    // To the nearest second, also when that is the next day.
    EXPECT_EQ(SplitDateTime(31047.0 + 0.4 / 86400), (CalendarStamp{1984, 12, 31, 0, 0, 0}));
    EXPECT_EQ(SplitDateTime(31048.0 - 0.4 / 86400), (CalendarStamp{1985, 1, 1, 0, 0, 0}));
}

TEST(DateTime, TiesRoundToTheEvenSecond) {
    // A 256th of a day is 337.5 seconds, exactly, in binary floating point.
    struct Row {
        int part;
        SecondStamp expected;
    };
    for (const Row row : {Row{1, 338}, Row{3, 1012}, Row{5, 1688}, Row{7, 2362}, Row{-1, -338}, Row{-3, -1012}}) {
        SCOPED_TRACE(row.part);
        const double dateTime = 31047.0 + row.part / 256.0;
        ASSERT_EQ((dateTime - 31047.0) * 86400, row.part * 337.5);
        EXPECT_EQ(DateTimeToSeconds(dateTime), row.expected);
    }
    // Not a tie: the nearest second either way.
    EXPECT_EQ(DateTimeToSeconds(std::nextafter(31047.0 + 1 / 256.0, 0.0)), 337);
    EXPECT_EQ(DateTimeToSeconds(std::nextafter(31047.0 + 3 / 256.0, 1e9)), 1013);
}

TEST(DateTime, OutOfRangeValuesAreHeld) {
    EXPECT_EQ(DateTimeToSeconds(1e300), kMaxStamp);
    EXPECT_EQ(DateTimeToSeconds(-1e300), kMinStamp);
    EXPECT_EQ(DateTimeToSeconds(std::nan("")), 0);
    EXPECT_EQ(DateTimeToSeconds(SecondsToDateTime(kMinStamp)), kMinStamp);
    EXPECT_EQ(SplitDateTime(SecondsToDateTime(kMinStamp)), SplitStamp(kMinStamp));
    EXPECT_EQ(SplitDateTime(1e300), (CalendarStamp{9999, 12, 31, 23, 59, 59}));
    EXPECT_EQ(SplitDateTime(-1e300), (CalendarStamp{1, 1, 1, 0, 0, 0}));
    EXPECT_EQ(SplitDateTime(std::nan("")), (CalendarStamp{1899, 12, 30, 0, 0, 0}));
    for (long long s = kMinStamp; s < 0; s += 99991) {
        const auto stamp = static_cast<SecondStamp>(s);
        ASSERT_EQ(SplitDateTime(SecondsToDateTime(stamp)), SplitStamp(stamp)) << s;
    }
}

TEST(WeekdayOf, NumbersMondayOneToSundaySeven) {
    EXPECT_EQ(WeekdayOf(1984, 12, 31), 1);
    EXPECT_EQ(WeekdayOf(2005, 6, 15), 3);
    EXPECT_EQ(WeekdayOf(2005, 6, 19), 7);
    EXPECT_EQ(WeekdayOf(2000, 2, 29), 2);
    for (DayNumber n = 0; n < 30000; n += 7) {
        const CalendarDate date = SplitDayNumber(n);
        ASSERT_EQ(WeekdayOf(date.year, date.month, date.day), 1) << n;
    }
    EXPECT_EQ(WeekdayOf(2005, 13, 1), WeekdayOf(2006, 1, 1));
    EXPECT_EQ(WeekdayOf(2005, 0, 1), WeekdayOf(2004, 12, 1));
}

TEST(NowSeconds, ReadsTheLocalClockOrTheTestClock) {
    {
        ClockScope clock(645539400);
        EXPECT_EQ(NowSeconds(), 645539400);
    }
    const auto localStamp = [] {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        return (ReferenceDays(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) * 86400LL) + local.tm_hour * 3600 +
               local.tm_min * 60 + local.tm_sec;
    };
    const long long before = localStamp();
    const SecondStamp now = NowSeconds();
    const long long after = localStamp();
    EXPECT_LE(before, now);
    EXPECT_GE(after, now);
}

TEST(DateParts, ReadsMonthDayYearAndTime) {
    struct Row {
        const char* text;
        DatePartsResult expected;
    };
    const std::vector<Row> rows = {
        {"5", {0, 0, 0, 5, 0, 0}},
        {"1:30", {0, 0, 0, 1, 30, 0}},
        {"06/15/2005 12:30:00", {6, 15, 2005, 12, 30, 0}},
        {"06/15/2005", {6, 15, 2005, 0, 0, 0}},
        {"  06/15/2005   12:30:07", {6, 15, 2005, 12, 30, 7}},
        {"0/0/1 00:00:00", {0, 0, 1, 0, 0, 0}},
        {"x/15/2005 1:2:3", {0, 15, 2005, 1, 2, 3}},
        {"+6/-1/2005 -1:+2:3", {6, -1, 2005, -1, 2, 3}},
        {"", {0, 0, 0, 0, 0, 0}},
        {"abc", {0, 0, 0, 0, 0, 0}},
        {"1:2:3:4", {0, 0, 0, 1, 2, 0}},
        {"99999999999:1", {0, 0, 0, 0, 1, 0}},
        {"12 :30", {0, 0, 0, 0, 30, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(DateParts(row.text), row.expected);
    }
}

TEST(DateParts, SplitsWithTheRegionalSeparators) {
    RegionalScope regional('.', '.');
    EXPECT_EQ(DateParts("6/15.2005 12.30.00"), (DatePartsResult{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(DateParts("06/15/2005 12.30.00"), (DatePartsResult{0, 30, 0, 0, 0, 0}));
    // Without a '/' the text is not a date, even when written with the
    // regional separator.
    EXPECT_EQ(DateParts("15.06.2005"), (DatePartsResult{0, 0, 0, 15, 6, 2005}));
    EXPECT_EQ(DateParts("12.30.15"), (DatePartsResult{0, 0, 0, 12, 30, 15}));
}

TEST(DateParts, UsesTheDateSeparatorAfterFindingASlash) {
    RegionalScope regional('-', ':');
    EXPECT_EQ(DateParts("06-15-2005 / 12:30:00"), (DatePartsResult{6, 15, 2005, 0, 30, 0}));
    EXPECT_EQ(DateParts("06-15-2005 12:30:00/"), (DatePartsResult{6, 15, 2005, 12, 30, 0}));
}

// 2005-06-15 12:30:45 is a Wednesday.
const SecondStamp kWednesday = StampOf(2005, 6, 15, 12, 30, 45);
// 2005-06-19 08:15:10 is a Sunday.
const SecondStamp kSunday = StampOf(2005, 6, 19, 8, 15, 10);

struct ExpressionRow {
    const char* text;
    SecondStamp base;
    SecondStamp expected;
};

class ParseDateExpressionTest : public ::testing::TestWithParam<ExpressionRow> {};

TEST_P(ParseDateExpressionTest, Evaluates) {
    const ExpressionRow& row = GetParam();
    ClockScope clock(StampOf(2001, 2, 3, 4, 5, 6));
    EXPECT_EQ(ParseDateExpression(row.text, row.base), row.expected) << "expected " << [&] {
        const CalendarStamp c = SplitStamp(row.expected);
        return std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day) + " " +
               std::to_string(c.hours) + ":" + std::to_string(c.minutes) + ":" + std::to_string(c.seconds);
    }();
}

INSTANTIATE_TEST_SUITE_P(Keywords, ParseDateExpressionTest,
                         ::testing::Values(ExpressionRow{"NOW", kWednesday, kWednesday},
                                           ExpressionRow{"NEXT YEAR", kWednesday, StampOf(2006, 1, 1, 0, 0, 0)},
                                           ExpressionRow{"NEXT MONTH", kWednesday, StampOf(2005, 7, 1, 0, 0, 0)},
                                           ExpressionRow{"NEXT WEEK", kWednesday, StampOf(2005, 6, 19, 0, 0, 0)},
                                           ExpressionRow{"TOMORROW", kWednesday, StampOf(2005, 6, 16, 0, 0, 0)},
                                           ExpressionRow{"NEXT HOUR", kWednesday, StampOf(2005, 6, 15, 13, 0, 0)},
                                           ExpressionRow{"LAST 2 HOURS", kWednesday, StampOf(2005, 6, 15, 10, 0, 0)},
                                           ExpressionRow{"LAST 3 HOURS", kWednesday, StampOf(2005, 6, 15, 9, 0, 0)},
                                           ExpressionRow{"LAST 6 HOURS", kWednesday, StampOf(2005, 6, 15, 6, 0, 0)},
                                           ExpressionRow{"LAST 12 HOURS", kWednesday, StampOf(2005, 6, 15, 0, 0, 0)},
                                           ExpressionRow{"LAST HOUR", kWednesday, StampOf(2005, 6, 15, 11, 0, 0)},
                                           ExpressionRow{"TODAY", kWednesday, StampOf(2005, 6, 15, 0, 0, 0)},
                                           ExpressionRow{"YESTERDAY", kWednesday, StampOf(2005, 6, 14, 0, 0, 0)},
                                           ExpressionRow{"LAST 2 DAYS", kWednesday, StampOf(2005, 6, 13, 0, 0, 0)},
                                           ExpressionRow{"LAST 3 DAYS", kWednesday, StampOf(2005, 6, 12, 0, 0, 0)},
                                           ExpressionRow{"LAST 5 DAYS", kWednesday, StampOf(2005, 6, 10, 0, 0, 0)},
                                           ExpressionRow{"THIS WEEK", kWednesday, StampOf(2005, 6, 12, 0, 0, 0)},
                                           ExpressionRow{"LAST WEEK", kWednesday, StampOf(2005, 6, 5, 0, 0, 0)},
                                           ExpressionRow{"THIS MONTH", kWednesday, StampOf(2005, 6, 1, 0, 0, 0)},
                                           ExpressionRow{"LAST MONTH", kWednesday, StampOf(2005, 5, 1, 0, 0, 0)},
                                           ExpressionRow{"THIS YEAR", kWednesday, StampOf(2005, 1, 1, 0, 0, 0)},
                                           ExpressionRow{"LAST YEAR", kWednesday, StampOf(2004, 1, 1, 0, 0, 0)},
                                           // On a Sunday the week keywords count from that Sunday.
                                           ExpressionRow{"THIS WEEK", kSunday, StampOf(2005, 6, 12, 0, 0, 0)},
                                           ExpressionRow{"NEXT WEEK", kSunday, StampOf(2005, 6, 19, 0, 0, 0)},
                                           ExpressionRow{"LAST WEEK", kSunday, StampOf(2005, 6, 5, 0, 0, 0)}));

INSTANTIATE_TEST_SUITE_P(
    CalendarCarries, ParseDateExpressionTest,
    ::testing::Values(ExpressionRow{"NEXT MONTH", StampOf(2005, 12, 20, 15, 42, 10), StampOf(2006, 1, 1, 0, 0, 0)},
                      ExpressionRow{"LAST MONTH", StampOf(2005, 1, 15, 9, 0, 0), StampOf(2004, 12, 1, 0, 0, 0)},
                      ExpressionRow{"NEXT YEAR", StampOf(2005, 12, 31, 23, 0, 0), StampOf(2006, 1, 1, 0, 0, 0)},
                      ExpressionRow{"TOMORROW", StampOf(2004, 2, 28, 1, 0, 0), StampOf(2004, 2, 29, 0, 0, 0)},
                      ExpressionRow{"YESTERDAY", StampOf(2005, 3, 1, 1, 0, 0), StampOf(2005, 2, 28, 0, 0, 0)},
                      ExpressionRow{"LAST 2 HOURS", StampOf(2005, 1, 1, 1, 59, 59), StampOf(2004, 12, 31, 23, 0, 0)},
                      ExpressionRow{"NEXT WEEK", StampOf(2005, 12, 28, 1, 0, 0), StampOf(2006, 1, 1, 0, 0, 0)}));

INSTANTIATE_TEST_SUITE_P(TextForms, ParseDateExpressionTest,
                         ::testing::Values(ExpressionRow{"  today  ", kWednesday, StampOf(2005, 6, 15, 0, 0, 0)},
                                           ExpressionRow{"Last 2 Hours", kWednesday, StampOf(2005, 6, 15, 10, 0, 0)},
                                           ExpressionRow{"06/15/2005 12:30:00", kWednesday, 645539400},
                                           ExpressionRow{"06/15/2005 12:30:00", 0, 645539400},
                                           ExpressionRow{"  06/15/2005 12:30:00", kSunday, 645539400},
                                           ExpressionRow{"12:30:00", kWednesday, 45000},
                                           ExpressionRow{"UNKNOWN WORD", kWednesday, StampOf(2005, 6, 15, 12, 0, 0)},
                                           ExpressionRow{"", kWednesday, StampOf(2005, 6, 15, 12, 0, 0)},
                                           ExpressionRow{"NOW", 0, StampOf(2001, 2, 3, 4, 5, 6)},
                                           ExpressionRow{"TODAY", 0, StampOf(2001, 2, 3, 0, 0, 0)}));

INSTANTIATE_TEST_SUITE_P(
    Offsets, ParseDateExpressionTest,
    ::testing::Values(ExpressionRow{"NOW-0/0/1 00:00:00", kWednesday, StampOf(2004, 6, 15, 12, 30, 45)},
                      ExpressionRow{"+1:00:00", kWednesday, StampOf(2005, 6, 15, 13, 0, 0)},
                      ExpressionRow{"TODAY+6:00:00", kWednesday, StampOf(2005, 6, 15, 6, 0, 0)},
                      ExpressionRow{"YESTERDAY-1:00:00", kWednesday, StampOf(2005, 6, 13, 23, 0, 0)},
                      ExpressionRow{"TODAY - 1:00:00", kWednesday, StampOf(2005, 6, 14, 23, 0, 0)},
                      ExpressionRow{"NOW+1/0/0", kWednesday, StampOf(2005, 7, 15, 12, 30, 45)},
                      ExpressionRow{"NOW+13/0/0", kWednesday, StampOf(2006, 7, 15, 12, 30, 45)},
                      ExpressionRow{"NOW-18/0/0", kWednesday, StampOf(2003, 12, 15, 12, 30, 45)},
                      ExpressionRow{"NOW-6/0/0", kWednesday, StampOf(2004, 12, 15, 12, 30, 45)},
                      ExpressionRow{"NOW+0/20/0", kWednesday, StampOf(2005, 7, 5, 12, 30, 45)},
                      ExpressionRow{"NOW+0:0:15", kWednesday, StampOf(2005, 6, 15, 12, 31, 0)},
                      ExpressionRow{"NEXT MONTH+0/0/1", kWednesday, StampOf(2006, 7, 1, 0, 0, 0)},
                      ExpressionRow{"LAST WEEK+0/1/0", kWednesday, StampOf(2005, 6, 6, 0, 0, 0)},
                      // The first '+' wins over an earlier '-', which then belongs to
                      // a head that is no keyword.
                      ExpressionRow{"NOW-1:00:00+0:30:00", kWednesday, StampOf(2005, 6, 15, 12, 30, 0)},
                      ExpressionRow{"06/15/2005 12:30:00+1:00:00", kSunday, 645539400 + 3600},
                      ExpressionRow{"06/15/2005-0/1/0", kSunday, StampOf(2005, 6, 14, 0, 0, 0)}));

TEST(ParseDateExpression, ExtremeNumbersGiveADefinedStamp) {
    // Run under the sanitizers: none of these may overflow.
    for (const char* text : {"NOW+2147483647/2147483647/2147483647 2147483647:2147483647:2147483647",
                             "NOW-2147483647/2147483647/2147483647 2147483647:2147483647:2147483647",
                             "NOW--2147483648/-2147483648/-2147483648 -2147483648:-2147483648:-2147483648",
                             "2147483647/2147483647/2147483647 2147483647:2147483647:2147483647",
                             "-2147483648/-2147483648/-2147483648", "NEXT YEAR+0/0/2147483647"}) {
        SCOPED_TRACE(text);
        const SecondStamp a = ParseDateExpression(text, kWednesday);
        EXPECT_EQ(ParseDateExpression(text, kWednesday), a);
    }
    // A base before the time base splits into a date of 1984, which has day 0.
    EXPECT_EQ(ParseDateExpression("NOW", -1), 86399);
    EXPECT_EQ(ParseDateExpression("TODAY", -1), 0);
    EXPECT_EQ(ParseDateExpression("NOW", kMaxStamp), kMaxStamp);
}

}  // namespace
}  // namespace vireo
