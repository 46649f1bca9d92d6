// What storing and loading an import list do when the .sfg file misbehaves:
// locked by another program, made a folder or a FIFO, garbled, or on a full
// disk. Each failure is one "Error 101" line; the list in memory and the file
// on disk stay as they were.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "import/ImportSettingsFile.h"
#include "support/FaultInjection.h"
#include "support/StatusRecorder.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::FileNamesIn;
using testing::ReadFile;
using testing::StatusRecorder;
using testing::WriteFile;

const std::vector<std::string> kEntries{"TEMP||ST01.AT", "ST01:2||ST01.BATT"};
constexpr const char* kStored = "[Import]\nSensors=TEMP||ST01.AT,ST01:2||ST01.BATT\n";

TEST(FaultImportSettings, FileLockedByAnotherProgramIsStoredAndLoadedWithoutWaiting) {
    testing::TempDir dir;
    const std::string path = dir.File("pairs.sfg");
    WriteFile(path, "[Import]\nSensors=OLD||ST09.X\n");
    testing::LockHolder lock(path);
    StatusRecorder sink;
    ASSERT_TRUE(SaveImportSettings(path, kEntries, sink));
    std::vector<std::string> loaded;
    ASSERT_TRUE(LoadImportSettings(path, loaded, sink));
    EXPECT_EQ(loaded, kEntries);
    EXPECT_TRUE(sink.messages.empty());
}

TEST(FaultImportSettings, FolderOrFifoInPlaceOfTheFileIsReportedAndLeftAsItIs) {
    testing::TempDir dir;
    const std::string path = dir.File("pairs.sfg");
    const std::vector<std::pair<const char*, int (*)(const char*)>> makers = {
        {"a folder", [](const char* p) { return ::mkdir(p, 0755); }},
        {"a FIFO without a writer", [](const char* p) { return ::mkfifo(p, 0600); }},
    };
    for (const auto& [what, make] : makers) {
        SCOPED_TRACE(what);
        ASSERT_EQ(make(path.c_str()), 0);
        struct stat before {};
        ASSERT_EQ(::stat(path.c_str(), &before), 0);

        StatusRecorder sink;
        std::vector<std::string> list{"KEPT||ST01.X"};
        EXPECT_FALSE(LoadImportSettings(path, list, sink));
        EXPECT_EQ(list, (std::vector<std::string>{"KEPT||ST01.X"})) << "the list is untouched";
        EXPECT_EQ(sink.messages, (std::vector<std::string>{"Error 101: Unable to read file " + path}));
        if (S_ISDIR(before.st_mode)) {
            sink.messages.clear();
            EXPECT_FALSE(SaveImportSettings(path, kEntries, sink));
            EXPECT_EQ(sink.messages, (std::vector<std::string>{"Error 101: Unable to save file " + path}));
            EXPECT_TRUE(fs::is_directory(path));
        }
        EXPECT_EQ(FileNamesIn(dir.path().string()), (std::vector<std::string>{"pairs.sfg"}));
        fs::remove(path);
    }
}

TEST(FaultImportSettings, GarbledFilesLoadWhatTheyHoldOrAreReported) {
    struct Row {
        const char* what;
        std::string content;
        bool loads;
        std::vector<std::string> entries;  // the list afterwards
    };
    const std::vector<Row> rows = {
        {"cut in the middle of an entry",
         "[Import]\nSensors=TEMP||ST01.AT,ST01:2||ST0",
         true,
         {"TEMP||ST01.AT", "ST01:2||ST0"}},
        {"cut in the section line", "[Imp", true, {}},
        {"binary with zero bytes", "[Import]\nSensors=A||B.C\0\xff\x01"s, false, {"KEPT||ST01.X"}},
        {"binary without zero bytes", "\x89PNG\r\n\x1a\n\xff\xfe[Import\x80]\nSensors\x01=", true, {}},
    };
    testing::TempDir dir;
    const std::string path = dir.File("pairs.sfg");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WriteFile(path, row.content);
        StatusRecorder sink;
        std::vector<std::string> list{"KEPT||ST01.X"};
        EXPECT_EQ(LoadImportSettings(path, list, sink), row.loads);
        EXPECT_EQ(list, row.entries);
        EXPECT_EQ(sink.messages, row.loads ? std::vector<std::string>{}
                                           : std::vector<std::string>{"Error 101: Unable to read file " + path});
    }
}

TEST(FaultImportSettings, StoreOnAFullDiskIsReportedAndKeepsTheOldFile) {
    testing::SmallDisk disk;
    const std::string path = disk.File("pairs.sfg");
    StatusRecorder sink;
    ASSERT_TRUE(SaveImportSettings(path, kEntries, sink));

    disk.Fill();
    EXPECT_FALSE(SaveImportSettings(path, {"NEW||ST02.WS"}, sink));
    EXPECT_EQ(sink.messages, (std::vector<std::string>{"Error 101: Unable to save file " + path}));
    disk.Free();
    EXPECT_EQ(ReadFile(path), kStored);
    EXPECT_EQ(FileNamesIn(disk.Path()), (std::vector<std::string>{"pairs.sfg"})) << "no temporary file is left";
}

}  // namespace
}  // namespace vireo
