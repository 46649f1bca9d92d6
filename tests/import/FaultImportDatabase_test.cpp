// What an import run does when the PostgreSQL server stops in the middle of
// it, one value at a time and in fast mode (batched commits): no crash, no
// hang, and every value attempted is either a row in the table or a line in
// the messages, never both and never neither.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/Session.h"
#include "import/ImportRun.h"
#include "scan/Regional.h"
#include "support/ImportModes.h"
#include "support/PostgresServer.h"
#include "support/StatusRecorder.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"

namespace vireo {
namespace {

using testing::Backend;
using testing::PostgresServer;
using testing::StatusRecorder;
using testing::TempDir;
using testing::TestDataSource;

/// Starts the server again when the test ends, also when it fails, so that the
/// tests after it (and the dropping of its database) find it running.
class ServerRestart {
public:
    ~ServerRestart() {
        try {
            if (!PostgresServer::Instance().Running()) PostgresServer::Instance().Start();
        } catch (...) {
        }
    }
};

/// Stops the server after a chosen written value.
class StoppingObserver : public ImportObserver {
public:
    explicit StoppingObserver(int stopAt) : stopAt_(stopAt) {}
    void ValueWritten() override {
        if (++attempted == stopAt_) PostgresServer::Instance().Stop();
    }
    int attempted = 0;

private:
    int stopAt_;
};

class FaultImportDatabase : public ::testing::TestWithParam<WriteRoute> {
protected:
    void SetUp() override { SetRegional(RegionalSettings{}); }
};

TEST_P(FaultImportDatabase, ServerStoppedMidRunLosesNoValueUnreported) {
    const bool fastMode = InBatches(GetParam());
    TestDataSource source(Backend::PostgresAnsi);
    ServerRestart restart;  // goes before the source, which needs the server to drop its database
    Session session;
    Database database(session);
    source.Connect(database);
    StatusRecorder sink;
    DataWriter writer(database);

    // Value i is read at minute i of June 1, 2005, and is worth i + 0.5.
    constexpr int kValues = 400;
    constexpr int kStopAt = 250;
    TempDir dir;
    std::string content;
    for (int i = 0; i < kValues; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "TEMP,06/01/2005,%02d:%02d:00,%d.5,G\r\n", i / 60, i % 60, i);
        content += line;
    }
    testing::WriteFile(dir.File("data.log"), content);

    ImportRequest request;
    request.logFile = dir.File("data.log");
    request.importList = {"TEMP||ST01.TEMP"};
    request.route = GetParam();
    SensorPairs pairs;
    StoppingObserver observer(kStopAt);
    RunControl control;
    const ImportResult result = RunImport(request, pairs, writer, sink, observer, control);
    database.Close();
    PostgresServer::Instance().Start();

    // Where each value went: rows by their time tag, failure lines by theirs.
    std::vector<int> rows(kValues, 0);
    std::vector<int> reported(kValues, 0);
    for (const auto& row : source.Select("SELECT TIME_TAG FROM TF_DATA1")) {
        const std::string tag = row[0].value_or("");
        ASSERT_EQ(tag.substr(0, 11), "2005-06-01 ");
        ++rows.at(static_cast<std::size_t>(std::stoi(tag.substr(11, 2)) * 60 + std::stoi(tag.substr(14, 2))));
    }
    const std::string lost = "SQLExecute unable due to the connection lost";
    const std::string notCommitted = "The connection to the database was lost: the transaction was not committed";
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_EQ(sink.messages.back(), "Import process completed.");
    for (std::size_t m = 0; m + 1 < sink.messages.size(); ++m) {
        const std::string& line = sink.messages[m];
        const std::size_t at = line.find(" - ST01.TEMP @ 06/01/2005");
        ASSERT_NE(at, std::string::npos) << line;
        const std::string error = line.substr(0, at);
        // Fast mode writes its batches in sets: the values of a set the server
        // lost carry the driver's text for that statement.
        const bool setLost = error.find("connection has been lost") != std::string::npos;
        EXPECT_TRUE(error == lost || (fastMode && (error == notCommitted || setLost))) << line;
        const std::string time = line.substr(at + 25);  // " hh:mm:ss", nothing at midnight
        ++reported.at(time.empty()
                          ? 0
                          : static_cast<std::size_t>(std::stoi(time.substr(1, 2)) * 60 + std::stoi(time.substr(4, 2))));
    }

    // Every value tried is a row or a failure line: never both, never neither.
    ASSERT_GE(observer.attempted, kStopAt);
    for (int i = 0; i < kValues; ++i) {
        SCOPED_TRACE("value " + std::to_string(i));
        const auto at = static_cast<std::size_t>(i);
        EXPECT_EQ(rows[at] + reported[at], i < observer.attempted ? 1 : 0);
    }
    const auto rowCount = std::count(rows.begin(), rows.end(), 1);
    EXPECT_EQ(result.counts.inserted, rowCount) << "values of a batch that was never committed are not counted";
    EXPECT_EQ(result.counts.failed, std::count(reported.begin(), reported.end(), 1));
    if (fastMode) {
        EXPECT_EQ(result.error, notCommitted) << "the failed commit ends the run";
        ASSERT_TRUE(result.dbError);
        EXPECT_EQ(result.dbError->sqlState(), "08S01");
    } else {
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(observer.attempted, kValues) << "each value after the stop is tried and reported";
        EXPECT_EQ(rowCount, kStopAt);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, FaultImportDatabase, ::testing::ValuesIn(testing::kAllRoutes),
                         [](const auto& info) { return testing::RouteName(info.param); });

}  // namespace
}  // namespace vireo
