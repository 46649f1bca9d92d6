#include "db/BulkWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BackendTest.h"
#include "scan/Chronos.h"

namespace vireo::testing {
namespace {

constexpr SecondStamp kNoon = 645537600;  // 2005-06-15 12:00:00

class BulkWriterTest : public BackendTest {
protected:
    /// `count` values of ST01.TEMP, one a minute from noon, worth i + offset.
    std::vector<BulkValue> Values(int count, double offset) const {
        std::vector<BulkValue> values;
        for (int i = 0; i < count; ++i) {
            values.push_back({station_, sensor_, SecondsToDateTime(kNoon + 60 * i), i + offset});
        }
        return values;
    }

    long RowCount() const { return std::stol(source().Select("SELECT COUNT(*) FROM TF_DATA1")[0][0].value_or("0")); }

    std::string station_ = "st01";
    std::string sensor_ = "Temp";
};

TEST_P(BulkWriterTest, AnInsertRunAndAReImportGoInSets) {
    DataWriter writer(database_);
    BulkWriter bulk(writer, BulkWriter::Route::DriverSets);
    std::vector<WriteResult> results;
    {
        BatchGuard batch(writer);
        bulk.Write(Values(250, 0.5), "", results);
        batch.Commit();
    }
    ASSERT_EQ(results.size(), 250u);
    for (const WriteResult& result : results) EXPECT_EQ(result.outcome, WriteOutcome::Inserted);
    EXPECT_EQ(bulk.SetsWritten(), OnPostgres() ? 1u : 3u) << "100 rows a set on SQLite, up to 10,000 on PostgreSQL";
    EXPECT_EQ(bulk.SetsRefused(), 0u);
    {
        BatchGuard batch(writer);
        bulk.Write(Values(300, 0.25), "", results);
        batch.Commit();
    }
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].outcome, i < 250 ? WriteOutcome::Updated : WriteOutcome::Inserted) << i;
    }
    EXPECT_EQ(RowCount(), 300);
    EXPECT_EQ(source().Select("SELECT ORIG_VALUE, ED_VALUE, SOURCE, STATION_ID, SENSORNAME FROM TF_DATA1 WHERE "
                              "ORIG_VALUE < 1")[0],
              (std::vector<std::optional<std::string>>{"0.5", "0.25", "T", "ST01", "TEMP"}));
}

TEST_P(BulkWriterTest, ARefusedSetIsWrittenAgainValueByValue) {
    source().Execute(OnPostgres() ? "ALTER TABLE TF_DATA1 ADD CONSTRAINT small CHECK (ORIG_VALUE < 100)"
                                  : "CREATE TRIGGER small BEFORE INSERT ON TF_DATA1 WHEN NEW.ORIG_VALUE >= 100 "
                                    "BEGIN SELECT RAISE(ABORT, 'too large'); END;");
    DataWriter writer(database_);
    BulkWriter bulk(writer);
    std::vector<WriteResult> results;
    BatchGuard batch(writer);
    bulk.Write(Values(250, 0.5), "", results);
    batch.Commit();
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].outcome, i < 100 ? WriteOutcome::Inserted : WriteOutcome::Failed) << i;
        EXPECT_EQ(results[i].error.has_value(), i >= 100) << i;
    }
    EXPECT_EQ(RowCount(), 100);
    // SQLite's first set goes whole; each set after holds refused values.
    EXPECT_EQ(bulk.SetsWritten(), OnPostgres() ? 0u : 1u);
    EXPECT_EQ(bulk.SetsRefused(), OnPostgres() ? 1u : 2u);
}

TEST_P(BulkWriterTest, NoValuesWriteNothing) {
    DataWriter writer(database_);
    BulkWriter bulk(writer);
    std::vector<WriteResult> results(3);
    bulk.Write({}, "", results);
    EXPECT_TRUE(results.empty());
    EXPECT_EQ(bulk.SetsWritten(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Backends, BulkWriterTest, ::testing::Values(Backend::Sqlite, Backend::PostgresAnsi),
                         BackendParamName);

}  // namespace
}  // namespace vireo::testing
