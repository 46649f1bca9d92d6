// Every value a file yields is counted once by the import, and the dry run
// forecasts the same counts: random files of every kind of value, on each
// database and in each import mode.

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "import/DryRun.h"
#include "support/ImportModes.h"
#include "support/StatusRecorder.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

using testing::Backend;

const std::vector<std::string> kPairs{"TEMP||ST01.TEMP", "ST01:1||ST01.STAGE", "ST01:3||ST01.RH"};

/// A random log: good values, values without a usable time tag, texts that
/// are no number, numbers out of range, names without a pair, single-value
/// and multi-value lines, and time tags drawn from a few so that keys repeat.
/// `values` gets how many values the file yields.
std::string RandomLog(std::mt19937& random, int lines, std::int64_t& values) {
    auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    auto number = [&]() {
        switch (pick(8)) {
            case 0:
                return std::string("n/a");
            case 1:
                return std::string("1e999");
            default:
                return std::to_string(pick(400)) + "." + std::to_string(pick(10));
        }
    };
    auto timeTag = [&]() {
        char text[32];
        std::snprintf(text, sizeof text, "06/%02d/2005,12:%02d:00", 15 + pick(2), pick(6) * 10);
        return std::string(text);
    };
    std::string log;
    values = 0;
    for (int i = 0; i < lines; ++i) {
        switch (pick(6)) {
            case 0:  // one date without a usable time tag
                log += "TEMP,6/15/2005,13:20:00," + number() + ",G\r\n";
                ++values;
                break;
            case 1:
                log += "BATT," + timeTag() + "," + number() + ",G\r\n";
                ++values;
                break;
            case 2:
                log += timeTag() + ",ST01," + number() + "," + number() + "," + number() + "\r\n";
                values += 3;
                break;
            default:
                log += "TEMP," + timeTag() + "," + number() + ",G\r\n";
                ++values;
                break;
        }
    }
    return log;
}

std::int64_t AllValues(const ImportCounts& c) {
    return c.inserted + c.updated + c.kept + c.failed + c.withoutTimeTag + c.notANumber + c.outOfRange + c.withoutPair;
}

class ImportCountsTest : public testing::ImportModeTest {};

TEST_P(ImportCountsTest, DryRunAndImportCountEveryValueOnce) {
    testing::TempDir dir;
    std::mt19937 random(20050615u + static_cast<unsigned>(mode()) * 7u + static_cast<unsigned>(backend()));
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Rows there before: a value of the logger and one edited by hand.
        source_->Execute(
            "DELETE FROM TF_DATA1;\n"
            "INSERT INTO TF_DATA1 VALUES ('ST01', 'TEMP', '2005-06-15 12:10:00.000', 'T', 21.5, 21.5);\n"
            "INSERT INTO TF_DATA1 VALUES ('ST01', 'TEMP', '2005-06-15 12:20:00.000', 'M', 22.0, 18.0);\n");
        std::int64_t values = 0;
        testing::WriteFile(dir.File("random.log"), RandomLog(random, 20 + round * 40, values));
        ImportRequest request;
        request.logFile = dir.File("random.log");
        request.importList = kPairs;
        request.keepEdits = round % 2 == 1;
        request.route = mode();

        ImportObserver observer;
        const DryRunReport report = RunDryRun(request, database_, observer, RunControl{});
        ASSERT_EQ(report.error, "");
        SensorPairs pairs;
        testing::StatusRecorder sink;
        const ImportResult result = RunImport(request, pairs, *writer_, sink, observer, RunControl{});
        ASSERT_EQ(result.error, "");

        const ImportCounts forecast = ForecastCounts(report);
        const ImportCounts& counts = result.counts;
        EXPECT_EQ(AllValues(counts), values);
        EXPECT_EQ(AllValues(forecast), values);
        EXPECT_EQ(counts.failed, 0);
        EXPECT_EQ(counts.inserted, forecast.inserted);
        EXPECT_EQ(counts.updated, forecast.updated);
        EXPECT_EQ(counts.kept, forecast.kept);
        EXPECT_EQ(counts.withoutTimeTag, forecast.withoutTimeTag);
        EXPECT_EQ(counts.notANumber, forecast.notANumber);
        EXPECT_EQ(counts.outOfRange, forecast.outOfRange);
        EXPECT_EQ(counts.withoutPair, forecast.withoutPair);
        EXPECT_EQ(counts.lines, forecast.lines);
        if (round == 3) {  // the longest file has values of every kind
            for (const std::int64_t n : {counts.inserted, counts.updated, counts.kept, counts.withoutTimeTag,
                                         counts.notANumber, counts.outOfRange, counts.withoutPair})
                EXPECT_GT(n, 0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, ImportCountsTest, testing::EveryBackendIn(testing::kAllRoutes),
                         testing::BackendAndModeName);

}  // namespace
}  // namespace vireo
