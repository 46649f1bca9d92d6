#include "follow/FollowState.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "support/TempDir.h"

namespace vireo {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

FollowRecord Record(std::string path, std::string source) {
    FollowRecord r;
    r.path = std::move(path);
    r.dataSource = std::move(source);
    r.device = 2049;
    r.inode = 131077;
    r.size = 5000;
    r.modifiedNs = 1733650000123456789;
    r.offset = 4990;
    r.lines = 120;
    r.headLength = 4096;
    r.headHash = 0xcbf29ce484222325u;
    return r;
}

TEST(FollowStateTest, TextHoldsOneLinePerRecordAfterTheFormatLine) {
    FollowState state;
    FollowRecord r = Record("/data/a.prn", "TELEM");
    r.headings = {"STAGE", "BATT"};
    state.Put(r);
    FollowRecord listed = Record("/data/b.log", "TELEM");
    listed.listHash = 0x9e3779b97f4a7c15u;
    state.Put(listed);
    EXPECT_EQ(FollowStateText(state),
              "vireo-import positions 2\n"
              "/data/a.prn\tTELEM\t2049\t131077\t5000\t1733650000123456789\t4990\t120\t4096\tcbf29ce484222325\t2\t"
              "STAGE\tBATT\t-\n"
              "/data/b.log\tTELEM\t2049\t131077\t5000\t1733650000123456789\t4990\t120\t4096\tcbf29ce484222325\t0\t"
              "9e3779b97f4a7c15\n");
}

TEST(FollowStateTest, ZonesMakeTheThirdFormatAndOldRecordsStayAsWritten) {
    FollowState state;
    FollowRecord zoned = Record("/data/z.log", "TELEM");
    zoned.logZone = "Europe/Berlin";
    zoned.databaseZone = "UTC+01:00";
    zoned.clock = {true, 1253845800, 1729990800, true};
    state.Put(zoned);
    state.Put(Record("/data/b.log", "TELEM"));
    const std::string text = FollowStateText(state);
    EXPECT_EQ(text.substr(0, text.find('\n')), "vireo-import positions 3");
    EXPECT_NE(text.find("\t-\t-\t-\t-\n"), std::string::npos);  // no list, as written, no place
    EXPECT_NE(text.find("\t-\tEurope/Berlin\tUTC+01:00\t1253845800:1729990800:1\n"), std::string::npos);
    const FollowState back = ParseFollowState(text, "st");
    EXPECT_EQ(*back.Find("/data/z.log", "TELEM"), zoned);
    EXPECT_EQ(*back.Find("/data/b.log", "TELEM"), Record("/data/b.log", "TELEM"));
    for (const char* clock : {"x", "1:2", "1:2:2", "-5:0:0"}) {
        const std::string bad = "vireo-import positions 3\n/a.log\tS\t1\t2\t100\t5\t90\t3\t100\tff\t0\t-\tUTC\tUTC\t" +
                                std::string(clock) + "\n";
        EXPECT_THROW(ParseFollowState(bad, "st"), FollowStateError) << clock;
    }
}

TEST(FollowStateTest, AFileOfTheFirstFormatIsReadWithoutImportLists) {
    const FollowState old = ParseFollowState(
        "vireo-import positions 1\n/data/a.prn\tTELEM\t2049\t131077\t5000\t1733650000123456789\t4990\t120\t4096\t"
        "cbf29ce484222325\t2\tSTAGE\tBATT\n",
        "old");
    FollowRecord expected = Record("/data/a.prn", "TELEM");
    expected.headings = {"STAGE", "BATT"};
    ASSERT_EQ(old.Size(), 1u);
    EXPECT_EQ(*old.Find("/data/a.prn", "TELEM"), expected);
    EXPECT_FALSE(old.Find("/data/a.prn", "TELEM")->listHash);
}

TEST(FollowStateTest, EveryFieldComesBackAlsoWithTabsLineEndsAndBackslashes) {
    FollowState state;
    FollowRecord odd = Record("/data/odd\tname\\with\nbreaks\r.log", "DSN\\2");
    odd.headings = {"AIR\tTEMP", "", "X\\Y"};
    odd.listHash = 0;
    state.Put(odd);
    state.Put(Record("/data/b.log", "TELEM"));
    state.Put(Record("/data/b.log", "OTHER"));  // one file, two data sources: two records
    FollowRecord held = Record("/data/held.log", "TELEM");
    held.size = held.offset = 10;  // a run held before its end: the first bytes hashed reach past it
    state.Put(held);
    const FollowState back = ParseFollowState(FollowStateText(state), "p");
    ASSERT_EQ(back.Size(), 4u);
    EXPECT_EQ(*back.Find(held.path, held.dataSource), held);
    ASSERT_NE(back.Find(odd.path, odd.dataSource), nullptr);
    EXPECT_EQ(*back.Find(odd.path, odd.dataSource), odd);
    EXPECT_EQ(*back.Find("/data/b.log", "OTHER"), Record("/data/b.log", "OTHER"));
    EXPECT_EQ(back.Find("/data/b.log", "NONE"), nullptr);
}

TEST(FollowStateTest, PutReplacesTheRecordOfTheSameFileAndDataSource) {
    FollowState state;
    state.Put(Record("/a.log", "S"));
    FollowRecord later = Record("/a.log", "S");
    later.offset = 5000;
    state.Put(later);
    EXPECT_EQ(state.Size(), 1u);
    EXPECT_EQ(state.Find("/a.log", "S")->offset, 5000u);
}

TEST(FollowStateTest, ABrokenFileIsRefusedWithItsLineAndWhy) {
    const std::string head = "vireo-import positions 1\n";
    const std::string good = "/a.log\tS\t1\t2\t100\t5\t90\t3\t100\tff\t0";
    struct Case {
        std::string text;
        std::string message;
    } cases[] = {
        {"positions\n", "st: line 1: not a positions file of vireo-import"},
        {head + "/a.log\tS\t1\t2\n", "st: line 2: wrong number of fields"},
        {head + good + "\tEXTRA\n", "st: line 2: wrong number of fields"},
        {head + "/a.log\tS\t1\t2\t100\t5\t90\t3\t100\tff\t2\tONE\n", "st: line 2: wrong number of fields"},
        {head + "/a.log\tS\t1\tx\t100\t5\t90\t3\t100\tff\t0\n", "st: line 2: a number is not a number"},
        {head + "/a.log\tS\t1\t2\t100\t5\t-90\t3\t100\tff\t0\n", "st: line 2: a number is not a number"},
        {head + "/a.log\tS\t1\t2\t100\t5\t190\t3\t100\tff\t0\n", "st: line 2: offset beyond the file's size"},
        {head + "/a\\q.log\tS\t1\t2\t100\t5\t90\t3\t100\tff\t0\n", "st: line 2: bad file name or data source"},
        {head + "\tS\t1\t2\t100\t5\t90\t3\t100\tff\t0\n", "st: line 2: bad file name or data source"},
        {head + good + "\n" + good.substr(0, 20) + "\n", "st: line 3: wrong number of fields"},
        {"vireo-import positions 2\n" + good + "\n", "st: line 2: wrong number of fields"},
        {"vireo-import positions 2\n" + good + "\tlist\n", "st: line 2: bad import list hash"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            ParseFollowState(c.text, "st");
            ADD_FAILURE() << "accepted";
        } catch (const FollowStateError& error) {
            EXPECT_EQ(std::string(error.what()), c.message);
        }
    }
}

TEST(FollowStateTest, AMissingOrEmptyFileIsAnEmptyState) {
    TempDir dir;
    EXPECT_EQ(LoadFollowState(dir.File("none.positions")).Size(), 0u);
    WriteFile(dir.File("empty.positions"), "");
    EXPECT_EQ(LoadFollowState(dir.File("empty.positions")).Size(), 0u);
}

TEST(FollowStateTest, AFileIsReadLineByLineAcrossItsBufferAlsoWithoutALastLineEnd) {
    TempDir dir;
    FollowState state;
    for (int i = 0; i < 2000; ++i) state.Put(Record("/data/" + std::string(60, 'a') + std::to_string(i), "S"));
    const std::string text = FollowStateText(state);
    ASSERT_GT(text.size(), 3u * 65536);
    WriteFile(dir.File("st"), text.substr(0, text.size() - 1));
    EXPECT_EQ(LoadFollowState(dir.File("st")).Records(), state.Records());
}

TEST(FollowStateTest, AFolderInPlaceOfTheFileIsReportedWithTheSystemsWords) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("st"));
    try {
        LoadFollowState(dir.File("st"));
        ADD_FAILURE() << "read a folder";
    } catch (const FollowStateError& error) {
        EXPECT_EQ(std::string(error.what()), dir.File("st") + ": Is a directory");
    }
}

TEST(FollowStateTest, SaveReplacesTheFileByARenameAndLeavesNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir.File("st.positions");
    FollowState state;
    state.Put(Record("/a.log", "S"));
    SaveFollowState(path, state);
    // A second name of the old file keeps the old text: the new text came in
    // as a new file, never written over the old one in place.
    ASSERT_EQ(::link(path.c_str(), dir.File("old").c_str()), 0);
    FollowRecord later = Record("/a.log", "S");
    later.offset = 5000;
    state.Put(later);
    SaveFollowState(path, state);
    EXPECT_EQ(LoadFollowState(path).Find("/a.log", "S")->offset, 5000u);
    EXPECT_EQ(LoadFollowState(dir.File("old")).Find("/a.log", "S")->offset, 4990u);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 2u);
}

TEST(FollowStateTest, ASaveThatCannotWriteThrowsAndKeepsTheOldFile) {
    TempDir dir;
    const std::string path = dir.File("missing/st.positions");
    try {
        SaveFollowState(path, FollowState{});
        ADD_FAILURE() << "saved into a folder that does not exist";
    } catch (const FollowStateError& error) {
        EXPECT_EQ(std::string(error.what()),
                  path + ".tmp" + std::to_string(::getpid()) + ": No such file or directory");
    }
    // A folder standing where the file goes: the rename fails, the folder stays.
    std::filesystem::create_directory(dir.File("taken"));
    std::filesystem::create_directory(dir.File("taken/inside"));
    EXPECT_THROW(SaveFollowState(dir.File("taken"), FollowState{}), FollowStateError);
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("taken/inside")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("taken.tmp" + std::to_string(::getpid()))));
}

TEST(FollowStateTest, ASecondHolderIsRefusedUntilTheFirstLetsGo) {
    TempDir dir;
    const std::string path = dir.File("st.positions");
    {
        FollowStateLock first(path);
        try {
            FollowStateLock second(path);
            ADD_FAILURE() << "two holders";
        } catch (const FollowStateError& error) {
            EXPECT_EQ(std::string(error.what()), "The positions file " + path +
                                                     " is in use by another vireo-import (process " +
                                                     std::to_string(::getpid()) + ")");
        }
        // Another process is refused as well.
        const pid_t child = ::fork();
        if (child == 0) {
            try {
                FollowStateLock other(path);
                ::_exit(0);
            } catch (const FollowStateError&) {
                ::_exit(7);
            }
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), 7);
    }
    EXPECT_NO_THROW(FollowStateLock again(path));
}

}  // namespace
}  // namespace vireo
