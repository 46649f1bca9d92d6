// Logs on local clocks, imported into a UTC database: both nights of daylight
// saving time in 2024, every minute logged, on each database in each import
// mode; the dry run forecasts what the import then does.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "import/DryRun.h"
#include "import/RejectsFile.h"
#include "support/ImportModes.h"
#include "support/StatusRecorder.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

/// One night of a logger's clock, written every minute: `hours` hours from
/// midnight of month/day, with the hour `repeated` (or none: -1) written twice
/// in a row. The values count up in file order from `value`.
void AddNight(std::string& log, int& value, int month, int day, int hours, int repeated) {
    for (int hour = 0; hour < hours; ++hour) {
        for (int pass = 0; pass < (hour == repeated ? 2 : 1); ++pass) {
            for (int minute = 0; minute < 60; ++minute) {
                char line[64];
                std::snprintf(line, sizeof line, "TEMP,%02d/%02d/2024,%02d:%02d:00,%d,G\r\n", month, day, hour, minute,
                              value++);
                log += line;
            }
        }
    }
}

TimeZone Zone(const char* text) {
    std::string error;
    return *ParseTimeZone(text, error);
}

struct Row {
    const char* log;
    const char* database;
    int springDay, autumnMonth, autumnDay, repeatedHour;  // the night of each change, as the logger writes it
    std::int64_t missing;                                 // minutes refused: the spring hour the zone does not have
    std::int64_t updated;                                 // minutes whose time tag repeats in the database's base
    std::int64_t repeatedValues;  // values of the repeated hour (both passes), as the dry run counts them
    const char *first, *last;     // the first and last stored time tag
};

class TimeZoneImportTest : public testing::ImportModeTest {};

TEST_P(TimeZoneImportTest, EveryInstantOnceTheMissingHourRefused) {
    const std::vector<Row> rows = {
        {"Europe/Berlin", "UTC", 31, 10, 27, 2, 60, 0, 120, "2024-03-30 23:00", "2024-10-27 03:59"},
        {"America/New_York", "UTC", 10, 11, 3, 1, 60, 0, 120, "2024-03-10 05:00", "2024-11-03 09:59"},
        {"UTC-05:00", "UTC", 10, 11, 3, 1, 0, 60, 0, "2024-03-10 05:00", "2024-11-03 09:59"},
    };
    testing::TempDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.log) + " -> " + row.database);
        source_->Execute("DELETE FROM TF_DATA1");
        std::string log;
        int value = 0;
        AddNight(log, value, 3, row.springDay, 5, -1);
        AddNight(log, value, row.autumnMonth, row.autumnDay, 5, row.repeatedHour);
        testing::WriteFile(dir.File("night.log"), log);

        ImportRequest request;
        request.logFile = dir.File("night.log");
        request.importList = {"TEMP||ST01.TEMP"};
        request.zones = {Zone(row.log), Zone(row.database)};
        request.route = mode();
        ImportObserver observer;
        const DryRunReport report = RunDryRun(request, database_, observer, RunControl{});
        ASSERT_EQ(report.error, "");
        RejectsFile rejects(dir.File("rejects.csv"));
        request.rejects = &rejects;
        SensorPairs pairs;
        testing::StatusRecorder sink;
        const ImportResult result = RunImport(request, pairs, *writer_, sink, observer, RunControl{});
        rejects.Finish();
        ASSERT_EQ(result.error, "");

        const std::int64_t stored = value - row.missing - row.updated;
        EXPECT_EQ(result.counts.timeDoesNotExist, row.missing);
        EXPECT_EQ(result.counts.inserted, stored);
        EXPECT_EQ(result.counts.updated, row.updated);
        const ImportCounts forecast = ForecastCounts(report);
        EXPECT_EQ(forecast.timeDoesNotExist, row.missing);
        EXPECT_EQ(forecast.inserted, stored);
        EXPECT_EQ(forecast.updated, row.updated);
        EXPECT_EQ(report.entries.at(0).repeatedHour, row.repeatedValues);

        // Every minute of both nights once, in the log's order: no value of
        // the repeated hour lies under another.
        const auto got = source_->Select("SELECT TIME_TAG, ORIG_VALUE FROM TF_DATA1 ORDER BY TIME_TAG");
        ASSERT_EQ(static_cast<std::int64_t>(got.size()), stored);
        EXPECT_EQ(got.front()[0]->substr(0, 16), row.first);
        EXPECT_EQ(got.back()[0]->substr(0, 16), row.last);
        for (std::size_t i = 1; i < got.size(); ++i) {
            ASSERT_LT(std::stod(*got[i - 1][1]), std::stod(*got[i][1])) << *got[i][0];
        }
        const std::string rejected = testing::ReadFile(dir.File("rejects.csv"));
        const std::string reason = "\"time that does not exist in " + std::string(row.log) + "\"";
        std::int64_t reasons = 0;
        for (auto at = rejected.find(reason); at != std::string::npos; at = rejected.find(reason, at + 1)) ++reasons;
        EXPECT_EQ(reasons, row.missing);
    }
}

TEST_P(TimeZoneImportTest, AsWrittenStoresTheRowsOfTodayByteForByte) {
    testing::TempDir dir;
    std::string log;
    int value = 0;
    AddNight(log, value, 10, 27, 4, 2);
    testing::WriteFile(dir.File("night.log"), log);
    std::vector<std::vector<std::vector<std::optional<std::string>>>> runs;
    for (const bool asWritten : {false, true}) {
        source_->Execute("DELETE FROM TF_DATA1");
        ImportRequest request;
        request.logFile = dir.File("night.log");
        request.importList = {"TEMP||ST01.TEMP"};
        if (asWritten) request.zones = {Zone("as written"), Zone("as written")};
        request.route = mode();
        SensorPairs pairs;
        testing::StatusRecorder sink;
        ImportObserver observer;
        ASSERT_EQ(RunImport(request, pairs, *writer_, sink, observer, RunControl{}).error, "");
        runs.push_back(source_->Select("SELECT * FROM TF_DATA1 ORDER BY TIME_TAG"));
    }
    EXPECT_EQ(runs[0].size(), 240u);
    EXPECT_EQ(runs[0], runs[1]);
}

INSTANTIATE_TEST_SUITE_P(Modes, TimeZoneImportTest, testing::EveryBackendIn(testing::kAllRoutes),
                         testing::BackendAndModeName);

}  // namespace
}  // namespace vireo
