#include "db/SqliteFileWriter.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "BackendTest.h"
#include "db/BulkWriter.h"
#include "scan/Chronos.h"
#include "support/ProcessLocks.h"

namespace vireo::testing {
namespace {

constexpr SecondStamp kNoon = 645537600;  // 2005-06-15 12:00:00

using Rows = std::vector<std::vector<std::optional<std::string>>>;

/// The batch writer on the SQLite file beside the driver's connection.
class SqliteFileWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegional(RegionalSettings{});
        source_ = std::make_unique<TestDataSource>(Backend::Sqlite);
        source_->Connect(database_);
    }
    void TearDown() override { database_.Close(); }

    /// `count` values of `station`.TEMP, one a minute from noon, with digits
    /// a decimal text of 15 places does not hold. The names are views into
    /// the fixture's own strings.
    std::vector<BulkValue> Values(std::string_view name, int count, double offset) const {
        const std::string& station = name == "st01" ? st01_ : st02_;
        std::vector<BulkValue> values;
        for (int i = 0; i < count; ++i) {
            values.push_back({station, sensor_, SecondsToDateTime(kNoon + 60 * i), offset + i / 3.0 + 1e-9 * i});
        }
        return values;
    }

    /// Each row of a station as stored: the time tag's text and type, the
    /// types of the values, and the values themselves.
    Rows Stored(const std::string& station) const {
        return source_->Select(
            "SELECT TIME_TAG, typeof(TIME_TAG), typeof(ORIG_VALUE), typeof(ED_VALUE), SOURCE, SENSORNAME FROM "
            "TF_DATA1 WHERE STATION_ID = '" +
            station + "' ORDER BY TIME_TAG");
    }

    int Locks() const { return PosixLocksHeld(::getpid(), source_->FilePath()); }

    std::unique_ptr<TestDataSource> source_;
    Session session_;
    Database database_{session_};
    std::string sensor_ = "Temp";
    std::string st01_ = "st01";
    std::string st02_ = "st02";
};

TEST_F(SqliteFileWriterTest, ABatchIsStoredAsTheDriverStoresItAndEachPathUpdatesTheOthersRows) {
    // ST01 through the driver, one statement a value; ST02 through the file.
    DataWriter writer(database_);
    const std::vector<BulkValue> driverValues = Values("st01", 120, 0.5);
    {
        BatchGuard batch(writer);
        for (const BulkValue& value : driverValues) {
            ASSERT_EQ(writer.WriteValue(std::string(value.station), sensor_, "T", value.timeTag, value.value).outcome,
                      WriteOutcome::Inserted);
        }
        batch.Commit();
    }
    BulkWriter bulk(writer);
    ASSERT_TRUE(bulk.Direct()) << bulk.WhyNotDirect();
    std::vector<WriteResult> results;
    {
        BatchGuard batch(writer);
        bulk.Write(Values("st02", 120, 0.5), "", results);
        batch.Commit();
    }
    EXPECT_EQ(bulk.BatchesDirect(), 1u);
    EXPECT_EQ(bulk.SetsWritten(), 0u);
    for (const WriteResult& result : results) EXPECT_EQ(result.outcome, WriteOutcome::Inserted);
    const Rows first = Stored("ST01");
    ASSERT_EQ(first.size(), 120u);
    EXPECT_EQ(Stored("ST02"), first);
    EXPECT_EQ(first[0], (std::vector<std::optional<std::string>>{"2005-06-15 12:00:00.000", "text", "real", "real", "T",
                                                                 "TEMP"}));
    // The doubles are the same to the last bit.
    EXPECT_EQ(source_->Select("SELECT COUNT(*) FROM TF_DATA1 a JOIN TF_DATA1 b ON a.TIME_TAG = b.TIME_TAG AND "
                              "a.STATION_ID = 'ST01' AND b.STATION_ID = 'ST02' WHERE a.ORIG_VALUE = b.ORIG_VALUE AND "
                              "a.ED_VALUE = b.ED_VALUE")[0][0],
              "120");

    // The file updates the driver's rows, keeping their original values, and
    // inserts past them; the driver finds the file's rows.
    {
        BatchGuard batch(writer);
        bulk.Write(Values("st01", 150, 7.25), "M", results);
        batch.Commit();
    }
    ASSERT_EQ(results.size(), 150u);
    for (std::size_t i = 0; i < results.size(); ++i)
        EXPECT_EQ(results[i].outcome, i < 120 ? WriteOutcome::Updated : WriteOutcome::Inserted) << i;
    EXPECT_EQ(source_->Select("SELECT COUNT(*), SUM(SOURCE = 'M'), SUM(ORIG_VALUE <> ED_VALUE) FROM TF_DATA1 WHERE "
                              "STATION_ID = 'ST01'")[0],
              (std::vector<std::optional<std::string>>{"150", "150", "120"}));
    const BulkValue again = Values("st02", 1, 9.0)[0];
    EXPECT_EQ(writer.WriteValue("ST02", sensor_, "T", again.timeTag, again.value).outcome, WriteOutcome::Updated);
    EXPECT_EQ(source_->Select("SELECT COUNT(*) FROM TF_DATA1")[0][0], "270");
}

TEST_F(SqliteFileWriterTest, AKeyMetAgainInTheBatchIsUpdatedInOrder) {
    DataWriter writer(database_);
    BulkWriter bulk(writer);
    std::vector<BulkValue> values = Values("st01", 3, 1.0);
    values.push_back(values[1]);
    values.back().value = 42;
    values.push_back(values[1]);
    values.back().value = 43;
    std::vector<WriteResult> results;
    bulk.Write(values, "", results);
    EXPECT_EQ(bulk.BatchesDirect(), 1u);
    std::vector<WriteOutcome> outcomes;
    for (const WriteResult& result : results) outcomes.push_back(result.outcome);
    EXPECT_EQ(outcomes,
              (std::vector<WriteOutcome>{WriteOutcome::Inserted, WriteOutcome::Inserted, WriteOutcome::Inserted,
                                         WriteOutcome::Updated, WriteOutcome::Updated}));
    EXPECT_EQ(source_->Select("SELECT ED_VALUE FROM TF_DATA1 WHERE TIME_TAG = '2005-06-15 12:01:00.000'")[0][0],
              "43.0");
}

TEST_F(SqliteFileWriterTest, KeysThatDoNotRiseGetTheirOutcomesToo) {
    // Rows for the even minutes exist; the batch comes in falling time order.
    DataWriter writer(database_);
    std::vector<BulkValue> values = Values("st01", 10, 0.5);
    for (std::size_t i = 0; i < values.size(); i += 2)
        ASSERT_TRUE(writer.WriteValue("ST01", sensor_, "T", values[i].timeTag, 1.0).Written());
    std::reverse(values.begin(), values.end());
    BulkWriter bulk(writer);
    std::vector<WriteResult> results;
    bulk.Write(values, "", results);
    EXPECT_EQ(bulk.BatchesDirect(), 1u);
    for (std::size_t i = 0; i < results.size(); ++i)  // minute 9 first: odd minutes are new
        EXPECT_EQ(results[i].outcome, i % 2 == 0 ? WriteOutcome::Inserted : WriteOutcome::Updated) << i;
    EXPECT_EQ(source_->Select("SELECT COUNT(*), SUM(ORIG_VALUE = 1.0) FROM TF_DATA1")[0],
              (std::vector<std::optional<std::string>>{"10", "5"}));
}

TEST_F(SqliteFileWriterTest, ARefusedBatchLeavesNothingAndTheDriverSaysWhichValuesItRefuses) {
    source_->Execute(
        "CREATE TRIGGER small BEFORE INSERT ON TF_DATA1 WHEN NEW.ORIG_VALUE >= 30 BEGIN SELECT RAISE(ABORT, 'too "
        "large'); END;");
    DataWriter writer(database_);
    BulkWriter bulk(writer);
    std::vector<WriteResult> results;
    {
        BatchGuard batch(writer);
        bulk.Write(Values("st01", 100, 0.5), "", results);
        batch.Commit();
    }
    EXPECT_EQ(bulk.BatchesDirectRefused(), 1u);
    EXPECT_EQ(bulk.BatchesDirect(), 0u);
    int failed = 0;
    for (const WriteResult& result : results) {
        if (!result.Written()) {
            ++failed;
            ASSERT_TRUE(result.error.has_value());
            EXPECT_NE(std::string(result.error->what()).find("too large"), std::string::npos) << result.error->what();
        }
    }
    int large = 0;
    for (const BulkValue& value : Values("st01", 100, 0.5)) large += value.value >= 30;
    EXPECT_EQ(failed, large);
    EXPECT_GT(failed, 0);
    EXPECT_EQ(source_->Select("SELECT COUNT(*) FROM TF_DATA1")[0][0], std::to_string(100 - failed));
    // The next batch that the file can take goes through it again.
    bulk.Write(Values("st02", 10, 0.5), "", results);
    EXPECT_EQ(bulk.BatchesDirect(), 1u);
}

TEST_F(SqliteFileWriterTest, TheDriversConnectionKeepsItsLocksAndItsWriteAheadLog) {
    DataWriter writer(database_);
    // The driver's connection reads, and so holds the file.
    EXPECT_EQ(source_->Select("SELECT COUNT(*) FROM TF_DATA1")[0][0], "0");
    ASSERT_EQ(writer.WriteValue("ST09", sensor_, "T", SecondsToDateTime(kNoon), 1.0).outcome, WriteOutcome::Inserted);
    const int before = Locks();
    ASSERT_GT(before, 0);
    const std::string wal = source_->FilePath() + "-wal";
    ASSERT_TRUE(std::filesystem::exists(wal));
    for (int round = 0; round < 3; ++round) {
        BulkWriter bulk(writer);
        ASSERT_TRUE(bulk.Direct()) << bulk.WhyNotDirect();
        std::vector<WriteResult> results;
        BatchGuard batch(writer);
        bulk.Write(Values("st01", 50, round), "", results);
        batch.Commit();
        EXPECT_EQ(bulk.BatchesDirect(), 1u);
    }
    // The own connections are closed; the driver's still holds its locks,
    // and the log of the file it has open is still there.
    EXPECT_GT(Locks(), 0);
    EXPECT_TRUE(std::filesystem::exists(wal));
    EXPECT_EQ(writer.WriteValue("ST09", sensor_, "T", SecondsToDateTime(kNoon + 60), 2.0).outcome,
              WriteOutcome::Inserted);
    EXPECT_EQ(source_->Select("SELECT COUNT(*) FROM TF_DATA1")[0][0], "52");
}

TEST_F(SqliteFileWriterTest, OnceTheDriverHasWrittenInABatchTheRestOfItGoesThroughTheDriver) {
    // The driver's connection holds the write lock until the batch ends: the
    // file is not tried, it would only wait for it.
    DataWriter writer(database_);
    BulkWriter bulk(writer);
    BatchGuard batch(writer);
    ASSERT_EQ(writer.WriteValue("ST09", sensor_, "T", SecondsToDateTime(kNoon), 1.0).outcome, WriteOutcome::Inserted);
    std::vector<WriteResult> results;
    bulk.Write(Values("st01", 20, 0.5), "", results);
    batch.Commit();
    EXPECT_EQ(bulk.BatchesDirectRefused(), 0u) << "not even tried while the driver writes in the batch";
    EXPECT_EQ(bulk.BatchesDirect(), 0u);
    for (const WriteResult& result : results) EXPECT_EQ(result.outcome, WriteOutcome::Inserted);
    EXPECT_EQ(source_->Select("SELECT COUNT(*) FROM TF_DATA1")[0][0], "21");
}

TEST_F(SqliteFileWriterTest, ATriggerOnTheKeyColumnsSeesTheUpdateAsTheDriverMakesIt) {
    // The data writer's update sets the key columns to the values they hold;
    // a trigger on them fires for it, whichever path updates the row.
    source_->Execute(
        "CREATE TABLE KEY_LOG (N INTEGER);\n"
        "CREATE TRIGGER key_log AFTER UPDATE OF STATION_ID ON TF_DATA1 BEGIN INSERT INTO KEY_LOG VALUES (1); END;\n");
    DataWriter writer(database_);
    const std::vector<BulkValue> values = Values("st01", 4, 0.5);
    for (const BulkValue& value : values)
        ASSERT_TRUE(writer.WriteValue("ST01", sensor_, "T", value.timeTag, value.value).Written());
    ASSERT_EQ(writer.WriteValue("ST01", sensor_, "T", values[0].timeTag, 2.0).outcome, WriteOutcome::Updated);
    EXPECT_EQ(source_->Select("SELECT COUNT(*) FROM KEY_LOG")[0][0], "1");
    BulkWriter bulk(writer);
    std::vector<WriteResult> results;
    bulk.Write(values, "", results);
    EXPECT_EQ(bulk.BatchesDirect(), 1u);
    EXPECT_EQ(source_->Select("SELECT COUNT(*) FROM KEY_LOG")[0][0], "5");
}

TEST_F(SqliteFileWriterTest, AFileHeldForTheWholeTimeoutIsNotWaitedForAgain) {
    std::string why;
    const std::unique_ptr<DirectWriter> writer = OpenSqliteFileWriter(database_, why);
    ASSERT_TRUE(writer) << why;
    // Another process holds the file's write lock past the data source's timeout.
    const std::string ready = source_->FilePath() + ".held";
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        // A group of its own, so that the shell and the sleep it starts go
        // with it, and no child keeps the test's output open after the test.
        ::setpgid(0, 0);
        ::execlp("sqlite3", "sqlite3", "-cmd", "BEGIN IMMEDIATE;", source_->FilePath().c_str(),
                 (".shell touch '" + ready + "' && sleep 600").c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::setpgid(holder, holder);
    for (int waited = 0; waited < 600 && !std::filesystem::exists(ready); ++waited) ::usleep(100000);
    const bool held = std::filesystem::exists(ready);
    std::vector<WriteResult> results;
    if (held) {
        EXPECT_THROW(writer->WriteBatch(Values("st01", 3, 0.5), "", results), DbError);
    }
    ::kill(-holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    if (!held) GTEST_SKIP() << "the sqlite3 program did not take the lock";
    EXPECT_FALSE(writer->Usable());
    EXPECT_TRUE(Stored("ST01").empty());
}

}  // namespace
}  // namespace vireo::testing
