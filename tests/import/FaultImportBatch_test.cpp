// Fast mode's batches against what can take a batch away: its detail lines
// ("Inserted timetag data - ...") come only once the batch is committed, and a
// full disk that makes SQLite roll a batch back on its own leaves counts and
// failure lines that match the rows exactly.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/Query.h"
#include "db/Session.h"
#include "import/ImportRun.h"
#include "scan/Regional.h"
#include "support/FaultInjection.h"
#include "support/ImportModes.h"
#include "support/StatusRecorder.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"
#include "support/TestOdbc.h"

namespace vireo {
namespace {

using testing::Backend;
using testing::StatusRecorder;
using testing::TempDir;
using testing::TestDataSource;

/// A log of `count` TEMP values, value i read at second i from June 1, 2005.
std::string SecondsLog(int count) {
    std::string content;
    char line[64];
    for (int i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "TEMP,06/%02d/2005,%02d:%02d:%02d,%d.5,G\n", 1 + i / 86400, i / 3600 % 24,
                      i / 60 % 60, i % 60, i);
        content += line;
    }
    return content;
}

/// The second from June 1, 2005 that a day of June and a time text
/// ("hh:mm:ss", empty at midnight) name.
int SecondOf(int day, const std::string& time) {
    int second = (day - 1) * 86400;
    if (time.empty()) return second;
    return second + std::stoi(time.substr(0, 2)) * 3600 + std::stoi(time.substr(3, 2)) * 60 +
           std::stoi(time.substr(6, 2));
}

class CountingObserver : public ImportObserver {
public:
    void ValueWritten() override { ++attempted; }
    int attempted = 0;
};

/// At each detail line of a written value, counts the rows that another
/// connection sees: a value may be reported as written only once it is.
class CommittedCheckSink : public StatusSink {
public:
    explicit CommittedCheckSink(const TestDataSource& source) : source_(source) {}
    void AddStatusMessage(const std::string& text) override {
        messages.push_back(text);
        if (!text.starts_with("Inserted timetag data - ")) return;
        ++reported;
        const long rows = std::stol(source_.Select("SELECT COUNT(*) FROM TF_DATA1")[0][0].value_or("0"));
        if (rows < reported) ++reportedBeforeCommitted;
    }
    bool ShowDetails() const override { return true; }

    std::vector<std::string> messages;
    long reported = 0;
    long reportedBeforeCommitted = 0;

private:
    const TestDataSource& source_;
};

class FastModeReports : public ::testing::TestWithParam<std::tuple<Backend, WriteRoute>> {
protected:
    void SetUp() override { SetRegional(RegionalSettings{}); }
};

TEST_P(FastModeReports, ValuesAreReportedAsWrittenOnlyOnceTheirBatchIsCommitted) {
    TestDataSource source(std::get<0>(GetParam()));
    Session session;
    Database database(session);
    source.Connect(database);
    TempDir dir;
    testing::WriteFile(dir.File("data.log"), SecondsLog(300));
    CommittedCheckSink sink(source);
    DataWriter writer(database);
    ImportRequest request;
    request.logFile = dir.File("data.log");
    request.importList = {"TEMP||st01.Temp"};
    request.route = std::get<1>(GetParam());
    SensorPairs pairs;
    CountingObserver observer;
    RunControl control;
    const ImportResult result = RunImport(request, pairs, writer, sink, observer, control);

    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.counts.inserted, 300);
    EXPECT_EQ(sink.reported, 300);
    EXPECT_EQ(sink.reportedBeforeCommitted, 0);
    // The lines keep their text and the order of the values, after the
    // "Reading - " lines of the batch.
    std::vector<std::string> written;
    for (const std::string& message : sink.messages)
        if (!message.starts_with("Reading - ") && !message.starts_with("Fast import route: "))
            written.push_back(message);
    ASSERT_EQ(written.size(), 301u);
    EXPECT_EQ(written[0], "Inserted timetag data - st01.Temp @ 06/01/2005 - 0.5");
    EXPECT_EQ(written[299], "Inserted timetag data - st01.Temp @ 06/01/2005 00:04:59 - 299.5");
    EXPECT_EQ(written[300], "Import process completed.");
    // With details, the run names its route first.
    ASSERT_GE(sink.messages.size(), 2u);
    EXPECT_TRUE(sink.messages[0].starts_with("Fast import route: ")) << sink.messages[0];
    EXPECT_EQ(sink.messages[1], "Reading - TEMP,06/01/2005,00:00:00,0.5,G");
}

INSTANTIATE_TEST_SUITE_P(Backends, FastModeReports, testing::EveryBackendIn(testing::kBatchRoutes),
                         testing::BackendAndModeName);

/// A SQLite file on a small tmpfs, behind a data source of its own.
class SqliteOnSmallDisk {
public:
    explicit SqliteOnSmallDisk(std::size_t bytes) : disk_(bytes) {
        testing::TestOdbc& odbc = testing::TestOdbc::Instance();
        name_ = odbc.UniqueName("vireo_full_");
        odbc.DefineDataSource(name_, {{"Driver", "SQLite3"},
                                      {"Database", disk_.File("full.db")},
                                      {"DBQ", disk_.File("full.db")},
                                      {"JournalMode", "WAL"},
                                      {"SyncPragma", "NORMAL"},
                                      {"Timeout", "5000"}});
    }
    ~SqliteOnSmallDisk() { testing::TestOdbc::Instance().RemoveDataSource(name_); }

    bool Mounted() const { return disk_.Mounted(); }
    void Connect(Database& database) const {
        database.SetDatabaseName(name_);
        database.AddParam("USER NAME=vireo");
        database.AddParam("PASSWORD=unused");
        database.Open();
    }

private:
    testing::SmallDisk disk_;
    std::string name_;
};

class FullDiskInFastMode : public ::testing::TestWithParam<WriteRoute> {};

TEST_P(FullDiskInFastMode, EveryValueIsARowOrAFailureLineAndTheCountsSayWhich) {
    SetRegional(RegionalSettings{});
    constexpr int kValues = 150000;
    TempDir dir;
    testing::WriteFile(dir.File("data.log"), SecondsLog(kValues));
    // Disks of several sizes fill at different points of a batch, some after
    // batches were committed; SQLite then often rolls the open batch back by
    // itself, and the values after it must not be committed one by one.
    for (const std::size_t kib : {1024, 4096, 6144, 8192, 12288}) {
        SCOPED_TRACE("disk of " + std::to_string(kib) + " KiB");
        SqliteOnSmallDisk store(kib * 1024);
        if (!store.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
        Session session;
        Database database(session);
        store.Connect(database);
        testing::ExecuteScript(database, testing::SchemaText(Backend::Sqlite));

        StatusRecorder sink;
        DataWriter writer(database);
        ImportRequest request;
        request.logFile = dir.File("data.log");
        request.importList = {"TEMP||ST01.TEMP"};
        request.route = GetParam();
        SensorPairs pairs;
        CountingObserver observer;
        RunControl control;
        const ImportResult result = RunImport(request, pairs, writer, sink, observer, control);

        std::vector<int> rows(static_cast<std::size_t>(kValues), 0);
        {
            Query query(database);
            query.SetSql("SELECT TIME_TAG FROM TF_DATA1");
            query.Open();
            for (; !query.Eof(); query.Next()) {
                const std::string tag = query.Fields()[0].AsString();  // 2005-06-DD hh:mm:ss.000
                ++rows.at(static_cast<std::size_t>(SecondOf(std::stoi(tag.substr(8, 2)), tag.substr(11, 8))));
            }
        }
        std::vector<int> reported(static_cast<std::size_t>(kValues), 0);
        ASSERT_FALSE(sink.messages.empty());
        EXPECT_EQ(sink.messages.back(), "Import process completed.");
        for (std::size_t m = 0; m + 1 < sink.messages.size(); ++m) {
            const std::string& line = sink.messages[m];
            const std::size_t at = line.find(" - ST01.TEMP @ 06/");
            ASSERT_NE(at, std::string::npos) << line;
            const std::string time = line.substr(at + 25);  // " hh:mm:ss", nothing at midnight
            const int day = std::stoi(line.substr(at + 18, 2));
            ++reported.at(static_cast<std::size_t>(SecondOf(day, time.empty() ? time : time.substr(1))));
        }
        long rowCount = 0;
        long reportedCount = 0;
        int wrong = 0;
        for (int i = 0; i < kValues; ++i) {
            rowCount += rows[i];
            reportedCount += reported[i];
            // The value after the last one counted as tried may have been
            // tried too: a failed commit ends the run before it is counted.
            const int found = rows[i] + reported[i];
            const bool right = i < observer.attempted ? found == 1 : i == observer.attempted ? found <= 1 : found == 0;
            if (!right && ++wrong <= 5)
                ADD_FAILURE() << "value " << i << ": rows " << rows[i] << ", failure lines " << reported[i];
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(reportedCount, 0) << "the disk was never full";
        EXPECT_EQ(result.counts.inserted, rowCount);
        EXPECT_EQ(result.counts.failed, reportedCount);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, FullDiskInFastMode, ::testing::ValuesIn(testing::kBatchRoutes),
                         [](const auto& info) { return testing::RouteName(info.param); });

}  // namespace
}  // namespace vireo
