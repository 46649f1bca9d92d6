#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "logfile/LogLineKind.h"
#include "logfile/LogRecord.h"

// The records are views into the line: one record kept for a whole file must
// hold exactly what a fresh one would, and the split that the classification
// keeps for the reading of a line must never be taken for another line.

namespace vireo {
namespace {

using K = LogLineKind;

void ExpectSame(const LogRecord& kept, const LogRecord& fresh) {
    EXPECT_EQ(kept.dateText, fresh.dateText);
    EXPECT_EQ(kept.timeText, fresh.timeText);
    EXPECT_EQ(kept.name, fresh.name);
    EXPECT_EQ(kept.headingName, fresh.headingName);
    EXPECT_EQ(kept.valueText, fresh.valueText);
    EXPECT_EQ(kept.fifthField, fresh.fifthField);
    EXPECT_EQ(kept.flag, fresh.flag);
    EXPECT_EQ(kept.stamp, fresh.stamp);
    EXPECT_EQ(kept.timeTagState, fresh.timeTagState);
    EXPECT_EQ(kept.valueState, fresh.valueState);
    EXPECT_EQ(kept.value, fresh.value);
}

const std::vector<std::string> kLines = {
    "TEMP,06/15/2005,12:30:00,21.5,G",     "TEMP,06/15/2005 12:30:00,21.5,G",
    "06/15/2005,12:30:00,TEMP,21.5,C,G",   "06/15/2005 12:30:00,TEMP,21.5,C,G",
    "06/15/2005,12:30:00,ST01,21.5,,0.75", "06/15/2005,12:30:00,ST01,21.5,13.2,",
    "06/15/2005 12:30:00 21.5 13.2  0.75", "06/15/2005 12:30:00 TEMP\r,21.5,C,G",
    "TEMP,06/15/05,12:30:00,n/a,G",        "",
};

TEST(LogRecordViews, AKeptRecordAndCursorHoldWhatFreshOnesHold) {
    const std::vector<std::string> headings = {"STAGE", "BATT"};
    LogRecord kept;
    ValueCursor keptCursor;
    keptCursor.headings = &headings;
    for (const std::string& line : kLines) {
        SCOPED_TRACE("line [" + line + "]");
        for (int k = 0; k <= 6; ++k) {
            const auto kind = static_cast<LogLineKind>(k);
            LogRecord fresh;
            ParseLogRecord(kind, line, kept);
            ParseLogRecord(kind, line, fresh);
            ExpectSame(kept, fresh);
            ValueCursor freshCursor;
            freshCursor.headings = &headings;
            keptCursor.started = false;
            for (int step = 0; step < 20; ++step) {
                LogRecord freshValue;
                const bool keptTook = NextLogValue(kind, line, keptCursor, kept);
                ASSERT_EQ(keptTook, NextLogValue(kind, line, freshCursor, freshValue));
                if (!keptTook) break;
                ExpectSame(kept, freshValue);
            }
        }
    }
}

TEST(LogRecordViews, TheTextsOfAOneValueLineAreViewsIntoIt) {
    const std::string line = "06/15/2005 12:30:00,TEMP,21.5,C,G";
    LogRecord record;
    ParseLogRecord(K::StampName, line, record);
    ASSERT_TRUE(record.IsNumber());
    EXPECT_EQ(record.name.data(), line.data() + 20);
    EXPECT_EQ(record.value, 21.5);
}

TEST(LogRecordViews, TheTextsOfAMultiValueLineAreViewsIntoIt) {
    const std::string line = "06/15/2005,12:30:00,ST01,21.5,13.2";
    ValueCursor cursor;
    LogRecord record;
    ASSERT_TRUE(NextLogValue(K::DateTimeLabelValues, line, cursor, record));
    ASSERT_TRUE(NextLogValue(K::DateTimeLabelValues, line, cursor, record));
    EXPECT_EQ(record.dateText.data(), line.data());
    EXPECT_EQ(record.timeText.data(), line.data() + 11);
    EXPECT_EQ(record.valueText.data(), line.data() + 30);
    EXPECT_EQ(record.name, "ST01:2");
    EXPECT_EQ(record.value, 13.2);
}

TEST(LogLineSplit, AnotherLineOfTheSameLengthIsSplitAnew) {
    const std::string first = "TEMP,06/15/2005,12:30:00,21.5,G";
    const std::string second = "BATT,06/16/2005,13:45:10,12.9,B";
    ASSERT_EQ(first.size(), second.size());
    LogRecord record;
    ASSERT_EQ(ClassifyLogLine(first), K::NameDateTime);
    ParseLogRecord(K::NameDateTime, second, record);
    ASSERT_TRUE(record.IsNumber());
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
    LogRecord view;
    ParseLogRecord(K::DateTimeName, copy, view);
    ASSERT_TRUE(view.IsNumber());
    EXPECT_EQ(view.name, "TEMP");
    EXPECT_EQ(view.name.data(), copy.data() + 20);
}

TEST(LogLineSplit, ADateAndTimeFieldWithALineEndInIt) {
    // The first comma field ends at the carriage return: the date is the word
    // before the blank, the time the rest of that field, and nothing follows.
    const std::string line = "06/15/2005 12:30:00\rTEMP,21.5,C,G";
    LogRecord record;
    ParseLogRecord(K::StampName, line, record);
    EXPECT_FALSE(record.IsNumber());
    EXPECT_EQ(record.dateText, "06/15/2005");
    EXPECT_EQ(record.timeText, "12:30:00");
    EXPECT_EQ(record.name, "");
    EXPECT_EQ(record.stamp, 645539400);
    // Without a blank in the first field the word runs on into the next fields.
    ParseLogRecord(K::StampName, "06/15/2005,TEMP 21.5,C", record);
    EXPECT_FALSE(record.IsNumber());
    EXPECT_EQ(record.dateText, "06/15/2005,TEMP");
    EXPECT_EQ(record.timeText, "21.5");
    EXPECT_EQ(record.name, "C");
}

}  // namespace
}  // namespace vireo
