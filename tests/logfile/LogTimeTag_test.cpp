#include "logfile/LogTimeTag.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "scan/Regional.h"

namespace vireo {
namespace {

constexpr SecondStamp kJune15 = 645539400;                              // 2005-06-15 12:30:00
constexpr SecondStamp kJune15Midnight = 645494400;                      // 2005-06-15 00:00:00
constexpr SecondStamp kTimeOnly = 45000;                                // 12:30:00 with no date part
constexpr SecondStamp kLast = std::numeric_limits<SecondStamp>::max();  // 2053-01-18 03:14:07

struct TimeTagRow {
    std::string date;
    std::string time;
    SecondStamp stamp;
    bool usable;
};

class LogTimeTagTest : public ::testing::Test {
protected:
    void SetUp() override { SetRegional(RegionalSettings{}); }
    void TearDown() override { SetRegional(RegionalSettings{}); }

    static void Check(const TimeTagRow& row) {
        SCOPED_TRACE("date [" + row.date + "] time [" + row.time + "]");
        const LogTimeTag read = ReadLogTimeTag(row.date, row.time);
        EXPECT_EQ(read.stamp, row.stamp);
        EXPECT_EQ(read.usable, row.usable);
    }
};

TEST_F(LogTimeTagTest, RealDatesAndTimes) {
    const TimeTagRow rows[] = {
        {"06/15/2005", "12:30:00", kJune15, true},
        {"6/15/2005", "12:30:00", kJune15, true},
        {"0006/015/02005", "012:030:000", kJune15, true},
        {"06/15/2005", "12:30", kJune15, true},
        {"06/15/2005", "", kJune15Midnight, true},
        {"06/15/2005", "   ", kJune15Midnight, true},
        {" 6/15/2005 ", "12:30:00 ", kJune15, true},
        {"06/ 5/2005", " 9:30:00", kJune15 - 10 * 86400 - 3 * 3600, true},
        {"06 / 15 / 2005", "12 : 30 : 00", kJune15, true},
        {"01/01/1985", "00:00:00", 86400, true},
        {"12/31/2005", "23:59:59", StampOf(2005, 12, 31, 23, 59, 59), true},
        {"02/29/2008", "00:00:01", StampOf(2008, 2, 29, 0, 0, 1), true},
        {"02/29/2000", "00:00:00", StampOf(2000, 2, 29, 0, 0, 0), true},
        {"01/18/2053", "03:14:07", kLast, true},
    };
    for (const TimeTagRow& row : rows) Check(row);
}

TEST_F(LogTimeTagTest, YearsBeforeTheTimeBaseGiveTheTimeOfDayOnly) {
    const TimeTagRow rows[] = {
        {"06/15/05", "12:30:00", kTimeOnly, false},
        {"06/15/1984", "12:30:00", kTimeOnly, false},
        {"12/31/1984", "23:59:59", 86399, false},
        {"06/15/0000", "12:30:00", kTimeOnly, false},
    };
    for (const TimeTagRow& row : rows) Check(row);
}

TEST_F(LogTimeTagTest, ImpossibleDatesAndTimesAreNone) {
    const TimeTagRow rows[] = {
        {"02/30/2005", "12:00:00", 0, false},
        {"13/45/2005", "12:00:00", 0, false},
        {"06/14/2005", "25:61:61", 0, false},
        {"00/15/2005", "12:00:00", 0, false},
        {"06/00/2005", "12:00:00", 0, false},
        {"06/31/2005", "12:00:00", 0, false},
        {"02/29/2005", "12:00:00", 0, false},
        {"02/29/1900", "12:00:00", 0, false},
        {"02/30/1984", "12:00:00", 0, false},
        {"06/15/2005", "24:00:00", 0, false},
        {"06/15/2005", "12:60:00", 0, false},
        {"06/15/2005", "12:30:60", 0, false},
        // Dates the time base cannot hold would wrap round to another time.
        {"01/18/2053", "03:14:08", 0, false},
        {"01/19/2053", "00:00:00", 0, false},
        {"06/15/2060", "09:30:00", 0, false},
        {"06/15/2140", "09:30:00", 0, false},
        {"06/15/99999", "09:30:00", 0, false},
    };
    for (const TimeTagRow& row : rows) Check(row);
}

TEST_F(LogTimeTagTest, GarbledFieldsAreNone) {
    const TimeTagRow rows[] = {
        {"-06/15/2005", "10:00:00", 0, false},
        {"+06/15/2005", "10:00:00", 0, false},
        {"06/15/2005", "-10:00:00", 0, false},
        {"99999999999/15/2005", "10:00:00", 0, false},
        {"06/15/99999999999", "10:00:00", 0, false},
        {"06/15/2005", "10:0x:00", 0, false},
        {"06/15/2005", "10:00:00x", 0, false},
        {"06/15/2005", "10:00:00 PM", 0, false},
        {"06/15/2005", "10", 0, false},
        {"06/15/2005", "10:", 0, false},
        {"06/15/2005", "10:00:", 0, false},
        {"06/15/2005", ":00:00", 0, false},
        {"06/15/2005", "10:00:00:00", 0, false},
        {"06/15/2005", "\t10:00:00", 0, false},
        {"06-15-2005", "10:00:00", 0, false},
        {"06/15/2005", "10.00.00", 0, false},
        {"2005-06-15", "10:00:00", 0, false},
        {"06/15", "10:00:00", 0, false},
        {"06/15/", "10:00:00", 0, false},
        {"06//2005", "10:00:00", 0, false},
        {"06/15/2005/1", "10:00:00", 0, false},
        {"06/15/2005 12:30:00", "TEMP", 0, false},
        {"", "", 0, false},
        {"", "10:00:00", 0, false},
        {"June 15", "10:00:00", 0, false},
        {"06/1 5/2005", "10:00:00", 0, false},
    };
    for (const TimeTagRow& row : rows) Check(row);
}

TEST_F(LogTimeTagTest, ReadsTheLoggersSeparatorsAndTheRegionalOnes) {
    RegionalSettings dotted;
    dotted.dateSeparator = '.';
    dotted.timeSeparator = '.';
    SetRegional(dotted);
    const TimeTagRow rows[] = {
        {"06.15.2005", "12.30.00", kJune15, true},
        {"06/15/2005", "12:30:00", kJune15, true},
        {"06/15/2005", "12.30.00", kJune15, true},
        {"06.15.2005", "12:30", kJune15, true},
        // One separator throughout a date or a time.
        {"06/15.2005", "12:30:00", 0, false},
        {"06/15/2005", "12:30.00", 0, false},
        {"06-15-2005", "12:30:00", 0, false},
        {"06/15/2005", "12-30-00", 0, false},
        // Still only real dates and times.
        {"06.31.2005", "12.30.00", 0, false},
        {"06/31/2005", "12:30:00", 0, false},
        {"06/15/2005", "24:00:00", 0, false},
        {"15.06.2005", "12.30.00", 0, false},
    };
    for (const TimeTagRow& row : rows) Check(row);
}

}  // namespace
}  // namespace vireo
