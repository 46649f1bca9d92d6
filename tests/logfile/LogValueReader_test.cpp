#include "logfile/LogValueReader.h"

#include <gtest/gtest.h>
#include <unistd.h>

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

TEST(LogValueReader, AFileThatCannotBeOpenedThrows) {
    TempDir folder;
    EXPECT_THROW(LogValueReader((folder.path() / "missing.log").string()), LogFileError);
}

}  // namespace
}  // namespace vireo
