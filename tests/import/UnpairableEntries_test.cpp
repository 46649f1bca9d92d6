#include "import/UnpairableEntries.h"

#include <gtest/gtest.h>

#include "db/Database.h"
#include "db/Session.h"
#include "support/TestDataSource.h"

namespace vireo::testing {
namespace {

class RefusedEntriesTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        source_ = std::make_unique<TestDataSource>(GetParam());
        // On PostgreSQL chr() makes Ω (U+03A9) and Ж (U+0416) on the server;
        // SQLite gets a name that really is "T?".
        const std::string omega = IsPostgres(GetParam()) ? "'T' || chr(937)" : "'T?'";
        const std::string zhe = IsPostgres(GetParam()) ? "'T' || chr(1046)" : "'TX'";
        source_->Execute(
            "INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES ('ST01', 'Y');\n"
            "INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES ('ST03', 'N');\n"
            "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'TEMP', 'Y');\n"
            "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'OFF', 'N');\n"
            "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST03', 'TEMP', 'Y');\n"
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

TEST_P(RefusedEntriesTest, EveryEntryTheCatalogueDoesNotListIsNamedWithItsReason) {
    const bool postgres = IsPostgres(GetParam());
    const std::string unpairable =
        "Station sensor ST01.T? cannot be paired: its name holds characters that Windows-1252 cannot hold.";
    struct Row {
        std::string entry;
        std::string refusal;  // empty: the entry may be written
    };
    const Row rows[] = {
        {"TEMP||ST01.TEMP", ""},
        {"temp||st01.temp", ""},  // the case of the entry does not matter
        {"B||ST01.T?", postgres ? unpairable : ""},
        {"TEMP||ST09.TEMP", "TEMP||ST09.TEMP: station ST09 is not an enabled station of the database"},
        {"TEMP||ST03.TEMP", "TEMP||ST03.TEMP: station ST03 is not an enabled station of the database"},
        {"TEMP||ST01.NOPE", "TEMP||ST01.NOPE: sensor NOPE is not an enabled sensor of station ST01"},
        {"TEMP||ST01.OFF", "TEMP||ST01.OFF: sensor OFF is not an enabled sensor of station ST01"},
        {"D||ST01.X?", "D||ST01.X?: sensor X? is not an enabled sensor of station ST01"},
        {"TEMP|ST01.TEMP", "TEMP|ST01.TEMP: not an import entry (LOG||STATION.SENSOR)"},
        {"TEMP=ST01.TEMP", "TEMP=ST01.TEMP: not an import entry (LOG||STATION.SENSOR)"},
        {" TEMP||ST01.TEMP", " TEMP||ST01.TEMP: not an import entry (LOG||STATION.SENSOR)"},
        {"TEMP||ST01.", "TEMP||ST01.: not an import entry (LOG||STATION.SENSOR)"},
        {"TEMP||.TEMP", "TEMP||.TEMP: not an import entry (LOG||STATION.SENSOR)"},
        {"||ST01.TEMP", "||ST01.TEMP: not an import entry (LOG||STATION.SENSOR)"},
        {"TEMP||ST01TEMP", "TEMP||ST01TEMP: not an import entry (LOG||STATION.SENSOR)"},
        {"", ": not an import entry (LOG||STATION.SENSOR)"},
    };
    std::vector<std::string> all;
    std::vector<std::string> refusals;
    for (const Row& row : rows) {
        SCOPED_TRACE("[" + row.entry + "]");
        const std::vector<RefusedEntry> refused = RefusedImportEntries(database_, {row.entry});
        if (row.refusal.empty()) {
            EXPECT_TRUE(refused.empty()) << refused.front().text;
        } else {
            ASSERT_EQ(refused.size(), 1u);
            EXPECT_EQ(refused.front().entry, row.entry);
            EXPECT_EQ(refused.front().text, row.refusal);
            refusals.push_back(row.refusal);
        }
        all.push_back(row.entry);
    }
    // All at once: every refused entry, in list order.
    std::vector<std::string> texts;
    for (const RefusedEntry& entry : RefusedImportEntries(database_, all)) texts.push_back(entry.text);
    EXPECT_EQ(texts, refusals);
}

INSTANTIATE_TEST_SUITE_P(Backends, RefusedEntriesTest, ::testing::ValuesIn(kAllBackends),
                         [](const ::testing::TestParamInfo<Backend>& info) { return BackendName(info.param); });

}  // namespace
}  // namespace vireo::testing
