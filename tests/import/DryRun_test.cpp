#include "import/DryRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/Session.h"
#include "import/RejectsFile.h"
#include "scan/Regional.h"
#include "support/StatusRecorder.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"

namespace vireo {
namespace {

using testing::Backend;
using testing::ReadFile;
using testing::StatusRecorder;
using testing::TempDir;
using testing::TestDataSource;
using testing::WriteFile;

// Rows a data manager has seen to: 12:30 holds the logger's value, 12:40 an
// older import of another value, 12:50 a value edited by hand, 13:00 a row
// entered by hand without an original value.
constexpr const char* kRowsBefore =
    "INSERT INTO TF_DATA1 VALUES ('ST01', 'TEMP', '2005-06-15 12:30:00.000', 'T', 21.5, 21.5);\n"
    "INSERT INTO TF_DATA1 VALUES ('ST01', 'TEMP', '2005-06-15 12:40:00.000', 'T', 20.0, 20.0);\n"
    "INSERT INTO TF_DATA1 VALUES ('ST01', 'TEMP', '2005-06-15 12:50:00.000', 'M', 22.0, 18.0);\n"
    "INSERT INTO TF_DATA1 VALUES ('ST01', 'RH', '2005-06-15 13:30:00.000', 'M', NULL, 50);\n";

// Rows that exist, new rows, a key written twice in the file (once to the
// same value, once to another), and every value an import passes over.
constexpr const char* kLog =
    "TEMP,06/15/2005,12:30:00,21.5,G\r\n"
    "TEMP,06/15/2005,12:40:00,21.9,G\r\n"
    "TEMP,06/15/2005,12:50:00,22.3,G\r\n"
    "TEMP,06/15/2005,13:00:00,22.4,G\r\n"
    "TEMP,06/15/2005,13:00:00,22.4,G\r\n"
    "TEMP,06/15/2005,12:40:00,23.0,G\r\n"
    "TEMP,06/15/2005,12:50:00,22.5,G\r\n"
    "TEMP,06/15/2005,13:10:00,n/a,B\r\n"
    "TEMP,6/15/2005,13:20:00,22.0,G\r\n"
    "06/15/2005,13:30:00,ST01,1.25,7.5,55\r\n"
    "06/15/2005,13:45:00,ST01,1.5,7.5,60\r\n"
    "UNPAIRED,06/15/2005,12:30:00,1,G\r\n"
    "JUNK\r\n"
    "TEMP,06/15/2005,13:40:00,1e999,G\r\n";

const std::vector<std::string> kPairs{"TEMP||ST01.TEMP", "ST01:1||ST01.STAGE", "ST01:3||ST01.RH"};

/// Each case on each database, the import that follows one value at a time
/// and in fast mode.
class DryRunTest : public ::testing::TestWithParam<std::tuple<Backend, bool>> {
protected:
    void SetUp() override {
        SetRegional(RegionalSettings{});
        source_ = std::make_unique<TestDataSource>(std::get<0>(GetParam()));
        source_->Connect(database_);
        WriteFile(dir_.File("data.log"), kLog);
        source_->Execute(kRowsBefore);
    }
    void TearDown() override { database_.Close(); }

    ImportRequest Request(bool keepEdits) const {
        ImportRequest request;
        request.logFile = dir_.File("data.log");
        request.importList = kPairs;
        request.route = std::get<1>(GetParam()) ? WriteRoute::EngineInterface : WriteRoute::OneByOne;
        request.keepEdits = keepEdits;
        return request;
    }

    /// Every row of TF_DATA1, whole, in key order.
    std::vector<std::vector<std::optional<std::string>>> Table() const {
        return source_->Select("SELECT * FROM TF_DATA1 ORDER BY STATION_ID, SENSORNAME, TIME_TAG");
    }

    TempDir dir_;
    std::unique_ptr<TestDataSource> source_;
    Session session_;
    Database database_{session_};
    ImportObserver observer_;
};

TEST_P(DryRunTest, WritesNothingAndCountsWhatTheImportThenDoes) {
    for (const bool keepEdits : {false, true}) {
        SCOPED_TRACE(keepEdits ? "keeping edits" : "overwriting edits");
        source_->Execute("DELETE FROM TF_DATA1;\n");
        source_->Execute(kRowsBefore);
        const auto before = Table();
        const DryRunReport report = RunDryRun(Request(keepEdits), database_, observer_, RunControl{});
        EXPECT_EQ(report.error, "");
        EXPECT_FALSE(report.partial);
        EXPECT_EQ(Table(), before);

        DataWriter writer(database_);
        SensorPairs table;
        StatusRecorder sink;
        const ImportResult result = RunImport(Request(keepEdits), table, writer, sink, observer_, RunControl{});
        ASSERT_EQ(result.error, "");
        EntryForecast total;
        for (const EntryForecast& e : report.entries) {
            total.insert += e.insert, total.update += e.update, total.unchanged += e.unchanged;
            total.kept += e.kept, total.noTimeTag += e.noTimeTag, total.outOfRange += e.outOfRange;
        }
        EXPECT_EQ(total.insert, result.counts.inserted);
        EXPECT_EQ(total.update + total.unchanged, result.counts.updated);
        EXPECT_EQ(total.kept, result.counts.kept);
        EXPECT_EQ(total.noTimeTag, result.counts.withoutTimeTag);
        EXPECT_EQ(total.outOfRange, result.counts.outOfRange);
        EXPECT_EQ(report.lines, result.counts.lines);

        // 12:30 unchanged; 13:00 inserted, then unchanged; 12:50, edited,
        // updated twice or kept twice; 12:40 updated, and then, its value
        // now differing from its first, updated again or kept. STAGE and RH
        // new but RH 13:30, entered by hand (kept, or updated).
        ASSERT_EQ(report.entries.size(), 3u);
        const EntryForecast& temp = report.entries[0];
        EXPECT_EQ(temp.entry, "TEMP||ST01.TEMP");
        EXPECT_EQ(temp.insert, 1);
        EXPECT_EQ(temp.unchanged, 2);
        EXPECT_EQ(temp.update, keepEdits ? 1 : 4);
        EXPECT_EQ(temp.kept, keepEdits ? 3 : 0);
        EXPECT_EQ(temp.notANumber, 1);
        EXPECT_EQ(temp.noTimeTag, 1);
        EXPECT_EQ(temp.outOfRange, 1);
        EXPECT_EQ(report.entries[1].insert, 2);
        EXPECT_EQ(report.entries[2].insert, 1);
        EXPECT_EQ(report.entries[2].kept + report.entries[2].update, 1);
        ASSERT_EQ(report.unpaired.size(), 2u);
        EXPECT_EQ(report.unpaired[0].name, "ST01:2");
        EXPECT_EQ(report.unpaired[0].values, 2);
        EXPECT_EQ(report.unpaired[1].name, "UNPAIRED");
        EXPECT_EQ(report.notARecord, 1);
    }
}

TEST_P(DryRunTest, AKeyMetAgainBatchesLaterAndAValueStoredToItsLastDigitHaveTheirRows) {
    source_->Execute(
        "INSERT INTO TF_DATA1 VALUES ('ST01', 'TEMP', '2005-06-14 12:00:00.000', 'T', 0.30000000000000004, "
        "0.30000000000000004);\n");
    std::string log = "TEMP,06/14/2005,12:00:00,0.30000000000000004,G\r\n";
    for (int i = 0; i < 5000; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "TEMP,06/16/2005,%02d:%02d:%02d,1.5,G\r\n", i / 3600, i / 60 % 60, i % 60);
        log += line;
    }
    WriteFile(dir_.File("data.log"), log + "TEMP,06/16/2005,00:00:00,1.5,G\r\nTEMP,06/16/2005,00:00:00,2.5,G\r\n");
    const DryRunReport report = RunDryRun(Request(false), database_, observer_, RunControl{});
    EXPECT_EQ(report.entries[0].insert, 5000);
    EXPECT_EQ(report.entries[0].unchanged, 2);
    EXPECT_EQ(report.entries[0].update, 1);
}

TEST_P(DryRunTest, TheTableShowsEachEntryTheUnpairedNamesAndTheTotals) {
    const DryRunReport report = RunDryRun(Request(true), database_, observer_, RunControl{});
    const std::vector<std::string> lines{
        "Entry               Insert  Update  Unchanged  Kept  No time tag  Not a number  Out of range  No pair  First  "
        "              Last",
        "TEMP||ST01.TEMP          1       1          2     3            1             1             1           "
        "2005-06-15 12:30:00  2005-06-15 13:00:00",
        "ST01:1||ST01.STAGE       2       0          0     0            0             0             0           "
        "2005-06-15 13:30:00  2005-06-15 13:45:00",
        "ST01:3||ST01.RH          1       0          0     1            0             0             0           "
        "2005-06-15 13:30:00  2005-06-15 13:45:00",
        "ST01:2 (no pair)                                                                                    2",
        "UNPAIRED (no pair)                                                                                  1",
        "Total                    4       1          2     4            1             1             1        3",
        "Lines: 14  not a record: 1  too long: 0",
    };
    std::string expected = "Dry run of " + dir_.File("data.log") + ": nothing was written\n";
    for (const std::string& line : lines) expected += line + "\n";
    EXPECT_EQ(DryRunTable(report), expected);
}

TEST_P(DryRunTest, AStoppedDryRunGivesItsCountsMarkedPartial) {
    RunControl control;
    control.stop = true;
    const DryRunReport report = RunDryRun(Request(false), database_, observer_, control);
    EXPECT_TRUE(report.partial);
    EXPECT_EQ(report.lines, 0);
    const std::string table = DryRunTable(report);
    EXPECT_NE(table.find("\n(partial: the dry run ended before the end of the file)\n"), std::string::npos) << table;
    EXPECT_NE(DryRunJson(report).find("\"partial\":true"), std::string::npos);
}

TEST_P(DryRunTest, RejectedLinesAreReportedAsTheImportWouldReportThem) {
    const std::string dryPath = dir_.File("dry.csv");
    const std::string realPath = dir_.File("real.csv");
    {
        RejectsFile rejects(dryPath);
        ImportRequest request = Request(false);
        request.rejects = &rejects;
        RunDryRun(request, database_, observer_, RunControl{});
    }
    {
        RejectsFile rejects(realPath);
        ImportRequest request = Request(false);
        request.rejects = &rejects;
        DataWriter writer(database_);
        SensorPairs table;
        StatusRecorder sink;
        RunImport(request, table, writer, sink, observer_, RunControl{});
    }
    EXPECT_EQ(ReadFile(dryPath), ReadFile(realPath));
    EXPECT_NE(ReadFile(dryPath).find("13,\"not a record\",\"\",\"JUNK\"\r\n"), std::string::npos);
}

TEST_P(DryRunTest, JsonHoldsTheSameCounts) {
    source_->Execute("DELETE FROM TF_DATA1;\n");
    WriteFile(dir_.File("data.log"), "TEMP,06/15/2005,12:30:00,21.5,G\r\nX\xe9,06/15/2005,12:30:00,1,G\r\n");
    const DryRunReport report = RunDryRun(Request(false), database_, observer_, RunControl{});
    EXPECT_EQ(DryRunJson(report),
              "{\"logFile\":\"" + dir_.File("data.log") +
                  "\",\"partial\":false,\"keepEdits\":false,\"lines\":2,\"notARecord\":0,\"linesTooLong\":0,"
                  "\"entries\":[{\"entry\":\"TEMP||ST01.TEMP\",\"insert\":1,\"update\":0,\"unchanged\":0,"
                  "\"noTimeTag\":0,\"notANumber\":0,\"outOfRange\":0,\"first\":\"2005-06-15 12:30:00\","
                  "\"last\":\"2005-06-15 12:30:00\"},{\"entry\":\"ST01:1||ST01.STAGE\",\"insert\":0,\"update\":0,"
                  "\"unchanged\":0,\"noTimeTag\":0,\"notANumber\":0,\"outOfRange\":0,\"first\":null,\"last\":null},"
                  "{\"entry\":\"ST01:3||ST01.RH\",\"insert\":0,\"update\":0,\"unchanged\":0,\"noTimeTag\":0,"
                  "\"notANumber\":0,\"outOfRange\":0,\"first\":null,\"last\":null}],"
                  "\"noPair\":[{\"name\":\"X\xc3\xa9\",\"values\":1}]}\n");
}

TEST(DryRunReadOnly, ADatabaseThatMayOnlyBeReadIsCheckedAllTheSame) {
    SetRegional(RegionalSettings{});
    TestDataSource source(Backend::PostgresAnsi);
    source.Execute(kRowsBefore);
    source.Execute(
        "DO $$ BEGIN EXECUTE format('ALTER DATABASE %I SET default_transaction_read_only = on', "
        "current_database()); END $$;\n");
    TempDir dir;
    WriteFile(dir.File("data.log"), kLog);
    ImportRequest request;
    request.logFile = dir.File("data.log");
    request.importList = kPairs;
    Session session;
    Database database(session);
    source.Connect(database);
    ImportObserver observer;
    const DryRunReport report = RunDryRun(request, database, observer, RunControl{});
    EXPECT_EQ(report.error, "");
    EXPECT_EQ(report.entries[0].unchanged, 2);
    // The import on the same connection is refused: the database is read-only.
    DataWriter writer(database);
    SensorPairs table;
    StatusRecorder sink;
    const ImportResult result = RunImport(request, table, writer, sink, observer, RunControl{});
    EXPECT_EQ(result.counts.inserted + result.counts.updated, 0);
    EXPECT_GT(result.counts.failed, 0);
    database.Close();
}

INSTANTIATE_TEST_SUITE_P(Backends, DryRunTest,
                         ::testing::Combine(::testing::Values(Backend::Sqlite, Backend::PostgresAnsi),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             return testing::BackendName(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) ? "Fast" : "OneAtATime");
                         });

}  // namespace
}  // namespace vireo
