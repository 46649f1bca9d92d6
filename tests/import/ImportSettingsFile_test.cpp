#include "import/ImportSettingsFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/StatusRecorder.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;
using vireo::testing::StatusRecorder;

class ImportSettingsFileTest : public ::testing::Test {
protected:
    std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }
    static std::string Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void WriteFile(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    testing::TempDir temp_{"vireo-sfg"};
    fs::path dir_ = temp_.path();
    StatusRecorder sink_;
};

TEST_F(ImportSettingsFileTest, StoredListComesBackInOrder) {
    const std::vector<std::string> entries{"TEMP||ST01.AT", "ST01:2||ST01.BATT", " a b ||ST02.WS.AVG"};
    const std::string path = PathOf("three.sfg");
    ASSERT_TRUE(SaveImportSettings(path, entries, sink_));
    EXPECT_EQ(Contents(path), "[Import]\nSensors=TEMP||ST01.AT,ST01:2||ST01.BATT, a b ||ST02.WS.AVG\n");

    std::vector<std::string> loaded{"left over"};
    ASSERT_TRUE(LoadImportSettings(path, loaded, sink_));
    EXPECT_EQ(loaded, entries);
    EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(ImportSettingsFileTest, EmptyListStoresAnEmptyValueAndLoadsAsEmpty) {
    const std::string path = PathOf("empty.sfg");
    ASSERT_TRUE(SaveImportSettings(path, {}, sink_));
    EXPECT_EQ(Contents(path), "[Import]\nSensors=\n");
    std::vector<std::string> loaded{"X||S.T"};
    ASSERT_TRUE(LoadImportSettings(path, loaded, sink_));
    EXPECT_TRUE(loaded.empty());
}

TEST_F(ImportSettingsFileTest, HandWrittenCommasGiveEmptyEntries) {
    const std::string path = PathOf("hand.sfg");
    WriteFile(path, "[Import]\r\nSensors=,A||S1.T1,,B||S1.T2,\r\n");
    std::vector<std::string> loaded;
    ASSERT_TRUE(LoadImportSettings(path, loaded, sink_));
    EXPECT_EQ(loaded, (std::vector<std::string>{"", "A||S1.T1", "", "B||S1.T2"}));
}

TEST_F(ImportSettingsFileTest, CommaInsideAnEntryComesBackAsTwoEntries) {
    const std::string path = PathOf("comma.sfg");
    ASSERT_TRUE(SaveImportSettings(path, {"X||ST01.A,B"}, sink_));
    std::vector<std::string> loaded;
    ASSERT_TRUE(LoadImportSettings(path, loaded, sink_));
    EXPECT_EQ(loaded, (std::vector<std::string>{"X||ST01.A", "B"}));
}

TEST_F(ImportSettingsFileTest, LongListIsNotCut) {
    std::vector<std::string> entries;
    for (int i = 0; i < 3000; ++i) entries.push_back("LOG" + std::to_string(i) + "||ST01.SENSOR" + std::to_string(i));
    const std::string path = PathOf("long.sfg");
    ASSERT_TRUE(SaveImportSettings(path, entries, sink_));
    std::vector<std::string> loaded;
    ASSERT_TRUE(LoadImportSettings(path, loaded, sink_));
    EXPECT_EQ(loaded, entries);
}

TEST_F(ImportSettingsFileTest, MissingFileSectionOrKeyLoadsEmpty) {
    WriteFile(PathOf("other.sfg"), "[Other]\nSensors=A||B.C\n");
    for (const std::string name : {"missing.sfg", "other.sfg"}) {
        SCOPED_TRACE(name);
        std::vector<std::string> loaded{"X||S.T"};
        EXPECT_TRUE(LoadImportSettings(PathOf(name), loaded, sink_));
        EXPECT_TRUE(loaded.empty());
    }
    EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(ImportSettingsFileTest, ByteOrderMarkAtTheStartIsSkipped) {
    struct Row {
        const char* what;
        std::string content;
        std::vector<std::string> entries;
    };
    const std::vector<Row> rows = {
        {"mark, CR LF",
         "\xEF\xBB\xBF[Import]\r\nSensors=TEMP||ST01.AT,ST01:2||ST01.BATT\r\n",
         {"TEMP||ST01.AT", "ST01:2||ST01.BATT"}},
        {"mark, LF", "\xEF\xBB\xBF[Import]\nSensors=TEMP||ST01.AT\n", {"TEMP||ST01.AT"}},
        {"mark before a comment line", "\xEF\xBB\xBF; list\n[Import]\nSensors=TEMP||ST01.AT\n", {"TEMP||ST01.AT"}},
        {"mark only", "\xEF\xBB\xBF", {}},
        {"two marks: the second is text", "\xEF\xBB\xBF\xEF\xBB\xBF[Import]\nSensors=TEMP||ST01.AT\n", {}},
        {"a mark elsewhere is text", "[Import]\nSensors=\xEF\xBB\xBFTEMP||ST01.AT\n", {"\xEF\xBB\xBFTEMP||ST01.AT"}},
    };
    const std::string path = PathOf("marked.sfg");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WriteFile(path, row.content);
        std::vector<std::string> loaded{"X||S.T"};
        EXPECT_TRUE(LoadImportSettings(path, loaded, sink_));
        EXPECT_EQ(loaded, row.entries);
    }
    EXPECT_TRUE(sink_.messages.empty());

    // Stored again, the list is written without the mark.
    WriteFile(path, rows[0].content);
    std::vector<std::string> loaded;
    ASSERT_TRUE(LoadImportSettings(path, loaded, sink_));
    ASSERT_TRUE(SaveImportSettings(path, loaded, sink_));
    EXPECT_EQ(Contents(path), "[Import]\nSensors=TEMP||ST01.AT,ST01:2||ST01.BATT\n");
}

TEST_F(ImportSettingsFileTest, UnreadableFileReportsAndKeepsTheList) {
    const std::string path = PathOf("folder.sfg");
    fs::create_directories(path);  // a folder cannot be read as a file
    std::vector<std::string> loaded{"X||S.T"};
    EXPECT_FALSE(LoadImportSettings(path, loaded, sink_));
    EXPECT_EQ(loaded, (std::vector<std::string>{"X||S.T"}));
    EXPECT_EQ(sink_.messages, (std::vector<std::string>{"Error 101: Unable to read file " + path}));
}

TEST_F(ImportSettingsFileTest, UnwritableFileReportsAndLeavesNoFile) {
    const std::string path = PathOf("no-such-folder/list.sfg");
    EXPECT_FALSE(SaveImportSettings(path, {"A||B.C"}, sink_));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(sink_.messages, (std::vector<std::string>{"Error 101: Unable to save file " + path}));
}

TEST_F(ImportSettingsFileTest, EntryWithALineBreakIsNotStoredHalfway) {
    const std::string path = PathOf("break.sfg");
    WriteFile(path, "[Import]\nSensors=OLD||S.T\n");
    EXPECT_FALSE(SaveImportSettings(path, {"A||B.C\nSensors=evil"}, sink_));
    EXPECT_EQ(Contents(path), "[Import]\nSensors=OLD||S.T\n");
    EXPECT_EQ(sink_.messages, (std::vector<std::string>{"Error 101: Unable to save file " + path}));
}

TEST_F(ImportSettingsFileTest, EventsAreLetThroughOncePerEntry) {
    const std::string path = PathOf("events.sfg");
    ASSERT_TRUE(SaveImportSettings(path, {"A||S.T", "B||S.T", "C||S.T"}, sink_));
    int calls = 0;
    std::vector<std::string> loaded;
    ASSERT_TRUE(LoadImportSettings(path, loaded, sink_, [&] { ++calls; }));
    EXPECT_EQ(calls, 3);
}

}  // namespace
}  // namespace vireo
