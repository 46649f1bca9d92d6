// Every stage of an import set against its ceiling, on one generated log file
// of mixed layouts, on SQLite (WAL, NORMAL) and PostgreSQL (fsync on):
//
//   - parsing alone: `vireo-import values` (in-process, output to /dev/null)
//     beside a plain hand-written reader of the same file;
//   - the import one statement at a time (RunImport, fast mode off), first
//     inserting, then re-importing the same file, beside a bare prepared
//     INSERT per row through the same driver under automatic commit (and a
//     bare INSERT that fails followed by an UPDATE for the re-import);
//   - the fast mode (batched commits) beside the same bare statements in one
//     transaction, and beside the engine's own bulk path (SQLite C API: one
//     prepared statement in one transaction; PostgreSQL: COPY through libpq).
//
// Each measured part runs in a child process of its own, so its peak memory is
// its own; a part is run once per round, the table shows the median of the
// rounds and the median of each round's own ratios. The bare statements read
// the rows the import writes from a file of fixed-size records made
// beforehand, so they pay for no parsing at all.
//
//   import_bench [--sqlite VALUES] [--pg VALUES] [--rounds N] [--cpu N|none] [--only KEYS] [--verbose]
//   import_bench --batch [--sizes B,B,...] [--sqlite VALUES] [--pg VALUES] [--rounds N] [--cpu N|none]
//
// --batch measures the fast mode's batch size instead: the data writer commits
// every B values or half a second, whichever comes first, for several B
// (100, 1000, 5000, 10000 and 50000 unless told). A size of 0 values leaves
// an engine out; --verbose shows every round's figures as they come.
// --only fast-,tool- runs only the database parts whose key holds one of the
// texts (keys: bare-auto-, plain-, bare-tx-, bulk-, fast-, odbc-, sets-, tool-,
// dry-, keep-, each ending in ins or re), for a quick comparison of a few.
// The whole program (and the PostgreSQL server it starts) is pinned to one CPU
// unless told otherwise, so that client and server share it as they would on
// an idle machine.
//
// For instruction counts (valgrind --tool=callgrind) or perf, one import (an
// insert run and a re-import) can run alone, in the process itself, into a
// fresh SQLite database (PostgreSQL with "pg"): "plain" is RunImport one
// statement at a time, "fast" its fast mode, "bare" and "bare-tx" the bare
// statements under autocommit and in one transaction, "update-first" a bare
// UPDATE tried before the INSERT, for comparison:
//
//   import_bench --profile plain|fast|bare|bare-tx|update-first|update-first-tx VALUES [pg]

#include <fcntl.h>
#include <libpq-fe.h>
#include <sched.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "BenchLogText.h"
#include "cli/Cli.h"
#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "db/Session.h"
#include "import/DryRun.h"
#include "import/ImportMessages.h"
#include "import/ImportRun.h"
#include "logfile/LogValueReader.h"
#include "scan/Chronos.h"
#include "status/StatusSink.h"
#include "support/PostgresServer.h"
#include "support/TestDataSource.h"

namespace {

using namespace vireo::bench;

using vireo::testing::Backend;
using vireo::testing::TestDataSource;
using Clock = std::chrono::steady_clock;

constexpr const char* kStation = "ST01";

// ---------------------------------------------------------------------------
// The log file

const char* const kOneValueNames[] = {"STAGE", "BATT", "AIRTEMP", "WATERTEMP", "RAIN", "WIND", "GUST", "HUMIDITY"};
constexpr int kLabels = 10;       // labels ST00..ST09 of the multi-value lines
constexpr int kMostValues = 6;    // values of one multi-value line
constexpr int kMultiValues = 20;  // values of a line of the multi-value workload
constexpr int kBlankLines = 100;  // blank-separated lines at the end
constexpr int kBlankLineValues = 4;

/// The import list that pairs every sensor name of the generated files with a
/// sensor of station ST01 ("SPARE" stays unpaired).
std::vector<std::string> ImportList() {
    std::vector<std::string> list;
    for (const char* name : kOneValueNames) list.push_back(std::string(name) + "||" + kStation + "." + name);
    for (int label = 0; label < kLabels; ++label) {
        for (int k = 1; k <= kMostValues; ++k) {
            list.push_back("ST0" + std::to_string(label) + ":" + std::to_string(k) + "||" + kStation + ".L" +
                           std::to_string(label) + "V" + std::to_string(k));
        }
    }
    for (int k = 1; k <= kBlankLineValues; ++k) {
        list.push_back("0:" + std::to_string(k) + "||" + kStation + ".B" + std::to_string(k));
    }
    for (int k = 1; k <= kMultiValues; ++k) {
        list.push_back("MV:" + std::to_string(k) + "||" + kStation + ".MV" + std::to_string(k));
    }
    return list;
}

/// Writes a multi-value CSV log as a logger exporting many channels gives it:
/// one line a minute, a label and kMultiValues values on each. Gives the
/// number of values (all paired, all numbers).
long long WriteMultiValueLog(const std::string& path, long long values) {
    std::ofstream out(path, std::ios::binary);
    if (!out) throw std::runtime_error("Cannot write " + path);
    Random random;
    std::string line;
    long long written = 0;
    for (long long minute = 0; written < values; ++minute) {
        line.clear();
        AppendDate(line, minute), line += ',', AppendTime(line, minute), line += ",MV";
        const long long count = std::min<long long>(kMultiValues, values - written);
        for (long long v = 0; v < count; ++v) line += ',', AppendValue(line, random);
        written += count;
        line += "\r\n";
        out << line;
    }
    if (!out.flush()) throw std::runtime_error("Cannot write " + path);
    return written;
}

/// Writes a log file with about `values` paired values: the four one-value
/// layouts and the labelled multi-value layout in turn, one minute per line so
/// that every value has a row of its own, a comment line now and then, an
/// unpaired sensor and a value that is no number; blank-separated lines at the
/// end. Gives the number of paired numeric values (the rows an import writes).
long long WriteLogFile(const std::string& path, long long values) {
    std::ofstream out(path, std::ios::binary);
    if (!out) throw std::runtime_error("Cannot write " + path);
    Random random;
    std::string line;
    long long paired = 0;
    out << "; Vireo log, generated for import_bench\r\n";
    const long long target = values - kBlankLines * kBlankLineValues;
    for (long long n = 0; paired < target; ++n) {
        line.clear();
        const long long minute = n;
        const bool spare = n % 97 == 0;
        const char* name = spare ? "SPARE" : kOneValueNames[random.Below(8)];
        const long long one = spare ? 0 : 1;
        switch (n % 5) {
            case 0:  // NameDateTime
                line += name, line += ',', AppendDate(line, minute), line += ',', AppendTime(line, minute);
                line += ',', AppendValue(line, random), line += ",G";
                paired += one;
                break;
            case 1:  // NameStamp
                line += name, line += ',', AppendDate(line, minute), line += ' ', AppendTime(line, minute);
                line += ',', AppendValue(line, random), line += ",G";
                paired += one;
                break;
            case 2:  // DateTimeName
                AppendDate(line, minute), line += ',', AppendTime(line, minute), line += ',', line += name;
                line += ',', AppendValue(line, random), line += ",C,G";
                paired += one;
                break;
            case 3:  // StampName
                AppendDate(line, minute), line += ' ', AppendTime(line, minute), line += ',', line += name;
                line += ',';
                if (n % 89 == 3) {
                    line += "n/a";  // no number: not written
                } else {
                    AppendValue(line, random);
                    paired += one;
                }
                line += ",C,B";
                break;
            default: {  // DateTimeLabelValues
                AppendDate(line, minute), line += ',', AppendTime(line, minute), line += ",ST0";
                AppendNumber(line, random.Below(kLabels));
                const auto count = std::min<long long>(2 + random.Below(kMostValues - 1), target - paired);
                for (long long v = 0; v < count; ++v) line += ',', AppendValue(line, random);
                paired += count;
                break;
            }
        }
        line += "\r\n";
        out << line;
        if (n % 1000 == 999) out << "; battery check\r\n";
    }
    const long long last = target + 1;  // minutes after those of the lines above
    for (int n = 0; n < kBlankLines; ++n) {
        line.clear();
        AppendDate(line, last + n), line += ' ', AppendTime(line, last + n);
        for (int v = 0; v < kBlankLineValues; ++v) line += ' ', AppendValue(line, random);
        line += "\r\n";
        out << line;
        paired += kBlankLineValues;
    }
    if (!out.flush()) throw std::runtime_error("Cannot write " + path);
    return paired;
}

// ---------------------------------------------------------------------------
// The rows an import writes, as fixed-size records for the bare statements

struct PackedRow {
    char sensor[24];
    SQL_TIMESTAMP_STRUCT stamp;
    vireo::DateTime timeTag;
    double value;
};

/// Reads the log file as an import run does, pairs each value and writes the
/// row it becomes. Gives the number of rows.
long long WriteRowsFile(const std::string& logFile, const std::vector<std::string>& importList,
                        const std::string& rowsFile) {
    vireo::SensorPairs pairs;
    pairs.BuildSensorPairs(importList);
    std::ofstream out(rowsFile, std::ios::binary);
    long long rows = 0;
    auto add = [&](const vireo::LogRecord& record) {
        if (!record.IsNumber() || !record.HasTimeTag()) return;
        const vireo::TDBSensor* pair = nullptr;
        if (!record.headingName.empty()) pair = pairs.FindSensorPair(record.headingName);
        if (pair == nullptr) pair = pairs.FindSensorPair(record.name);
        if (pair == nullptr) return;
        PackedRow row{};
        if (pair->SensorName.size() >= sizeof row.sensor) throw std::runtime_error("Sensor name too long");
        std::memcpy(row.sensor, pair->SensorName.data(), pair->SensorName.size());
        const vireo::CalendarStamp s = vireo::SplitDateTime(record.timeTag);
        row.stamp = SQL_TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(s.year),
                                         static_cast<SQLUSMALLINT>(s.month),
                                         static_cast<SQLUSMALLINT>(s.day),
                                         static_cast<SQLUSMALLINT>(s.hours),
                                         static_cast<SQLUSMALLINT>(s.minutes),
                                         static_cast<SQLUSMALLINT>(s.seconds),
                                         0};
        row.timeTag = record.timeTag;
        row.value = record.value;
        out.write(reinterpret_cast<const char*>(&row), sizeof row);
        ++rows;
    };
    struct Rows : vireo::LogValueVisitor {
        decltype(add)& take;
        explicit Rows(decltype(add)& take) : take(take) {}
        bool Value(const vireo::LogRecord& record, const vireo::LogLine&) {
            take(record);
            return true;
        }
    } each(add);
    vireo::LogValueReader reader(logFile);
    reader.Read(each);
    if (!out.flush()) throw std::runtime_error("Cannot write " + rowsFile);
    return rows;
}

/// Reads the records back a few thousand at a time: the bare statements'
/// memory stays flat too.
class RowStream {
public:
    explicit RowStream(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {
        if (file_ == nullptr) throw std::runtime_error("Cannot read " + path);
    }
    ~RowStream() { std::fclose(file_); }
    RowStream(const RowStream&) = delete;
    RowStream& operator=(const RowStream&) = delete;

    const PackedRow* Next() {
        if (next_ == count_) {
            count_ = std::fread(rows_, sizeof(PackedRow), kRows, file_);
            next_ = 0;
            if (count_ == 0) return nullptr;
        }
        return &rows_[next_++];
    }

private:
    static constexpr std::size_t kRows = 4096;
    std::FILE* file_;
    PackedRow rows_[kRows];
    std::size_t next_ = 0;
    std::size_t count_ = 0;
};

/// "YYYY-MM-DD HH:MM:SS", with ".000" when `milliseconds`, into `out` (24 bytes at least).
void StampText(const SQL_TIMESTAMP_STRUCT& s, char* out, bool milliseconds) {
    auto put = [&out](unsigned value, int width) {
        for (int i = width - 1; i >= 0; --i, value /= 10) out[i] = static_cast<char>('0' + value % 10);
        out += width;
    };
    put(static_cast<unsigned>(s.year), 4), *out++ = '-', put(s.month, 2), *out++ = '-', put(s.day, 2);
    *out++ = ' ', put(s.hour, 2), *out++ = ':', put(s.minute, 2), *out++ = ':', put(s.second, 2);
    if (milliseconds) std::memcpy(out, ".000", 4), out += 4;
    *out = '\0';
}

// ---------------------------------------------------------------------------
// Measuring in a child process

/// What a child reports of one part.
struct Report {
    long long values = 0;     // values handled in one pass
    long long surprises = 0;  // values not written the expected way
    double wall = 0;          // seconds of one pass, elapsed
    double cpu = 0;           // seconds of one pass, processor time of the child
    int passes = 1;
    char message[240] = {};  // the first error met, if any
};

struct Sample {
    Report report;
    long maxRssKiB = 0;
    bool ok = false;
};

class Stopwatch {
public:
    Stopwatch() : wall_(Clock::now()), cpu_(CpuNow()) {}
    double Wall() const { return std::chrono::duration<double>(Clock::now() - wall_).count(); }
    double Cpu() const { return CpuNow() - cpu_; }

private:
    static double CpuNow() {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
    }
    Clock::time_point wall_;
    double cpu_;
};

void SetMessage(Report& report, const std::string& text) {
    if (report.message[0] != '\0') return;
    std::snprintf(report.message, sizeof report.message, "%s", text.c_str());
}

/// Runs `work` in a child process and takes its peak memory from wait4. The
/// child leaves with _exit: the parent's objects (the data sources, the
/// server) are the parent's to clean up.
Sample RunInChild(const std::function<Report()>& work) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::close(fds[0]);
        Report report;
        bool ok = true;
        try {
            report = work();
        } catch (const std::exception& error) {
            SetMessage(report, error.what());
            ok = false;
        }
        const bool written = ::write(fds[1], &report, sizeof report) == static_cast<ssize_t>(sizeof report);
        ::_exit(ok && written ? 0 : 1);
    }
    ::close(fds[1]);
    Sample sample;
    const bool got = ::read(fds[0], &sample.report, sizeof sample.report) == static_cast<ssize_t>(sizeof sample.report);
    ::close(fds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    sample.maxRssKiB = usage.ru_maxrss;
    sample.ok = got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!sample.ok && sample.report.message[0] == '\0') SetMessage(sample.report, "the child process failed");
    return sample;
}

// ---------------------------------------------------------------------------
// Parsing

/// What a plain reader does at best: 1 MiB reads, memchr for line ends, every
/// comma field converted with from_chars.
long long HandWrittenReader(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) throw std::runtime_error("Cannot read " + path);
    std::vector<char> buffer(1 << 20);
    std::size_t begin = 0, end = 0;
    long long numbers = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data() + end, buffer.size() - end);
        if (got < 0) break;
        end += static_cast<std::size_t>(got);
        const bool last = got == 0;
        for (;;) {
            const char* lineStart = buffer.data() + begin;
            const char* lf = static_cast<const char*>(std::memchr(lineStart, '\n', end - begin));
            const char* lineEnd = lf != nullptr ? lf : (last ? buffer.data() + end : nullptr);
            if (lineEnd == nullptr) break;
            const char* textEnd = lineEnd;
            if (textEnd > lineStart && textEnd[-1] == '\r') --textEnd;
            for (const char* field = lineStart; field <= textEnd;) {
                const char* comma = static_cast<const char*>(std::memchr(field, ',', textEnd - field));
                const char* fieldEnd = comma != nullptr ? comma : textEnd;
                double value;
                const auto read = std::from_chars(field, fieldEnd, value);
                if (read.ec == std::errc() && read.ptr == fieldEnd) ++numbers;
                field = fieldEnd + 1;
            }
            begin = static_cast<std::size_t>(lineEnd - buffer.data()) + (lf != nullptr ? 1 : 0);
            if (lf == nullptr) break;
        }
        if (last) break;
        std::memmove(buffer.data(), buffer.data() + begin, end - begin);
        end -= begin;
        begin = 0;
    }
    ::close(fd);
    return numbers;
}

/// Repeats a parse until a second of processor time has gone, for a steadier
/// figure on a small file; the report is per pass.
Report RepeatParse(long long values, const std::function<void()>& pass) {
    Report report;
    report.values = values;
    report.passes = 0;
    const Stopwatch watch;
    do {
        pass();
        ++report.passes;
    } while (watch.Cpu() < 1.0);
    report.wall = watch.Wall() / report.passes;
    report.cpu = watch.Cpu() / report.passes;
    return report;
}

Report ParseByHand(const std::string& logFile, long long values) {
    return RepeatParse(values, [&] { HandWrittenReader(logFile); });
}

Report ParseByValuesCommand(const std::string& logFile, long long values) {
    std::ofstream devNull("/dev/null");
    return RepeatParse(values, [&] {
        std::istringstream in;
        const int status = vireo::cli::RunCli({"values", logFile}, in, devNull, std::cerr);
        if (status != 0) throw std::runtime_error("vireo-import values failed");
    });
}

// ---------------------------------------------------------------------------
// The import itself

class BenchSink : public vireo::StatusSink {
public:
    explicit BenchSink(Report& report) : report_(report) {}
    void AddStatusMessage(const std::string& text) override {
        if (text != "Import process completed.") SetMessage(report_, text);
    }
    bool ShowDetails() const override { return false; }

private:
    Report& report_;
};

/// One run of RunImport on the data source: every value of the file either
/// inserted (`reimport` false) or updated.
Report RunEngineImport(const TestDataSource& source, const std::string& logFile, long long values,
                       const std::vector<std::string>& importList, bool fastMode, bool reimport, bool keepEdits = false,
                       bool bulk = true, bool driverOnly = false) {
    Report report;
    vireo::Session session;
    vireo::Database database(session);
    source.Connect(database);
    BenchSink sink(report);
    vireo::DataWriter writer(database);
    vireo::ImportRequest request;
    request.logFile = logFile;
    request.importList = importList;
    request.chosenStation = kStation;
    request.route = vireo::RouteOfSwitches(fastMode, bulk, driverOnly);
    request.keepEdits = keepEdits;
    vireo::SensorPairs pairs;
    vireo::ImportObserver observer;
    vireo::RunControl control;
    const Stopwatch watch;
    const vireo::ImportResult result = vireo::RunImport(request, pairs, writer, sink, observer, control);
    report.wall = watch.Wall();
    report.cpu = watch.Cpu();
    const std::int64_t expected = reimport ? result.counts.updated : result.counts.inserted;
    report.values = expected;
    report.surprises = (values - expected) + result.counts.failed;
    if (!result.error.empty()) SetMessage(report, result.error);
    return report;
}

/// One dry run on the data source: every value of the file forecast as an
/// insert, or (`reimport`) as an update or unchanged row.
Report RunEngineDryRun(const TestDataSource& source, const std::string& logFile, long long values,
                       const std::vector<std::string>& importList, bool reimport) {
    Report report;
    vireo::Session session;
    vireo::Database database(session);
    source.Connect(database);
    vireo::ImportRequest request;
    request.logFile = logFile;
    request.importList = importList;
    request.chosenStation = kStation;
    vireo::ImportObserver observer;
    vireo::RunControl control;
    const Stopwatch watch;
    const vireo::DryRunReport result = vireo::RunDryRun(request, database, observer, control);
    report.wall = watch.Wall();
    report.cpu = watch.Cpu();
    std::int64_t expected = 0;
    for (const vireo::EntryForecast& entry : result.entries)
        expected += reimport ? entry.update + entry.unchanged : entry.insert;
    report.values = expected;
    report.surprises = values - expected;
    if (!result.error.empty()) SetMessage(report, result.error);
    return report;
}

// ---------------------------------------------------------------------------
// The bare statements through the same driver

void Check(SQLRETURN rc, SQLHSTMT stmt, const char* action) {
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) throw vireo::DiagnosticError(SQL_HANDLE_STMT, stmt, action);
}

/// One statement prepared once, its parameters bound once to fixed buffers.
class BareStatement {
public:
    BareStatement(vireo::Database& database, const char* sql) {
        SQLAllocHandle(SQL_HANDLE_STMT, database.Handle(), &stmt_);
        Check(SQLPrepare(stmt_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS), stmt_, "SQLPrepare");
    }
    ~BareStatement() { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }
    BareStatement(const BareStatement&) = delete;
    BareStatement& operator=(const BareStatement&) = delete;

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
    SQLLEN RowCount() {
        SQLLEN rows = 0;
        SQLRowCount(stmt_, &rows);
        return rows;
    }

private:
    SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

/// A bare INSERT, and the UPDATE of a re-import, on one connection.
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

    /// Inserts the row; when that fails and `update` is set, updates it.
    /// With `updateFirst` the other way round: an update, and an insert when
    /// it found no row (not what the data writer does; for comparison).
    vireo::WriteOutcome Write(const PackedRow& row, bool update, bool updateFirst = false) {
        sensorLength_ = static_cast<SQLLEN>(std::strlen(row.sensor));
        std::memcpy(sensor_, row.sensor, static_cast<std::size_t>(sensorLength_) + 1);
        stamp_ = row.stamp;
        value_ = row.value;
        if (updateFirst && update_.Execute() && update_.RowCount() == 1) return vireo::WriteOutcome::Updated;
        if (insert_.Execute()) return vireo::WriteOutcome::Inserted;
        if (update && !updateFirst && update_.Execute() && update_.RowCount() == 1) return vireo::WriteOutcome::Updated;
        return vireo::WriteOutcome::Failed;
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

/// The rows written by bare statements, each under automatic commit or all in
/// one transaction.
Report RunBare(const TestDataSource& source, const std::string& rowsFile, long long values, bool oneTransaction,
               bool reimport, bool updateFirst = false) {
    Report report;
    vireo::Session session;
    vireo::Database database(session);
    source.Connect(database);
    BareWriter bare(database);
    RowStream rows(rowsFile);
    const vireo::WriteOutcome expected = reimport ? vireo::WriteOutcome::Updated : vireo::WriteOutcome::Inserted;
    const Stopwatch watch;
    if (oneTransaction) database.StartTransaction();
    long long done = 0;
    while (const PackedRow* row = rows.Next()) {
        if (bare.Write(*row, reimport, updateFirst) == expected) ++done;
    }
    if (oneTransaction) database.Commit();
    report.wall = watch.Wall();
    report.cpu = watch.Cpu();
    report.values = done;
    report.surprises = values - done;
    return report;
}

// ---------------------------------------------------------------------------
// The engines' own bulk paths

class SqliteFile {
public:
    explicit SqliteFile(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            const std::string text = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            throw std::runtime_error("sqlite3_open_v2: " + text);
        }
        Exec("PRAGMA journal_mode=WAL");
        Exec("PRAGMA synchronous=NORMAL");
        Exec("PRAGMA busy_timeout=5000");
    }
    ~SqliteFile() { sqlite3_close(db_); }
    SqliteFile(const SqliteFile&) = delete;
    SqliteFile& operator=(const SqliteFile&) = delete;

    void Exec(const char* sql) {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string text = error != nullptr ? error : "unknown error";
            sqlite3_free(error);
            throw std::runtime_error(std::string(sql) + ": " + text);
        }
    }
    sqlite3* get() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

/// SQLite's C API: one prepared statement, one transaction. A re-import goes
/// as an upsert that keeps the original value, as the import's UPDATE does.
Report RunSqliteApi(const TestDataSource& source, const std::string& rowsFile, long long values, bool reimport) {
    Report report;
    SqliteFile file(source.FilePath());
    const char* sql = reimport ? "INSERT INTO TF_DATA1 (STATION_ID, SENSORNAME, TIME_TAG, SOURCE, ORIG_VALUE, "
                                 "ED_VALUE) VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (STATION_ID, SENSORNAME, TIME_TAG) "
                                 "DO UPDATE SET SOURCE = excluded.SOURCE, ED_VALUE = excluded.ED_VALUE"
                               : "INSERT INTO TF_DATA1 (STATION_ID, SENSORNAME, TIME_TAG, SOURCE, ORIG_VALUE, "
                                 "ED_VALUE) VALUES (?, ?, ?, ?, ?, ?)";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(file.get(), sql, -1, &stmt, nullptr) != SQLITE_OK) {
        throw std::runtime_error(std::string("sqlite3_prepare_v2: ") + sqlite3_errmsg(file.get()));
    }
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(stmt, sqlite3_finalize);
    RowStream rows(rowsFile);
    const Stopwatch watch;
    file.Exec("BEGIN");
    long long done = 0;
    char stamp[32];
    while (const PackedRow* row = rows.Next()) {
        StampText(row->stamp, stamp, true);  // as the ODBC driver stores a bound timestamp
        sqlite3_bind_text(stmt, 1, kStation, -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 2, row->sensor, -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 3, stamp, -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 4, "T", 1, SQLITE_STATIC);
        sqlite3_bind_double(stmt, 5, row->value);
        sqlite3_bind_double(stmt, 6, row->value);
        if (sqlite3_step(stmt) == SQLITE_DONE && sqlite3_changes(file.get()) == 1) ++done;
        sqlite3_reset(stmt);
    }
    file.Exec("COMMIT");
    report.wall = watch.Wall();
    report.cpu = watch.Cpu();
    report.values = done;
    report.surprises = values - done;
    return report;
}

class PgConnection {
public:
    explicit PgConnection(const std::string& conninfo) : conn_(PQconnectdb(conninfo.c_str())) {
        if (PQstatus(conn_) != CONNECTION_OK) {
            const std::string text = PQerrorMessage(conn_);
            PQfinish(conn_);
            throw std::runtime_error("PQconnectdb: " + text);
        }
    }
    ~PgConnection() { PQfinish(conn_); }
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    /// Runs a statement; gives the rows it affected.
    long long Exec(const char* sql, ExecStatusType expected = PGRES_COMMAND_OK) {
        PGresult* result = PQexec(conn_, sql);
        const bool ok = PQresultStatus(result) == expected;
        const std::string error = ok ? "" : PQresultErrorMessage(result);
        const long long rows = ok ? std::atoll(PQcmdTuples(result)) : 0;
        PQclear(result);
        if (!ok) throw std::runtime_error(std::string(sql) + ": " + error);
        return rows;
    }

    /// COPY FROM STDIN of the rows file, in pieces of about 64 KiB.
    long long CopyRows(const char* sql, const std::string& rowsFile) {
        Exec(sql, PGRES_COPY_IN);
        RowStream rows(rowsFile);
        std::string text;
        long long count = 0;
        char stamp[32];
        char number[32];
        while (const PackedRow* row = rows.Next()) {
            StampText(row->stamp, stamp, false);
            const auto end = std::to_chars(number, number + sizeof number, row->value).ptr;
            const std::string_view value(number, static_cast<std::size_t>(end - number));
            text.append(kStation).append("\t").append(row->sensor).append("\t").append(stamp).append("\tT\t");
            text.append(value).append("\t").append(value).append("\n");
            ++count;
            if (text.size() >= 65536) Put(text);
        }
        Put(text);
        if (PQputCopyEnd(conn_, nullptr) != 1) throw std::runtime_error(PQerrorMessage(conn_));
        PGresult* result = PQgetResult(conn_);
        const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
        const std::string error = ok ? "" : PQresultErrorMessage(result);
        PQclear(result);
        while ((result = PQgetResult(conn_)) != nullptr) PQclear(result);
        if (!ok) throw std::runtime_error("COPY: " + error);
        return count;
    }

private:
    void Put(std::string& text) {
        if (!text.empty() && PQputCopyData(conn_, text.data(), static_cast<int>(text.size())) != 1) {
            throw std::runtime_error(PQerrorMessage(conn_));
        }
        text.clear();
    }
    PGconn* conn_;
};

/// PostgreSQL's COPY: straight into the table, or for a re-import into a
/// temporary table followed by one upsert that keeps the original values.
Report RunCopy(const std::string& conninfo, const std::string& rowsFile, long long values, bool reimport) {
    Report report;
    PgConnection pg(conninfo);
    const Stopwatch watch;
    long long done = 0;
    if (!reimport) {
        pg.CopyRows("COPY TF_DATA1 (STATION_ID, SENSORNAME, TIME_TAG, SOURCE, ORIG_VALUE, ED_VALUE) FROM STDIN",
                    rowsFile);
        done = values;  // COPY writes all rows or none
    } else {
        pg.Exec("BEGIN");
        pg.Exec("CREATE TEMPORARY TABLE INCOMING (LIKE TF_DATA1) ON COMMIT DROP");
        pg.CopyRows("COPY INCOMING (STATION_ID, SENSORNAME, TIME_TAG, SOURCE, ORIG_VALUE, ED_VALUE) FROM STDIN",
                    rowsFile);
        done = pg.Exec(
            "INSERT INTO TF_DATA1 SELECT * FROM INCOMING ON CONFLICT (STATION_ID, SENSORNAME, TIME_TAG) "
            "DO UPDATE SET SOURCE = excluded.SOURCE, ED_VALUE = excluded.ED_VALUE");
        pg.Exec("COMMIT");
    }
    report.wall = watch.Wall();
    report.cpu = watch.Cpu();
    report.values = done;
    report.surprises = values - done;
    return report;
}

// ---------------------------------------------------------------------------
// What a user writes instead: the engine's own command line tool, a CSV file
// of the rows, and one upsert

/// The rows as CSV: station, sensor, time tag (with ".000" for SQLite, as its
/// ODBC driver stores a timestamp), source, original and edited value.
void WriteRowsCsv(const std::string& rowsFile, const std::string& csvFile, bool milliseconds) {
    std::ofstream out(csvFile, std::ios::binary);
    RowStream rows(rowsFile);
    char stamp[32];
    char number[32];
    while (const PackedRow* row = rows.Next()) {
        StampText(row->stamp, stamp, milliseconds);
        const auto end = std::to_chars(number, number + sizeof number, row->value).ptr;
        const std::string_view value(number, static_cast<std::size_t>(end - number));
        out << kStation << ',' << row->sensor << ',' << stamp << ",T," << value << ',' << value << '\n';
    }
    if (!out.flush()) throw std::runtime_error("Cannot write " + csvFile);
}

constexpr const char* kToolUpsert =
    "INSERT INTO TF_DATA1 SELECT * FROM INCOMING WHERE true ON CONFLICT (STATION_ID, SENSORNAME, TIME_TAG) "
    "DO UPDATE SET SOURCE = excluded.SOURCE, ED_VALUE = excluded.ED_VALUE;\n";

/// `sqlite3 FILE < script`: .import of the CSV into a staging table, one upsert.
/// `psql -f script`: \copy of the CSV into a temporary table, one upsert.
/// The CSV is made before the clock starts.
Report RunTool(const TestDataSource& source, const std::string& conninfo, const std::string& rowsFile, long long values,
               const std::string& folder) {
    Report report;
    const bool sqlite = conninfo.empty();
    const std::string csv = folder + "/tool-rows.csv";
    const std::string script = folder + "/tool-script.sql";
    WriteRowsCsv(rowsFile, csv, sqlite);
    std::ofstream out(script, std::ios::binary);
    std::string command;
    if (sqlite) {
        out << ".bail on\nPRAGMA journal_mode=WAL;\nPRAGMA synchronous=NORMAL;\nPRAGMA busy_timeout=5000;\n"
               "CREATE TEMP TABLE INCOMING (STATION_ID TEXT, SENSORNAME TEXT, TIME_TAG TEXT, SOURCE TEXT, "
               "ORIG_VALUE REAL, ED_VALUE REAL);\n"
            << ".import --csv --schema temp " << csv << " INCOMING\nBEGIN;\n"
            << kToolUpsert << "COMMIT;\n";
        command = "sqlite3 " + source.FilePath() + " < " + script + " > /dev/null";
    } else {
        out << "\\set ON_ERROR_STOP on\nBEGIN;\nCREATE TEMPORARY TABLE INCOMING (LIKE TF_DATA1) ON COMMIT DROP;\n"
            << "\\copy INCOMING FROM '" << csv << "' WITH (FORMAT csv)\n"
            << kToolUpsert << "COMMIT;\n";
        command = "psql -X -q '" + conninfo + "' -f " + script + " > /dev/null";
    }
    out.close();
    const Stopwatch watch;
    const int status = std::system(command.c_str());
    report.wall = watch.Wall();
    report.cpu = watch.Cpu();
    report.values = values;
    if (status != 0) SetMessage(report, command + " failed");
    return report;
}

// ---------------------------------------------------------------------------
// Batches of the fast mode, through the data writer

/// The rows written through DataWriter::WriteValue in batches of `batch`
/// values or half a second, whichever comes first, as the fast import does.
Report RunWriterBatches(const TestDataSource& source, const std::string& rowsFile, long long values, std::size_t batch,
                        bool reimport) {
    Report report;
    vireo::Session session;
    vireo::Database database(session);
    source.Connect(database);
    BenchSink sink(report);
    vireo::DataWriter writer(database);
    RowStream rows(rowsFile);
    const vireo::WriteOutcome expected = reimport ? vireo::WriteOutcome::Updated : vireo::WriteOutcome::Inserted;
    const std::string station = kStation;
    std::string sensor;
    const Stopwatch watch;
    writer.BeginBatch();
    auto started = Clock::now();
    std::size_t inBatch = 0;
    long long done = 0;
    while (const PackedRow* row = rows.Next()) {
        sensor.assign(row->sensor);
        const vireo::WriteResult written = writer.WriteValue(station, sensor, "T", row->timeTag, row->value);
        vireo::ReportWrite(sink, written, station, sensor, row->timeTag, row->value);
        if (written.outcome == expected) ++done;
        if (++inBatch >= batch || Clock::now() - started >= std::chrono::milliseconds(500)) {
            writer.CommitBatch();
            writer.BeginBatch();
            started = Clock::now();
            inBatch = 0;
            ++report.passes;  // here: the number of commits
        }
    }
    writer.CommitBatch();
    ++report.passes;
    report.wall = watch.Wall();
    report.cpu = watch.Cpu();
    report.values = done;
    report.surprises = values - done;
    return report;
}

// ---------------------------------------------------------------------------
// The table

double Rate(const Sample& s, bool byCpu) {
    const double seconds = byCpu ? s.report.cpu : s.report.wall;
    return seconds > 0 ? static_cast<double>(s.report.values) / seconds : 0;
}

struct Row {
    std::string part;
    std::vector<Sample> samples;
    bool byCpu = false;  // parsing: rates from processor time
};

class Table {
public:
    Row& Get(const std::string& key, const std::string& part, bool byCpu = false) {
        auto found = index_.find(key);
        if (found != index_.end()) return rows_[found->second];
        index_[key] = rows_.size();
        rows_.push_back(Row{part, {}, byCpu});
        return rows_.back();
    }
    const Row* Find(const std::string& key) const {
        auto found = index_.find(key);
        return found == index_.end() ? nullptr : &rows_[found->second];
    }
    void Add(const std::string& key, const std::string& part, const Sample& sample, bool byCpu = false) {
        Get(key, part, byCpu).samples.push_back(sample);
        const Report& r = sample.report;
        if (verbose) std::printf("  %-46s %11.0f values/s\n", part.c_str(), Rate(sample, byCpu));
        if (!sample.ok || r.surprises != 0 || r.message[0] != '\0') {
            std::printf("  !! %s: %s%lld values not written the expected way%s%s\n", part.c_str(),
                        sample.ok ? "" : "FAILED, ", r.surprises, r.message[0] != '\0' ? "; " : "", r.message);
        }
    }

    bool verbose = false;  // show every sample as it comes

private:
    std::vector<Row> rows_;
    std::map<std::string, std::size_t> index_;
};

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double MedianRate(const Row* row) {
    if (row == nullptr) return 0;
    std::vector<double> rates;
    for (const Sample& s : row->samples) rates.push_back(Rate(s, row->byCpu));
    return Median(rates);
}

double MedianRssMiB(const Row* row) {
    std::vector<double> rss;
    for (const Sample& s : row->samples) rss.push_back(static_cast<double>(s.maxRssKiB) / 1024.0);
    return Median(rss);
}

/// The spread of the rounds: (highest - lowest) / median.
double Spread(const Row* row) {
    std::vector<double> rates;
    for (const Sample& s : row->samples) rates.push_back(Rate(s, row->byCpu));
    if (rates.size() < 2) return 0;
    const auto [low, high] = std::minmax_element(rates.begin(), rates.end());
    const double median = Median(rates);
    return median > 0 ? (*high - *low) / median : 0;
}

/// The median of the rounds' own ratios: each round's rate of `row` over the
/// same round's rate of `other`, both measured close together.
double MedianRatio(const Row* row, const Row* other) {
    if (row == nullptr || other == nullptr) return 0;
    std::vector<double> ratios;
    for (std::size_t i = 0; i < row->samples.size() && i < other->samples.size(); ++i) {
        const double otherRate = Rate(other->samples[i], other->byCpu);
        if (otherRate > 0) ratios.push_back(Rate(row->samples[i], row->byCpu) / otherRate);
    }
    return Median(ratios);
}

double RatioOf(const Table& table, const std::string& a, const std::string& b) {
    return MedianRatio(table.Find(a), table.Find(b));
}

bool AllOk(const Row* row) {
    for (const Sample& s : row->samples) {
        if (!s.ok || s.report.surprises != 0) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Setup

struct Options {
    long long sqliteValues = 200000;
    long long pgValues = 6000;
    int rounds = 3;
    int cpu = -2;  // -2: the last CPU, -1: none
    bool batch = false;
    bool verbose = false;
    bool multi = false;             // the multi-value workload instead of the mixed one
    std::vector<std::string> only;  // texts of the part keys to run; empty: every part
    std::vector<std::size_t> batchSizes = {100, 1000, 5000, 10000, 50000};
};

void PinToCpu(int cpu) {
    if (cpu == -1) {
        std::printf("not pinned to a CPU\n");
        return;
    }
    if (cpu == -2) cpu = static_cast<int>(::sysconf(_SC_NPROCESSORS_ONLN)) - 1;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    if (::sched_setaffinity(0, sizeof set, &set) != 0) {
        std::printf("could not pin to CPU %d: %s\n", cpu, std::strerror(errno));
        return;
    }
    std::printf("pinned to CPU %d, with the PostgreSQL server it starts\n", cpu);
}

struct EngineFiles {
    const char* label;
    Backend backend;
    std::string logFile;
    std::string rowsFile;
    std::string folder;
    long long values = 0;
    double megabytes = 0;
};

EngineFiles MakeFiles(const char* label, Backend backend, const std::string& folder, long long values,
                      const std::vector<std::string>& importList, bool multi = false) {
    EngineFiles files{label, backend, folder + "/" + label + ".log", folder + "/" + label + ".rows", folder};
    const long long written = multi ? WriteMultiValueLog(files.logFile, values) : WriteLogFile(files.logFile, values);
    files.values = WriteRowsFile(files.logFile, importList, files.rowsFile);
    if (files.values != written) {
        throw std::runtime_error("the value pass found " + std::to_string(files.values) + " values, not " +
                                 std::to_string(written));
    }
    files.megabytes = static_cast<double>(std::filesystem::file_size(files.logFile)) / 1e6;
    return files;
}

/// A folder of its own in /tmp for the generated files, removed with all it
/// holds when the measurement ends, also by an exception.
struct ScratchFolder {
    ScratchFolder() {
        char pattern[] = "/tmp/vireo-import-bench-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
        path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string path;
};

/// The files of each engine measured (a size of 0 leaves the engine out).
std::vector<EngineFiles> MakeEngineFiles(const Options& options, const std::string& folder,
                                         const std::vector<std::string>& importList) {
    std::vector<EngineFiles> engines;
    if (options.sqliteValues > 0) {
        engines.push_back(
            MakeFiles("SQLite", Backend::Sqlite, folder, options.sqliteValues, importList, options.multi));
    }
    if (options.pgValues > 0) {
        engines.push_back(
            MakeFiles("PostgreSQL", Backend::PostgresAnsi, folder, options.pgValues, importList, options.multi));
    }
    return engines;
}

std::string PgConninfo(const TestDataSource& source) {
    const auto rows = source.Select("SELECT current_database()");
    const vireo::testing::PostgresServer& server = vireo::testing::PostgresServer::Instance();
    return "host=127.0.0.1 port=" + std::to_string(server.Port()) + " dbname=" + rows.at(0).at(0).value_or("") +
           " user=" + server.User() + " password=" + server.Password();
}

long long CountRows(const TestDataSource& source) {
    const auto rows = source.Select("SELECT COUNT(*) FROM TF_DATA1");
    return std::atoll(rows.at(0).at(0).value_or("0").c_str());
}

// ---------------------------------------------------------------------------
// The main table

/// One part to measure: its key in the table, its name and its work.
struct Part {
    std::string key;
    std::string name;
    std::function<Report()> work;
};

/// The texts of --only: a part whose key holds none of them is not run.
std::vector<std::string> g_onlyParts;

bool Chosen(const std::string& key) {
    if (g_onlyParts.empty()) return true;
    return std::any_of(g_onlyParts.begin(), g_onlyParts.end(),
                       [&](const std::string& text) { return key.find(text) != std::string::npos; });
}

/// Runs the parts one after the other, in the opposite order in every other
/// round, so that a machine that grows busier or quieter during a round favours
/// neither side of a comparison.
void RunParts(std::vector<Part> parts, int round, Table& table) {
    if (round % 2 == 0) std::reverse(parts.begin(), parts.end());
    for (const Part& part : parts) {
        if (Chosen(part.key)) table.Add(part.key, part.name, RunInChild(part.work));
    }
}

/// One round on one engine. The insert run fills the database that the
/// re-import then finds full; each way of writing has a database of its own.
void MeasureEngine(const EngineFiles& e, const std::vector<std::string>& importList, int round, Table& table) {
    const std::string k = e.label;
    const std::string& log = e.logFile;
    const std::string& rows = e.rowsFile;
    const long long n = e.values;
    const bool sqlite = e.backend == Backend::Sqlite;
    auto checkRows = [&](const TestDataSource& source, const char* what) {
        const long long count = CountRows(source);
        if (count == 0 && !g_onlyParts.empty()) return;  // a part left out
        if (count != n) std::printf("  !! %s %s: %lld rows in TF_DATA1, not %lld\n", e.label, what, count, n);
    };

    {  // one statement at a time
        TestDataSource engine(e.backend);
        TestDataSource bare(e.backend);
        for (const bool reimport : {false, true}) {
            const std::string run = reimport ? "re" : "ins";
            RunParts({{k + "bare-auto-" + run,
                       reimport ? "bare INSERT fails + UPDATE, autocommit" : "bare INSERT, autocommit",
                       [&] { return RunBare(bare, rows, n, false, reimport); }},
                      {k + "plain-" + run, reimport ? "RunImport, re-import run" : "RunImport, insert run",
                       [&] { return RunEngineImport(engine, log, n, importList, false, reimport); }}},
                     round, table);
        }
        checkRows(engine, "one statement at a time");
        checkRows(bare, "bare statements");
    }
    {  // fast mode
        TestDataSource engine(e.backend);
        TestDataSource odbc(e.backend);
        TestDataSource sets(e.backend);
        TestDataSource tool(e.backend);
        TestDataSource bare(e.backend);
        TestDataSource bulk(e.backend);
        const std::string conninfo = sqlite ? "" : PgConninfo(bulk);
        const std::string toolConninfo = sqlite ? "" : PgConninfo(tool);
        for (const bool reimport : {false, true}) {
            const std::string run = reimport ? "re" : "ins";
            const char* bulkName = sqlite
                                       ? (reimport ? "C API upsert, one transaction" : "C API INSERT, one transaction")
                                       : (reimport ? "COPY + upsert (libpq)" : "COPY (libpq)");
            std::vector<Part> parts{
                {k + "bare-tx-" + run,
                 reimport ? "bare INSERT fails + UPDATE, one transaction" : "bare INSERT, one transaction",
                 [&] { return RunBare(bare, rows, n, true, reimport); }},
                {k + "bulk-" + run, bulkName,
                 [&] { return sqlite ? RunSqliteApi(bulk, rows, n, reimport) : RunCopy(conninfo, rows, n, reimport); }},
                {k + "fast-" + run, reimport ? "RunImport --fast, re-import run" : "RunImport --fast, insert run",
                 [&] { return RunEngineImport(engine, log, n, importList, true, reimport); }},
                {k + "odbc-" + run,
                 reimport ? "RunImport --fast --bulk off, re-import" : "RunImport --fast --bulk off, insert",
                 [&] { return RunEngineImport(odbc, log, n, importList, true, reimport, false, false); }},
                {k + "sets-" + run,
                 reimport ? "RunImport --fast --bulk odbc, re-import" : "RunImport --fast --bulk odbc, insert",
                 [&] { return RunEngineImport(sets, log, n, importList, true, reimport, false, true, true); }},
                {k + "tool-" + run, sqlite ? "sqlite3 .import + upsert" : "psql \\copy + upsert",
                 [&] { return RunTool(tool, toolConninfo, rows, n, e.folder); }}};
            if (reimport) {
                // The database is full: the dry run forecasts the re-import,
                // and --keep-edits pays its condition on every update.
                parts.push_back({k + "dry-re", "dry run, re-import forecast",
                                 [&] { return RunEngineDryRun(engine, log, n, importList, true); }});
                parts.push_back({k + "keep-re", "RunImport --fast --keep-edits, re-import",
                                 [&] { return RunEngineImport(engine, log, n, importList, true, true, true); }});
            }
            RunParts(parts, round, table);
        }
        checkRows(engine, "fast mode");
        checkRows(odbc, "fast mode, one statement a value");
        checkRows(sets, "fast mode, sets through the driver");
        checkRows(tool, "command line tool");
        checkRows(bare, "bare statements in one transaction");
        checkRows(bulk, "bulk path");
    }
}

void PrintHeader() {
    std::printf("%-46s %11s %7s %9s %9s %9s %9s\n", "part", "values/s", "spread", "vs bare", "vs bulk", "speed-up",
                "peak RSS");
}

void PrintLine(const Table& table, const std::string& key, const char* bareKey = nullptr, const char* bulkKey = nullptr,
               const char* plainKey = nullptr, const std::string& prefix = "") {
    const Row* row = table.Find(key);
    if (row == nullptr) return;
    const double rate = MedianRate(row);
    auto ratio = [&](const char* other) -> std::string {
        if (other == nullptr) return "";
        const double value = MedianRatio(row, table.Find(prefix + other));
        if (value <= 0) return "-";
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", value);
        return text;
    };
    std::printf("%-46s %11.0f %6.0f%% %9s %9s %9s %6.1f MiB%s\n", row->part.c_str(), rate, Spread(row) * 100,
                ratio(bareKey).c_str(), ratio(bulkKey).c_str(), ratio(plainKey).c_str(), MedianRssMiB(row),
                AllOk(row) ? "" : "  FAILED");
}

void PrintEngine(const Table& table, const EngineFiles& e) {
    const std::string k = e.label;
    std::printf("\n%s, %lld values (%.1f MB):\n", e.label, e.values, e.megabytes);
    std::printf("  one statement at a time\n");
    PrintLine(table, k + "bare-auto-ins");
    PrintLine(table, k + "plain-ins", "bare-auto-ins", nullptr, nullptr, k);
    PrintLine(table, k + "bare-auto-re");
    PrintLine(table, k + "plain-re", "bare-auto-re", nullptr, nullptr, k);
    std::printf("  fast mode\n");
    PrintLine(table, k + "bare-tx-ins");
    PrintLine(table, k + "bulk-ins");
    PrintLine(table, k + "tool-ins", nullptr, "bulk-ins", nullptr, k);
    PrintLine(table, k + "odbc-ins", "bare-tx-ins", "bulk-ins", "plain-ins", k);
    PrintLine(table, k + "sets-ins", "bare-tx-ins", "bulk-ins", "plain-ins", k);
    PrintLine(table, k + "fast-ins", "bare-tx-ins", "bulk-ins", "plain-ins", k);
    PrintLine(table, k + "bare-tx-re");
    PrintLine(table, k + "bulk-re");
    PrintLine(table, k + "tool-re", nullptr, "bulk-re", nullptr, k);
    PrintLine(table, k + "odbc-re", "bare-tx-re", "bulk-re", "plain-re", k);
    PrintLine(table, k + "sets-re", "bare-tx-re", "bulk-re", "plain-re", k);
    PrintLine(table, k + "fast-re", "bare-tx-re", "bulk-re", "plain-re", k);
    std::printf("  safe re-import (speed-up: against RunImport --fast, re-import run)\n");
    PrintLine(table, k + "dry-re", nullptr, nullptr, "fast-re", k);
    PrintLine(table, k + "keep-re", nullptr, nullptr, "fast-re", k);
}

void PrintGoals(const Table& table, const std::vector<EngineFiles>& engines) {
    std::printf("\ngoals:\n");
    auto goal = [](const std::string& what, double value, double least) {
        std::printf("  %-58s %5.2f (at least %.1f)  %s\n", what.c_str(), value, least,
                    value >= least ? "met" : "MISSED");
    };
    for (const EngineFiles& e : engines) {
        const std::string k = e.label;
        goal(k + ": insert run / bare INSERT, autocommit", RatioOf(table, k + "plain-ins", k + "bare-auto-ins"), 0.8);
        goal(k + ": re-import / bare INSERT + UPDATE, autocommit", RatioOf(table, k + "plain-re", k + "bare-auto-re"),
             0.8);
        goal(k + ": fast insert run, one a value / bare INSERT, one transaction",
             RatioOf(table, k + "odbc-ins", k + "bare-tx-ins"), 0.8);
        goal(k + ": fast re-import, one a value / bare INSERT + UPDATE, one tx",
             RatioOf(table, k + "odbc-re", k + "bare-tx-re"), 0.8);
        goal(k + ": fast insert run in bulk / engine's bulk path", RatioOf(table, k + "fast-ins", k + "bulk-ins"), 0.5);
        goal(k + ": fast re-import in bulk / engine's bulk path", RatioOf(table, k + "fast-re", k + "bulk-re"), 0.5);
        goal(k + ": fast insert run in bulk / command line tool", RatioOf(table, k + "fast-ins", k + "tool-ins"), 1.0);
        goal(k + ": fast re-import in bulk / command line tool", RatioOf(table, k + "fast-re", k + "tool-re"), 1.0);
        const double least = e.backend == Backend::Sqlite ? 3.0 : 2.0;
        goal(k + ": fast insert run / insert run", RatioOf(table, k + "fast-ins", k + "plain-ins"), least);
        goal(k + ": fast re-import / re-import", RatioOf(table, k + "fast-re", k + "plain-re"), least);
    }
}

/// Peak memory against the size of the file: the same parts on a file a
/// quarter the size.
void MeasureMemory(const EngineFiles& full, const std::string& folder, const std::vector<std::string>& importList) {
    const EngineFiles quarter = MakeFiles("SQLite-quarter", Backend::Sqlite, folder, full.values / 4, importList);
    std::printf("\npeak memory against file size (SQLite, one run each):\n");
    std::printf("%-34s %14s %14s\n", "part", "quarter file", "whole file");
    auto show = [](const char* part, const Sample& a, const Sample& b) {
        std::printf("%-34s %10.1f MiB %10.1f MiB%s\n", part, a.maxRssKiB / 1024.0, b.maxRssKiB / 1024.0,
                    a.ok && b.ok ? "" : "  FAILED");
    };
    auto values = [&](const EngineFiles& f) {
        return RunInChild([&] { return ParseByValuesCommand(f.logFile, f.values); });
    };
    show("vireo-import values", values(quarter), values(full));
    for (const bool fast : {false, true}) {
        // The data sources are made here, so that the children only connect.
        auto import = [&](const EngineFiles& f) {
            TestDataSource source(Backend::Sqlite);
            return RunInChild([&] { return RunEngineImport(source, f.logFile, f.values, importList, fast, false); });
        };
        show(fast ? "RunImport --fast, insert run" : "RunImport, insert run", import(quarter), import(full));
    }
    std::printf("%-34s %10lld     %10lld\n", "(values in the file)", quarter.values, full.values);
}

int MainTable(const Options& options) {
    const std::vector<std::string> importList = ImportList();
    const ScratchFolder scratch;
    const std::string& folder = scratch.path;
    const std::vector<EngineFiles> engines = MakeEngineFiles(options, folder, importList);
    const EngineFiles& parseFile = engines.front();

    Table table;
    table.verbose = options.verbose;
    const Sample empty = RunInChild([] { return Report{}; });
    for (int round = 1; round <= options.rounds; ++round) {
        std::printf("round %d of %d...\n", round, options.rounds);
        table.Add("hand", "hand-written reader",
                  RunInChild([&] { return ParseByHand(parseFile.logFile, parseFile.values); }), true);
        table.Add("values", "vireo-import values > /dev/null",
                  RunInChild([&] { return ParseByValuesCommand(parseFile.logFile, parseFile.values); }), true);
        for (const EngineFiles& e : engines) MeasureEngine(e, importList, round, table);
    }

    std::printf(
        "\nMedians of %d rounds, each part in a child process of its own. values/s: parsing from\n"
        "processor time, database parts from elapsed time. spread: (highest - lowest) / median.\n"
        "Ratios are the median of each round's own ratio. vs bare: against the bare statements\n"
        "through the same driver (one statement at a time: autocommit; fast mode: one transaction);\n"
        "vs bulk: against the engine's own bulk path; speed-up: fast mode against one statement at\n"
        "a time. peak RSS: ru_maxrss of the part's process (an empty child: %.1f MiB).\n",
        options.rounds, empty.maxRssKiB / 1024.0);
    std::printf("\nparsing, %lld values (%.1f MB):\n", parseFile.values, parseFile.megabytes);
    PrintHeader();
    PrintLine(table, "hand");
    PrintLine(table, "values", "hand");
    for (const EngineFiles& e : engines) PrintEngine(table, e);
    PrintGoals(table, engines);
    if (engines.front().backend == Backend::Sqlite) MeasureMemory(engines.front(), folder, importList);

    vireo::testing::PostgresServer::Shutdown();
    return 0;
}

// ---------------------------------------------------------------------------
// Batch sizes

int BatchTable(const Options& options) {
    const std::vector<std::string> importList = ImportList();
    const ScratchFolder scratch;
    const std::string& folder = scratch.path;
    const std::vector<EngineFiles> engines = MakeEngineFiles(options, folder, importList);
    const std::vector<std::size_t>& sizes = options.batchSizes;

    std::printf(
        "\nDataWriter::WriteValue, a commit after B values or half a second, whichever comes\n"
        "first; medians of %d rounds; commits: of the last round. vs tx: against one bare transaction\n"
        "(the median of each round's own ratio).\n",
        options.rounds);
    for (const EngineFiles& e : engines) {
        Table table;
        table.verbose = options.verbose;
        for (int round = 1; round <= options.rounds; ++round) {
            std::printf("%s round %d of %d...\n", e.label, round, options.rounds);
            {
                TestDataSource bare(e.backend);
                table.Add("tx-ins", "bare INSERT, one transaction",
                          RunInChild([&] { return RunBare(bare, e.rowsFile, e.values, true, false); }));
                table.Add("tx-re", "bare INSERT fails + UPDATE, one transaction",
                          RunInChild([&] { return RunBare(bare, e.rowsFile, e.values, true, true); }));
            }
            for (std::size_t size : sizes) {
                TestDataSource source(e.backend);
                const std::string b = std::to_string(size);
                table.Add("ins" + b, "B = " + b + ", insert run",
                          RunInChild([&] { return RunWriterBatches(source, e.rowsFile, e.values, size, false); }));
                table.Add("re" + b, "B = " + b + ", re-import run",
                          RunInChild([&] { return RunWriterBatches(source, e.rowsFile, e.values, size, true); }));
            }
        }
        std::printf("\n%s, %lld values:\n", e.label, e.values);
        std::printf("%-46s %11s %7s %9s %8s\n", "batch", "values/s", "spread", "vs tx", "commits");
        auto line = [&](const std::string& key, const char* reference) {
            const Row* row = table.Find(key);
            char ratio[16] = "";
            if (reference != nullptr)
                std::snprintf(ratio, sizeof ratio, "%.2f", MedianRatio(row, table.Find(reference)));
            std::printf("%-46s %11.0f %6.0f%% %9s %8d%s\n", row->part.c_str(), MedianRate(row), Spread(row) * 100,
                        ratio, reference != nullptr ? row->samples.back().report.passes : 1,
                        AllOk(row) ? "" : "  FAILED");
        };
        line("tx-ins", nullptr);
        for (std::size_t size : sizes) line("ins" + std::to_string(size), "tx-ins");
        line("tx-re", nullptr);
        for (std::size_t size : sizes) line("re" + std::to_string(size), "tx-re");
    }
    vireo::testing::PostgresServer::Shutdown();
    return 0;
}

// ---------------------------------------------------------------------------
// One import alone, for a profiler

int Profile(const std::string& what, long long values, Backend backend) {
    const std::vector<std::string> importList = ImportList();
    const ScratchFolder scratch;
    const std::string& folder = scratch.path;
    const EngineFiles e = MakeFiles("profile", backend, folder, values, importList);
    int status = 0;
    {
        TestDataSource source(backend);
        for (const bool reimport : {false, true}) {
            Report r;
            const bool tx = what.ends_with("-tx");
            if (what == "plain" || what == "fast") {
                r = RunEngineImport(source, e.logFile, e.values, importList, what == "fast", reimport);
            } else if (what == "bare" || what == "bare-tx") {
                r = RunBare(source, e.rowsFile, e.values, tx, reimport);
            } else if (what == "update-first" || what == "update-first-tx") {
                r = RunBare(source, e.rowsFile, e.values, tx, reimport, true);
            } else {
                std::fprintf(stderr,
                             "import_bench --profile: plain, fast, bare, bare-tx, update-first or update-first-tx\n");
                status = 2;
                break;
            }
            std::printf("%s %s: %lld values, %.2f s, %.0f values/s, %lld surprises %s\n", what.c_str(),
                        reimport ? "re-import" : "insert", r.values, r.wall, r.values / r.wall, r.surprises, r.message);
        }
    }
    vireo::testing::PostgresServer::Shutdown();
    return status;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--batch") {
            options.batch = true;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--multi") {
            options.multi = true;
        } else if (arg == "--only" && hasValue) {
            for (std::string_view list = argv[++i]; !list.empty();) {
                const std::size_t comma = std::min(list.find(','), list.size());
                if (comma > 0) options.only.emplace_back(list.substr(0, comma));
                list.remove_prefix(std::min(comma + 1, list.size()));
            }
        } else if (arg == "--sizes" && hasValue) {
            options.batchSizes.clear();
            for (std::string_view list = argv[++i]; !list.empty();) {
                const std::size_t comma = std::min(list.find(','), list.size());
                std::size_t size = 0;
                std::from_chars(list.data(), list.data() + comma, size);
                if (size == 0) return false;
                options.batchSizes.push_back(size);
                list.remove_prefix(std::min(comma + 1, list.size()));
            }
        } else if (arg == "--sqlite" && hasValue) {
            options.sqliteValues = std::atoll(argv[++i]);
        } else if (arg == "--pg" && hasValue) {
            options.pgValues = std::atoll(argv[++i]);
        } else if (arg == "--rounds" && hasValue) {
            options.rounds = std::atoi(argv[++i]);
        } else if (arg == "--cpu" && hasValue) {
            const std::string cpu = argv[++i];
            options.cpu = cpu == "none" ? -1 : std::atoi(cpu.c_str());
        } else {
            return false;
        }
    }
    auto size = [](long long values) { return values == 0 || values >= 1000; };
    return size(options.sqliteValues) && size(options.pgValues) && options.sqliteValues + options.pgValues > 0 &&
           options.rounds >= 1;
}

}  // namespace

int main(int argc, char** argv) {
    const bool profile = (argc == 4 || argc == 5) && std::string(argv[1]) == "--profile";
    Options options;
    if (!profile && !ParseOptions(argc, argv, options)) {
        std::fprintf(
            stderr,
            "usage: import_bench [--batch [--sizes B,B,...]] [--sqlite VALUES] [--pg VALUES] [--rounds N]\n"
            "                    [--cpu N|none] [--multi] [--only KEYS] [--verbose]\n"
            "       import_bench --profile plain|fast|bare|bare-tx|update-first|update-first-tx VALUES [pg]\n");
        return 2;
    }
    try {
        PinToCpu(options.cpu);
        g_onlyParts = options.only;
        vireo::testing::PostgresServer::UseDurableStorage();
        if (profile) {
            const bool pg = argc == 5 && std::string(argv[4]) == "pg";
            return Profile(argv[2], std::atoll(argv[3]), pg ? Backend::PostgresAnsi : Backend::Sqlite);
        }
        return options.batch ? BatchTable(options) : MainTable(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "import_bench: %s\n", error.what());
        vireo::testing::PostgresServer::Shutdown();
        return 1;
    }
}
