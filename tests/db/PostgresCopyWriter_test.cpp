#include "db/PostgresCopyWriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BackendTest.h"
#include "db/BulkWriter.h"
#include "db/DataWriter.h"
#include "scan/Chronos.h"
#include "support/PostgresServer.h"
#include "support/TestOdbc.h"

namespace vireo::testing {
namespace {

constexpr SecondStamp kNoon = 645537600;  // 2005-06-15 12:00:00

using Rows = std::vector<std::vector<std::optional<std::string>>>;

/// Every row of TF_DATA1, the numbers as their exact bits.
constexpr const char* kAllRows =
    "SELECT STATION_ID, SENSORNAME, TIME_TAG::text, SOURCE, encode(float8send(ORIG_VALUE), 'hex'), "
    "encode(float8send(ED_VALUE), 'hex') FROM TF_DATA1 ORDER BY STATION_ID, SENSORNAME, TIME_TAG";

/// Numbers whose text is easily rounded wrong.
const std::vector<double> kAwkward = {0.1,
                                      1.0 / 3,
                                      -123.456e7,
                                      3.141592653589793,
                                      5e-324,
                                      2.2250738585072014e-308,
                                      1.7976931348623157e308,
                                      0,
                                      -0.0,
                                      123456789012345678.0,
                                      0.30000000000000004,
                                      9007199254740993.0};

std::vector<WriteOutcome> Outcomes(const std::vector<WriteResult>& results) {
    std::vector<WriteOutcome> outcomes;
    for (const WriteResult& result : results) outcomes.push_back(result.outcome);
    return outcomes;
}

class PostgresCopyWriterTest : public BackendTest {
protected:
    /// `count` values of `sensor`, one a minute from noon, of the awkward numbers scaled by `scale`.
    std::vector<BulkValue> Values(const std::string& sensor, int count, double scale, int firstMinute = 0) const {
        std::vector<BulkValue> values;
        for (int i = 0; i < count; ++i) {
            const double number = kAwkward[static_cast<std::size_t>(i) % kAwkward.size()] * scale + i;
            values.push_back({station_, sensor, SecondsToDateTime(kNoon + 60 * (firstMinute + i)), number});
        }
        return values;
    }

    std::unique_ptr<DirectWriter> Open() {
        std::string why;
        std::unique_ptr<DirectWriter> writer = OpenPostgresCopyWriter(database_, why);
        EXPECT_TRUE(writer) << why;
        return writer;
    }

    long RowCount() const { return std::stol(source().Select("SELECT COUNT(*) FROM TF_DATA1")[0][0].value_or("0")); }

    std::string station_ = "st01";
    std::string temp_ = "Temp";
    std::string wind_ = "wind";
};

/// The same batches through the driver's sets on a second database.
class Twin {
public:
    explicit Twin(Backend backend) : source_(backend) {
        source_.Connect(database_);
        bulk_ = std::make_unique<BulkWriter>(writer_, BulkWriter::Route::DriverSets);
    }

    std::vector<WriteResult> Write(std::span<const BulkValue> values) {
        std::vector<WriteResult> results;
        BatchGuard batch(writer_);
        bulk_->Write(values, "", results);
        batch.Commit();
        return results;
    }
    const TestDataSource& source() const { return source_; }

private:
    TestDataSource source_;
    Session session_;
    Database database_{session_};
    DataWriter writer_{database_};
    std::unique_ptr<BulkWriter> bulk_;
};

TEST_P(PostgresCopyWriterTest, AnInsertRunAndAReImportWriteWhatTheDriverWrites) {
    Twin twin(GetParam());
    DataWriter writer(database_);
    BulkWriter bulk(writer);
    ASSERT_TRUE(bulk.Direct()) << bulk.WhyNotDirect();

    auto write = [&](const std::vector<BulkValue>& values) {
        std::vector<WriteResult> results;
        BatchGuard batch(writer);
        bulk.Write(values, "", results);
        batch.Commit();
        EXPECT_EQ(Outcomes(results), Outcomes(twin.Write(values)));
        return results;
    };
    // An insert run of two sensors, interleaved.
    std::vector<BulkValue> first = Values(temp_, 300, 1);
    const std::vector<BulkValue> wind = Values(wind_, 300, -7.5);
    first.insert(first.begin() + 150, wind.begin(), wind.end());
    for (const WriteResult& result : write(first)) EXPECT_EQ(result.outcome, WriteOutcome::Inserted);
    // A re-import: the last 200 minutes of TEMP again with other values, and 100 new minutes.
    const std::vector<BulkValue> again = Values(temp_, 300, 0.001, 100);
    const std::vector<WriteResult> results = write(again);
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].outcome, i < 200 ? WriteOutcome::Updated : WriteOutcome::Inserted) << i;
        EXPECT_FALSE(results[i].error.has_value()) << i;
    }

    EXPECT_EQ(bulk.BatchesDirect(), 2u);
    EXPECT_EQ(bulk.BatchesDirectRefused(), 0u);
    EXPECT_EQ(bulk.SetsWritten(), 0u);
    EXPECT_EQ(RowCount(), 700);
    EXPECT_EQ(source().Select(kAllRows), twin.source().Select(kAllRows));
    // The original value stays, the edited one is the last written.
    EXPECT_EQ(source().Select("SELECT ORIG_VALUE::text, ED_VALUE::text, SOURCE, TIME_TAG::text FROM TF_DATA1 WHERE "
                              "SENSORNAME = 'TEMP' AND TIME_TAG = '2005-06-15 13:40:00'"),
              (Rows{{"100", "0.0001", "T", "2005-06-15 13:40:00"}}));
}

TEST_P(PostgresCopyWriterTest, EachPathUpdatesTheRowsOfTheOther) {
    DataWriter writer(database_);
    // Rows written one by one through the driver...
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(writer.WriteValue(station_, temp_, "", SecondsToDateTime(kNoon + 60 * i), 10.5 + i).outcome,
                  WriteOutcome::Inserted);
    }
    // ...are found and updated by a batch, which inserts the rest...
    std::unique_ptr<DirectWriter> direct = Open();
    ASSERT_TRUE(direct);
    std::vector<WriteResult> results;
    direct->WriteBatch(Values(temp_, 5, 0.5), "", results);
    EXPECT_EQ(Outcomes(results),
              (std::vector<WriteOutcome>{WriteOutcome::Updated, WriteOutcome::Updated, WriteOutcome::Updated,
                                         WriteOutcome::Inserted, WriteOutcome::Inserted}));
    // ...whose rows the driver finds and updates in turn.
    EXPECT_EQ(writer.WriteValue(station_, temp_, "M", SecondsToDateTime(kNoon + 60 * 4), 99.25).outcome,
              WriteOutcome::Updated);
    EXPECT_EQ(source().Select("SELECT TIME_TAG::text, SOURCE, ORIG_VALUE::text, ED_VALUE::text FROM TF_DATA1 "
                              "ORDER BY TIME_TAG"),
              (Rows{{"2005-06-15 12:00:00", "T", "10.5", "0.05"},
                    {"2005-06-15 12:01:00", "T", "11.5", "1.1666666666666667"},
                    {"2005-06-15 12:02:00", "T", "12.5", "-617279998"},
                    {"2005-06-15 12:03:00", "T", "4.570796326794897", "4.570796326794897"},
                    {"2005-06-15 12:04:00", "M", "4", "99.25"}}));
}

TEST_P(PostgresCopyWriterTest, AKeyMetThreeTimesInABatchIsUpdatedThreeTimesInOrder) {
    source().Execute(
        "CREATE TABLE UPDATES (N SERIAL, ED_VALUE DOUBLE PRECISION);\n"
        "CREATE FUNCTION LOG_UPDATE() RETURNS TRIGGER AS $$ BEGIN INSERT INTO UPDATES(ED_VALUE) VALUES "
        "(NEW.ED_VALUE); RETURN NEW; END; $$ LANGUAGE plpgsql;\n"
        "CREATE TRIGGER LOGGED AFTER UPDATE ON TF_DATA1 FOR EACH ROW EXECUTE FUNCTION LOG_UPDATE();\n");
    std::unique_ptr<DirectWriter> direct = Open();
    ASSERT_TRUE(direct);
    const DateTime noon = SecondsToDateTime(kNoon);
    const DateTime later = SecondsToDateTime(kNoon + 60);
    const std::vector<BulkValue> values = {{station_, temp_, noon, 1}, {station_, wind_, noon, 2},
                                           {"ST01", "TEMP", noon, 3},  {station_, wind_, later, 4},
                                           {station_, temp_, noon, 5}, {station_, wind_, noon, 6}};
    std::vector<WriteResult> results;
    direct->WriteBatch(values, "", results);
    EXPECT_EQ(Outcomes(results),
              (std::vector<WriteOutcome>{WriteOutcome::Inserted, WriteOutcome::Inserted, WriteOutcome::Updated,
                                         WriteOutcome::Inserted, WriteOutcome::Updated, WriteOutcome::Updated}));
    EXPECT_EQ(source().Select("SELECT ED_VALUE::text FROM UPDATES ORDER BY N"), (Rows{{"3"}, {"6"}, {"5"}}))
        << "each round in the order of the batch";
    // Existing rows: every value of a key updates it.
    direct->WriteBatch(
        std::vector<BulkValue>{{station_, temp_, noon, 7}, {station_, temp_, noon, 8}, {station_, temp_, noon, 9}}, "X",
        results);
    EXPECT_EQ(Outcomes(results),
              (std::vector<WriteOutcome>{WriteOutcome::Updated, WriteOutcome::Updated, WriteOutcome::Updated}));
    EXPECT_EQ(source().Select("SELECT ED_VALUE::text FROM UPDATES WHERE N > 3 ORDER BY N"),
              (Rows{{"7"}, {"8"}, {"9"}}));
    EXPECT_EQ(source().Select("SELECT SENSORNAME, TIME_TAG::text, SOURCE, ORIG_VALUE::text, ED_VALUE::text FROM "
                              "TF_DATA1 ORDER BY SENSORNAME, TIME_TAG"),
              (Rows{{"TEMP", "2005-06-15 12:00:00", "X", "1", "9"},
                    {"WIND", "2005-06-15 12:00:00", "T", "2", "6"},
                    {"WIND", "2005-06-15 12:01:00", "T", "4", "4"}}));
}

TEST_P(PostgresCopyWriterTest, BatchesOfNewAndExistingKeysInTurnSayWhatTheDriverSays) {
    Twin twin(GetParam());
    std::unique_ptr<DirectWriter> direct = Open();
    ASSERT_TRUE(direct);
    constexpr auto I = WriteOutcome::Inserted;
    constexpr auto U = WriteOutcome::Updated;
    struct Batch {
        const char* what;
        std::vector<int> minutes;  // of TEMP, each value the batch's number times 100 plus its place
        std::vector<WriteOutcome> outcomes;
    };
    const std::vector<Batch> batches = {
        {"new keys", {0, 1, 2, 3, 4}, {I, I, I, I, I}},
        {"existing, a new key twice", {3, 4, 5, 5}, {U, U, I, U}},
        {"after updates, new keys only", {10, 11, 12, 10}, {I, I, I, U}},
        {"after inserts, an existing key thrice", {11, 11, 11, 20}, {U, U, U, I}},
        {"existing keys only", {0, 1, 2}, {U, U, U}},
        {"new keys again", {30, 31}, {I, I}},
    };
    for (std::size_t b = 0; b < batches.size(); ++b) {
        SCOPED_TRACE(batches[b].what);
        std::vector<BulkValue> values;
        for (std::size_t i = 0; i < batches[b].minutes.size(); ++i) {
            values.push_back({station_, temp_, SecondsToDateTime(kNoon + 60 * batches[b].minutes[i]),
                              static_cast<double>(100 * b + i)});
        }
        std::vector<WriteResult> results;
        direct->WriteBatch(values, "", results);
        EXPECT_EQ(Outcomes(results), batches[b].outcomes);
        EXPECT_EQ(Outcomes(twin.Write(values)), batches[b].outcomes);
    }
    // The original value stays, the last value of a key is its edited value.
    EXPECT_EQ(source().Select(kAllRows), twin.source().Select(kAllRows));
    EXPECT_EQ(source().Select("SELECT ORIG_VALUE::text, ED_VALUE::text FROM TF_DATA1 WHERE TIME_TAG = '2005-06-15 "
                              "12:11:00'"),
              (Rows{{"201", "302"}}));
}

struct Refusal {
    const char* name;
    const char* setup;
    bool reimport;      // the refused value updates an existing row
    const char* error;  // the first line of libpq's message
};

const Refusal kRefusals[] = {
    {"CheckOnInsert", "ALTER TABLE TF_DATA1 ADD CONSTRAINT SMALL CHECK (ORIG_VALUE < 250)", false,
     "ERROR:  new row for relation \"tf_data1\" violates check constraint \"small\""},
    {"CheckOnUpdate", "ALTER TABLE TF_DATA1 ADD CONSTRAINT SMALL CHECK (ED_VALUE < 250) NOT VALID", true,
     "ERROR:  new row for relation \"tf_data1\" violates check constraint \"small\""},
    {"TriggerRaises",
     "CREATE FUNCTION REFUSE() RETURNS TRIGGER AS $$ BEGIN IF NEW.ED_VALUE >= 250 THEN RAISE EXCEPTION 'too large'; "
     "END IF; RETURN NEW; END; $$ LANGUAGE plpgsql;\n"
     "CREATE TRIGGER REFUSING BEFORE INSERT OR UPDATE ON TF_DATA1 FOR EACH ROW EXECUTE FUNCTION REFUSE();\n",
     true, "ERROR:  too large"},
    {"TriggerSkipsInsert",
     "CREATE FUNCTION SKIP() RETURNS TRIGGER AS $$ BEGIN IF NEW.ED_VALUE >= 250 THEN RETURN NULL; END IF; RETURN NEW; "
     "END; $$ LANGUAGE plpgsql;\n"
     "CREATE TRIGGER SKIPPING BEFORE INSERT ON TF_DATA1 FOR EACH ROW EXECUTE FUNCTION SKIP();\n",
     false, "The server did not confirm every row of a set"},
    {"TriggerSkipsUpdate",
     "CREATE FUNCTION SKIP() RETURNS TRIGGER AS $$ BEGIN IF NEW.ED_VALUE >= 250 THEN RETURN NULL; END IF; RETURN NEW; "
     "END; $$ LANGUAGE plpgsql;\n"
     "CREATE TRIGGER SKIPPING BEFORE UPDATE ON TF_DATA1 FOR EACH ROW EXECUTE FUNCTION SKIP();\n",
     true, "The server did not confirm every row of a set"},
};

TEST_P(PostgresCopyWriterTest, ARefusedValueFailsTheWholeBatchAndWritesNothing) {
    const std::string schema = SchemaText(GetParam());
    const std::string createData = schema.substr(schema.find("CREATE TABLE TF_DATA1"));
    for (const Refusal& refusal : kRefusals) {
        SCOPED_TRACE(refusal.name);
        std::unique_ptr<DirectWriter> direct = Open();
        ASSERT_TRUE(direct);
        std::vector<WriteResult> results;
        // Values 0 to 299 of TEMP, the last 50 refused once the refusal is set up;
        // on a re-import their rows exist, written before.
        const std::vector<BulkValue> temp = Values(temp_, 300, 0);
        if (refusal.reimport) direct->WriteBatch(temp, "", results);
        source().Execute(refusal.setup);
        // 200 values of a sensor without rows go first: they too must not be written.
        std::vector<BulkValue> values = Values(wind_, 200, 0);
        values.insert(values.end(), temp.begin(), temp.end());
        try {
            direct->WriteBatch(values, "X", results);
            ADD_FAILURE() << "not refused";
        } catch (const DbError& error) {
            const std::string text = error.what();
            EXPECT_EQ(text.substr(0, text.find('\n')), refusal.error);
        }
        EXPECT_EQ(RowCount(), refusal.reimport ? 300 : 0);
        EXPECT_EQ(source().Select("SELECT COUNT(*) FROM TF_DATA1 WHERE SOURCE = 'T' AND ORIG_VALUE = ED_VALUE"),
                  (Rows{{refusal.reimport ? "300" : "0"}}));
        EXPECT_TRUE(direct->Usable());
        // The connection goes on: a batch that is not refused is written.
        direct->WriteBatch(Values(wind_, 10, 0), "", results);
        EXPECT_EQ(RowCount(), refusal.reimport ? 310 : 10);
        direct.reset();
        source().Execute("DROP TABLE TF_DATA1;\nDROP FUNCTION IF EXISTS REFUSE();\nDROP FUNCTION IF EXISTS SKIP();\n" +
                         createData);
    }
}

TEST_P(PostgresCopyWriterTest, AKeyAnotherWriterInsertsMeanwhileIsUpdatedAsTheDriverWould) {
    // Another writer's insert of the third key, not yet committed: the batch
    // waits for it, then updates its row.
    Session session;
    Database other(session);
    source().Connect(other);
    DataWriter otherWriter(other);
    otherWriter.BeginBatch();
    ASSERT_EQ(otherWriter.WriteValue(station_, temp_, "", SecondsToDateTime(kNoon + 120), 42).outcome,
              WriteOutcome::Inserted);
    std::unique_ptr<DirectWriter> direct = Open();
    ASSERT_TRUE(direct);
    std::string refusal = "not refused";
    std::vector<WriteResult> results;
    std::thread batch([&] {
        try {
            direct->WriteBatch(Values(temp_, 5, 0), "", results);
        } catch (const DbError& error) {
            refusal = error.what();
        }
    });
    const std::string waiting =
        "SELECT COUNT(*) FROM pg_stat_activity WHERE datname = current_database() AND application_name = "
        "'vireo-import' AND wait_event_type = 'Lock'";
    for (int i = 0; i < 500 && source().Select(waiting) != Rows{{"1"}}; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    otherWriter.CommitBatch();
    batch.join();
    EXPECT_EQ(refusal, "not refused");
    EXPECT_EQ(Outcomes(results),
              (std::vector<WriteOutcome>{WriteOutcome::Inserted, WriteOutcome::Inserted, WriteOutcome::Updated,
                                         WriteOutcome::Inserted, WriteOutcome::Inserted}));
    EXPECT_EQ(source().Select("SELECT ORIG_VALUE::text, ED_VALUE::text FROM TF_DATA1 WHERE TIME_TAG = '2005-06-15 "
                              "12:02:00'"),
              (Rows{{"42", "2"}}));
    EXPECT_EQ(RowCount(), 5);
}

TEST_P(PostgresCopyWriterTest, ARefusedBatchGoesThroughTheDriverWhichNamesTheRefusedValues) {
    source().Execute("ALTER TABLE TF_DATA1 ADD CONSTRAINT SMALL CHECK (ORIG_VALUE < 100)");
    DataWriter writer(database_);
    BulkWriter bulk(writer);
    std::vector<WriteResult> results;
    BatchGuard batch(writer);
    bulk.Write(Values(temp_, 120, 0), "", results);
    batch.Commit();
    EXPECT_EQ(bulk.BatchesDirect(), 0u);
    EXPECT_EQ(bulk.BatchesDirectRefused(), 1u);
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].outcome, i < 100 ? WriteOutcome::Inserted : WriteOutcome::Failed) << i;
    }
    EXPECT_EQ(RowCount(), 100);
}

TEST_P(PostgresCopyWriterTest, NamesWithCopyEscapesAreWrittenAsTheDriverWritesThem) {
    Twin twin(GetParam());
    std::unique_ptr<DirectWriter> direct = Open();
    ASSERT_TRUE(direct);
    const std::vector<std::string> stations = {"st\\01", "a\tb", "line\nfeed", "cr\rx", "\\N", "caf\xe9"};
    std::vector<BulkValue> values;
    for (const std::string& station : stations) values.push_back({station, "t\\x", SecondsToDateTime(kNoon), 1.5});
    std::vector<WriteResult> results;
    direct->WriteBatch(values, "s\\\t", results);
    EXPECT_EQ(Outcomes(results), std::vector<WriteOutcome>(stations.size(), WriteOutcome::Inserted));
    // The driver finds each of them: its updates touch the rows written.
    Session session;
    Database database(session);
    source().Connect(database);
    DataWriter writer(database);
    for (const std::string& station : stations) {
        EXPECT_EQ(writer.WriteValue(station, "t\\x", "s\\\t", SecondsToDateTime(kNoon), 2.5).outcome,
                  WriteOutcome::Updated)
            << station;
    }
    // And what the driver writes is what was written.
    Session twinSession;
    Database twinDatabase(twinSession);
    twin.source().Connect(twinDatabase);
    DataWriter twinWriter(twinDatabase);
    for (const std::string& station : stations) {
        twinWriter.WriteValue(station, "t\\x", "s\\\t", SecondsToDateTime(kNoon), 1.5);
        twinWriter.WriteValue(station, "t\\x", "s\\\t", SecondsToDateTime(kNoon), 2.5);
    }
    EXPECT_EQ(source().Select(kAllRows), twin.source().Select(kAllRows));
    EXPECT_EQ(RowCount(), static_cast<long>(stations.size()));
}

TEST_P(PostgresCopyWriterTest, ATableWithoutItsKeyGivesNoWriterSoNoKeyGetsASecondRow) {
    // The key as a unique index of other columns, then none at all.
    for (const char* change : {"ALTER TABLE TF_DATA1 DROP CONSTRAINT tf_data1_pkey;\n"
                               "CREATE UNIQUE INDEX other_key ON TF_DATA1(STATION_ID, SENSORNAME, SOURCE);\n",
                               "DROP INDEX other_key;\n"}) {
        source().Execute(change);
        std::string why;
        EXPECT_FALSE(OpenPostgresCopyWriter(database_, why));
        EXPECT_EQ(why, "TF_DATA1 has no unique key of STATION_ID, SENSORNAME and TIME_TAG");
    }
    source().Execute("CREATE UNIQUE INDEX row_key ON TF_DATA1(TIME_TAG, sensorname, STATION_ID);\n");
    EXPECT_TRUE(Open());
}

TEST_P(PostgresCopyWriterTest, ALoginTheServerRefusesGivesNoWriterAndLibpqsReason) {
    const std::string port = std::to_string(PostgresServer::Instance().Port());
    struct Case {
        std::string user;
        std::string password;
    };
    for (const Case& login : {Case{source().User(), "wrong"}, Case{"nobody", source().Password()}}) {
        database_.ClearParams();
        database_.AddParam("USER NAME=" + login.user);
        database_.AddParam("PASSWORD=" + login.password);
        std::string why;
        EXPECT_FALSE(OpenPostgresCopyWriter(database_, why));
        EXPECT_EQ(why, "connection to server at \"127.0.0.1\", port " + port +
                           " failed: FATAL:  password authentication failed for user \"" + login.user + "\"");
    }
    // With the login's own parameters it connects.
    database_.ClearParams();
    database_.AddParam("USER NAME=" + source().User());
    database_.AddParam("PASSWORD=" + source().Password());
    EXPECT_TRUE(Open());
}

TEST_P(PostgresCopyWriterTest, AConnectionThroughTheServersSocketIsFollowedThere) {
    // A data source of the same database whose server name is the socket's folder.
    const std::string folder = source().Select("SHOW unix_socket_directories")[0][0].value_or("");
    const std::string databaseName = source().Select("SELECT current_database()")[0][0].value_or("");
    TestOdbc& odbc = TestOdbc::Instance();
    const std::string name = odbc.UniqueName("vireo_pg_socket_");
    odbc.DefineDataSource(name,
                          {{"Driver", GetParam() == Backend::PostgresAnsi ? "PostgreSQL ANSI" : "PostgreSQL Unicode"},
                           {"Servername", folder},
                           {"Port", std::to_string(PostgresServer::Instance().Port())},
                           {"Database", databaseName}});
    Session session;
    Database database(session);
    database.SetDatabaseName(name);
    database.AddParam("USER NAME=" + source().User());
    database.AddParam("PASSWORD=" + source().Password());
    database.Open();
    EXPECT_EQ(source().Select("SELECT COUNT(*) FROM pg_stat_activity WHERE datname = current_database() AND "
                              "client_addr IS NULL AND application_name <> 'vireo-import' AND pid <> pg_backend_pid()"),
              (Rows{{"1"}}))
        << "the driver's connection goes through the socket";
    std::string why;
    std::unique_ptr<DirectWriter> direct = OpenPostgresCopyWriter(database, why);
    ASSERT_TRUE(direct) << why;
    EXPECT_EQ(source().Select("SELECT COUNT(*) FROM pg_stat_activity WHERE datname = current_database() AND "
                              "client_addr IS NULL AND application_name = 'vireo-import'"),
              (Rows{{"1"}}));
    std::vector<WriteResult> results;
    direct->WriteBatch(Values(temp_, 3, 1), "", results);
    EXPECT_EQ(Outcomes(results), std::vector<WriteOutcome>(3, WriteOutcome::Inserted));
    EXPECT_EQ(RowCount(), 3);
    direct.reset();
    database.Close();
    odbc.RemoveDataSource(name);
}

TEST_P(PostgresCopyWriterTest, AWriterOnAGoneServerConnectionIsNotUsableAndThrows) {
    std::unique_ptr<DirectWriter> direct = Open();
    ASSERT_TRUE(direct);
    // The server ends the writer's session: its next batch fails and leaves nothing.
    source().Execute(
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = 'vireo-import' AND "
        "datname = current_database()");
    std::vector<WriteResult> results;
    EXPECT_THROW(direct->WriteBatch(Values(temp_, 5, 0), "", results), DbError);
    EXPECT_FALSE(direct->Usable());
    EXPECT_EQ(RowCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, PostgresCopyWriterTest,
                         ::testing::Values(Backend::PostgresAnsi, Backend::PostgresUnicode), BackendParamName);

}  // namespace
}  // namespace vireo::testing
