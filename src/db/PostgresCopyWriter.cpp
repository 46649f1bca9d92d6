#include "db/PostgresCopyWriter.h"

#include <libpq-fe.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/BulkForm.h"
#include "db/DataSourceDriver.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "db/Query.h"
#include "db/TextEncoding.h"
#include "db/TimeTagKey.h"
#include "scan/TabText.h"

namespace vireo {
namespace {

/// The staging table of the values that may update rows, one per connection:
/// the columns of TF_DATA1 that an update sets, of its types, the value's
/// round and its place in the batch.
constexpr const char* kCreateStage =
    "CREATE TEMPORARY TABLE VIREO_STAGE ON COMMIT DELETE ROWS AS SELECT STATION_ID, SENSORNAME, TIME_TAG, SOURCE, "
    "ED_VALUE, 0 AS VIREO_ROUND, 0 AS VIREO_ROW FROM TF_DATA1 WITH NO DATA";
constexpr const char* kCopyInsert =
    "COPY TF_DATA1 (STATION_ID,SENSORNAME,TIME_TAG,SOURCE,ORIG_VALUE,ED_VALUE) FROM STDIN";
constexpr const char* kCopyStage =
    "COPY VIREO_STAGE (STATION_ID,SENSORNAME,TIME_TAG,SOURCE,ED_VALUE,VIREO_ROUND,VIREO_ROW) FROM STDIN";
/// The data writer's update of an existing row: every column but ORIG_VALUE,
/// the key columns set to themselves; one round of the staged values.
constexpr const char* kUpdateRound =
    "UPDATE TF_DATA1 AS d SET STATION_ID = s.STATION_ID, SENSORNAME = s.SENSORNAME, TIME_TAG = s.TIME_TAG, "
    "SOURCE = s.SOURCE, ED_VALUE = s.ED_VALUE FROM VIREO_STAGE AS s WHERE s.VIREO_ROUND = $1::integer AND "
    "d.STATION_ID = s.STATION_ID AND d.SENSORNAME = s.SENSORNAME AND d.TIME_TAG = s.TIME_TAG";
/// The values of the first round whose key has no row. OFFSET 0 keeps the
/// look-up a probe of the primary key a value, whatever the planner guesses
/// of the staging table (a join could read all of TF_DATA1).
constexpr const char* kMissingRows =
    "SELECT s.VIREO_ROW FROM VIREO_STAGE AS s WHERE s.VIREO_ROUND = 0 AND NOT EXISTS (SELECT 1 FROM TF_DATA1 AS d "
    "WHERE d.STATION_ID = s.STATION_ID AND d.SENSORNAME = s.SENSORNAME AND d.TIME_TAG = s.TIME_TAG OFFSET 0)";
/// Whether TF_DATA1 has a unique key of exactly its three key columns (no
/// expression, no condition), as its primary key is.
constexpr const char* kHasRowKey =
    "SELECT COUNT(*) FROM pg_index AS i WHERE i.indrelid = to_regclass('tf_data1') AND i.indisunique AND "
    "i.indpred IS NULL AND i.indexprs IS NULL AND i.indnkeyatts = 3 AND (SELECT COUNT(*) FROM pg_attribute AS a "
    "WHERE a.attrelid = i.indrelid AND a.attnum = ANY(i.indkey::int2[]) AND lower(a.attname) IN ('station_id', "
    "'sensorname', 'time_tag')) = 3";
/// A COPY refused for a row that is there already.
constexpr const char* kUniqueViolation = "23505";

struct ResultFree {
    void operator()(PGresult* result) const noexcept { PQclear(result); }
};
using PgResult = std::unique_ptr<PGresult, ResultFree>;

struct ConnectionFree {
    void operator()(PGconn* connection) const noexcept { PQfinish(connection); }
};
using PgConnection = std::unique_ptr<PGconn, ConnectionFree>;

/// libpq's message without its closing line break.
std::string Trimmed(const char* message) {
    std::string text = message != nullptr ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

/// The error a result tells of, with the server's SQLSTATE.
DbError ResultError(const PGresult* result, PGconn* connection) {
    std::string text = result != nullptr ? Trimmed(PQresultErrorMessage(result)) : "";
    if (text.empty()) text = Trimmed(PQerrorMessage(connection));
    const char* state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    return DbError(text, state != nullptr ? state : "HY000", 0);
}

/// The shortest text that reads back as the same double.
void AppendNumber(std::string& out, double value) {
    char number[32];
    const auto end = std::to_chars(number, number + sizeof number, value).ptr;
    out.append(number, end);
}

/// The first entry of a list of socket directories ("/run/postgresql, /tmp").
std::string FirstSocketDirectory(std::string_view list) {
    std::string_view first = list.substr(0, list.find(','));
    while (!first.empty() && first.front() == ' ') first.remove_prefix(1);
    while (!first.empty() && first.back() == ' ') first.remove_suffix(1);
    return std::string(first);
}

std::string ParamOf(const std::vector<std::string>& params, std::string_view key) {
    for (const std::string& param : params) {
        if (param.size() > key.size() && param.compare(0, key.size(), key) == 0 && param[key.size()] == '=') {
            return param.substr(key.size() + 1);
        }
    }
    return {};
}

/// Where and as whom the ODBC connection reached its server.
struct ServerLogin {
    std::string host;
    std::string port;
    std::string database;
    std::string user;
    std::string password;
    std::string clientEncoding;
};

/// Asks the open connection itself where it is connected.
ServerLogin LoginOf(Database& database) {
    ServerLogin login;
    SQLCHAR name[512] = {};
    SQLSMALLINT length = 0;
    CheckOdbc(SQLGetInfo(database.Handle(), SQL_SERVER_NAME, name, sizeof name, &length), SQL_HANDLE_DBC,
              database.Handle(), "SQLGetInfo", database.Text());
    const std::string serverName(reinterpret_cast<const char*>(name));

    Query probe(database);
    probe.SetSql(
        "SELECT current_database(), session_user, CASE WHEN inet_server_addr() IS NULL THEN 'socket' ELSE "
        "host(inet_server_addr()) END, COALESCE(inet_server_port()::text, current_setting('port')), "
        "current_setting('client_encoding'), "
        // A role that may not read every setting is refused this one, which
        // pg_settings then leaves out.
        "COALESCE((SELECT setting FROM pg_settings WHERE name = 'unix_socket_directories'), '')");
    probe.Open();
    if (probe.Eof() || probe.Fields().size() < 6) throw DbError("The server did not say where it is", "HY000", 0);
    // Texts come converted to the program's single bytes on a UTF-8 connection.
    auto text = [&](std::size_t field) {
        const std::string& value = probe.Fields()[field].AsString();
        return database.Text() == DriverText::Utf8 ? Windows1252ToUtf8(value) : value;
    };
    login.database = text(0);
    const std::string sessionUser = text(1);
    const std::string address = text(2);
    login.port = text(3);
    login.clientEncoding = text(4);
    const std::string socketDirectories = text(5);
    probe.Close();

    if (address == "socket") {
        // The data source's own folder, else the server's first (which only a
        // role allowed to read every setting is told), else libpq's default.
        login.host = serverName.starts_with('/') ? serverName : FirstSocketDirectory(socketDirectories);
        if (login.host.empty()) login.host = DataSourceValue(database.DatabaseName(), "Servername");
        if (!login.host.starts_with('/')) login.host.clear();
    } else {
        login.host = serverName.empty() || serverName.starts_with('/') ? address : serverName;
    }
    // The login as the connection gave it: the server knows it in UTF-8.
    login.user = Windows1252ToUtf8(ParamOf(database.Params(), "USER NAME"));
    if (login.user.empty()) login.user = sessionUser;
    login.password = Windows1252ToUtf8(ParamOf(database.Params(), "PASSWORD"));
    // A login without a password: the driver took the data source's own.
    if (login.password.empty()) login.password = DataSourcePassword(database.DatabaseName());
    return login;
}

/// A value of the batch with its stored form.
struct Planned {
    std::size_t group = 0;
    std::int64_t key = 0;
    std::string timeText;
};

/// One station sensor of a batch: its names as written (and in COPY's text
/// form), and per time tag how many values of the batch have written its row.
struct Group : StationSensor {
    std::string copyPrefix;  // "STATION\tSENSOR\t"
    std::unordered_map<std::int64_t, std::uint32_t> writes;
};

class PostgresCopyWriter : public DirectWriter {
public:
    PostgresCopyWriter(PgConnection connection, DriverText text) : connection_(std::move(connection)), text_(text) {}

    void WriteBatch(std::span<const BulkValue> values, std::string_view source,
                    std::vector<WriteResult>& results) override {
        try {
            Write(values, source, results);
        } catch (const DbError&) {
            Rollback();
            throw;
        }
    }

    bool Usable() const noexcept override { return PQstatus(connection_.get()) == CONNECTION_OK; }

private:
    /// The n-th value of a key in the batch is of round n: a round writes a
    /// key once, so that a key met n times is written n times, in order. The
    /// first round inserts the rows of its keys that have none and updates
    /// the others; every later round updates. Whether a row is there the
    /// server says: after a batch that found none the next batch is copied
    /// into the table straight away (a key that has a row refuses it, and the
    /// batch is written again updating first); otherwise the first round
    /// updates the rows there are, and the rest is copied.
    void Write(std::span<const BulkValue> values, std::string_view source, std::vector<WriteResult>& results) {
        Plan(values);
        mark_.clear();
        AppendTabEscaped(mark_, SourceAsWritten(source, text_));
        outcomes_.assign(values.size(), WriteOutcome::Failed);
        Exec("BEGIN");
        if (insertFirst_) {
            try {
                CopyInserts(values, rounds_[0]);
            } catch (const DbError& error) {
                if (error.sqlState() != kUniqueViolation) throw;
                Rollback();
                insertFirst_ = false;
                // Batches of updates need no text of inserts: its memory goes.
                std::string().swap(inserts_);
                outcomes_.assign(values.size(), WriteOutcome::Failed);
                Exec("BEGIN");
            }
        }
        const std::size_t firstUpdate = insertFirst_ ? 1 : 0;
        staged_.clear();
        for (std::size_t round = firstUpdate; round < roundCount_; ++round) {
            for (const std::size_t i : rounds_[round]) AppendStaged(staged_, i, values[i].value, round);
        }
        if (!staged_.empty()) Copy(kCopyStage, staged_);
        for (std::size_t round = firstUpdate; round < roundCount_; ++round) {
            const std::size_t updated = UpdateRound(round);
            const std::vector<std::size_t>& members = rounds_[round];
            if (updated != members.size()) {
                // Only the first round can find keys without a row: the
                // server names them, and every other value must have been updated.
                if (round > 0) throw NotConfirmed();
                ReadMissing();
                if (updated + missing_.size() != members.size()) throw NotConfirmed();
                CopyInserts(values, missing_);
            }
            for (const std::size_t i : members) {
                if (outcomes_[i] == WriteOutcome::Failed) outcomes_[i] = WriteOutcome::Updated;
            }
            if (round == 0) insertFirst_ = updated == 0;
        }
        Exec("COMMIT");
        results.assign(values.size(), WriteResult{});
        for (std::size_t i = 0; i < values.size(); ++i) results[i] = WriteResult{outcomes_[i], std::nullopt};
    }

    static DbError NotConfirmed() { return DbError("The server did not confirm every row of a set", "HY000", 0); }

    /// COPY of the values `which` into TF_DATA1: each inserts its row.
    void CopyInserts(std::span<const BulkValue> values, const std::vector<std::size_t>& which) {
        inserts_.clear();
        for (const std::size_t i : which) AppendInsert(inserts_, i, values[i].value);
        if (Copy(kCopyInsert, inserts_) != static_cast<std::int64_t>(which.size())) throw NotConfirmed();
        for (const std::size_t i : which) outcomes_[i] = WriteOutcome::Inserted;
    }

    /// Updates the rows of one round's staged values; how many it updated.
    std::size_t UpdateRound(std::size_t round) {
        const std::string number = std::to_string(round);
        const char* params[] = {number.c_str()};
        PgResult result(PQexecParams(connection_.get(), kUpdateRound, 1, nullptr, params, nullptr, nullptr, 0));
        Expect(result.get(), PGRES_COMMAND_OK);
        return static_cast<std::size_t>(std::atoll(PQcmdTuples(result.get())));
    }

    /// The values of the first round whose key has no row, in their order.
    void ReadMissing() {
        PgResult result(PQexec(connection_.get(), kMissingRows));
        Expect(result.get(), PGRES_TUPLES_OK);
        missing_.clear();
        const int rows = PQntuples(result.get());
        for (int row = 0; row < rows; ++row) {
            const char* text = PQgetvalue(result.get(), row, 0);
            std::size_t i = outcomes_.size();
            std::from_chars(text, text + PQgetlength(result.get(), row, 0), i);
            // A value the server names twice, or not of the first round, is not accounted for.
            if (i >= outcomes_.size() || round_[i] != 0 || outcomes_[i] != WriteOutcome::Failed) throw NotConfirmed();
            outcomes_[i] = WriteOutcome::Inserted;  // marked here so that a second naming is caught
            missing_.push_back(i);
        }
        std::sort(missing_.begin(), missing_.end());
    }

    /// The stored form of each value and the station sensors of the batch.
    void Plan(std::span<const BulkValue> values) {
        groups_.clear();
        planned_.resize(values.size());
        std::size_t last = 0;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const BulkValue& value = values[i];
            bool added = false;
            std::tie(last, added) = GroupOf(groups_, last, value, text_);
            if (added) {
                Group& group = groups_[last];
                AppendTabEscaped(group.copyPrefix, group.station);
                group.copyPrefix.push_back('\t');
                AppendTabEscaped(group.copyPrefix, group.sensor);
                group.copyPrefix.push_back('\t');
            }
            Planned& planned = planned_[i];
            const CalendarStamp second = SplitDateTime(value.timeTag);
            planned.group = last;
            planned.key = TimeTagKey(second);
            planned.timeText = IsoDateTimeText(second);
        }
        for (std::vector<std::size_t>& round : rounds_) round.clear();
        if (rounds_.empty()) rounds_.resize(1);
        round_.resize(values.size());
        roundCount_ = 1;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const Planned& planned = planned_[i];
            const std::uint32_t round = groups_[planned.group].writes[planned.key]++;
            if (round >= rounds_.size()) rounds_.resize(round + 1);
            roundCount_ = std::max<std::size_t>(roundCount_, round + 1);
            rounds_[round].push_back(i);
            round_[i] = round;
        }
    }

    /// The columns a line of COPY text begins with, in both tables: station,
    /// sensor, time tag, source and the value.
    void AppendKeyAndValue(std::string& out, std::size_t i, double value) const {
        const Planned& planned = planned_[i];
        out += groups_[planned.group].copyPrefix;
        out += planned.timeText;
        out.push_back('\t');
        out += mark_;
        out.push_back('\t');
        AppendNumber(out, value);
        out.push_back('\t');
    }

    /// One line of COPY text for TF_DATA1: the original and the edited value alike.
    void AppendInsert(std::string& out, std::size_t i, double value) const {
        AppendKeyAndValue(out, i, value);
        AppendNumber(out, value);
        out.push_back('\n');
    }

    /// One line of COPY text for the staging table: no original value, the
    /// round and the value's place in the batch.
    void AppendStaged(std::string& out, std::size_t i, double value, std::size_t round) const {
        AppendKeyAndValue(out, i, value);
        char number[24];
        out.append(number, std::to_chars(number, number + sizeof number, round).ptr);
        out.push_back('\t');
        out.append(number, std::to_chars(number, number + sizeof number, i).ptr);
        out.push_back('\n');
    }

    void Exec(const char* sql) {
        PgResult result(PQexec(connection_.get(), sql));
        Expect(result.get(), PGRES_COMMAND_OK);
    }

    void Expect(const PGresult* result, ExecStatusType status) {
        if (PQresultStatus(result) != status) throw ResultError(result, connection_.get());
    }

    /// COPY of `text` in pieces; the rows the server took.
    std::int64_t Copy(const char* sql, const std::string& text) {
        {
            PgResult start(PQexec(connection_.get(), sql));
            Expect(start.get(), PGRES_COPY_IN);
        }
        constexpr std::size_t kPiece = 256 * 1024;
        bool sent = true;
        for (std::size_t at = 0; sent && at < text.size(); at += kPiece) {
            const std::size_t size = std::min(kPiece, text.size() - at);
            sent = PQputCopyData(connection_.get(), text.data() + at, static_cast<int>(size)) == 1;
        }
        if (!sent || PQputCopyEnd(connection_.get(), nullptr) != 1) {
            throw DbError(Trimmed(PQerrorMessage(connection_.get())), "08S01", 0);
        }
        PgResult result(PQgetResult(connection_.get()));
        // Whatever follows the COPY's result is read, so that the connection is ready again.
        while (PGresult* more = PQgetResult(connection_.get())) PQclear(more);
        Expect(result.get(), PGRES_COMMAND_OK);
        return std::atoll(PQcmdTuples(result.get()));
    }

    void Rollback() noexcept {
        if (PQstatus(connection_.get()) != CONNECTION_OK) return;
        if (PQtransactionStatus(connection_.get()) == PQTRANS_IDLE) return;
        PQclear(PQexec(connection_.get(), "ROLLBACK"));
    }

    PgConnection connection_;
    DriverText text_;
    bool insertFirst_ = true;  // the last batch found no row: the next one is copied in first
    std::vector<Group> groups_;
    std::vector<Planned> planned_;
    std::vector<std::uint32_t> round_;              // each value's round
    std::vector<std::vector<std::size_t>> rounds_;  // the values of each round, in their order
    std::size_t roundCount_ = 0;
    std::vector<WriteOutcome> outcomes_;  // Failed: not written yet
    std::vector<std::size_t> missing_;
    std::string mark_;
    std::string inserts_;
    std::string staged_;
};

}  // namespace

std::unique_ptr<DirectWriter> OpenPostgresCopyWriter(Database& database, std::string& why) {
    ServerLogin login;
    try {
        login = LoginOf(database);
    } catch (const DbError& error) {
        why = error.what();
        return nullptr;
    }
    const char* keys[] = {"host",
                          "port",
                          "dbname",
                          "user",
                          "password",
                          "client_encoding",
                          "connect_timeout",
                          "options",
                          "application_name",
                          nullptr};
    const char* values[] = {login.host.c_str(),
                            login.port.c_str(),
                            login.database.c_str(),
                            login.user.c_str(),
                            login.password.c_str(),
                            login.clientEncoding.c_str(),
                            "10",
                            "-c DateStyle=ISO,MDY",
                            "vireo-import",
                            nullptr};
    PgConnection connection(PQconnectdbParams(keys, values, 0));
    if (!connection) {
        why = "out of memory";
        return nullptr;
    }
    if (PQstatus(connection.get()) != CONNECTION_OK) {
        why = Trimmed(PQerrorMessage(connection.get()));
        return nullptr;
    }
    // The batches copy rows in and let the key refuse one that is there: a
    // table without that key would take a second row for it.
    PgResult key(PQexec(connection.get(), kHasRowKey));
    if (PQresultStatus(key.get()) != PGRES_TUPLES_OK) {
        why = ResultError(key.get(), connection.get()).what();
        return nullptr;
    }
    if (PQntuples(key.get()) != 1 || std::string_view(PQgetvalue(key.get(), 0, 0)) == "0") {
        why = "TF_DATA1 has no unique key of STATION_ID, SENSORNAME and TIME_TAG";
        return nullptr;
    }
    PgResult stage(PQexec(connection.get(), kCreateStage));
    if (PQresultStatus(stage.get()) != PGRES_COMMAND_OK) {
        why = ResultError(stage.get(), connection.get()).what();
        return nullptr;
    }
    return std::make_unique<PostgresCopyWriter>(std::move(connection), database.Text());
}

}  // namespace vireo
