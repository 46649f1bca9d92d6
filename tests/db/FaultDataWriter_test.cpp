// What the data writer does when the database refuses every write: a SQLite
// file that cannot be written (immutable, so that not even root can) and a
// PostgreSQL database whose transactions are read-only. Every value is
// reported as not written, in the driver's own words, and the rows that were
// there stay as they were.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/Session.h"
#include "import/ImportMessages.h"
#include "scan/Chronos.h"
#include "scan/Regional.h"
#include "support/FaultInjection.h"
#include "support/StatusRecorder.h"
#include "support/TestDataSource.h"

namespace vireo::testing {
namespace {

constexpr SecondStamp kNoonHalf = 645539400;  // 2005-06-15 12:30:00
constexpr SecondStamp kLater = 645540300;     // 2005-06-15 12:45:00

class FaultDataWriter : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        SetRegional(RegionalSettings{});
        source_ = std::make_unique<TestDataSource>(GetParam());
        source_->Execute(
            "INSERT INTO TF_DATA1 (STATION_ID, SENSORNAME, TIME_TAG, SOURCE, ORIG_VALUE, ED_VALUE) VALUES "
            "('ST01', 'TEMP', '2005-06-15 12:30:00', 'T', 21.5, 21.5);\n");
    }

    /// "STATION|SENSOR|ORIG|ED" of every row.
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (const auto& row : source_->Select("SELECT STATION_ID, SENSORNAME, ORIG_VALUE, ED_VALUE FROM TF_DATA1"))
            rows.push_back(row[0].value_or("?") + "|" + row[1].value_or("?") + "|" + row[2].value_or("?").substr(0, 4) +
                           "|" + row[3].value_or("?").substr(0, 4));
        return rows;
    }

    std::unique_ptr<TestDataSource> source_;
};

TEST_P(FaultDataWriter, ReadOnlyDatabaseReportsEveryValueAsNotWritten) {
    // Root opens any file for writing despite its mode bits: the SQLite file is
    // made immutable instead; PostgreSQL makes every new session read-only.
    std::unique_ptr<ImmutableFile> immutable;
    // The insert fails, then the update that follows it: its error is the one reported.
    std::string refused;
    if (IsPostgres(GetParam())) {
        source_->Execute(
            "DO $$ BEGIN EXECUTE format('ALTER DATABASE %I SET default_transaction_read_only = on', "
            "current_database()); END $$;\n");
        refused = "ERROR: cannot execute UPDATE in a read-only transaction;\nError while executing the query";
    } else {
        immutable = std::make_unique<ImmutableFile>(source_->FilePath());
        if (!immutable->Made()) GTEST_SKIP() << "cannot make the database file immutable: " << immutable->Reason();
        refused = "[SQLite]attempt to write a readonly database (8)";
    }
    const std::vector<std::string> before = Rows();
    ASSERT_EQ(before.size(), 1u);

    Session session;
    Database database(session);
    source_->Connect(database);
    StatusRecorder sink(true);
    DataWriter writer(database);
    auto write = [&](const std::string& station, const std::string& sensor, DateTime timeTag, double value) {
        const WriteResult result = writer.WriteValue(station, sensor, "", timeTag, value);
        ReportWrite(sink, result, station, sensor, timeTag, value);
        return result.outcome;
    };
    EXPECT_EQ(write("ST01", "TEMP", SecondsToDateTime(kLater), 22), WriteOutcome::Failed);
    EXPECT_EQ(write("ST01", "TEMP", SecondsToDateTime(kNoonHalf), 30), WriteOutcome::Failed);
    EXPECT_EQ(write("ST02", "BATT", SecondsToDateTime(kLater), 13.2), WriteOutcome::Failed);
    EXPECT_EQ(sink.messages, (std::vector<std::string>{
                                 refused + " - ST01.TEMP @ 06/15/2005 12:45:00",
                                 refused + " - ST01.TEMP @ 06/15/2005 12:30:00",
                                 refused + " - ST02.BATT @ 06/15/2005 12:45:00",
                             }));
    database.Close();
    EXPECT_EQ(Rows(), before);
}

INSTANTIATE_TEST_SUITE_P(Backends, FaultDataWriter, ::testing::Values(Backend::Sqlite, Backend::PostgresAnsi),
                         [](const auto& info) { return BackendName(info.param); });

}  // namespace
}  // namespace vireo::testing
