#include "logfile/LogRecord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logfile/LogLineKind.h"

namespace vireo {
namespace {

using K = LogLineKind;

constexpr SecondStamp kJune15 = 645539400;  // 2005-06-15 12:30:00
constexpr SecondStamp kTimeOnly = 45000;    // 12:30:00 with no date part

struct OneValueRow {
    std::string line;
    LogLineKind kind;
    std::string name;
    std::string valueText;
    bool isNumber;
    double value;
    SecondStamp stamp;
};

const OneValueRow kOneValueRows[] = {
    {"TEMP,06/15/2005,12:30:00,21.5,G", K::NameDateTime, "TEMP", "21.5", true, 21.5, kJune15},
    {"TEMP,06/15/2005 12:30:00,21.5,G", K::NameStamp, "TEMP", "21.5", true, 21.5, kJune15},
    {"06/15/2005,12:30:00,TEMP,21.5,C,G", K::DateTimeName, "TEMP", "21.5", true, 21.5, kJune15},
    {"06/15/2005 12:30:00,TEMP,21.5,C,G", K::StampName, "TEMP", "21.5", true, 21.5, kJune15},
    {"TEMP,06/15/2005,12:30:00,n/a,G", K::NameDateTime, "TEMP", "n/a", false, 0, kJune15},
    {"TEMP,06/15/2005,12:30:00,21.5 ,G", K::NameDateTime, "TEMP", "21.5 ", false, 0, kJune15},
    {"TEMP,06/15/2005,12:30:00,,G", K::NameDateTime, "TEMP", "", false, 0, kJune15},
    {"TEMP,06/15/2005,12:30:00", K::NameDateTime, "TEMP", "", false, 0, kJune15},
    {" temp ,06/15/2005,12:30:00,-.5,G", K::NameDateTime, " temp ", "-.5", true, -0.5, kJune15},
    {"TEMP,06/15/2005,23:59:59,1,G", K::NameDateTime, "TEMP", "1", true, 1, kJune15 - kTimeOnly + 86399},
    // The one-value kinds want a date of exactly 10 characters and a time of 8.
    {"TEMP,6/15/2005,12:30:00,21.5,G", K::NameDateTime, "TEMP", "21.5", true, 21.5, 0},
    {"TEMP,06/15/2005,12:30,21.5,G", K::NameDateTime, "TEMP", "21.5", true, 21.5, 0},
    {"TEMP,06/15/2005  12:30:00,21.5,G", K::NameStamp, "TEMP", "21.5", true, 21.5, 0},
    // Dates that read without a date part.
    {"TEMP,06/15/1984,12:30:00,21.5,G", K::NameDateTime, "TEMP", "21.5", true, 21.5, kTimeOnly},
    {"TEMP,06/15/0005 12:30:00,1,G", K::NameStamp, "TEMP", "1", true, 1, kTimeOnly},
    // Dates and times that are none: no time tag at all, nothing carried into the next part.
    {"TEMP,2005-06-15,12:30:00,21.5,G", K::NameDateTime, "TEMP", "21.5", true, 21.5, 0},
    {"TEMP,02/30/2005,12:00:00,99,G", K::NameDateTime, "TEMP", "99", true, 99, 0},
    {"TEMP,13/45/2005,12:00:00,99,G", K::NameDateTime, "TEMP", "99", true, 99, 0},
    {"TEMP,06/14/2005,25:61:61,99,G", K::NameDateTime, "TEMP", "99", true, 99, 0},
    {"TEMP,06/15/2005,10:0x:00,99,G", K::NameDateTime, "TEMP", "99", true, 99, 0},
    {"TEMP,06/15/2005 -0:00:00,99,G", K::NameStamp, "TEMP", "99", true, 99, 0},
    {"-06/15/2005,10:00:00,TEMP,99,C,G", K::DateTimeName, "TEMP", "99", true, 99, 0},
    {"06/31/2005 12:30:00,TEMP,99,C,G", K::StampName, "TEMP", "99", true, 99, 0},
};

TEST(ParseLogRecord, OneValueKinds) {
    LogRecord record;
    for (const OneValueRow& row : kOneValueRows) {
        SCOPED_TRACE("line [" + row.line + "]");
        ParseLogRecord(row.kind, row.line, record);
        EXPECT_EQ(record.IsNumber(), row.isNumber);
        EXPECT_EQ(record.name, row.name);
        EXPECT_EQ(record.valueText, row.valueText);
        if (row.isNumber) {
            EXPECT_EQ(record.value, row.value);
        }
        EXPECT_EQ(record.stamp, row.stamp);
        EXPECT_EQ(record.timeTag, SecondsToDateTime(row.stamp));
        EXPECT_EQ(record.HasTimeTag(), row.stamp >= 86400);
        EXPECT_TRUE(record.headingName.empty());
    }
}

TEST(ParseLogRecord, SplitsDateAndTimeTexts) {
    LogRecord record;
    ParseLogRecord(K::NameStamp, "TEMP,06/15/2005 12:30:00 x,21.5,G", record);
    EXPECT_EQ(record.dateText, "06/15/2005");
    EXPECT_EQ(record.timeText, "12:30:00 x");
    ParseLogRecord(K::StampName, "06/15/2005 12:30:00,TEMP,21.5,C,G", record);
    EXPECT_EQ(record.dateText, "06/15/2005");
    EXPECT_EQ(record.timeText, "12:30:00");
    EXPECT_EQ(record.fifthField, "C");
    EXPECT_EQ(record.flag, "G");
    EXPECT_DOUBLE_EQ(record.timeTag, 38518.0 + 45000.0 / 86400.0);  // 2005-06-15 12:30 as a date-time
}

TEST(ParseLogRecord, NothingOfAnEarlierLineRemains) {
    LogRecord record;
    ParseLogRecord(K::DateTimeName, "06/15/2005,12:30:00,TEMP,21.5,C,G", record);
    ASSERT_TRUE(record.IsNumber());
    ParseLogRecord(K::NameDateTime, "BATT,06/15/2005", record);
    EXPECT_FALSE(record.IsNumber());
    EXPECT_EQ(record.name, "BATT");
    EXPECT_EQ(record.timeText, "");
    EXPECT_EQ(record.valueText, "");
    EXPECT_EQ(record.flag, "");
    EXPECT_EQ(record.fifthField, "");
    EXPECT_EQ(record.value, 0);
    EXPECT_FALSE(record.HasTimeTag());
}

TEST(ParseLogRecord, MultiValueKindsAreNotOneValueRecords) {
    LogRecord record;
    ParseLogRecord(K::DateTimeLabelValues, "06/15/2005,12:30:00,ST01,21.5", record);
    EXPECT_FALSE(record.IsNumber());
    EXPECT_EQ(record.name, "");
    EXPECT_FALSE(record.HasTimeTag());
}

TEST(ParseLogRecord, OnlyADateOf10AndATimeOf8CharactersMakeATimeTag) {
    struct Row {
        std::string date;
        std::string time;
        bool usable;
    };
    const Row rows[] = {
        {"06/15/2005", "12:30:00", true},
        {"6/15/2005", "12:30:00", false},
        {"06/15/2005", "2:30:00", false},
        {"06/15/2005 ", "12:30:00", false},
        {"", "", false},
        {"abcdefghij", "12345678", false},
    };
    LogRecord record;
    for (const Row& row : rows) {
        const std::string line = "TEMP," + row.date + "," + row.time + ",1,G";
        SCOPED_TRACE("line [" + line + "]");
        ParseLogRecord(K::NameDateTime, line, record);
        EXPECT_EQ(record.HasTimeTag(), row.usable);
        EXPECT_EQ(record.dateText, row.date);
        EXPECT_EQ(record.timeText, row.time);
    }
}

struct Value {
    std::string name;
    std::string valueText;
    bool isNumber;
    bool operator==(const Value&) const = default;
};

void PrintTo(const Value& v, std::ostream* os) { *os << v.name << "=[" << v.valueText << "]" << v.isNumber; }

struct WalkRow {
    std::string line;
    LogLineKind kind;
    std::vector<Value> values;
    SecondStamp stamp;
};

const WalkRow kWalkRows[] = {
    {"06/15/2005,12:30:00,ST01,21.5,13.2,0.75",
     K::DateTimeLabelValues,
     {{"ST01:1", "21.5", true}, {"ST01:2", "13.2", true}, {"ST01:3", "0.75", true}},
     kJune15},
    // A value that is no number does not end the walk.
    {"06/15/2005,12:30:00,ST01,21.5,,0.75",
     K::DateTimeLabelValues,
     {{"ST01:1", "21.5", true}, {"ST01:2", "", false}, {"ST01:3", "0.75", true}},
     kJune15},
    {"06/15/2005,12:30:00,ST01,21.5,13.2,",
     K::DateTimeLabelValues,
     {{"ST01:1", "21.5", true}, {"ST01:2", "13.2", true}},
     kJune15},  // a trailing comma adds no value
    {"06/15/2005,12:30:00,ST01,", K::DateTimeLabelValues, {}, kJune15},
    {"6/15/2005,12:30:00,ST01,1", K::DateTimeLabelValues, {{"ST01:1", "1", true}}, kJune15},  // no length test
    {"06/15/05,12:30:00,ST01,1", K::DateTimeLabelValues, {{"ST01:1", "1", true}}, kTimeOnly},
    // The date field holds date and time, the time field a name: no time tag.
    {"06/15/2005 12:30:00,TEMP,21.5,G", K::DateTimeLabelValues, {{"21.5:1", "G", false}}, 0},
    {"06/15/2005,,ST01,1", K::DateTimeLabelValues, {{"ST01:1", "1", true}}, kJune15 - kTimeOnly},  // midnight
    {" 6/15/2005 ,12:30 ,ST01,1", K::DateTimeLabelValues, {{"ST01:1", "1", true}}, kJune15},
    {"-06/15/2005,10:00:00,ST01,1", K::DateTimeLabelValues, {{"ST01:1", "1", true}}, 0},
    {"06/15/2005,-10:00:00,ST01,1", K::DateTimeLabelValues, {{"ST01:1", "1", true}}, 0},
    {"99999999999/15/2005,10:00:00,ST01,1", K::DateTimeLabelValues, {{"ST01:1", "1", true}}, 0},
    {"06/15/2005,10:0x:00,ST01,1", K::DateTimeLabelValues, {{"ST01:1", "1", true}}, 0},
    {"02/30/2005 12:00:00 1", K::BlankSeparatedValues, {{"0:1", "1", true}}, 0},
    {"06/15/2005 12:30:00:00 1", K::BlankSeparatedValues, {{"0:1", "1", true}}, 0},
    {"06/15/2005 12:30:00 21.5 13.2  0.75",
     K::BlankSeparatedValues,
     {{"0:1", "21.5", true}, {"0:2", "13.2", true}, {"0:3", "0.75", true}},
     kJune15},
    {"6/15/2005  12:30:00 21.5 n/a \t\x01 3 ",
     K::BlankSeparatedValues,
     {{"0:1", "21.5", true}, {"0:2", "n/a", false}, {"0:3", "3", true}},
     kJune15},
    {"06/15/2005 12:30:00 1\t2", K::BlankSeparatedValues, {{"0:1", "1\t2", false}}, kJune15},
    {"06/15/2005 12:30:00", K::BlankSeparatedValues, {}, kJune15},
};

std::vector<Value> Walk(const WalkRow& row, ValueCursor& cursor, LogRecord& record) {
    std::vector<Value> values;
    cursor.started = false;
    for (int guard = 0; guard < 100; ++guard) {
        if (!NextLogValue(row.kind, row.line, cursor, record)) {
            EXPECT_FALSE(cursor.started) << "the call that finds no value ends the line";
            return values;
        }
        EXPECT_TRUE(cursor.started);
        const bool isNumber = record.IsNumber();
        values.push_back({std::string(record.name), std::string(record.valueText), isNumber});
        EXPECT_EQ(record.stamp, row.stamp) << "every value shares the line's stamp";
        EXPECT_EQ(record.timeTag, SecondsToDateTime(row.stamp));
        EXPECT_EQ(record.HasTimeTag(), row.stamp >= 86400);
        if (isNumber) {
            EXPECT_EQ(std::stod(std::string(record.valueText)), record.value);
        }
    }
    ADD_FAILURE() << "the walk does not end";
    return values;
}

TEST(NextLogValue, WalksEveryValueOfALine) {
    ValueCursor cursor;
    LogRecord record;
    for (const WalkRow& row : kWalkRows) {
        SCOPED_TRACE("line [" + row.line + "]");
        EXPECT_EQ(Walk(row, cursor, record), row.values);
    }
}

TEST(NextLogValue, CursorHoldsTheLineParts) {
    ValueCursor cursor;
    LogRecord record;
    NextLogValue(K::DateTimeLabelValues, "06/15/2005,12:30:00,ST01,21.5,13.2", cursor, record);
    EXPECT_EQ(cursor.label, "ST01");
    EXPECT_EQ(cursor.rest, "21.5,13.2");
    EXPECT_EQ(cursor.position, 6u);
    EXPECT_EQ(cursor.counter, 1u);
    EXPECT_EQ(record.dateText, "06/15/2005");
    EXPECT_EQ(record.timeText, "12:30:00");

    cursor.started = false;
    NextLogValue(K::BlankSeparatedValues, "06/15/2005 12:30:00   21.5 13.2", cursor, record);
    EXPECT_EQ(cursor.label, "0");
    EXPECT_EQ(cursor.rest, "21.5 13.2");
    EXPECT_EQ(record.timeText, "12:30:00");
}

TEST(NextLogValue, ColumnHeadingsNameBlankSeparatedValues) {
    const std::vector<std::string> headings = {"STAGE", "BATT"};
    ValueCursor cursor;
    cursor.headings = &headings;
    LogRecord record;
    const WalkRow blank{"06/15/2005 12:30:00 1.5 12.9 7", K::BlankSeparatedValues, {}, kJune15};
    std::vector<std::string> names;
    cursor.started = false;
    while (NextLogValue(blank.kind, blank.line, cursor, record)) {
        names.push_back(std::string(record.name) + "/" + std::string(record.headingName));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"0:1/STAGE", "0:2/BATT", "0:3/"}));

    cursor.started = false;
    NextLogValue(K::DateTimeLabelValues, "06/15/2005,12:30:00,ST01,1", cursor, record);
    EXPECT_EQ(record.name, "ST01:1");
    EXPECT_EQ(record.headingName, "") << "headings name blank-separated values only";
}

TEST(NextLogValue, OneValueKindsHoldNoValues) {
    ValueCursor cursor;
    LogRecord record;
    EXPECT_FALSE(NextLogValue(K::NameDateTime, "TEMP,06/15/2005,12:30:00,21.5,G", cursor, record));
    EXPECT_FALSE(cursor.started);
}

TEST(NextLogValue, ControlCharactersNeverStopTheWalk) {
    // A line feed ends every field; the walk must still come to an end.
    ValueCursor cursor;
    LogRecord record;
    int values = 0;
    for (const char* line : {"06/15/2005,12:30:00,ST01,1\n2,3", "06/15/2005 12:30:00 1\r 2"}) {
        const LogLineKind kind = ClassifyLogLine(line);
        cursor.started = false;
        for (int guard = 0; guard < 10; ++guard) {
            if (!NextLogValue(kind, line, cursor, record)) break;
            ++values;
        }
        EXPECT_FALSE(cursor.started) << line;
    }
    EXPECT_GT(values, 0);
}

}  // namespace
}  // namespace vireo
