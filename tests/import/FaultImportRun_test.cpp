// What an import run does when its log file misbehaves (vanishes, is removed,
// shrinks or grows during the run, is 2 GiB large or streamed) or holds hostile
// lines, on SQLite and PostgreSQL: every value in the file is written or
// reported, the messages say what happened, and memory stays flat.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/Session.h"
#include "import/ImportRun.h"
#include "logfile/SensorDiscovery.h"
#include "scan/Regional.h"
#include "support/AnsweringDialogs.h"
#include "support/FaultInjection.h"
#include "support/StatusRecorder.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"

namespace vireo {
namespace {

using namespace std::string_literals;
using testing::Backend;
using testing::StatusRecorder;
using testing::TempDir;
using testing::TestDataSource;
using testing::WriteFile;

constexpr std::uint64_t kTwoGiB = std::uint64_t{2} << 30;
constexpr std::int64_t kFlatMemoryKiB = 96 * 1024;

std::string Record(const std::string& sensor, int minute, const std::string& value) {
    char time[32];
    std::snprintf(time, sizeof time, "%02d:%02d:00", 10 + minute / 60, minute % 60);
    return sensor + ",06/15/2005," + time + "," + value + ",G\r\n";
}

/// Acts at a chosen written value, as the window's event processing could.
class ActingObserver : public ImportObserver {
public:
    void ValueWritten() override {
        ++written;
        if (onValue) onValue(written);
    }
    int written = 0;
    std::function<void(int)> onValue;
};

class FaultImportRun : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        SetRegional(RegionalSettings{});
        source_ = std::make_unique<TestDataSource>(GetParam());
        source_->Connect(database_);
        writer_ = std::make_unique<DataWriter>(database_);
    }

    ImportResult Run(const std::string& path, const std::vector<std::string>& pairs) {
        ImportRequest request;
        request.logFile = path;
        request.importList = pairs;
        SensorPairs table;
        return RunImport(request, table, *writer_, sink_, observer_, control_);
    }

    std::int64_t RowCount() const {
        return std::stoll(source_->Select("SELECT COUNT(*) FROM TF_DATA1")[0][0].value_or("-1"));
    }

    /// "SENSOR value" of every row, in sensor and time order.
    std::vector<std::string> Values() const {
        std::vector<std::string> values;
        for (const auto& row :
             source_->Select("SELECT SENSORNAME, ORIG_VALUE FROM TF_DATA1 ORDER BY SENSORNAME, TIME_TAG")) {
            char value[32];
            std::snprintf(value, sizeof value, "%g", std::stod(row[1].value_or("-1")));
            values.push_back(row[0].value_or("?") + " " + value);
        }
        return values;
    }

    TempDir dir_;
    std::unique_ptr<TestDataSource> source_;
    Session session_;
    Database database_{session_};
    StatusRecorder sink_;
    std::unique_ptr<DataWriter> writer_;
    ActingObserver observer_;
    RunControl control_;
};

// The log file ----------------------------------------------------------------

TEST_P(FaultImportRun, FileGoneOrAFolderAfterDiscoveryIsRefusedOrEndsTheRunWithItsError) {
    const std::string path = dir_.File("data.log");
    WriteFile(path, Record("TEMP", 0, "21.5"));
    ASSERT_EQ(ReadSensorNames(path, false), std::vector<std::string>{"TEMP"});
    ASSERT_EQ(::unlink(path.c_str()), 0);

    ImportRequest request;
    request.logFile = path;
    request.importList = {"TEMP||ST01.TEMP"};
    request.chosenStation = "ST01";
    request.freeShare.state = FreeShareShown::State::Unknown;
    testing::AnsweringDialogs dialogs;
    EXPECT_FALSE(CheckImport(request, dialogs));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Error 106: Please enter a file name");

    // Gone between the check and the run, or a folder by then.
    ImportResult result = Run(path, request.importList);
    EXPECT_EQ(result.error, path + ": No such file or directory");
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
    result = Run(path, request.importList);
    EXPECT_EQ(result.error, path + ": Is a directory");
    EXPECT_EQ(sink_.messages, (std::vector<std::string>{"Import process completed.", "Import process completed."}));
    EXPECT_EQ(RowCount(), 0);
}

TEST_P(FaultImportRun, FileRemovedDuringTheRunIsImportedToItsEnd) {
    const std::string path = dir_.File("data.log");
    std::string content;
    for (int minute = 0; minute < 20; ++minute) content += Record("TEMP", minute, "21.5");
    WriteFile(path, content);
    observer_.onValue = [&](int written) {
        if (written == 1) ::unlink(path.c_str());
    };
    ImportResult result = Run(path, {"TEMP||ST01.TEMP"});
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.counts.inserted, 20);
    EXPECT_EQ(RowCount(), 20);
    EXPECT_EQ(sink_.messages, (std::vector<std::string>{"Import process completed."}));
}

TEST_P(FaultImportRun, LinesAddedDuringTheRunAreImportedToo) {
    const std::string path = dir_.File("data.log");
    WriteFile(path, Record("TEMP", 0, "21.5") + Record("TEMP", 1, "21.6"));
    observer_.onValue = [&](int written) {
        if (written != 1) return;
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
        const std::string more = Record("TEMP", 2, "21.7") + Record("BATT", 2, "13.2");
        ASSERT_EQ(::write(fd, more.data(), more.size()), static_cast<ssize_t>(more.size()));
        ::close(fd);
    };
    ImportResult result = Run(path, {"TEMP||ST01.TEMP", "BATT||ST01.BATT"});
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.counts.inserted, 4);
    EXPECT_EQ(result.counts.lines, 4);
    EXPECT_EQ(Values(), (std::vector<std::string>{"BATT 13.2", "TEMP 21.5", "TEMP 21.6", "TEMP 21.7"}));
    EXPECT_EQ(sink_.messages, (std::vector<std::string>{"Import process completed."}));
}

TEST_P(FaultImportRun, FileCutShortDuringTheRunIsReported) {
    // More than the reader's buffer (1 MiB): a record, 2 MiB of comment lines,
    // three records. The file is cut to 1.5 MiB after the first value.
    const std::string path = dir_.File("data.log");
    const std::string comment = "\"" + std::string(1021, 'c') + "\r\n";
    std::string content = Record("TEMP", 0, "21.5");
    while (content.size() < (2u << 20)) content += comment;
    for (int minute = 1; minute <= 3; ++minute) content += Record("TEMP", minute, "22.5");
    WriteFile(path, content);
    observer_.onValue = [&](int written) {
        if (written == 1) {
            ASSERT_EQ(::truncate(path.c_str(), 3 << 19), 0);
        }
    };
    ImportResult result = Run(path, {"TEMP||ST01.TEMP"});
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.counts.inserted, 1);
    EXPECT_EQ(RowCount(), 1);
    EXPECT_EQ(sink_.messages,
              (std::vector<std::string>{"The log file became shorter during the import, its end was not read - " + path,
                                        "Import process completed."}));
}

// 2 GiB and hostile lines ------------------------------------------------------

TEST_P(FaultImportRun, SparseFileOf2GiBImportsItsRecordsWithFlatMemory) {
    testing::SmallDisk disk;  // a tmpfs reads the NUL bytes of a hole fast
    const std::string path = disk.File("huge.log");
    testing::WriteSparseFile(path, kTwoGiB, "\n" + Record("TEMP", 0, "21.5") + Record("BATT", 0, "13.2"));
    testing::ResetPeakMemory();
    const std::int64_t before = testing::PeakMemoryKiB();
    ImportResult result = Run(path, {"TEMP||ST01.TEMP", "BATT||ST01.BATT"});
    EXPECT_LT(testing::PeakMemoryKiB() - before, kFlatMemoryKiB);
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.counts.inserted, 2);
    EXPECT_EQ(Values(), (std::vector<std::string>{"BATT 13.2", "TEMP 21.5"}));
    EXPECT_EQ(sink_.messages,
              (std::vector<std::string>{"Line too long, not imported - line 1", "Import process completed."}));
}

TEST_P(FaultImportRun, HostileLinesAreImportedOrPassedOverAndTheRunGoesOn) {
    const std::string commas(1'000'000, ',');
    const std::string blanks(1'000'000, ' ');
    const std::string longName(100'000, 'N');
    const std::string nulDate = "TEMP,06/15/2005\0,10:03:00,22.5,G"s;
    const std::string content = commas + "\r\n" +                                      //
                                "TEMP,06/15/2005,10:00:00,21.5,G" + commas + "\r\n" +  //
                                "06/15/2005,10:01:00,ST01,1.5" + commas + "2.5\r\n" +  //
                                blanks + "\r\n" +                                      //
                                "06/15/2005 10:02:00" + blanks + "3.5\r\n" +           //
                                "TEMP,06/15/2005,10:04:00,21\0.5,G\r\n"s +             //
                                "TE\0MP,06/15/2005,10:05:00,9.5,G\r\n"s +              //
                                nulDate + "\r\n" +                                     //
                                longName + ",06/15/2005,10:06:00,7.5,G\r\n" +          //
                                Record("TEMP", 7, "23.5");
    const std::string path = dir_.File("hostile.log");
    WriteFile(path, content);
    ImportResult result = Run(path, {"TEMP||ST01.TEMP", "ST01:1||ST01.S1", "ST01:1000001||ST01.SLAST", "0:1||ST02.AT",
                                     longName + "||ST01." + longName});
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.counts.lines, 10) << "the lines of commas and blanks alone are no records, but are counted";
    EXPECT_EQ(result.counts.withoutTimeTag, 1);

    std::vector<std::string> expectedValues{"AT 3.5", "S1 1.5", "SLAST 2.5", "TEMP 21.5", "TEMP 23.5"};
    std::vector<std::string> expectedMessages{"No valid date and time, line not imported - " + nulDate};
    if (testing::IsPostgres(GetParam())) {
        // VARCHAR(32) refuses the name: the value is reported, the run goes on.
        EXPECT_EQ(result.counts.inserted, 5);
        EXPECT_EQ(result.counts.failed, 1);
        // The driver's own words, then the value that was not written.
        expectedMessages.push_back(
            "ERROR: value too long for type character varying(32);\nError while executing the query - ST01." +
            longName + " @ 06/15/2005 10:06:00");
    } else {
        // SQLite keeps the whole name: nothing is cut.
        EXPECT_EQ(result.counts.inserted, 6);
        EXPECT_EQ(result.counts.failed, 0);
        expectedValues.insert(expectedValues.begin() + 1, longName + " 7.5");
        const auto lengths = source_->Select("SELECT LENGTH(SENSORNAME) FROM TF_DATA1 WHERE LENGTH(SENSORNAME) > 32");
        ASSERT_EQ(lengths.size(), 1u);
        EXPECT_EQ(lengths[0][0].value_or(""), "100000");
    }
    expectedMessages.push_back("Import process completed.");
    EXPECT_EQ(Values(), expectedValues);
    EXPECT_EQ(sink_.messages, expectedMessages);
}

INSTANTIATE_TEST_SUITE_P(Backends, FaultImportRun, ::testing::Values(Backend::Sqlite, Backend::PostgresAnsi),
                         [](const auto& info) { return testing::BackendName(info.param); });

// A streamed file needs no second database.
TEST(FaultImportStream, FileOfManyShortLinesImportsItsRecordsWithFlatMemoryAndAStreamIsRefused) {
    SetRegional(RegionalSettings{});
    TestDataSource source(Backend::Sqlite);
    Session session;
    Database database(session);
    source.Connect(database);
    DataWriter writer(database);

    TempDir dir;
    const std::string comment = "\"" + std::string(4093, 'c') + "\r\n";
    testing::WriteRepeatedLines(dir.File("many.log"), comment, std::uint64_t{256} << 20, Record("TEMP", 0, "21.5"));
    // The same lines through a FIFO, as a program streaming a log would send
    // them: no log file, refused at once, nothing taken from the pipe.
    testing::StreamedFile stream(dir.File("stream.log"), [&](std::string& chunk) {
        chunk = comment;
        return true;
    });

    for (const std::string& path : {dir.File("many.log"), stream.Path()}) {
        SCOPED_TRACE(path);
        ImportRequest request;
        request.logFile = path;
        request.importList = {"TEMP||ST01.TEMP"};
        request.chosenStation = "ST01";
        request.freeShare.state = FreeShareShown::State::Unknown;
        testing::AnsweringDialogs dialogs;
        ASSERT_TRUE(CheckImport(request, dialogs));

        testing::ResetPeakMemory();
        const std::int64_t before = testing::PeakMemoryKiB();
        StatusRecorder sink;
        SensorPairs pairs;
        ImportObserver observer;
        RunControl control;
        ImportResult result = RunImport(request, pairs, writer, sink, observer, control);
        EXPECT_LT(testing::PeakMemoryKiB() - before, kFlatMemoryKiB);
        if (path == stream.Path()) {
            EXPECT_EQ(result.error, path + ": not a regular file");
            EXPECT_EQ(result.counts.inserted, 0);
            EXPECT_EQ(stream.BytesWritten(), 0u);
        } else {
            EXPECT_EQ(result.error, "");
            EXPECT_EQ(result.counts.inserted, 1);
            EXPECT_EQ(sink.messages, (std::vector<std::string>{"Import process completed."}));
        }
    }
}

}  // namespace
}  // namespace vireo
