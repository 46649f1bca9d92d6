#include "logfile/SensorDiscovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "logfile/LogLineReader.h"
#include "scan/AsciiCase.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

using Names = std::vector<std::string>;

struct LineNamesRow {
    std::string line;
    Names names;
};

const LineNamesRow kLineNamesRows[] = {
    {"TEMP,06/15/2005,12:30:00,21.5,G", {"TEMP"}},
    {"TEMP,06/15/2005 12:30:00,21.5,G", {"TEMP"}},
    {"06/15/2005,12:30:00,TEMP,21.5,C,G", {"TEMP"}},
    {"06/15/2005 12:30:00,TEMP,21.5,C,G", {"TEMP"}},
    {"06/15/2005,12:30:00,ST01,21.5,13.2,0.75", {"ST01:1", "ST01:2", "ST01:3"}},
    {"06/15/2005,12:30:00,ST01,21.5,13.2", {"ST01:1", "ST01:2"}},
    {"06/15/2005,12:30:00,ST01,21.5,,", {"ST01:1", "ST01:2"}},  // an empty value counts, a last comma not
    {"06/15/2005 12:30:00 21.5 13.2  0.75", {"0:1", "0:2", "0:3"}},
    {"TEMP", {}},
    {"06/15/2005,12:30:00,ST01", {"ST01"}},
    {"06/15/2005 12:30:00,TEMP,21.5,G", {"21.5:1"}},
    {"06/15/2005 12:30:00,TEMP", {""}},  // an empty name is a name
    {"06/15/2005", {""}},
    {"Sensor,Date,Time,Value,Flag", {"Sensor"}},
    {" Temp \"x\",06/15/2005,12:30:00,1,G", {" Temp \"x\""}},  // names are taken unchanged
    {"06/15/2005,12:30:00,ST01,1,2,3,4,5,6,7,8,9,10",
     {"ST01:1", "ST01:10", "ST01:2", "ST01:3", "ST01:4", "ST01:5", "ST01:6", "ST01:7", "ST01:8", "ST01:9"}},
};

TEST(LogSensorCollector, NamesOfEachLine) {
    for (const LineNamesRow& row : kLineNamesRows) {
        SCOPED_TRACE("line [" + row.line + "]");
        LogSensorCollector collector(false);
        collector.TakeLine(row.line);
        EXPECT_EQ(collector.SortedNames(), row.names);
    }
}

struct HeadingRow {
    std::string line;
    std::optional<Names> names;
};

const HeadingRow kHeadingRows[] = {
    {"\"DATE\" \"TIME\" \"STAGE\" \"BATT\"", Names{"STAGE", "BATT"}},
    {"\"Date\" \"Time\" \"Stage\" \"Air Temp\"", Names{"Stage", "Air", "Temp"}},
    {"\"DATE\",\"TIME\",\"STAGE\",\"BATT\"", Names{",STAGE,BATT"}},
    {"\"DATE\" \"TIME\"", Names{}},
    {"\"DATE\" \"TIME\"  \t\x01 ", Names{}},
    {"'x \"date\" \"time\" \"A\"\t\"B\"", Names{"A\tB"}},  // a tab does not part names
    {";\"DATE\" \"TIME\" A  B \x02 C\x01", Names{"A", "B", "C"}},
    {"\"TIME\" \"DATE\" \"A\"", Names{"DATE", "A"}},
    {"\"DATE\" TIME \"A\"", std::nullopt},
    {"\"DATE\" \"TIMES\"", std::nullopt},
    {"X \"DATE\" \"TIME\" A", std::nullopt},  // not a comment line
    {"", std::nullopt},
};

TEST(ParseColumnHeadings, HeadingLines) {
    for (const HeadingRow& row : kHeadingRows) {
        SCOPED_TRACE("line [" + row.line + "]");
        EXPECT_EQ(ParseColumnHeadings(row.line), row.names);
    }
}

TEST(IsPrnFile, ExtensionInAnyCase) {
    for (const char* path : {"a.prn", "/data/A.PRN", "x.Prn", ".prn", "a.b.prn"}) EXPECT_TRUE(IsPrnFile(path)) << path;
    for (const char* path : {"a.prn.log", "a.prnx", "a.pr", "/x.prn/file", "prn", "", "a.csv"}) {
        EXPECT_FALSE(IsPrnFile(path)) << path;
    }
}

TEST(NameLess, OrdersLikeStrcasecmp) {
    Names names = {"b", "A", "_x", "a1", "[", "B2", "\xe9", "a"};
    std::sort(names.begin(), names.end(), [](const std::string& x, const std::string& y) { return NameLess(x, y); });
    EXPECT_EQ(names, (Names{"[", "_x", "A", "a", "a1", "b", "B2", "\xe9"}));
    EXPECT_TRUE(SameName("Temp", "tEMP"));
    EXPECT_FALSE(SameName("Temp", "Temp "));
    EXPECT_FALSE(SameName("\xe9", "\xc9"));  // only ASCII letters fold
    EXPECT_EQ(NameHash{}("Temp"), NameHash{}("TEMP"));
}

class ReadSensorNamesTest : public ::testing::Test {
protected:
    Names Read(const std::string& name, const std::vector<std::string>& lines) {
        const std::string path = folder_.WriteLines(name, lines);
        return ReadSensorNames(path, IsPrnFile(path));
    }
    testing::TempDir folder_;
};

TEST_F(ReadSensorNamesTest, DuplicatesInAnotherCaseKeepTheFirstSpelling) {
    EXPECT_EQ(Read("d.log", {"temp,06/15/2005,12:30:00,1,G", "TEMP,06/15/2005,12:31:00,2,G",
                             "06/15/2005,12:32:00,Temp,3,C,G", "batt,06/15/2005,12:30:00,1,G"}),
              (Names{"batt", "temp"}));
}

TEST_F(ReadSensorNamesTest, CommentAndEmptyLinesAreSkipped) {
    EXPECT_EQ(
        Read("c.csv", {"\"DATE\",\"TIME\",\"STAGE\"", "", "'A,06/15/2005,12:30:00,1,G", ":B,06/15/2005,12:30:00,1,G",
                       ";C,06/15/2005,12:30:00,1,G", "D,06/15/2005,12:30:00,1,G", "", ""}),
        (Names{"D"}));
}

TEST_F(ReadSensorNamesTest, PrnHeadingLineNamesTheSensorsAndEndsReading) {
    EXPECT_EQ(Read("s.PRN", {"\"DATE\" \"TIME\" \"STAGE\" \"BATT\"", "06/15/2005 12:30:00 1.5 12.9",
                             "X,06/15/2005,12:30:00,1,G"}),
              (Names{"BATT", "STAGE"}));
    EXPECT_EQ(Read("s.prn", {"\"Date\" \"Time\" \"Stage\" \"Air Temp\""}), (Names{"Air", "Stage", "Temp"}));
    EXPECT_EQ(Read("c.prn", {"\"DATE\",\"TIME\",\"STAGE\",\"BATT\""}), (Names{",STAGE,BATT"}));
    EXPECT_EQ(Read("e.prn", {"X,06/15/2005,12:30:00,1,G", "\"DATE\" \"TIME\"", "Y,06/15/2005,12:30:00,1,G"}),
              (Names{"X"}));
}

TEST_F(ReadSensorNamesTest, PrnQuotedLineWithoutBothHeadingsIsARecord) {
    EXPECT_EQ(Read("q.prn", {"\"DATE\" only", "'TEMP,06/15/2005,12:30:00,1,G"}), (Names{"'TEMP"}));
    EXPECT_EQ(Read("q.log", {"'TEMP,06/15/2005,12:30:00,1,G"}), (Names{}));
}

TEST_F(ReadSensorNamesTest, OnlyTheFirstBlankSeparatedLineIsRead) {
    EXPECT_EQ(Read("b.log", {"A,06/15/2005,12:30:00,1,G", "06/15/2005 12:30:00 1 2", "06/15/2005 12:31:00 1 2 3 4",
                             "Z,06/15/2005,12:30:00,1,G"}),
              (Names{"0:1", "0:2", "A"}));
}

TEST_F(ReadSensorNamesTest, ManyNamesManyLines) {
    std::vector<std::string> lines;
    for (int i = 0; i < 20000; ++i) {
        std::string name = "Sensor" + std::to_string(i % 5000);
        if (i >= 5000) std::transform(name.begin(), name.end(), name.begin(), ::toupper);
        lines.push_back(name + ",06/15/2005,12:30:00,1,G");
    }
    const Names names = Read("many.log", lines);
    ASSERT_EQ(names.size(), 5000u);
    EXPECT_EQ(names.front(), "Sensor0");
    EXPECT_EQ(names[1], "Sensor1");
    EXPECT_EQ(names[2], "Sensor10");
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(),
                               [](const std::string& a, const std::string& b) { return NameLess(a, b); }));
}

TEST_F(ReadSensorNamesTest, EveryLineEndEndsALine) {
    const std::vector<std::string> lines = {"; export", "TEMP,06/15/2005,12:30:00,1,G", "BATT,06/15/2005,12:30:00,2,G",
                                            "06/15/2005,12:30:00,RH,3,C,G", "06/15/2005 12:30:00 1 2"};
    for (const std::string lineEnd : {"\r", "\n", "\r\n"}) {
        SCOPED_TRACE("line end " + std::to_string(lineEnd.size()) + " " + std::to_string(lineEnd.front()));
        std::string bytes;
        for (const std::string& line : lines) bytes += line + lineEnd;
        const std::string path = folder_.Write("ends.log", bytes);
        EXPECT_EQ(ReadSensorNames(path, false), (Names{"0:1", "0:2", "BATT", "RH", "TEMP"}));
    }
    // A .PRN file whose heading line ends at a lone carriage return.
    const std::string prn =
        folder_.Write("ends.prn", "\"DATE\" \"TIME\" \"STAGE\" \"BATT\"\r06/15/2005 12:30:00 1 2\r");
    EXPECT_EQ(ReadSensorNames(prn, true), (Names{"BATT", "STAGE"}));
}

TEST_F(ReadSensorNamesTest, ACollectionReportsItsProgressAndStopsWhenCancelled) {
    std::string text;
    for (int i = 0; i < 60000; ++i) text += "TEMP,06/15/2005,12:30:00,21.5,G\nBATT,06/15/2005,12:30:00,13.5,G\n";
    const std::string path = folder_.Write("big.log", text);
    struct Row {
        bool cancelAtStart;
        bool completed;
        Names names;
    };
    for (const Row& row : {Row{false, true, {"BATT", "TEMP"}}, Row{true, false, {}}}) {
        SCOPED_TRACE(row.cancelAtStart);
        std::atomic<bool> cancel{row.cancelAtStart};
        std::vector<std::uint64_t> reported;
        DiscoveryControl control;
        control.cancel = &cancel;
        control.progress = [&](std::uint64_t bytes, std::uint64_t size) {
            EXPECT_EQ(size, text.size());
            reported.push_back(bytes);
        };
        LogSensorCollector collector(false);
        EXPECT_EQ(CollectSensorNames(path, false, collector, control), row.completed);
        EXPECT_EQ(collector.SortedNames(), row.names);
        ASSERT_FALSE(reported.empty());
        EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
        EXPECT_EQ(reported.back(), row.completed ? text.size() : 0u);
        if (row.completed) {
            EXPECT_GE(reported.size(), text.size() / kDiscoveryProgressStep);
        }
    }
}

TEST_F(ReadSensorNamesTest, MissingFileThrows) {
    const std::string path = (folder_.path() / "none.log").string();
    EXPECT_THROW(ReadSensorNames(path, false), LogFileError);
}

}  // namespace
}  // namespace vireo
