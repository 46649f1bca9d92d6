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

/// The staging table of the values that update existing rows, one per
/// connection: the columns of TF_DATA1 that an update sets, of its types.
constexpr const char* kCreateStage =
    "CREATE TEMPORARY TABLE VIREO_STAGE ON COMMIT DELETE ROWS AS SELECT STATION_ID, SENSORNAME, TIME_TAG, SOURCE, "
    "ED_VALUE, 0 AS VIREO_ROUND FROM TF_DATA1 WITH NO DATA";
constexpr const char* kCopyInsert =
    "COPY TF_DATA1 (STATION_ID,SENSORNAME,TIME_TAG,SOURCE,ORIG_VALUE,ED_VALUE) FROM STDIN";
constexpr const char* kCopyStage =
    "COPY VIREO_STAGE (STATION_ID,SENSORNAME,TIME_TAG,SOURCE,ED_VALUE,VIREO_ROUND) FROM STDIN";
/// The data writer's update of an existing row: every column but ORIG_VALUE,
/// the key columns set to themselves; one round of the staged values.
constexpr const char* kUpdateRound =
    "UPDATE TF_DATA1 AS d SET STATION_ID = s.STATION_ID, SENSORNAME = s.SENSORNAME, TIME_TAG = s.TIME_TAG, "
    "SOURCE = s.SOURCE, ED_VALUE = s.ED_VALUE FROM VIREO_STAGE AS s WHERE s.VIREO_ROUND = $1::integer AND "
    "d.STATION_ID = s.STATION_ID AND d.SENSORNAME = s.SENSORNAME AND d.TIME_TAG = s.TIME_TAG";
/// The time tags that have a row, in one range of a station sensor.
constexpr const char* kExistingTags =
    "SELECT TIME_TAG::text FROM TF_DATA1 WHERE STATION_ID = $1 AND SENSORNAME = $2 AND TIME_TAG BETWEEN "
    "$3::timestamp AND $4::timestamp";

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
/// form), the range of its time tags, and per time tag how many values of the
/// batch have updated its row so far.
struct Group : StationSensor {
    std::string copyPrefix;  // "STATION\tSENSOR\t"
    std::int64_t firstKey = 0;
    std::int64_t lastKey = 0;
    std::string firstText;
    std::string lastText;
    std::unordered_map<std::int64_t, std::uint32_t> updates;
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
    void Write(std::span<const BulkValue> values, std::string_view source, std::vector<WriteResult>& results) {
        Plan(values);
        Exec("BEGIN");
        for (Group& group : groups_) ReadExisting(group);

        // A value whose key has no row inserts it (the first of its key in
        // the batch); every other value updates the row, in rounds so that a
        // key met n times is updated n times in order.
        std::string mark;
        AppendTabEscaped(mark, SourceAsWritten(source, text_));
        inserts_.clear();
        staged_.clear();
        roundSizes_.clear();
        std::size_t inserted = 0;
        std::vector<WriteOutcome> outcomes(values.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
            const Planned& planned = planned_[i];
            Group& group = groups_[planned.group];
            const auto [entry, added] = group.updates.try_emplace(planned.key, 0);
            if (added) {
                outcomes[i] = WriteOutcome::Inserted;
                ++inserted;
                AppendRow(inserts_, group, planned, mark, values[i].value, nullptr);
                continue;
            }
            outcomes[i] = WriteOutcome::Updated;
            const std::uint32_t round = entry->second++;
            if (round >= roundSizes_.size()) roundSizes_.resize(round + 1, 0);
            ++roundSizes_[round];
            AppendRow(staged_, group, planned, mark, values[i].value, &round);
        }

        if (inserted > 0) {
            const std::int64_t copied = Copy(kCopyInsert, inserts_);
            if (copied != static_cast<std::int64_t>(inserted)) {
                throw DbError("COPY wrote " + std::to_string(copied) + " of " + std::to_string(inserted) + " rows",
                              "HY000", 0);
            }
        }
        if (!roundSizes_.empty()) {
            Copy(kCopyStage, staged_);
            for (std::size_t round = 0; round < roundSizes_.size(); ++round) {
                const std::string number = std::to_string(round);
                const char* params[] = {number.c_str()};
                PgResult result(PQexecParams(connection_.get(), kUpdateRound, 1, nullptr, params, nullptr, nullptr, 0));
                Expect(result.get(), PGRES_COMMAND_OK);
                const std::int64_t updated = std::atoll(PQcmdTuples(result.get()));
                if (updated != static_cast<std::int64_t>(roundSizes_[round])) {
                    throw DbError("An update found " + std::to_string(updated) + " of " +
                                      std::to_string(roundSizes_[round]) + " rows",
                                  "HY000", 0);
                }
            }
        }
        Exec("COMMIT");
        results.assign(values.size(), WriteResult{});
        for (std::size_t i = 0; i < values.size(); ++i) results[i] = WriteResult{outcomes[i], std::nullopt};
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
            Group& group = groups_[last];
            if (group.firstText.empty() || planned.key < group.firstKey) {
                group.firstKey = planned.key;
                group.firstText = planned.timeText;
            }
            if (group.lastText.empty() || planned.key > group.lastKey) {
                group.lastKey = planned.key;
                group.lastText = planned.timeText;
            }
        }
    }

    /// The time tags of the group's range that have a row.
    void ReadExisting(Group& group) {
        const char* params[] = {group.station.c_str(), group.sensor.c_str(), group.firstText.c_str(),
                                group.lastText.c_str()};
        PgResult result(PQexecParams(connection_.get(), kExistingTags, 4, nullptr, params, nullptr, nullptr, 0));
        Expect(result.get(), PGRES_TUPLES_OK);
        const int rows = PQntuples(result.get());
        group.updates.reserve(static_cast<std::size_t>(rows));
        for (int row = 0; row < rows; ++row) {
            const std::string_view text(PQgetvalue(result.get(), row, 0),
                                        static_cast<std::size_t>(PQgetlength(result.get(), row, 0)));
            // A time tag with a fraction of a second is no key the import writes.
            if (const std::optional<CalendarStamp> second = ParseTimestampText(text)) {
                group.updates.try_emplace(TimeTagKey(*second), 0);
            }
        }
    }

    /// One line of COPY text: the insert's six columns, or with a round the
    /// staging table's (no original value).
    static void AppendRow(std::string& out, const Group& group, const Planned& planned, const std::string& mark,
                          double value, const std::uint32_t* round) {
        out += group.copyPrefix;
        out += planned.timeText;
        out.push_back('\t');
        out += mark;
        out.push_back('\t');
        AppendNumber(out, value);
        if (round == nullptr) {
            out.push_back('\t');
            AppendNumber(out, value);
        } else {
            out.push_back('\t');
            out += std::to_string(*round);
        }
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
    std::vector<Group> groups_;
    std::vector<Planned> planned_;
    std::string inserts_;
    std::string staged_;
    std::vector<std::size_t> roundSizes_;
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
    PgResult stage(PQexec(connection.get(), kCreateStage));
    if (PQresultStatus(stage.get()) != PGRES_COMMAND_OK) {
        why = ResultError(stage.get(), connection.get()).what();
        return nullptr;
    }
    return std::make_unique<PostgresCopyWriter>(std::move(connection), database.Text());
}

}  // namespace vireo
