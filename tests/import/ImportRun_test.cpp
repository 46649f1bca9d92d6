#include "import/ImportRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>

#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/Session.h"
#include "scan/Regional.h"
#include "support/ImportModes.h"
#include "support/StatusRecorder.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"

namespace vireo {
namespace {

using testing::Backend;
using testing::StatusRecorder;
using testing::TempDir;
using testing::TestDataSource;
using testing::WriteFile;

// One line of every kind, and the lines an import passes over.
constexpr const char* kMixedLog =
    "\"Vireo 4620 export, station ST01\r\n"
    "TEMP,06/15/2005,12:30:00,21.5,G\r\n"
    "temp,06/15/2005 12:40:00,21.9,G\r\n"
    "06/15/2005,12:50:00,BATT,13.2,C,G\r\n"
    "06/15/2005 13:00:00,BATT,13.1,C,G\r\n"
    "TEMP,06/15/2005,13:10:00,n/a,B\r\n"
    "TEMP,6/15/2005,13:20:00,22.0,G\r\n"
    "06/15/2005,13:30:00,ST01,1.25,,55\r\n"
    "06/15/2005,13:45:00,ST01,1.5,7.5,60\r\n"
    "06/15/2005 14:00:00 3.5 4.25\r\n"
    "\r\n"
    "UNPAIRED,06/15/2005,12:30:00,1,G\r\n"
    "JUNK\r\n";

const std::vector<std::string> kMixedPairs{"TEMP||ST01.TEMP", "BATT||ST01.BATT", "ST01:1||ST01.STAGE",
                                           "ST01:3||ST01.RH", "0:1||ST02.AT",    "0:2||ST02.WS"};

const std::vector<std::string> kMixedRows{
    "ST01|BATT|2005-06-15 12:50:00|T|13.2|13.2",  "ST01|BATT|2005-06-15 13:00:00|T|13.1|13.1",
    "ST01|RH|2005-06-15 13:30:00|T|55|55",        "ST01|RH|2005-06-15 13:45:00|T|60|60",
    "ST01|STAGE|2005-06-15 13:30:00|T|1.25|1.25", "ST01|STAGE|2005-06-15 13:45:00|T|1.5|1.5",
    "ST01|TEMP|2005-06-15 12:30:00|T|21.5|21.5",  "ST01|TEMP|2005-06-15 12:40:00|T|21.9|21.9",
    "ST02|AT|2005-06-15 14:00:00|T|3.5|3.5",      "ST02|WS|2005-06-15 14:00:00|T|4.25|4.25",
};

/// Records what the window would show, and can act at a given written value.
class RecordingObserver : public ImportObserver {
public:
    void ProgressChanged(int percent) override { percents.push_back(percent); }
    void LineCounted(std::int64_t count) override { lastCount = count; }
    void ValueWritten() override {
        ++written;
        if (onValue) onValue(written);
    }
    std::vector<int> percents;
    std::int64_t lastCount = 0;
    int written = 0;
    std::function<void(int)> onValue;
};

/// Every case runs on each database in each import mode (one statement at a
/// time, fast mode one statement a value, fast mode in sets): the outcome must
/// be the same row for row.
class ImportRunTest : public testing::ImportModeTest {
protected:
    void SetUp() override { ImportModeTest::SetUp(); }

    ImportResult Import(const std::string& content, const std::vector<std::string>& pairs,
                        const std::string& name = "data.log") {
        WriteFile(dir_.File(name), content);
        ImportRequest request;
        request.logFile = dir_.File(name);
        request.importList = pairs;
        request.route = mode();
        SensorPairs table;
        return RunImport(request, table, *writer_, sink_, observer_, control_);
    }

    /// The rows of TF_DATA1 as "station|sensor|time tag|source|orig|edited".
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (const auto& row :
             source_->Select("SELECT STATION_ID, SENSORNAME, TIME_TAG, SOURCE, ORIG_VALUE, ED_VALUE FROM TF_DATA1 "
                             "ORDER BY STATION_ID, SENSORNAME, TIME_TAG")) {
            auto number = [](const std::optional<std::string>& text) {
                char buffer[32];
                std::snprintf(buffer, sizeof buffer, "%.15g", text ? std::stod(*text) : -1.0);
                return std::string(buffer);
            };
            rows.push_back(row[0].value_or("?") + "|" + row[1].value_or("?") + "|" +
                           row[2].value_or("?").substr(0, 19) + "|" + row[3].value_or("?") + "|" + number(row[4]) +
                           "|" + number(row[5]));
        }
        return rows;
    }

    TempDir dir_;
    StatusRecorder sink_;
    RecordingObserver observer_;
    RunControl control_;
};

TEST_P(ImportRunTest, MixedFileLandsRowByRow) {
    ImportResult result = Import(kMixedLog, kMixedPairs);
    EXPECT_EQ(result.error, "");
    EXPECT_FALSE(result.stopped);
    EXPECT_EQ(Rows(), kMixedRows);
    EXPECT_EQ(result.counts.inserted, 10);
    EXPECT_EQ(result.counts.updated, 0);
    EXPECT_EQ(result.counts.failed, 0);
    EXPECT_EQ(result.counts.withoutTimeTag, 1);
    EXPECT_EQ(result.counts.lines, 11);
    EXPECT_EQ(observer_.lastCount, 11);
    EXPECT_EQ(observer_.written, 10);
    EXPECT_EQ(sink_.messages,
              (std::vector<std::string>{"No valid date and time, line not imported - TEMP,6/15/2005,13:20:00,22.0,G",
                                        "Import process completed."}));
    ASSERT_FALSE(observer_.percents.empty());
    EXPECT_EQ(observer_.percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(observer_.percents.begin(), observer_.percents.end()));
}

TEST_P(ImportRunTest, ReimportUpdatesAndKeepsTheOriginalValue) {
    ASSERT_EQ(Import(kMixedLog, kMixedPairs).counts.inserted, 10);
    source_->Execute("UPDATE TF_DATA1 SET ED_VALUE = 99, SOURCE = 'E' WHERE SENSORNAME = 'BATT';\n");
    ImportResult again = Import(kMixedLog, kMixedPairs);
    EXPECT_EQ(again.counts.inserted, 0);
    EXPECT_EQ(again.counts.updated, 10);
    EXPECT_EQ(again.counts.lines, 11);
    EXPECT_EQ(Rows(), kMixedRows);

    ImportResult changed = Import("TEMP,06/15/2005,12:30:00,30.25,G\n", kMixedPairs, "changed.log");
    EXPECT_EQ(changed.counts.updated, 1);
    EXPECT_EQ(Rows()[6], "ST01|TEMP|2005-06-15 12:30:00|T|21.5|30.25");
}

TEST_P(ImportRunTest, DetailMessagesTellEveryLineAndWrite) {
    sink_.SetDetails(true);
    Import("\"head\nTEMP,06/15/2005,12:30:00,21.5,G\n", {"temp||st01.Temp"});
    std::vector<std::string> expected{"Reading - \"head", "Reading - TEMP,06/15/2005,12:30:00,21.5,G",
                                      "Inserted timetag data - st01.Temp @ 06/15/2005 12:30:00 - 21.5",
                                      "Import process completed."};
    // A fast run names its route first; the engine's own interface is open
    // to the ordinary role the tests log in as.
    const std::map<WriteRoute, std::string> routes{
        {WriteRoute::Batched, "one statement a value through the driver"},
        {WriteRoute::DriverSets, "sets through the driver"},
        {WriteRoute::EngineInterface,
         IsPostgres(backend()) ? "COPY through libpq" : "the SQLite library on the database file"}};
    if (routes.contains(mode())) expected.insert(expected.begin(), "Fast import route: " + routes.at(mode()));
    EXPECT_EQ(sink_.messages, expected);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"ST01|TEMP|2005-06-15 12:30:00|T|21.5|21.5"}));
}

TEST_P(ImportRunTest, PrnHeadingsNameTheColumns) {
    ImportResult result = Import(
        "\"DATE\" \"TIME\" \"STAGE\" \"BATT\"\r\n06/15/2005 14:00:00 1.40 12.8 99\r\n06/15/2005 14:15:00 1.42 12.7\r\n",
        {"STAGE||ST01.STAGE", "0:2||ST01.BATT", "0:3||ST01.RH"}, "gauge.PRN");
    EXPECT_EQ(result.counts.inserted, 5);
    EXPECT_EQ(Rows(), (std::vector<std::string>{
                          "ST01|BATT|2005-06-15 14:00:00|T|12.8|12.8", "ST01|BATT|2005-06-15 14:15:00|T|12.7|12.7",
                          "ST01|RH|2005-06-15 14:00:00|T|99|99", "ST01|STAGE|2005-06-15 14:00:00|T|1.4|1.4",
                          "ST01|STAGE|2005-06-15 14:15:00|T|1.42|1.42"}));
}

TEST_P(ImportRunTest, StopEndsTheRunBeforeTheNextLineAndKeepsWhatWasWritten) {
    observer_.onValue = [this](int written) {
        if (written == 3) control_.stop = true;
    };
    ImportResult result = Import(kMixedLog, kMixedPairs);
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.counts.lines, 3);
    EXPECT_EQ(Rows().size(), 3u);
    EXPECT_EQ(sink_.messages.back(), "Import process completed.");
}

TEST_P(ImportRunTest, ClosingEndsTheRunBeforeTheNextValue) {
    observer_.onValue = [this](int written) {
        if (written == 5) control_.closing = true;  // the first value of the label line
    };
    ImportResult result = Import(kMixedLog, kMixedPairs);
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(Rows().size(), 5u);
    EXPECT_EQ(sink_.messages.back(), "Import process completed.");
}

TEST_P(ImportRunTest, FileOfCommentsOnlyCountsNothing) {
    ImportResult result = Import("\"one\n'two\n:three\n;four\n\n", kMixedPairs);
    EXPECT_EQ(result.counts.lines, 0);
    EXPECT_TRUE(observer_.percents.empty());
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(sink_.messages, (std::vector<std::string>{"Import process completed."}));
}

TEST_P(ImportRunTest, UnreadableFileEndsTheRunWithItsError) {
    ImportRequest request;
    request.logFile = dir_.path().string();  // a folder opens but cannot be read
    request.importList = kMixedPairs;
    request.route = mode();
    SensorPairs table;
    ImportResult result = RunImport(request, table, *writer_, sink_, observer_, control_);
    EXPECT_NE(result.error.find(request.logFile), std::string::npos) << result.error;
    EXPECT_EQ(sink_.messages, (std::vector<std::string>{"Import process completed."}));
}

TEST_P(ImportRunTest, ManyBatchesLoseNothing) {
    std::string log;
    char line[64];
    for (int second = 0; second < 25000; ++second) {
        std::snprintf(line, sizeof line, "06/%02d/2005 %02d:%02d:%02d %d.5\n", 10 + second / 86400, second / 3600 % 24,
                      second / 60 % 60, second % 60, second % 100);
        log += line;
    }
    ImportResult result = Import(log, {"0:1||ST01.AT"});
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.counts.inserted, 25000);
    EXPECT_EQ(source_->Select("SELECT COUNT(*) FROM TF_DATA1")[0][0], "25000");
    EXPECT_EQ(source_->Select("SELECT SUM(ORIG_VALUE) FROM TF_DATA1")[0][0].value_or("").substr(0, 7), "1250000");
}

TEST_P(ImportRunTest, ImpossibleDatesNeverOverwriteARealRow) {
    // The real rows at the times that impossible and garbled dates and times
    // would give if their parts were let overflow or were read in part.
    const std::string real =
        "TEMP,03/02/2005,12:00:00,1,G\n"
        "TEMP,02/14/2006,12:00:00,2,G\n"
        "TEMP,06/15/2005,02:02:01,3,G\n"
        "TEMP,06/15/2005,10:00:00,4,G\n"
        "03/24/1985,13:10:00,ST01,5\n"
        "06/15/2005,00:10:00,ST01,6\n"
        "01/15/2005,10:00:00,ST01,7\n"
        "05/09/2004 03:01:44 8\n";
    const std::vector<std::string> pairs{"TEMP||ST01.TEMP", "ST01:1||ST01.STAGE", "0:1||ST02.AT"};
    ASSERT_EQ(Import(real, pairs, "real.log").counts.inserted, 8);
    const std::vector<std::string> before = Rows();
    sink_.messages.clear();

    const std::vector<std::string> impossible{
        "TEMP,02/30/2005,12:00:00,99,G",
        "TEMP,13/45/2005,12:00:00,99,G",
        "TEMP,06/14/2005,25:61:61,99,G",
        "TEMP,06/15/2005,10:0x:00,99,G",
        "-06/15/2005,10:00:00,ST01,99",
        "06/15/2005,-10:00:00,ST01,99",
        "99999999999/15/2005,10:00:00,ST01,99",
        "06/15/2140 09:30:00 99",  // beyond what a time tag holds
    };
    std::string content;
    std::vector<std::string> expected;
    for (const std::string& line : impossible) {
        content += line + "\r\n";
        expected.push_back("No valid date and time, line not imported - " + line);
    }
    expected.push_back("Import process completed.");
    ImportResult result = Import(content, pairs, "impossible.log");
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.counts.inserted, 0);
    EXPECT_EQ(result.counts.updated, 0);
    EXPECT_EQ(result.counts.withoutTimeTag, 8);
    EXPECT_EQ(result.counts.lines, 8);
    EXPECT_EQ(sink_.messages, expected);
    EXPECT_EQ(Rows(), before) << "no ED_VALUE replaced, no row added";
}

TEST_P(ImportRunTest, ANumberTooLargeForADoubleIsReportedAndLosesNothingElse) {
    const std::string content =
        "TEMP,06/15/2005,12:30:00,1e309,G\n"
        "TEMP,06/15/2005,12:40:00,-1e309,G\n"
        "TEMP,06/15/2005,12:50:00,1e-400,G\n"  // too small: reads as 0
        "UNPAIRED,06/15/2005,12:30:00,1e309,G\n"
        "06/15/2005,13:00:00,ST01,1e309,2.5,9e999\n"
        "06/15/2005 13:10:00 1.5 1E+400\n"
        "TEMP,06/15/2005,13:20:00,n/a,G\n";
    ImportResult result = Import(content, {"TEMP||ST01.TEMP", "ST01:1||ST01.STAGE", "ST01:2||ST01.RH",
                                           "ST01:3||ST01.WS", "0:1||ST02.AT", "0:2||ST02.WS"});
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.counts.inserted, 3);
    EXPECT_EQ(result.counts.outOfRange, 5);
    EXPECT_EQ(result.counts.withoutTimeTag, 0);
    EXPECT_EQ(sink_.messages,
              (std::vector<std::string>{"Number out of range, value not imported - TEMP,06/15/2005,12:30:00,1e309,G",
                                        "Number out of range, value not imported - TEMP,06/15/2005,12:40:00,-1e309,G",
                                        "Number out of range, value not imported - 06/15/2005,13:00:00,ST01,1e309,2.5,"
                                        "9e999",
                                        "Number out of range, value not imported - 06/15/2005 13:10:00 1.5 1E+400",
                                        "Import process completed."}));
    EXPECT_EQ(Rows(),
              (std::vector<std::string>{"ST01|RH|2005-06-15 13:00:00|T|2.5|2.5", "ST01|TEMP|2005-06-15 12:50:00|T|0|0",
                                        "ST02|AT|2005-06-15 13:10:00|T|1.5|1.5"}));
}

TEST_P(ImportRunTest, CarriageReturnsAloneEndLines) {
    const std::string content =
        "\"Vireo 4620 export\r"
        "TEMP,06/15/2005,12:30:00,21.5,G\r"
        "TEMP,06/15/2005,12:40:00,21.9,G\r\r"
        "06/15/2005,12:50:00,ST01,1.25\r\n"
        "TEMP,06/15/2005,13:00:00,22.5,G\n"
        "06/15/2005 13:10:00 3.5\r";
    ImportResult result = Import(content, {"TEMP||ST01.TEMP", "ST01:1||ST01.STAGE", "0:1||ST02.AT"});
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.counts.lines, 5);
    EXPECT_EQ(result.counts.inserted, 5);
    EXPECT_EQ(sink_.messages, (std::vector<std::string>{"Import process completed."}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{
                          "ST01|STAGE|2005-06-15 12:50:00|T|1.25|1.25", "ST01|TEMP|2005-06-15 12:30:00|T|21.5|21.5",
                          "ST01|TEMP|2005-06-15 12:40:00|T|21.9|21.9", "ST01|TEMP|2005-06-15 13:00:00|T|22.5|22.5",
                          "ST02|AT|2005-06-15 13:10:00|T|3.5|3.5"}));
    ASSERT_FALSE(observer_.percents.empty());
    EXPECT_EQ(observer_.percents.back(), 100);
}

INSTANTIATE_TEST_SUITE_P(Backends, ImportRunTest, testing::EveryBackendIn(testing::kAllRoutes),
                         testing::BackendAndModeName);

}  // namespace
}  // namespace vireo
