// Every route gives the same counts, rows and rejects on the same input, and
// the dry run forecasts what the import then does. One table of cases, each
// run on both databases in every route.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/Session.h"
#include "import/DryRun.h"
#include "import/ImportRun.h"
#include "import/RejectsFile.h"
#include "support/ImportModes.h"
#include "support/StatusRecorder.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"

namespace vireo {
namespace {

using testing::Backend;
using testing::IsPostgres;
using testing::ReadFile;
using testing::TempDir;
using testing::TestDataSource;

/// A TEMP line of June 15, 2005 at `minute` after noon, as the log spells the name.
std::string Line(const std::string& name, int minute, const std::string& value) {
    char time[32];
    std::snprintf(time, sizeof time, "%02d:%02d:00", 12 + minute / 60, minute % 60);
    return name + ",06/15/2005," + time + "," + value + ",G\r\n";
}

/// Key K refused on its first line, 100 other keys, K again: in key order the
/// refused value ends the first SQLite set and its second value begins the next.
std::string RefusedThenAgain() {
    std::string log = Line("TEMP", 99, "-999");
    for (int minute = 0; minute <= 100; ++minute)
        if (minute != 99) log += Line("TEMP", minute, std::to_string(minute));
    return log + Line("TEMP", 99, "5");
}

struct Case {
    const char* name;
    bool sqliteOnly;
    std::string planted;  // SQLite's statements; PostgreSQL's TIME_TAG has no ".000"
    std::string log;
    const char* fileName;
    std::vector<std::string> pairs;
    bool keepEdits;
    ImportCounts expected;  // inserted, updated, failed, kept
    std::vector<std::string> rejectNames;
    std::vector<std::string> storedTags;  // TIME_TAG as stored (SQLite)
};

const char* const kRefuse =
    "CREATE TRIGGER refuse_value BEFORE INSERT ON TF_DATA1 WHEN NEW.ORIG_VALUE = -999 "
    "BEGIN SELECT RAISE(ABORT, 'value refused'); END;\n";
const char* const kRefusePg =
    "CREATE FUNCTION refuse_value() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION 'value refused'; "
    "END $$;\nCREATE TRIGGER refuse_value BEFORE INSERT ON TF_DATA1 FOR EACH ROW WHEN (NEW.ORIG_VALUE = -999) "
    "EXECUTE FUNCTION refuse_value();\n";

ImportCounts Counts(std::int64_t inserted, std::int64_t updated, std::int64_t failed, std::int64_t kept) {
    ImportCounts counts;
    counts.inserted = inserted, counts.updated = updated, counts.failed = failed, counts.kept = kept;
    return counts;
}

std::vector<Case> Cases() {
    const std::string digits = "0.12345678901234567";
    return {
        {"MoreThan15Digits",
         false,
         "INSERT INTO TF_DATA1 VALUES ('ST01','TEMP','2005-06-15 12:00:00.000','T'," + digits + "," + digits + ");\n",
         Line("TEMP", 0, digits) + Line("TEMP", 0, digits),
         "data.log",
         {"TEMP||ST01.TEMP"},
         true,
         Counts(0, 2, 0, 0),
         {},
         {}},
        {"RefusedKeyLaterInserted",
         false,
         kRefuse,
         RefusedThenAgain(),
         "data.log",
         {"TEMP||ST01.TEMP"},
         false,
         Counts(101, 0, 1, 0),
         {"TEMP"},
         {}},
        {"RejectsNameAsTheLogSpellsIt",
         false,
         kRefuse,
         Line("temp", 0, "1") + Line("temp", 1, "-999"),
         "data.log",
         {"TEMP||ST01.TEMP"},
         false,
         Counts(1, 0, 1, 0),
         {"temp"},
         {}},
        {"RejectsNamePrnHeading",
         false,
         kRefuse,
         "\"DATE\" \"TIME\" \"Stage\"\r\n06/15/2005 12:00:00 1.5\r\n06/15/2005 12:01:00 -999\r\n",
         "gauge.PRN",
         {"0:1||ST01.TEMP"},
         false,
         Counts(1, 0, 1, 0),
         {"Stage"},
         {}},
        {"SecondWithoutMilliseconds",
         true,
         "INSERT INTO TF_DATA1 VALUES ('ST01','TEMP','2005-06-15 12:00:00','T',1,1);\n"
         "INSERT INTO TF_DATA1 VALUES ('ST01','TEMP','2005-06-15 12:02:00','T',1,1);\n",
         Line("TEMP", 0, "2") + Line("TEMP", 1, "2") + Line("TEMP", 2, "2"),
         "data.log",
         {"TEMP||ST01.TEMP"},
         false,
         Counts(1, 2, 0, 0),
         {},
         {"2005-06-15 12:00:00", "2005-06-15 12:01:00.000", "2005-06-15 12:02:00"}},
    };
}

std::string PostgresForm(std::string sql) {
    if (sql == kRefuse) return kRefusePg;
    for (std::size_t at; (at = sql.find(".000'")) != std::string::npos;) sql.erase(at, 4);
    return sql;
}

class RouteAgreementTest : public ::testing::TestWithParam<std::tuple<Backend, WriteRoute>> {
protected:
    Backend backend() const { return std::get<0>(GetParam()); }
    WriteRoute route() const { return std::get<1>(GetParam()); }

    TempDir dir_;
};

TEST_P(RouteAgreementTest, CountsRowsRejectsAndTheDryRunAgree) {
    for (const Case& c : Cases()) {
        if (c.sqliteOnly && IsPostgres(backend())) continue;
        SCOPED_TRACE(c.name);
        TestDataSource source(backend());
        source.Execute(IsPostgres(backend()) ? PostgresForm(c.planted) : c.planted);
        Session session;
        Database database(session);
        source.Connect(database);
        const std::string log = dir_.File(c.fileName);
        testing::WriteFile(log, c.log);
        ImportRequest request;
        request.logFile = log;
        request.importList = c.pairs;
        request.chosenStation = "ST01";
        request.keepEdits = c.keepEdits;
        request.route = route();
        ImportObserver observer;
        const RunControl control;
        if (c.expected.failed == 0) {
            const ImportCounts forecast = ForecastCounts(RunDryRun(request, database, observer, control));
            EXPECT_EQ(forecast.inserted, c.expected.inserted);
            EXPECT_EQ(forecast.updated, c.expected.updated);
            EXPECT_EQ(forecast.kept, c.expected.kept);
        }
        const std::string rejectsPath = dir_.File("rejects.csv");
        RejectsFile rejects(rejectsPath);
        request.rejects = &rejects;
        DataWriter writer(database);
        SensorPairs pairs;
        testing::StatusRecorder sink(true);
        const ImportResult result = RunImport(request, pairs, writer, sink, observer, control);
        rejects.Finish();
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(result.counts.inserted, c.expected.inserted);
        EXPECT_EQ(result.counts.updated, c.expected.updated);
        EXPECT_EQ(result.counts.failed, c.expected.failed);
        EXPECT_EQ(result.counts.kept, c.expected.kept);
        for (const std::string& line : sink.messages)
            EXPECT_FALSE(line.starts_with("Updated") && c.expected.updated == 0) << line;
        const std::string rejected = ReadFile(rejectsPath);
        for (const std::string& name : c.rejectNames)
            EXPECT_NE(rejected.find(",\"" + name + "\","), std::string::npos) << rejected;
        if (!c.storedTags.empty()) {
            std::vector<std::string> tags;
            for (const auto& row : source.Select("SELECT TIME_TAG FROM TF_DATA1 ORDER BY TIME_TAG"))
                tags.push_back(row[0].value_or("NULL"));
            EXPECT_EQ(tags, c.storedTags);
        }
        database.Close();
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, RouteAgreementTest, testing::EveryBackendIn(testing::kAllRoutes),
                         testing::BackendAndModeName);

}  // namespace
}  // namespace vireo
