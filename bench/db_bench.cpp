// Values per second through DataWriter::WriteValue on SQLite (WAL,
// NORMAL) and PostgreSQL (fsync on), first as new rows, then as a re-import of
// the same rows, beside the same rows written by a bare prepared INSERT per
// row (and a bare INSERT-then-UPDATE for the re-import) through the same
// driver, each statement under automatic commit. The ratio is the writer's
// rate over the bare statements' rate.
//
//   db_bench [values] [--no-fsync]
//
// values: 100000 unless told; --no-fsync: PostgreSQL does not wait for the
// disk at a commit, which shows the cost of the driver and the layer alone.

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "db/Session.h"
#include "import/ImportMessages.h"
#include "scan/Chronos.h"
#include "status/StatusSink.h"
#include "support/PostgresServer.h"
#include "support/TestDataSource.h"

namespace {

using vireo::testing::Backend;
using vireo::testing::TestDataSource;

constexpr vireo::SecondStamp kFirstStamp = 645539400;  // 2005-06-15 12:30:00
constexpr int kSensors = 10;

struct Row {
    std::string sensor;
    vireo::DateTime timeTag;
    double value;
};

std::vector<Row> MakeRows(int count) {
    std::vector<Row> rows;
    rows.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        rows.push_back(Row{"S" + std::to_string(i % kSensors),
                           vireo::SecondsToDateTime(kFirstStamp + (i / kSensors) * 60), i * 0.25});
    }
    return rows;
}

class CountingSink : public vireo::StatusSink {
public:
    void AddStatusMessage(const std::string&) override { ++messages; }
    bool ShowDetails() const override { return false; }
    long messages = 0;
};

void Check(SQLRETURN rc, SQLHSTMT stmt, const char* action) {
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_NO_DATA) {
        throw vireo::DiagnosticError(SQL_HANDLE_STMT, stmt, action);
    }
}

/// One bare statement prepared once, its parameters bound once to fixed buffers.
class BareStatement {
public:
    BareStatement(vireo::Database& database, const char* sql) {
        SQLAllocHandle(SQL_HANDLE_STMT, database.Handle(), &stmt_);
        Check(SQLPrepare(stmt_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS), stmt_, "SQLPrepare");
    }
    ~BareStatement() { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }
    void BindText(SQLUSMALLINT n, char* text, SQLLEN* length) {
        Check(SQLBindParameter(stmt_, n, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 32, 0, text, 32, length), stmt_,
              "SQLBindParameter");
    }
    void BindStamp(SQLUSMALLINT n, SQL_TIMESTAMP_STRUCT* stamp) {
        Check(SQLBindParameter(stmt_, n, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, 0, stamp,
                               sizeof *stamp, nullptr),
              stmt_, "SQLBindParameter");
    }
    void BindDouble(SQLUSMALLINT n, double* value) {
        Check(SQLBindParameter(stmt_, n, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, value, 0, nullptr), stmt_,
              "SQLBindParameter");
    }
    bool Execute() { return SQL_SUCCEEDED(SQLExecute(stmt_)); }

private:
    SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

/// Bare statements on one connection: an INSERT, and the UPDATE of a
/// re-import, each prepared once with its parameters bound once.
class BareWriter {
public:
    explicit BareWriter(vireo::Database& database)
        : insert_(database,
                  "INSERT INTO TF_DATA1 (STATION_ID, SENSORNAME, TIME_TAG, SOURCE, ORIG_VALUE, ED_VALUE) "
                  "VALUES (?, ?, ?, ?, ?, ?)"),
          update_(database,
                  "UPDATE TF_DATA1 SET STATION_ID = ?, SENSORNAME = ?, TIME_TAG = ?, SOURCE = ?, ED_VALUE = ? "
                  "WHERE STATION_ID = ? AND SENSORNAME = ? AND TIME_TAG = ?") {
        insert_.BindText(1, station_, &stationLength_);
        insert_.BindText(2, sensor_, &sensorLength_);
        insert_.BindStamp(3, &stamp_);
        insert_.BindText(4, source_, &sourceLength_);
        insert_.BindDouble(5, &value_);
        insert_.BindDouble(6, &value_);
        update_.BindText(1, station_, &stationLength_);
        update_.BindText(2, sensor_, &sensorLength_);
        update_.BindStamp(3, &stamp_);
        update_.BindText(4, source_, &sourceLength_);
        update_.BindDouble(5, &value_);
        update_.BindText(6, station_, &stationLength_);
        update_.BindText(7, sensor_, &sensorLength_);
        update_.BindStamp(8, &stamp_);
    }

    /// Inserts the row; when that fails, updates it. False when neither worked.
    bool Write(const Row& row, double value) {
        std::memcpy(sensor_, row.sensor.c_str(), row.sensor.size() + 1);
        sensorLength_ = static_cast<SQLLEN>(row.sensor.size());
        const vireo::CalendarStamp s = vireo::SplitDateTime(row.timeTag);
        stamp_ = SQL_TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(s.year),
                                      static_cast<SQLUSMALLINT>(s.month),
                                      static_cast<SQLUSMALLINT>(s.day),
                                      static_cast<SQLUSMALLINT>(s.hours),
                                      static_cast<SQLUSMALLINT>(s.minutes),
                                      static_cast<SQLUSMALLINT>(s.seconds),
                                      0};
        value_ = value;
        return insert_.Execute() || update_.Execute();
    }

private:
    char station_[32] = "ST01";
    char sensor_[32] = {};
    char source_[32] = "T";
    SQLLEN stationLength_ = 4;
    SQLLEN sensorLength_ = 0;
    SQLLEN sourceLength_ = 1;
    SQL_TIMESTAMP_STRUCT stamp_{};
    double value_ = 0;
    BareStatement insert_;
    BareStatement update_;
};

struct Result {
    std::string backend;
    std::string phase;
    long rows = 0;
    double seconds = 0;
    long unexpected = 0;  // values not written the expected way
};

double Time(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// The writer and the bare statements work on two databases of the same
/// backend, taking turns every kChunk rows, so that both see the same load
/// of the machine (the disk of a PostgreSQL commit above all).
void Measure(Backend backend, const char* label, const std::vector<Row>& rows, std::vector<Result>& results) {
    constexpr std::size_t kChunk = 500;
    TestDataSource writerSource(backend);
    TestDataSource bareSource(backend);
    vireo::Session session;
    vireo::Database writerDatabase(session);
    vireo::Database bareDatabase(session);
    writerSource.Connect(writerDatabase);
    bareSource.Connect(bareDatabase);
    CountingSink sink;
    vireo::DataWriter writer(writerDatabase);
    BareWriter bare(bareDatabase);

    for (int pass = 0; pass < 2; ++pass) {
        const bool reimport = pass == 1;
        const vireo::WriteOutcome expected = reimport ? vireo::WriteOutcome::Updated : vireo::WriteOutcome::Inserted;
        const double offset = reimport ? 1 : 0;
        Result viaWriter{label, reimport ? "WriteValue, re-import" : "WriteValue, new rows"};
        Result viaBare{label, reimport ? "bare INSERT fails, UPDATE" : "bare INSERT"};
        for (std::size_t first = 0; first < rows.size(); first += kChunk) {
            const std::size_t last = std::min(rows.size(), first + kChunk);
            viaWriter.seconds += Time([&] {
                for (std::size_t i = first; i < last; ++i) {
                    const Row& row = rows[i];
                    const vireo::WriteResult written =
                        writer.WriteValue("ST01", row.sensor, "", row.timeTag, row.value + offset);
                    vireo::ReportWrite(sink, written, "ST01", row.sensor, row.timeTag, row.value + offset);
                    if (written.outcome != expected) {
                        ++viaWriter.unexpected;
                    }
                }
            });
            viaBare.seconds += Time([&] {
                for (std::size_t i = first; i < last; ++i) {
                    if (!bare.Write(rows[i], rows[i].value + offset)) ++viaBare.unexpected;
                }
            });
        }
        viaWriter.rows = viaBare.rows = static_cast<long>(rows.size());
        results.push_back(viaWriter);
        results.push_back(viaBare);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int count = 100000;
    bool durable = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-fsync") == 0) {
            durable = false;
        } else {
            count = std::atoi(argv[i]);
        }
    }
    if (count <= 0) {
        std::fprintf(stderr, "usage: db_bench [values] [--no-fsync]\n");
        return 2;
    }
    try {
        if (durable) vireo::testing::PostgresServer::UseDurableStorage();
        const std::vector<Row> rows = MakeRows(count);
        std::vector<Result> results;
        Measure(Backend::Sqlite, "SQLite", rows, results);
        Measure(Backend::PostgresAnsi, "PostgreSQL", rows, results);
        vireo::testing::PostgresServer::Shutdown();

        std::printf("SQLite: WAL journal, synchronous NORMAL. PostgreSQL: fsync %s. Each statement commits.\n\n",
                    durable ? "on" : "off");
        std::printf("%-11s %-27s %8s %9s %10s %10s %s\n", "backend", "writes", "values", "seconds", "values/s",
                    "unexpected", "ratio to the bare statements beside");
        for (std::size_t i = 0; i < results.size(); ++i) {
            const Result& r = results[i];
            const Result& other = results[i ^ 1];  // writer and bare rows come in pairs
            const double rate = static_cast<double>(r.rows) / r.seconds;
            const double otherRate = static_cast<double>(other.rows) / other.seconds;
            std::printf("%-11s %-27s %8ld %9.2f %10.0f %10ld %.2f\n", r.backend.c_str(), r.phase.c_str(), r.rows,
                        r.seconds, rate, r.unexpected, i % 2 == 0 ? rate / otherRate : 1.0);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "db_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
