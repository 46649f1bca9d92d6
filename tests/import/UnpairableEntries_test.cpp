#include "import/UnpairableEntries.h"

#include <gtest/gtest.h>

#include "db/Database.h"
#include "db/Session.h"
#include "support/TestDataSource.h"

namespace vireo::testing {
namespace {

class UnpairableEntriesTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        source_ = std::make_unique<TestDataSource>(GetParam());
        // On PostgreSQL chr() makes Ω (U+03A9) and Ж (U+0416) on the server;
        // SQLite gets a name that really is "T?".
        const std::string omega = IsPostgres(GetParam()) ? "'T' || chr(937)" : "'T?'";
        const std::string zhe = IsPostgres(GetParam()) ? "'T' || chr(1046)" : "'TX'";
        source_->Execute(
            "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'TEMP', 'Y');\n"
            "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', " +
            omega +
            ", 'Y');\n"
            "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', " +
            zhe + ", 'Y');\n");
        source_->Connect(database_);
    }
    void TearDown() override { database_.Close(); }

    std::unique_ptr<TestDataSource> source_;
    Session session_;
    Database database_{session_};
};

TEST_P(UnpairableEntriesTest, AnEntryNamingAnUnholdableSensorIsFound) {
    const bool postgres = IsPostgres(GetParam());
    struct Row {
        std::vector<std::string> entries;
        std::string refused;  // the log sensor of the entry found; empty for none
    };
    const Row rows[] = {
        {{"A||ST01.TEMP", "B||ST01.T?"}, postgres ? "B" : ""},
        {{"C||st01.t?"}, postgres ? "C" : ""},   // the case of the entry does not matter
        {{"D||ST01.X?", "E||ST02.T?"}, ""},      // no such sensor of the station
        {{"F||ST01.TEMP", "G||ST01.what"}, ""},  // nothing with a '?': no lookup at all
        {{}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.entries.empty() ? "empty" : row.entries.front());
        const std::optional<ImportEntryParts> found = FindUnpairableEntry(database_, row.entries);
        if (row.refused.empty()) {
            EXPECT_FALSE(found.has_value()) << found->logSensor;
        } else {
            ASSERT_TRUE(found.has_value());
            EXPECT_EQ(found->logSensor, row.refused);
            EXPECT_EQ(found->stationId.size(), 4u);
            EXPECT_EQ(found->sensorName.size(), 2u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, UnpairableEntriesTest, ::testing::ValuesIn(kAllBackends),
                         [](const ::testing::TestParamInfo<Backend>& info) { return BackendName(info.param); });

}  // namespace
}  // namespace vireo::testing
