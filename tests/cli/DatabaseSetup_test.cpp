// init-db and add-station on an empty database of each engine: the tables an
// import needs, the catalogue rows it reads, and what they refuse.
#include <gtest/gtest.h>

#include <cstdlib>

#include "cli/CliRun.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"

namespace vireo::testing {
namespace {

class DatabaseSetupTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override { ::setenv("VIREO_TEST_PASSWORD", source_.Password().c_str(), 1); }

    CliRun Run(std::vector<std::string> args) const {
        const std::vector<std::string> connection{"--dsn",        source_.Name(),   "--user",
                                                  source_.User(), "--password-env", "VIREO_TEST_PASSWORD"};
        args.insert(args.end(), connection.begin(), connection.end());
        return RunCommand(args);
    }
    std::string Rows(const std::string& sql) const {
        std::string text;
        for (const auto& row : source_.Select(sql)) {
            for (const auto& field : row) text += field.value_or("NULL") + " ";
            text += "\n";
        }
        return text;
    }

    TestDataSource source_{GetParam(), false};
    TempDir dir_;
};

TEST_P(DatabaseSetupTest, InitDbCreatesTheTablesOnceAndAnImportFillsThem) {
    CliRun made = Run({"init-db"});
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.out, "Created TF_SITES, TF_SITESENSORS and TF_DATA1 in " + source_.Name() + "\n");

    CliRun again = Run({"init-db"});
    EXPECT_EQ(again.status, 2);
    EXPECT_EQ(again.err, "vireo-import init-db: the data source " + source_.Name() +
                             " holds TF_SITES, TF_SITESENSORS, TF_DATA1 already; nothing was changed\n");

    CliRun added = Run({"add-station", "st01", "temp", "Batt"});
    ASSERT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(added.out, "Added station ST01\nAdded station sensor ST01.TEMP\nAdded station sensor ST01.BATT\n");
    EXPECT_EQ(Rows("SELECT STE_STATION_ID, SENSORNAME, ENABLED FROM TF_SITESENSORS ORDER BY SENSORNAME"),
              "ST01 BATT Y \nST01 TEMP Y \n");

    WriteFile(dir_.File("a.log"), "TEMP,06/15/2005,12:30:00,21.5,G\nBATT,06/15/2005,12:30:00,13.2,G\n");
    CliRun imported = Run({"import", dir_.File("a.log"), "--pair", "TEMP||ST01.TEMP", "--pair", "BATT||ST01.BATT"});
    ASSERT_EQ(imported.status, 0) << imported.out << imported.err;
    EXPECT_EQ(Rows("SELECT STATION_ID, SENSORNAME, ORIG_VALUE FROM TF_DATA1 ORDER BY SENSORNAME"),
              "ST01 BATT 13.2 \nST01 TEMP 21.5 \n");
    // The key refuses a second row of one station sensor and time tag.
    EXPECT_ANY_THROW(
        source_.Execute("INSERT INTO TF_DATA1 (STATION_ID, SENSORNAME, TIME_TAG) SELECT STATION_ID, "
                        "SENSORNAME, TIME_TAG FROM TF_DATA1 WHERE SENSORNAME = 'TEMP';\n"));
}

TEST_P(DatabaseSetupTest, InitDbLeavesADataSourceWithOneOfTheTablesAsItIs) {
    source_.Execute("CREATE TABLE TF_DATA1 (X INTEGER);\n");
    CliRun run = Run({"init-db"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(" holds TF_DATA1 already; nothing was changed"), std::string::npos) << run.err;
    EXPECT_ANY_THROW(source_.Select("SELECT COUNT(*) FROM TF_SITES"));
}

TEST_P(DatabaseSetupTest, AddStationEnablesWhatIsThereAndRefusesBadNamesWithoutChangingAnything) {
    ASSERT_EQ(Run({"init-db"}).status, 0);
    source_.Execute(
        "INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES ('ST02', 'N');\n"
        "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST02', 'AT', 'Y');\n");
    CliRun run = Run({"add-station", "ST02", "AT", "WS.AVG"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "Enabled station ST02\nKept station sensor ST02.AT (enabled already)\n"
              "Added station sensor ST02.WS.AVG\n");

    struct Case {
        std::vector<std::string> names;
        std::string message;
    };
    const std::vector<Case> cases{
        {{"ST.03", "TEMP"}, "the station name 'ST.03' holds a '.'"},
        {{"ST03", "A|B"}, "the sensor name 'A|B' holds a '|'"},
        {{" ", "TEMP"}, "the station name ' ' is empty"},
        {{"ST03", std::string(33, 'X')}, "the sensor name '" + std::string(33, 'X') + "' is longer than 32 characters"},
        {{"ST03", "\xE2\x82\xAC\xE2\x84\xA2\xC4\x80"}, "holds a character that Windows-1252 cannot hold"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"add-station"};
        args.insert(args.end(), c.names.begin(), c.names.end());
        CliRun refused = Run(args);
        EXPECT_EQ(refused.status, 2) << c.message;
        EXPECT_NE(refused.err.find(c.message), std::string::npos) << refused.err;
    }
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM TF_SITES WHERE STATION_ID <> 'ST02'"), "0 \n");
    EXPECT_EQ(RunCommand({"add-station"}).status, 2);
}

INSTANTIATE_TEST_SUITE_P(Backends, DatabaseSetupTest, ::testing::Values(Backend::Sqlite, Backend::PostgresAnsi),
                         [](const auto& info) { return BackendName(info.param); });

TEST(ProgramHelp, NamesEveryExitStatus) {
    const CliRun help = RunCommand({"--help"});
    for (const char* status : {"  0 ", "  1 ", "  2 ", "  3 ", "130", "143", "129", "141", "init-db", "add-station"})
        EXPECT_NE(help.out.find(status), std::string::npos) << status;
}

}  // namespace
}  // namespace vireo::testing
