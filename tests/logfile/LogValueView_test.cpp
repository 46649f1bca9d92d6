#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "logfile/LogLineKind.h"
#include "logfile/LogRecord.h"

// The records as views must hold what the copying records hold; and the split
// that the classification keeps for the reading of a line must never be taken
// for another line.

namespace vireo {
namespace {

using K = LogLineKind;

void ExpectSame(const LogRecord& copy, const LogValueView& view) {
    EXPECT_EQ(copy.dateText, view.dateText);
    EXPECT_EQ(copy.timeText, view.timeText);
    EXPECT_EQ(copy.name, view.name);
    EXPECT_EQ(copy.headingName, view.headingName);
    EXPECT_EQ(copy.valueText, view.valueText);
    EXPECT_EQ(copy.fifthField, view.fifthField);
    EXPECT_EQ(copy.flag, view.flag);
    EXPECT_EQ(copy.stamp, view.stamp);
    EXPECT_EQ(copy.hasTimeTag, view.hasTimeTag);
    EXPECT_EQ(copy.value, view.value);
}

const std::vector<std::string> kLines = {
    "TEMP,06/15/2005,12:30:00,21.5,G",     "TEMP,06/15/2005 12:30:00,21.5,G",
    "06/15/2005,12:30:00,TEMP,21.5,C,G",   "06/15/2005 12:30:00,TEMP,21.5,C,G",
    "06/15/2005,12:30:00,ST01,21.5,,0.75", "06/15/2005,12:30:00,ST01,21.5,13.2,",
    "06/15/2005 12:30:00 21.5 13.2  0.75", "06/15/2005 12:30:00 TEMP\r,21.5,C,G",
    "TEMP,06/15/05,12:30:00,n/a,G",        "",
};

TEST(LogValueView, HoldsWhatTheCopiesHold) {
    const std::vector<std::string> headings = {"STAGE", "BATT"};
    for (const std::string& line : kLines) {
        SCOPED_TRACE("line [" + line + "]");
        for (int k = 0; k <= 6; ++k) {
            const auto kind = static_cast<LogLineKind>(k);
            LogRecord copy;
            LogValueView view;
            EXPECT_EQ(ParseLogRecord(kind, line, copy), ParseLogRecord(kind, line, view));
            ExpectSame(copy, view);
            ValueCursor copyCursor;
            ValueCursor viewCursor;
            copyCursor.headings = viewCursor.headings = &headings;
            for (int step = 0; step < 20; ++step) {
                const bool copyNumber = NextLogValue(kind, line, copyCursor, copy);
                const bool viewNumber = NextLogValue(kind, line, viewCursor, view);
                EXPECT_EQ(copyNumber, viewNumber);
                ASSERT_EQ(copyCursor.started, viewCursor.started);
                if (!copyCursor.started) break;
                ExpectSame(copy, view);
            }
        }
    }
}

TEST(LogValueView, TheTextsOfAOneValueLineAreViewsIntoIt) {
    const std::string line = "06/15/2005 12:30:00,TEMP,21.5,C,G";
    LogValueView view;
    ASSERT_TRUE(ParseLogRecord(K::StampName, line, view));
    EXPECT_EQ(view.name.data(), line.data() + 20);
    EXPECT_EQ(view.value, 21.5);
}

TEST(LogLineSplit, AnotherLineOfTheSameLengthIsSplitAnew) {
    const std::string first = "TEMP,06/15/2005,12:30:00,21.5,G";
    const std::string second = "BATT,06/16/2005,13:45:10,12.9,B";
    ASSERT_EQ(first.size(), second.size());
    LogRecord record;
    ASSERT_EQ(ClassifyLogLine(first), K::NameDateTime);
    ASSERT_TRUE(ParseLogRecord(K::NameDateTime, second, record));
    EXPECT_EQ(record.name, "BATT");
    EXPECT_EQ(record.timeText, "13:45:10");
    EXPECT_EQ(record.value, 12.9);
    EXPECT_EQ(record.flag, "B");
}

TEST(LogLineSplit, TheSameCharactersElsewhereGiveViewsIntoThem) {
    std::string line = "06/15/2005,12:30:00,TEMP,21.5,C,G";
    ASSERT_EQ(ClassifyLogLine(line), K::DateTimeName);
    const std::string copy = line;
    line.assign(line.size(), 'x');  // the classified text is gone
    LogValueView view;
    ASSERT_TRUE(ParseLogRecord(K::DateTimeName, copy, view));
    EXPECT_EQ(view.name, "TEMP");
    EXPECT_EQ(view.name.data(), copy.data() + 20);
}

TEST(LogLineSplit, ADateAndTimeFieldWithALineEndInIt) {
    // The first comma field ends at the carriage return: the date is the word
    // before the blank, the time the rest of that field, and nothing follows.
    const std::string line = "06/15/2005 12:30:00\rTEMP,21.5,C,G";
    LogRecord record;
    EXPECT_FALSE(ParseLogRecord(K::StampName, line, record));
    EXPECT_EQ(record.dateText, "06/15/2005");
    EXPECT_EQ(record.timeText, "12:30:00");
    EXPECT_EQ(record.name, "");
    EXPECT_EQ(record.stamp, 645539400);
    // Without a blank in the first field the word runs on into the next fields.
    EXPECT_FALSE(ParseLogRecord(K::StampName, "06/15/2005,TEMP 21.5,C", record));
    EXPECT_EQ(record.dateText, "06/15/2005,TEMP");
    EXPECT_EQ(record.timeText, "21.5");
    EXPECT_EQ(record.name, "C");
}

}  // namespace
}  // namespace vireo
