// The database error that ends an import run reaches its result whole: the
// driver's text, the SQLSTATE and the engine's native code, on SQLite and on
// PostgreSQL. What was shown of the run stays as it was.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/Query.h"
#include "db/Session.h"
#include "import/ImportRun.h"
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

struct EndingError {
    const char* name;
    Backend backend;
    const char* setup;    // the script that makes the database refuse
    const char* session;  // a statement the run's own connection runs first, or nullptr
    const char* text;     // found in the error's text
    const char* sqlState;
    long nativeError;  // the engine's own code
};

class ImportRunError : public ::testing::TestWithParam<std::tuple<EndingError, WriteRoute>> {
protected:
    void SetUp() override { SetRegional(RegionalSettings{}); }
};

// A check made only at the commit refuses a fast run's batch: its values are
// reported as not written, and the run ends with the commit's error.
TEST_P(ImportRunError, TheErrorThatEndsTheRunKeepsItsCodes) {
    const EndingError& row = std::get<0>(GetParam());
    TestDataSource source(row.backend);
    source.Execute(row.setup);
    Session session;
    Database database(session);
    source.Connect(database);
    if (row.session != nullptr) {
        Query statement(database);
        statement.SetSql(row.session);
        statement.ExecSql();
    }
    DataWriter writer(database);

    TempDir dir;
    testing::WriteFile(dir.File("data.log"), "TEMP,06/01/2005,00:01:00,1.5,G\nTEMP,06/01/2005,00:02:00,2.5,G\n");
    ImportRequest request;
    request.logFile = dir.File("data.log");
    request.importList = {"TEMP||ST01.TEMP"};
    request.route = std::get<1>(GetParam());
    SensorPairs pairs;
    StatusRecorder sink;
    ImportObserver observer;
    RunControl control;
    const ImportResult result = RunImport(request, pairs, writer, sink, observer, control);

    ASSERT_TRUE(result.dbError) << result.error;
    EXPECT_EQ(result.error, result.dbError->what());
    EXPECT_NE(result.error.find(row.text), std::string::npos) << result.error;
    EXPECT_EQ(result.dbError->sqlState(), row.sqlState);
    EXPECT_EQ(result.dbError->nativeError(), row.nativeError);
    EXPECT_FALSE(result.stopped);
    EXPECT_EQ(sink.messages, (std::vector<std::string>{result.error + " - ST01.TEMP @ 06/01/2005 00:01:00",
                                                       result.error + " - ST01.TEMP @ 06/01/2005 00:02:00",
                                                       "Import process completed."}));
    EXPECT_EQ(result.counts.inserted, 0);
    EXPECT_EQ(result.counts.failed, 2);
    EXPECT_FALSE(database.InTransaction()) << "the refused batch is ended";
    EXPECT_TRUE(source.Select("SELECT * FROM TF_DATA1").empty());
}

const EndingError kEndingErrors[] = {
    {"SqliteForeignKey", Backend::Sqlite,
     "DROP TABLE TF_DATA1;\n"
     "CREATE TABLE KNOWN_STATION (STATION_ID VARCHAR(32) PRIMARY KEY);\n"
     "CREATE TABLE TF_DATA1 (STATION_ID VARCHAR(32) NOT NULL REFERENCES KNOWN_STATION (STATION_ID) DEFERRABLE "
     "INITIALLY DEFERRED, SENSORNAME VARCHAR(32) NOT NULL, TIME_TAG TIMESTAMP NOT NULL, SOURCE VARCHAR(8), "
     "ORIG_VALUE DOUBLE PRECISION, ED_VALUE DOUBLE PRECISION, PRIMARY KEY (STATION_ID, SENSORNAME, TIME_TAG));\n",
     "PRAGMA foreign_keys = ON", "FOREIGN KEY constraint failed", "HY000", 19},
    {"PostgresConstraintTrigger", Backend::PostgresAnsi,
     "CREATE FUNCTION refuse_at_commit() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION 'refused at "
     "commit'; END $$;\n"
     "CREATE CONSTRAINT TRIGGER at_commit AFTER INSERT ON TF_DATA1 DEFERRABLE INITIALLY DEFERRED FOR EACH ROW "
     "EXECUTE FUNCTION refuse_at_commit();\n",
     nullptr, "refused at commit", "P0001", 110},
};

INSTANTIATE_TEST_SUITE_P(Engines, ImportRunError,
                         ::testing::Combine(::testing::ValuesIn(kEndingErrors),
                                            ::testing::ValuesIn(testing::kBatchRoutes)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    testing::RouteName(std::get<1>(info.param));
                         });

}  // namespace
}  // namespace vireo
