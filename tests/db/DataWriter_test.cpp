#include "db/DataWriter.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "BackendTest.h"
#include "db/DbError.h"
#include "import/ImportMessages.h"
#include "scan/Chronos.h"
#include "support/PostgresServer.h"
#include "support/StatusRecorder.h"

namespace vireo::testing {
namespace {

constexpr SecondStamp kNoonHalf = 645539400;  // 2005-06-15 12:30:00
constexpr SecondStamp kLater = 645540300;     // 2005-06-15 12:45:00
constexpr SecondStamp kMidnight = 645580800;  // 2005-06-16 00:00:00

using Rows = std::vector<std::vector<std::optional<std::string>>>;

class DataWriterTest : public BackendTest {
protected:
    /// STATION_ID, SENSORNAME, TIME_TAG (to the second), SOURCE, ORIG_VALUE, ED_VALUE of every row, in key order.
    Rows Data() const {
        Rows rows = source().Select(
            "SELECT STATION_ID, SENSORNAME, TIME_TAG, SOURCE, ORIG_VALUE, ED_VALUE FROM TF_DATA1 "
            "ORDER BY STATION_ID, SENSORNAME, TIME_TAG");
        for (auto& row : rows) {
            if (row[2]) row[2] = row[2]->substr(0, 19);
        }
        return rows;
    }

    /// Values of sensor LOCKED can be neither inserted nor updated; values
    /// of sensor REJECTED cannot be inserted.
    void AddRefusingTriggers() const {
        if (OnPostgres()) {
            source().Execute(
                "CREATE FUNCTION refuse_locked() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION 'row "
                "locked'; END $$;\n"
                "CREATE FUNCTION refuse_rejected() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION "
                "'insert rejected'; END $$;\n"
                "CREATE TRIGGER locked BEFORE INSERT OR UPDATE ON TF_DATA1 FOR EACH ROW WHEN (NEW.SENSORNAME = "
                "'LOCKED') EXECUTE FUNCTION refuse_locked();\n"
                "CREATE TRIGGER rejected BEFORE INSERT ON TF_DATA1 FOR EACH ROW WHEN (NEW.SENSORNAME = 'REJECTED') "
                "EXECUTE FUNCTION refuse_rejected();\n");
        } else {
            source().Execute(
                "CREATE TRIGGER locked_insert BEFORE INSERT ON TF_DATA1 WHEN NEW.SENSORNAME = 'LOCKED' BEGIN SELECT "
                "RAISE(ABORT, 'row locked'); END;\n"
                "CREATE TRIGGER locked_update BEFORE UPDATE ON TF_DATA1 WHEN NEW.SENSORNAME = 'LOCKED' BEGIN SELECT "
                "RAISE(ABORT, 'row locked'); END;\n"
                "CREATE TRIGGER rejected BEFORE INSERT ON TF_DATA1 WHEN NEW.SENSORNAME = 'REJECTED' BEGIN SELECT "
                "RAISE(ABORT, 'insert rejected'); END;\n");
        }
    }

    /// Writes one value and shows it as a run in normal mode does.
    WriteOutcome Write(const std::string& station, const std::string& sensor, const std::string& source,
                       DateTime timeTag, double value) {
        const WriteResult result = writer_.WriteValue(station, sensor, source, timeTag, value);
        ReportWrite(sink_, result, station, sensor, timeTag, value);
        return result.outcome;
    }

    StatusRecorder sink_{true};
    DataWriter writer_{database_};
};

std::optional<std::string> Text(const char* text) { return std::string(text); }

TEST_P(DataWriterTest, InsertsNewRowsThenUpdatesThemOnReimport) {
    EXPECT_EQ(Write("ST01", "TEMP", "X", SecondsToDateTime(kNoonHalf), 21.5), WriteOutcome::Inserted);
    EXPECT_EQ(Write("ST01", "TEMP", "", SecondsToDateTime(kLater), 22), WriteOutcome::Inserted);
    EXPECT_EQ(Write("ST01", "HUM", "", SecondsToDateTime(kMidnight), 0.75), WriteOutcome::Inserted);
    EXPECT_EQ(sink_.messages, (std::vector<std::string>{
                                  "Inserted timetag data - ST01.TEMP @ 06/15/2005 12:30:00 - 21.5",
                                  "Inserted timetag data - ST01.TEMP @ 06/15/2005 12:45:00 - 22",
                                  "Inserted timetag data - ST01.HUM @ 06/16/2005 - 0.75",
                              }));
    sink_.messages.clear();

    EXPECT_EQ(Write("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), -3.25), WriteOutcome::Updated);
    EXPECT_EQ(Write("ST01", "HUM", "", SecondsToDateTime(kMidnight), 1e-7), WriteOutcome::Updated);
    EXPECT_EQ(sink_.messages, (std::vector<std::string>{
                                  "Updated timetag data - ST01.TEMP @ 06/15/2005 12:30:00 - -3.25",
                                  "Updated timetag data - ST01.HUM @ 06/16/2005 - 1E-7",
                              }));

    const Rows rows = Data();
    ASSERT_EQ(rows.size(), 3u);
    // One row per key: ORIG_VALUE keeps the first import, ED_VALUE and SOURCE take the newest.
    EXPECT_EQ(rows[0][1], Text("HUM"));
    EXPECT_EQ(rows[0][2], Text("2005-06-16 00:00:00"));
    EXPECT_EQ(rows[0][3], Text("T"));
    EXPECT_DOUBLE_EQ(std::stod(*rows[0][4]), 0.75);
    EXPECT_DOUBLE_EQ(std::stod(*rows[0][5]), 1e-7);
    EXPECT_EQ(rows[1][1], Text("TEMP"));
    EXPECT_EQ(rows[1][2], Text("2005-06-15 12:30:00"));
    EXPECT_EQ(rows[1][3], Text("T"));
    EXPECT_DOUBLE_EQ(std::stod(*rows[1][4]), 21.5);
    EXPECT_DOUBLE_EQ(std::stod(*rows[1][5]), -3.25);
    EXPECT_EQ(rows[2][2], Text("2005-06-15 12:45:00"));
    EXPECT_DOUBLE_EQ(std::stod(*rows[2][4]), 22);
    EXPECT_DOUBLE_EQ(std::stod(*rows[2][5]), 22);
}

TEST_P(DataWriterTest, ReimportOverwritesAnEditedValueAndKeepsTheOriginal) {
    Write("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 21.5);
    source().Execute("UPDATE TF_DATA1 SET ED_VALUE = 99, SOURCE = 'E';\n");
    EXPECT_EQ(Write("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 23.5), WriteOutcome::Updated);
    const Rows rows = Data();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][3], Text("T"));
    EXPECT_DOUBLE_EQ(std::stod(*rows[0][4]), 21.5);
    EXPECT_DOUBLE_EQ(std::stod(*rows[0][5]), 23.5);
}

TEST_P(DataWriterTest, NamesAreStoredInUpperCaseAndShownAsPassed) {
    Write("st01", "Temp", "", SecondsToDateTime(kNoonHalf), 1);
    Write("St01", "tEMP", "", SecondsToDateTime(kNoonHalf), 2);
    EXPECT_EQ(sink_.messages, (std::vector<std::string>{
                                  "Inserted timetag data - st01.Temp @ 06/15/2005 12:30:00 - 1",
                                  "Updated timetag data - St01.tEMP @ 06/15/2005 12:30:00 - 2",
                              }));
    const Rows rows = Data();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], Text("ST01"));
    EXPECT_EQ(rows[0][1], Text("TEMP"));
}

TEST_P(DataWriterTest, NamesWithBytesAbove127ComeBackUnchanged) {
    const std::string station = "M\xDChle";    // Mühle
    const std::string sensor = "T\xE9mp\x80";  // Témp€
    Write(station, sensor, "", SecondsToDateTime(kNoonHalf), 4);
    Write(station, sensor, "", SecondsToDateTime(kNoonHalf), 5);
    EXPECT_EQ(sink_.messages, (std::vector<std::string>{
                                  "Inserted timetag data - M\xDChle.T\xE9mp\x80 @ 06/15/2005 12:30:00 - 4",
                                  "Updated timetag data - M\xDChle.T\xE9mp\x80 @ 06/15/2005 12:30:00 - 5",
                              }));
    const Rows rows = Data();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], Text("M\xDCHLE"));
    EXPECT_EQ(rows[0][1], Text("T\xE9MP\x80"));
}

TEST_P(DataWriterTest, DetailsOffShowsNothingForWrittenValues) {
    sink_.SetDetails(false);
    EXPECT_EQ(Write("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 1), WriteOutcome::Inserted);
    EXPECT_EQ(Write("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 2), WriteOutcome::Updated);
    EXPECT_TRUE(sink_.messages.empty());
}

TEST_P(DataWriterTest, AValueThatCanBeNeitherInsertedNorUpdatedGivesOneLine) {
    AddRefusingTriggers();
    sink_.SetDetails(false);
    EXPECT_EQ(Write("ST01", "LOCKED", "", SecondsToDateTime(kNoonHalf), 1), WriteOutcome::Failed);
    EXPECT_EQ(Write("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 2), WriteOutcome::Inserted);
    ASSERT_EQ(sink_.messages.size(), 1u);
    const std::string& line = sink_.messages[0];
    EXPECT_NE(line.find("row locked"), std::string::npos) << line;
    EXPECT_TRUE(line.ends_with(" - ST01.LOCKED @ 06/15/2005 12:30:00")) << line;
    EXPECT_EQ(Data().size(), 1u);
}

TEST_P(DataWriterTest, AnUpdateThatFindsNoRowIsAFailureWithTheInsertsError) {
    AddRefusingTriggers();
    sink_.SetDetails(false);
    EXPECT_EQ(Write("st01", "Rejected", "", SecondsToDateTime(kMidnight), 1), WriteOutcome::Failed);
    ASSERT_EQ(sink_.messages.size(), 1u);
    const std::string& line = sink_.messages[0];
    EXPECT_NE(line.find("insert rejected"), std::string::npos) << line;
    EXPECT_TRUE(line.ends_with(" - st01.Rejected @ 06/16/2005")) << line;
    EXPECT_TRUE(Data().empty());
}

TEST_P(DataWriterTest, StatementsArePreparedAgainAfterReconnecting) {
    Write("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 1);
    database_.Close();
    source().Connect(database_);
    EXPECT_EQ(Write("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 2), WriteOutcome::Updated);
    EXPECT_EQ(Write("ST01", "TEMP", "", SecondsToDateTime(kLater), 3), WriteOutcome::Inserted);
}

TEST_P(DataWriterTest, ABatchSurvivesFailedInsertsAndIsCommittedWhole) {
    Write("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 1);
    writer_.BeginBatch();
    EXPECT_EQ(Write("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 2), WriteOutcome::Updated);
    EXPECT_EQ(Write("ST01", "TEMP", "", SecondsToDateTime(kLater), 3), WriteOutcome::Inserted);
    EXPECT_EQ(Data().size(), 1u);  // not seen from outside before the commit
    writer_.CommitBatch();
    const Rows rows = Data();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_DOUBLE_EQ(std::stod(*rows[0][5]), 2);
    EXPECT_DOUBLE_EQ(std::stod(*rows[1][5]), 3);
}

TEST_P(DataWriterTest, AClosedDatabaseEndsTheRunWithAnError) {
    database_.Close();
    EXPECT_THROW(Write("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 1), DbError);
    EXPECT_TRUE(sink_.messages.empty());
}

TEST_P(DataWriterTest, ABatchGuardLeftWithoutACommitRollsTheBatchBack) {
    Write("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 1);
    {
        BatchGuard batch(writer_);
        EXPECT_TRUE(writer_.InBatch());
        EXPECT_EQ(Write("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 2), WriteOutcome::Updated);
        EXPECT_EQ(Write("ST01", "TEMP", "", SecondsToDateTime(kLater), 3), WriteOutcome::Inserted);
    }
    EXPECT_FALSE(writer_.InBatch());
    EXPECT_FALSE(database_.InTransaction());
    Rows rows = Data();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_DOUBLE_EQ(std::stod(*rows[0][5]), 1);

    // The values after the batch are written one by one again.
    EXPECT_EQ(Write("ST01", "TEMP", "", SecondsToDateTime(kLater), 4), WriteOutcome::Inserted);
    EXPECT_EQ(Data().size(), 2u);
}

TEST_P(DataWriterTest, ABatchGuardRollsBackWhenAnExceptionLeavesIt) {
    try {
        BatchGuard batch(writer_);
        Write("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 1);
        throw std::runtime_error("the run ends");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(database_.InTransaction());
    EXPECT_TRUE(Data().empty());
}

TEST_P(DataWriterTest, ABatchGuardKeepsWhatItCommitted) {
    {
        BatchGuard batch(writer_);
        Write("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 1);
        batch.Commit();
        EXPECT_FALSE(database_.InTransaction());
    }
    EXPECT_EQ(Data().size(), 1u);
}

TEST_P(DataWriterTest, AWrittenValueCarriesNoErrorAndALostOneTheDriversError) {
    AddRefusingTriggers();
    const WriteResult inserted = writer_.WriteValue("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 1);
    EXPECT_EQ(inserted.outcome, WriteOutcome::Inserted);
    EXPECT_FALSE(inserted.error);
    const WriteResult updated = writer_.WriteValue("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 2);
    EXPECT_EQ(updated.outcome, WriteOutcome::Updated);
    EXPECT_FALSE(updated.error);

    // Refused by the update (LOCKED) and by the insert with no row to update
    // (REJECTED): both come back with the driver's error.
    for (const char* sensor : {"LOCKED", "REJECTED"}) {
        SCOPED_TRACE(sensor);
        const WriteResult lost = writer_.WriteValue("ST01", sensor, "", SecondsToDateTime(kNoonHalf), 3);
        EXPECT_EQ(lost.outcome, WriteOutcome::Failed);
        ASSERT_TRUE(lost.error);
        const std::string reason = std::string(sensor) == "LOCKED" ? "row locked" : "insert rejected";
        EXPECT_NE(std::string(lost.error->what()).find(reason), std::string::npos) << lost.error->what();
        if (OnPostgres()) {
            EXPECT_EQ(lost.error->sqlState(), "P0001") << "a raised exception";
        } else {
            EXPECT_EQ(lost.error->nativeError() & 0xff, 19) << "SQLite's constraint code";
        }
    }
}

TEST_P(DataWriterTest, AValueTooLongForItsColumnCarriesTheEnginesCodes) {
    if (!OnPostgres()) GTEST_SKIP() << "SQLite keeps text of any length";
    const std::string sensor(200, 'S');
    const WriteResult lost = writer_.WriteValue("ST01", sensor, "", SecondsToDateTime(kNoonHalf), 1);
    EXPECT_EQ(lost.outcome, WriteOutcome::Failed);
    ASSERT_TRUE(lost.error);
    EXPECT_EQ(lost.error->sqlState(), "22001") << lost.error->what();
    EXPECT_TRUE(Data().empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, DataWriterTest, ::testing::ValuesIn(kAllBackends), BackendParamName);

/// The server goes away in the middle of an import.
class LostConnectionTest : public DataWriterTest {};

TEST_P(LostConnectionTest, EveryValueAfterTheLossGetsAnErrorLine) {
    sink_.SetDetails(false);
    ASSERT_EQ(Write("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 1), WriteOutcome::Inserted);
    PostgresServer& server = PostgresServer::Instance();
    server.Stop();
    struct Restart {
        PostgresServer& server;
        ~Restart() {
            try {
                server.Start();
            } catch (const std::exception&) {
            }
        }
    } restart{server};

    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Write("ST01", "TEMP", "", SecondsToDateTime(kLater + i), i), WriteOutcome::Failed);
    }
    ASSERT_EQ(sink_.messages.size(), 3u);
    EXPECT_TRUE(sink_.messages[0].ends_with(" - ST01.TEMP @ 06/15/2005 12:45:00")) << sink_.messages[0];
    EXPECT_TRUE(sink_.messages[2].ends_with(" - ST01.TEMP @ 06/15/2005 12:45:02")) << sink_.messages[2];

    server.Start();
    database_.Close();
    source().Connect(database_);
    EXPECT_EQ(Write("ST01", "TEMP", "", SecondsToDateTime(kLater), 5), WriteOutcome::Inserted);
}

INSTANTIATE_TEST_SUITE_P(Postgres, LostConnectionTest,
                         ::testing::Values(Backend::PostgresAnsi, Backend::PostgresUnicode), BackendParamName);

}  // namespace
}  // namespace vireo::testing
