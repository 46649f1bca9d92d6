#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"

namespace vireo::cli {
namespace {

// A logger on Berlin's clock over both nights of 2024: one time of the
// missing spring hour, the repeated autumn hour with its step back.
const std::vector<std::string> kNights = {
    "TEMP,03/31/2024,01:59:00,1,G", "TEMP,03/31/2024,02:30:00,2,G", "TEMP,03/31/2024,03:00:00,3,G",
    "TEMP,10/27/2024,02:30:00,4,G", "TEMP,10/27/2024,02:10:00,5,G", "TEMP,10/27/2024,03:00:00,6,G",
};

TEST(TimeZoneOptions, ValuesAndSummaryShowTheStoredTimeAndBadZonesAreRefused) {
    testing::TempDir folder;
    const std::string log = folder.WriteLines("nights.log", kNights);
    const std::vector<std::string> zones = {"--log-time-zone", "Europe/Berlin", "--db-time-zone=UTC"};
    struct Row {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
    };
    const std::vector<Row> rows = {
        {{"values", log, zones[0], zones[1], zones[2]},
         0,
         "TEMP\t2024-03-31 00:59:00\t1\nTEMP\t2024-03-31 01:00:00\t3\nTEMP\t2024-10-27 00:30:00\t4\n"
         "TEMP\t2024-10-27 01:10:00\t5\nTEMP\t2024-10-27 02:00:00\t6\n",
         ""},
        {{"summary", log, zones[0], zones[1], zones[2]},
         0,
         "NAME  COUNT  FIRST                FIRST IN LOG         LAST                 LAST IN LOG          MIN  MAX  "
         "MEDIAN INTERVAL  GAPS  REFUSED\n"
         "TEMP  5      2024-03-31 00:59:00  2024-03-31 01:59:00  2024-10-27 02:00:00  2024-10-27 03:00:00  1    6    "
         "00:40:00         1     1\n"
         "TEMP: gap from 2024-03-31 01:00:00 to 2024-10-27 00:30:00 (209d 23:30:00)\n"
         "TEMP: line 2: time that does not exist in the log's time zone: '2'\n",
         ""},
        {{"values", log, "--log-time-zone", "as written", "--db-time-zone", "as written"},
         0,
         "TEMP\t2024-03-31 01:59:00\t1\nTEMP\t2024-03-31 02:30:00\t2\nTEMP\t2024-03-31 03:00:00\t3\n"
         "TEMP\t2024-10-27 02:30:00\t4\nTEMP\t2024-10-27 02:10:00\t5\nTEMP\t2024-10-27 03:00:00\t6\n",
         ""},
        {{"summary", log, "--log-time-zone", "Mars/Olympus", "--db-time-zone", "UTC"},
         2,
         "",
         "vireo-import summary: unknown time zone: Mars/Olympus\n"},
        {{"values", log, "--log-time-zone", "UTC+01:00"},
         2,
         "",
         "vireo-import values: the log's time zone and the database's time base go together\n"},
        {{"import", log, "--pair", "TEMP||ST01.TEMP", "--db-time-zone", "UTC+25:00"},
         2,
         "",
         "vireo-import import: unknown time zone: UTC+25:00\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.args[2]);
        const testing::CliRun run = testing::RunCommand(row.args);
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.out, row.out);
        EXPECT_EQ(run.err, row.err);
    }
}

TEST(TimeZoneOptions, TheDryRunAndTheClosingLineCountTheHoursTheyTouch) {
    testing::TempDir folder;
    testing::TestDataSource source(testing::Backend::Sqlite);
    source.ListInCatalogue({"ST01.TEMP"});
    ::setenv("VIREO_TEST_ZONE_PASSWORD", source.Password().c_str(), 1);
    const std::vector<std::string> args = {"import",          folder.WriteLines("nights.log", kNights),
                                           "--pair",          "TEMP||ST01.TEMP",
                                           "--log-time-zone", "Europe/Berlin",
                                           "--db-time-zone",  "UTC",
                                           "--dsn",           source.Name(),
                                           "--user",          source.User(),
                                           "--password-env",  "VIREO_TEST_ZONE_PASSWORD"};
    std::vector<std::string> dry = args;
    dry.push_back("--dry-run");
    const testing::CliRun forecast = testing::RunCommand(dry);
    EXPECT_EQ(forecast.status, 0) << forecast.err;
    EXPECT_NE(forecast.out.find("\nRepeated hour: 2 values  time that does not exist: 1 values\n"), std::string::npos)
        << forecast.out;
    const testing::CliRun run = testing::RunCommand(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Lines: 6  inserted: 5  updated: 0  not written: 0  without time tag: 0  time that does "
                           "not exist: 1\n"),
              std::string::npos)
        << run.out;
}

}  // namespace
}  // namespace vireo::cli
