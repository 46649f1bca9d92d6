#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/Session.h"
#include "import/ImportRun.h"
#include "import/RejectsFile.h"
#include "scan/Regional.h"
#include "support/FaultInjection.h"
#include "support/ImportModes.h"
#include "support/StatusRecorder.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"

namespace vireo {
namespace {

using testing::Backend;
using testing::ReadFile;
using testing::StatusRecorder;
using testing::TempDir;
using testing::TestDataSource;
using testing::WriteFile;

// Every kind of line an import does not write, between lines it writes.
constexpr const char* kLog =
    "\"Vireo 4620 export\r\n"
    "TEMP,06/15/2005,12:30:00,21.5,G\r\n"
    "TEMP,06/15/2005,13:10:00,n/a,B\r\n"
    "TEMP,6/15/2005,13:20:00,22.0,G\r\n"
    "06/15/2005,13:30:00,ST01,1.25,7.5,55\r\n"
    "\r\n"
    "UNPAIRED,06/15/2005,12:30:00,1,\"G\xe9\"\r\n"
    "JUNK\r\n"
    "TEMP,06/15/2005,13:40:00,1e999,G\r\n";

const std::vector<std::string> kPairs{"TEMP||ST01.TEMP", "ST01:1||ST01.STAGE", "ST01:3||ST01.RH"};

const std::string kHeader = "line,reason,name,text\r\n";
const std::string kRejectedLines =
    "3,\"not a number\",\"TEMP\",\"TEMP,06/15/2005,13:10:00,n/a,B\"\r\n"
    "4,\"no usable time tag\",\"TEMP\",\"TEMP,6/15/2005,13:20:00,22.0,G\"\r\n"
    "5,\"no pair for that name\",\"ST01:2\",\"06/15/2005,13:30:00,ST01,1.25,7.5,55\"\r\n"
    "7,\"no pair for that name\",\"UNPAIRED\",\"UNPAIRED,06/15/2005,12:30:00,1,\"\"G\xe9\"\"\"\r\n"
    "8,\"not a record\",\"\",\"JUNK\"\r\n"
    "9,\"number out of range\",\"TEMP\",\"TEMP,06/15/2005,13:40:00,1e999,G\"\r\n";

/// Each case on each database, one value at a time and in fast mode.
class RejectsTest : public testing::ImportModeTest {
protected:
    void SetUp() override {
        ImportModeTest::SetUp();
        WriteFile(dir_.File("data.log"), kLog);
    }

    ImportResult Import(RejectsFile* rejects, const RunControl& control = RunControl{}) {
        ImportRequest request;
        request.logFile = dir_.File("data.log");
        request.importList = kPairs;
        request.route = mode();
        request.rejects = rejects;
        SensorPairs table;
        ImportObserver observer;
        return RunImport(request, table, *writer_, sink_, observer, control);
    }

    TempDir dir_;
    StatusRecorder sink_;
};

TEST_P(RejectsTest, EveryLineOrValueNotWrittenIsARowWithItsReasonAndBytes) {
    const std::string path = dir_.File("rejects.csv");
    ImportResult result;
    {
        RejectsFile rejects(path);
        result = Import(&rejects);
        EXPECT_EQ(rejects.Rows(), 6);
        rejects.Finish();
    }
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.counts.inserted, 3);
    EXPECT_EQ(ReadFile(path), kHeader + kRejectedLines);
}

TEST_P(RejectsTest, TheReportChangesNothingOfWhatTheImportWritesOrSays) {
    const ImportResult without = Import(nullptr);
    const std::vector<std::string> messages = sink_.messages;
    source_->Execute("DELETE FROM TF_DATA1;\n");
    sink_.messages.clear();
    RejectsFile rejects(dir_.File("rejects.csv"));
    const ImportResult with = Import(&rejects);
    EXPECT_EQ(sink_.messages, messages);
    EXPECT_EQ(with.counts.inserted, without.counts.inserted);
    EXPECT_EQ(with.counts.withoutTimeTag, without.counts.withoutTimeTag);
    EXPECT_EQ(with.counts.outOfRange, without.counts.outOfRange);
    EXPECT_EQ(with.counts.lines, without.counts.lines);
}

TEST_P(RejectsTest, ValuesTheDatabaseRefusesCarryTheDriversMessage) {
    source_->RefuseRowsOf("RH", "row locked");
    const std::string path = dir_.File("rejects.csv");
    RejectsFile rejects(path);
    const ImportResult result = Import(&rejects);
    rejects.Finish();
    EXPECT_EQ(result.counts.failed, 1);
    const std::string text = ReadFile(path);
    const std::string start = "5,\"refused by the database - ";
    const auto at = text.find(start);
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_NE(text.find("row locked", at), std::string::npos) << text;
    EXPECT_NE(text.find("\",\"ST01:3\",\"06/15/2005,13:30:00,ST01,1.25,7.5,55\"\r\n", at), std::string::npos) << text;
}

TEST_P(RejectsTest, AStoppedRunLeavesACompleteReportOfTheLinesItRead) {
    RunControl control;
    control.stop = true;  // before the first line
    const std::string path = dir_.File("rejects.csv");
    {
        RejectsFile rejects(path);
        const ImportResult result = Import(&rejects, control);
        EXPECT_TRUE(result.stopped);
    }  // closed without Finish, as when the front end leaves on an error
    EXPECT_EQ(ReadFile(path), kHeader);
}

INSTANTIATE_TEST_SUITE_P(Backends, RejectsTest, testing::EveryBackendIn(testing::kAllRoutes),
                         testing::BackendAndModeName);

TEST(RejectsFile, AFileThatCannotBeCreatedSaysWhyAndWhere) {
    TempDir dir;
    try {
        RejectsFile rejects(dir.File("no-such-folder/rejects.csv"));
        FAIL() << "created";
    } catch (const RejectsFileError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to create the rejects file - " +
                                                 dir.File("no-such-folder/rejects.csv") +
                                                 ": No such file or directory");
    }
}

TEST(RejectsFile, AFullDiskEndsTheWritingWithTheSystemsWords) {
    // A device such as /dev/full is no rejects file: a disk that fills up.
    testing::SmallDisk disk;
    RejectsFile rejects(disk.File("r.csv"));
    disk.Fill();
    EXPECT_THROW(
        {
            for (int i = 0; i < 10000; ++i) rejects.Add(1, kRejectNoPair, "NAME", std::string(200, 'x'));
            rejects.Finish();
        },
        RejectsFileError);
}

TEST(RejectsFile, LineTextAtReadsTheLineAgainWithoutItsEnd) {
    TempDir dir;
    const std::string path = dir.Write("a.log", "first\r\nsecond\nthird");
    EXPECT_EQ(LineTextAt(path, 0, 7), "first");
    EXPECT_EQ(LineTextAt(path, 7, 14), "second");
    EXPECT_EQ(LineTextAt(path, 14, 19), "third");
    EXPECT_EQ(LineTextAt(dir.File("gone.log"), 0, 5), "");
}

}  // namespace
}  // namespace vireo
