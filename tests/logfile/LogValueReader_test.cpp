#include "logfile/LogValueReader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace vireo {
namespace {

using testing::TempDir;

constexpr SecondStamp kJune15 = 645539400;  // 2005-06-15 12:30:00

/// Writes down every event of a reading as one text, in order.
class Recorder : public LogValueVisitor {
public:
    CommentAction onComment = CommentAction::Skip;
    std::uint64_t stopAtValueOfLine = 0;  // Value answers false on this line
    std::vector<std::string> events;
    std::vector<std::vector<std::string>> headingsSeen;
    std::vector<LogRecord> values;  // texts not kept: only valid during the reading
    std::vector<std::string> names;
    std::vector<std::string> headingNames;
    std::vector<LogLine> valueLines;

    void LineRead(const LogLine& line) { events.push_back("read " + Where(line)); }
    void LineTooLong(const LogLine& line) { events.push_back("too long " + Where(line)); }
    CommentAction CommentLine(const LogLine& line, const std::vector<std::string>* headings) {
        events.push_back(std::string(headings != nullptr ? "heading " : "comment ") + Where(line));
        if (headings != nullptr) headingsSeen.push_back(*headings);
        return onComment;
    }
    bool Value(const LogRecord& value, const LogLine& line) {
        events.push_back("value " + std::to_string(line.number) + " " + std::string(value.name));
        values.push_back(value);
        names.emplace_back(value.name);
        headingNames.emplace_back(value.headingName);
        valueLines.push_back(line);
        return line.number != stopAtValueOfLine;
    }
    bool LineDone(const LogLine& line) {
        events.push_back("done " + Where(line) + " kind " + std::to_string(static_cast<int>(line.kind)));
        return true;
    }
    void FileShrank() { events.push_back("shrank"); }

private:
    static std::string Where(const LogLine& line) {
        return std::to_string(line.number) + " [" + std::string(line.text) + "] " + std::to_string(line.start) + ".." +
               std::to_string(line.end);
    }
};

TEST(LogValueReader, EveryLineGivesItsEventsInFileOrder) {
    TempDir folder;
    const std::string longLine(100, 'x');
    // Line ends of every kind: CR LF, LF, CR, and none after the last line.
    const std::string path = folder.Write("events.log",
                                          "\"comment\r\n"                      // 1: 0..10
                                          "TEMP,06/15/2005,12:30:00,21.5,G\n"  // 2: 10..42
                                          "\n"                                 // 3: 42..43
                                              + longLine + "\r"                // 4: 43..144
                                              + "garbage\r\n"                  // 5: 144..153
                                              + "06/15/2005 12:30:00 1 2");    // 6: 153..176
    LogValueReader reader(path, false, 1u << 20, 64);
    Recorder recorder;
    reader.Read(recorder);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{
                                   "read 1 [\"comment] 0..10",
                                   "comment 1 [\"comment] 0..10",
                                   "read 2 [TEMP,06/15/2005,12:30:00,21.5,G] 10..42",
                                   "value 2 TEMP",
                                   "done 2 [TEMP,06/15/2005,12:30:00,21.5,G] 10..42 kind 1",
                                   "read 3 [] 42..43",
                                   "read 4 [] 43..144",
                                   "too long 4 [] 43..144",
                                   "read 5 [garbage] 144..153",
                                   "done 5 [garbage] 144..153 kind 0",
                                   "read 6 [06/15/2005 12:30:00 1 2] 153..176",
                                   "value 6 0:1",
                                   "value 6 0:2",
                                   "done 6 [06/15/2005 12:30:00 1 2] 153..176 kind 6",
                               }));
    EXPECT_EQ(reader.FileSize(), 176u);
}

struct ValueRow {
    std::string line;
    std::vector<std::string> names;
    std::vector<ValueState> valueStates;
    std::vector<double> numbers;
    TimeTagState timeTagState;
    SecondStamp stamp;
};

const ValueRow kValueRows[] = {
    {"TEMP,06/15/2005,12:30:00,21.5,G", {"TEMP"}, {ValueState::Number}, {21.5}, TimeTagState::Usable, kJune15},
    {"TEMP,06/15/2005,12:30:00,n/a,G", {"TEMP"}, {ValueState::NotANumber}, {0}, TimeTagState::Usable, kJune15},
    {"TEMP,06/15/2005,12:30:00,1e309,G", {"TEMP"}, {ValueState::OutOfDoubleRange}, {0}, TimeTagState::Usable, kJune15},
    // A date out of its calendar, and one not of the one-value kinds' length.
    {"TEMP,02/30/2005,12:00:00,99,G", {"TEMP"}, {ValueState::Number}, {99}, TimeTagState::NoUsableDateTime, 0},
    {"TEMP,6/15/2005,12:30:00,21.5,G", {"TEMP"}, {ValueState::Number}, {21.5}, TimeTagState::NoUsableDateTime, 0},
    {"06/15/2005 12:30:00,TEMP,-2,C,G", {"TEMP"}, {ValueState::Number}, {-2}, TimeTagState::Usable, kJune15},
    {"06/15/2005,12:30:00,ST01,1,x,1e400",
     {"ST01:1", "ST01:2", "ST01:3"},
     {ValueState::Number, ValueState::NotANumber, ValueState::OutOfDoubleRange},
     {1, 0, 0},
     TimeTagState::Usable,
     kJune15},
    {"13/45/2005 12:00:00 1 2",
     {"0:1", "0:2"},
     {ValueState::Number, ValueState::Number},
     {1, 2},
     TimeTagState::NoUsableDateTime,
     0},
    {"garbage", {}, {}, {}, TimeTagState::NoUsableDateTime, 0},
};

TEST(LineValueWalk, EachValueSaysWhyItIsNoNumberOrHasNoTimeTag) {
    LineValueWalk walk;
    LogRecord value;
    for (const ValueRow& row : kValueRows) {
        SCOPED_TRACE("line [" + row.line + "]");
        walk.Start(ClassifyLogLine(row.line), row.line, nullptr);
        std::size_t k = 0;
        while (walk.Next(value)) {
            ASSERT_LT(k, row.names.size());
            EXPECT_EQ(value.name, row.names[k]);
            EXPECT_EQ(value.valueState, row.valueStates[k]);
            EXPECT_EQ(value.IsNumber(), row.valueStates[k] == ValueState::Number);
            EXPECT_EQ(value.value, row.numbers[k]);
            EXPECT_EQ(value.timeTagState, row.timeTagState);
            EXPECT_EQ(value.HasTimeTag(), row.timeTagState == TimeTagState::Usable);
            EXPECT_EQ(value.stamp, row.stamp);
            EXPECT_EQ(value.timeTag, SecondsToDateTime(row.stamp));
            ++k;
        }
        EXPECT_EQ(k, row.names.size());
        EXPECT_FALSE(walk.Next(value)) << "a finished line stays finished";
    }
}

TEST(LineValueWalk, NamesOnlyGivesTheNamesOfTheFullWalk) {
    LineValueWalk walk;
    LogRecord value;
    for (const ValueRow& row : kValueRows) {
        SCOPED_TRACE("line [" + row.line + "]");
        walk.Start(ClassifyLogLine(row.line), row.line, nullptr, LineValueWalk::Reads::NamesOnly);
        std::vector<std::string> names;
        while (walk.Next(value)) {
            names.emplace_back(value.name);
            EXPECT_TRUE(value.valueText.empty());
            EXPECT_EQ(value.stamp, 0);
        }
        EXPECT_EQ(names, row.names);
    }
}

TEST(LogValueReader, PrnColumnHeadingsNameTheBlankSeparatedValues) {
    struct Row {
        std::string fileName;
        std::vector<std::vector<std::string>> headingsSeen;
        std::vector<std::string> headingNames;
    };
    const Row rows[] = {
        {"logger.PRN", {{"T1", "T2"}}, {"T1", "T2", ""}},
        {"logger.prn", {{"T1", "T2"}}, {"T1", "T2", ""}},
        {"logger.log", {}, {"", "", ""}},  // only a .PRN file has a heading line
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fileName);
        TempDir folder;
        const std::string path =
            folder.WriteLines(row.fileName, {"\"DATE\" \"TIME\" \"T1\" \"T2\"", "06/15/2005 12:30:00 1 2 3"});
        LogValueReader reader(path);
        Recorder recorder;
        reader.Read(recorder);
        EXPECT_EQ(recorder.headingsSeen, row.headingsSeen);
        EXPECT_EQ(recorder.names, (std::vector<std::string>{"0:1", "0:2", "0:3"}));
        EXPECT_EQ(recorder.headingNames, row.headingNames);
    }
}

TEST(LogValueReader, TheVisitorDecidesWhatACommentLineIsAndWhenReadingEnds) {
    TempDir folder;
    const std::string path = folder.WriteLines(
        "visitor.log", {"'TEMP,06/15/2005,12:30:00,1,G", "TEMP,06/15/2005,12:30:00,2,G", "06/15/2005 12:30:00 3 4 5"});
    struct Row {
        const char* what;
        CommentAction onComment;
        std::uint64_t stopAtValueOfLine;
        std::vector<std::string> names;
    };
    const Row rows[] = {
        {"skipped", CommentAction::Skip, 0, {"TEMP", "0:1", "0:2", "0:3"}},
        {"read as a record", CommentAction::ReadAsRecord, 0, {"'TEMP", "TEMP", "0:1", "0:2", "0:3"}},
        {"ends the reading", CommentAction::Stop, 0, {}},
        {"a value ends the reading at once", CommentAction::Skip, 3, {"TEMP", "0:1"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LogValueReader reader(path);
        Recorder recorder;
        recorder.onComment = row.onComment;
        recorder.stopAtValueOfLine = row.stopAtValueOfLine;
        reader.Read(recorder);
        EXPECT_EQ(recorder.names, row.names);
        if (row.stopAtValueOfLine != 0) {
            EXPECT_EQ(recorder.events.back(), "value 3 0:1") << "no LineDone after it";
        }
    }
}

TEST(LogValueReader, GoOnFalseReadsNothing) {
    TempDir folder;
    const std::string path = folder.WriteLines("stop.log", {"TEMP,06/15/2005,12:30:00,1,G"});
    struct Stopped : Recorder {
        bool GoOn() { return false; }
    } stopped;
    LogValueReader reader(path);
    reader.Read(stopped);
    EXPECT_TRUE(stopped.events.empty());
}

TEST(LogValueReader, TheOffsetAfterALineIsWhereTheNextOneStarts) {
    TempDir folder;
    std::string bytes;
    for (int k = 0; k < 500; ++k)
        bytes += "TEMP,06/15/2005,12:30:00," + std::to_string(k) + ",G" + (k % 2 ? "\r\n" : "\n");
    const std::string path = folder.Write("offsets.log", bytes);
    // A small buffer: lines cross its end.
    LogValueReader reader(path, false, 64);
    Recorder recorder;
    reader.Read(recorder);
    ASSERT_EQ(recorder.valueLines.size(), 500u);
    std::uint64_t start = 0;
    for (std::size_t k = 0; k < recorder.valueLines.size(); ++k) {
        const LogLine& line = recorder.valueLines[k];
        EXPECT_EQ(line.number, k + 1);
        EXPECT_EQ(line.start, start);
        EXPECT_EQ(bytes.substr(line.start, 25), "TEMP,06/15/2005,12:30:00,");
        EXPECT_EQ(recorder.values[k].value, static_cast<double>(k));
        start = line.end;
    }
    EXPECT_EQ(start, bytes.size());
}

TEST(LogValueReader, AFileCutShortWhileReadIsTold) {
    TempDir folder;
    std::string bytes;
    for (int k = 0; k < 2000; ++k) bytes += "TEMP,06/15/2005,12:30:00," + std::to_string(k) + ",G\r\n";
    const std::string path = folder.Write("shrinks.log", bytes);
    struct Cutter : Recorder {
        std::string path;
        void LineRead(const LogLine& line) {
            if (line.number == 1) {
                EXPECT_EQ(::truncate(path.c_str(), 4096), 0);
            }
        }
    } cutter;
    cutter.path = path;
    LogValueReader reader(path, false, 1024);
    reader.Read(cutter);
    ASSERT_FALSE(cutter.events.empty());
    EXPECT_EQ(cutter.events.back(), "shrank");
    EXPECT_LT(cutter.values.size(), 2000u);

    // Read whole, the same file tells nothing.
    LogValueReader whole(path, false, 1024);
    Recorder recorder;
    whole.Read(recorder);
    ASSERT_FALSE(recorder.events.empty());
    EXPECT_NE(recorder.events.back(), "shrank");
}

/// Appends `bytes` to the file at `path`.
void Append(const std::string& path, const std::string& bytes) {
    FILE* file = std::fopen(path.c_str(), "ab");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

std::string ValueLine(int value, const char* end = "\n") {
    return "TEMP,06/15/2005,12:30:00," + std::to_string(value) + ",G" + end;
}

TEST(LogValueReader, FromAnyLineStartTheEventsAreThoseOfTheWholeReadingFromThere) {
    TempDir folder;
    const std::string bytes = ValueLine(1) + "'a comment\r\n" + ValueLine(2, "\r") + "\n" +
                              "06/15/2005,12:30:00,ST01,1,2,3\r\n" + "JUNK\n" + ValueLine(3, "");
    const std::string path = folder.Write("tail.log", bytes);
    for (const std::size_t buffer : {3u, 64u, 1u << 20}) {
        SCOPED_TRACE(buffer);
        LogValueReader whole(path, false, buffer);
        Recorder all;
        whole.Read(all);
        for (std::size_t first = 0; first < all.events.size(); ++first) {
            if (all.events[first].rfind("read ", 0) != 0) continue;
            // "read N [text] start..end"
            const std::string& event = all.events[first];
            const std::uint64_t number = std::stoull(event.substr(5));
            const std::uint64_t start = std::stoull(event.substr(event.rfind(' ') + 1));
            SCOPED_TRACE(event);
            LogValueReader tail(path, false, buffer);
            tail.StartAt({start, number - 1, {}, {}});
            Recorder from;
            tail.Read(from);
            EXPECT_EQ(from.events,
                      std::vector<std::string>(all.events.begin() + static_cast<long>(first), all.events.end()));
            EXPECT_EQ(tail.BytesConsumed(), bytes.size());
        }
    }
}

TEST(LogValueReader, CompleteLinesOnlyLeavesALastLineWithoutItsLineEnd) {
    struct Row {
        const char* what;
        std::string bytes;
        std::vector<std::string> names;  // of the values read
        std::size_t consumed;
    };
    const std::string one = ValueLine(1);
    const Row rows[] = {
        {"last line unfinished", one + "TEMP,06/15/2005,12:3", {"TEMP"}, one.size()},
        {"every line ended", one + ValueLine(2), {"TEMP", "TEMP"}, 2 * one.size()},
        {"a carriage return ends a line", one + ValueLine(2, "\r"), {"TEMP", "TEMP"}, 2 * one.size()},
        {"a control-Z ends the text and its line",
         one + ValueLine(2, "\x1a") + "more",
         {"TEMP", "TEMP"},
         2 * one.size() - 1},
        {"nothing ended yet", "TEMP,06/15", {}, 0},
        {"empty", "", {}, 0},
    };
    for (const std::size_t buffer : {3u, 1u << 20}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.what) + " buffer " + std::to_string(buffer));
            TempDir folder;
            const std::string path = folder.Write("growing.log", row.bytes);
            LogValueReader reader(path, false, buffer);
            reader.SetCompleteLinesOnly(true);
            Recorder recorder;
            reader.Read(recorder);
            EXPECT_EQ(recorder.names, row.names);
            EXPECT_EQ(reader.BytesConsumed(), row.consumed);
            EXPECT_TRUE(std::find(recorder.events.begin(), recorder.events.end(), "shrank") == recorder.events.end());
        }
    }
}

TEST(LogValueReader, ALineFinishedLaterIsReadOnceWhereTheLastReadingStopped) {
    TempDir folder;
    const std::string path = folder.Write("growing.log", ValueLine(1) + "TEMP,06/15/2005,12:3");
    LogValueReader first(path);
    first.SetCompleteLinesOnly(true);
    Recorder before;
    first.Read(before);
    Append(path, "0:00,2,G\r");  // the carriage return of a CR LF; the line feed comes later
    LogValueReader second(path);
    second.SetCompleteLinesOnly(true);
    second.StartAt({first.BytesConsumed(), first.LinesRead(), {}, {}});
    Recorder middle;
    second.Read(middle);
    EXPECT_EQ(middle.events, (std::vector<std::string>{"read 2 [TEMP,06/15/2005,12:30:00,2,G] 29..58", "value 2 TEMP",
                                                       "done 2 [TEMP,06/15/2005,12:30:00,2,G] 29..58 kind 1"}));
    Append(path, "\n" + ValueLine(3));
    LogValueReader third(path);
    third.SetCompleteLinesOnly(true);
    third.StartAt({second.BytesConsumed(), second.LinesRead(), {}, {}});
    Recorder after;
    third.Read(after);
    // The line feed after the carriage return is no line of its own.
    EXPECT_EQ(after.events, (std::vector<std::string>{"read 3 [TEMP,06/15/2005,12:30:00,3,G] 59..88", "value 3 TEMP",
                                                      "done 3 [TEMP,06/15/2005,12:30:00,3,G] 59..88 kind 1"}));
    EXPECT_EQ(third.BytesConsumed(), 88u);
}

TEST(LogValueReader, TheHeadingsGivenAtTheStartNameTheValues) {
    TempDir folder;
    const std::string heading = "\"DATE\" \"TIME\" \"T1\" \"T2\"\r\n";
    const std::string path = folder.Write("start.PRN", heading + "06/15/2005 12:30:00 1 2\r\n");
    LogValueReader reader(path);
    reader.StartAt({heading.size(), 1, {"T1", "T2"}, {}});
    Recorder recorder;
    reader.Read(recorder);
    EXPECT_EQ(recorder.headingNames, (std::vector<std::string>{"T1", "T2"}));
    LogValueReader without(path);
    without.StartAt({heading.size(), 1, {}, {}});
    Recorder plain;
    without.Read(plain);
    EXPECT_EQ(plain.headingNames, (std::vector<std::string>{"", ""}));
}

TEST(LogValueReader, AFileThatCannotBeOpenedThrows) {
    TempDir folder;
    EXPECT_THROW(LogValueReader((folder.path() / "missing.log").string()), LogFileError);
}

}  // namespace
}  // namespace vireo
