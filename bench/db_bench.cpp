// Values per second through DataWriter::WriteDataValue on SQLite (WAL,
// NORMAL) and PostgreSQL (fsync on), first as new rows, then as a re-import of
// the same rows, beside the same rows written by a bare prepared INSERT per
// row (and a bare INSERT-then-UPDATE re-import) through the same driver, each
// statement under automatic commit.
//
//   db_bench [values]      (default 100000)

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "app/StatusSink.h"
#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "db/Session.h"
#include "scan/Chronos.h"
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

/// Writes every row with bare statements; with `reimport`, each INSERT is
/// expected to fail and an UPDATE follows.
long BareWrite(vireo::Database& database, const std::vector<Row>& rows, bool reimport) {
    char station[32] = "ST01";
    char sensor[32] = {};
    char source[32] = "T";
    SQLLEN stationLength = 4;
    SQLLEN sensorLength = 0;
    SQLLEN sourceLength = 1;
    SQL_TIMESTAMP_STRUCT stamp{};
    double value = 0;

    BareStatement insert(database,
                         "INSERT INTO TF_DATA1 (STATION_ID, SENSORNAME, TIME_TAG, SOURCE, ORIG_VALUE, ED_VALUE) "
                         "VALUES (?, ?, ?, ?, ?, ?)");
    insert.BindText(1, station, &stationLength);
    insert.BindText(2, sensor, &sensorLength);
    insert.BindStamp(3, &stamp);
    insert.BindText(4, source, &sourceLength);
    insert.BindDouble(5, &value);
    insert.BindDouble(6, &value);
    BareStatement update(database,
                         "UPDATE TF_DATA1 SET STATION_ID = ?, SENSORNAME = ?, TIME_TAG = ?, SOURCE = ?, ED_VALUE = ? "
                         "WHERE STATION_ID = ? AND SENSORNAME = ? AND TIME_TAG = ?");
    update.BindText(1, station, &stationLength);
    update.BindText(2, sensor, &sensorLength);
    update.BindStamp(3, &stamp);
    update.BindText(4, source, &sourceLength);
    update.BindDouble(5, &value);
    update.BindText(6, station, &stationLength);
    update.BindText(7, sensor, &sensorLength);
    update.BindStamp(8, &stamp);

    long failed = 0;
    for (const Row& row : rows) {
        std::memcpy(sensor, row.sensor.c_str(), row.sensor.size() + 1);
        sensorLength = static_cast<SQLLEN>(row.sensor.size());
        const vireo::CalendarStamp s = vireo::SplitDateTime(row.timeTag);
        stamp = SQL_TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(s.year), static_cast<SQLUSMALLINT>(s.month),
                                     static_cast<SQLUSMALLINT>(s.day), static_cast<SQLUSMALLINT>(s.hours),
                                     static_cast<SQLUSMALLINT>(s.minutes), static_cast<SQLUSMALLINT>(s.seconds), 0};
        value = row.value + (reimport ? 1 : 0);
        if (insert.Execute()) continue;
        if (!reimport || !update.Execute()) ++failed;
    }
    return failed;
}

struct Result {
    std::string backend;
    std::string phase;
    long rows;
    double seconds;
    long failed;
};

double Time(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Measure(Backend backend, const char* label, const std::vector<Row>& rows, std::vector<Result>& results) {
    const long n = static_cast<long>(rows.size());
    {
        TestDataSource source(backend);
        vireo::Session session;
        vireo::Database database(session);
        source.Connect(database);
        CountingSink sink;
        vireo::DataWriter writer(database, sink);
        long failed = 0;
        const double insert = Time([&] {
            for (const Row& row : rows) {
                if (writer.WriteDataValue("ST01", row.sensor, "", row.timeTag, row.value) ==
                    vireo::WriteOutcome::Failed) {
                    ++failed;
                }
            }
        });
        results.push_back({label, "WriteDataValue, new rows", n, insert, failed});
        failed = 0;
        const double update = Time([&] {
            for (const Row& row : rows) {
                if (writer.WriteDataValue("ST01", row.sensor, "", row.timeTag, row.value + 1) !=
                    vireo::WriteOutcome::Updated) {
                    ++failed;
                }
            }
        });
        results.push_back({label, "WriteDataValue, re-import", n, update, failed});
    }
    {
        TestDataSource source(backend);
        vireo::Session session;
        vireo::Database database(session);
        source.Connect(database);
        long failed = 0;
        const double insert = Time([&] { failed = BareWrite(database, rows, false); });
        results.push_back({label, "bare INSERT", n, insert, failed});
        const double update = Time([&] { failed = BareWrite(database, rows, true); });
        results.push_back({label, "bare INSERT fails, UPDATE", n, update, failed});
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    if (count <= 0) {
        std::fprintf(stderr, "usage: db_bench [values]\n");
        return 2;
    }
    try {
        vireo::testing::PostgresServer::UseDurableStorage();
        const std::vector<Row> rows = MakeRows(count);
        std::vector<Result> results;
        Measure(Backend::Sqlite, "SQLite", rows, results);
        Measure(Backend::PostgresAnsi, "PostgreSQL", rows, results);
        vireo::testing::PostgresServer::Shutdown();

        std::printf("%-11s %-28s %8s %9s %10s %8s %s\n", "backend", "writes", "values", "seconds", "values/s",
                    "failed", "vs bare INSERT");
        for (std::size_t i = 0; i < results.size(); ++i) {
            const Result& r = results[i];
            const Result& bare = results[i - i % 4 + 2];
            const double rate = static_cast<double>(r.rows) / r.seconds;
            const double bareRate = static_cast<double>(bare.rows) / bare.seconds;
            std::printf("%-11s %-28s %8ld %9.2f %10.0f %8ld %.2f\n", r.backend.c_str(), r.phase.c_str(), r.rows,
                        r.seconds, rate, r.failed, rate / bareRate);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "db_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
