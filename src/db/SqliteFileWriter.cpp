#include "db/SqliteFileWriter.h"

#include <dlfcn.h>
#include <link.h>
#include <odbcinst.h>
#include <sqlite3.h>

#include <cstdlib>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "db/BulkForm.h"
#include "db/Database.h"
#include "db/Query.h"
#include "db/RowPlan.h"
#include "db/TimeTagKey.h"

namespace vireo {
namespace {

/// The first loaded library other than this program's own SQLite library that
/// gives a different sqlite3_libversion; empty when every one gives ours. Two
/// SQLite libraries in one process keep two books of the file's locks, and the
/// one closing a file would drop the locks the other holds.
std::string OtherSqliteLibrary() {
    struct Search {
        void* ours;
        std::string other;
    } search{reinterpret_cast<void*>(&sqlite3_libversion), {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto& search = *static_cast<Search*>(data);
            if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0') return 0;
            void* handle = dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD);
            if (handle == nullptr) return 0;
            void* theirs = dlsym(handle, "sqlite3_libversion");
            dlclose(handle);
            if (theirs != nullptr && theirs != search.ours) {
                search.other = info->dlpi_name;
                return 1;
            }
            return 0;
        },
        &search);
    return search.other;
}

/// The text of the first column of the first row of a statement through the driver.
std::string AskDriver(Database& database, const char* sql) {
    Query query(database);
    query.SetSql(sql);
    query.Open();
    std::string text = query.Eof() || query.Fields().empty() ? std::string() : query.Fields()[0].AsString();
    query.Close();
    return text;
}

/// The data source's busy timeout in milliseconds: its "Timeout" key, as the
/// driver reads it (100000 when not set).
int DataSourceTimeout(const std::string& alias) {
    char text[32] = {};
    SQLGetPrivateProfileString(alias.c_str(), "Timeout", "100000", text, sizeof text, "odbc.ini");
    char* end = nullptr;
    const long timeout = std::strtol(text, &end, 10);
    return end != text && timeout >= 0 && timeout <= 1000000000 ? static_cast<int>(timeout) : 100000;
}

struct CloseConnection {
    void operator()(sqlite3* connection) const noexcept { sqlite3_close(connection); }
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using ConnectionHandle = std::unique_ptr<sqlite3, CloseConnection>;
using StatementHandle = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

/// One station sensor of a batch: its names as written, and those of its
/// seconds with a row stored without ".000".
struct Group : StationSensor {
    std::unordered_set<std::int64_t> spelledShort;
};

/// The SQLite library on the data source's file, beside the driver's
/// connection to it. Each batch takes the write lock first (BEGIN
/// IMMEDIATE), reads which of its keys have a row, one range of time tags per
/// station sensor, then writes each value with one prepared upsert, bound as
/// the driver binds: the time tag as the text "YYYY-MM-DD HH:MM:SS.000", the
/// value as a REAL, the names as the driver's bytes.
class SqliteFileWriter : public DirectWriter {
public:
    SqliteFileWriter(ConnectionHandle connection, DriverText text) : connection_(std::move(connection)), text_(text) {
        lookup_ = PrepareStatement(
            "SELECT TIME_TAG FROM TF_DATA1 WHERE STATION_ID = ?1 AND SENSORNAME = ?2 AND TIME_TAG BETWEEN ?3 AND ?4");
        // The data writer's update sets the key columns too, to the values
        // they hold. Where nothing can see that (no trigger, no foreign key to
        // the table, keys compared byte for byte) it is left out: SQLite would
        // rewrite the row's index entry for it.
        upsert_ = PrepareStatement(std::string("INSERT INTO TF_DATA1(") + kBulkColumns + ") VALUES(?1,?2,?3,?4,?5,?5)" +
                                   (KeysRewriteNothing() ? kOnConflictValuesOnly : kBulkOnConflict));
    }

    void WriteBatch(std::span<const BulkValue> values, std::string_view source,
                    std::vector<WriteResult>& results) override {
        results.assign(values.size(), WriteResult{});
        if (values.empty()) return;
        // The write lock first: a transaction that read first and wrote later
        // would deadlock with another writer of the file. A file another
        // writer held for the whole timeout is not waited for again in this
        // run: the batches go through the driver, which waits its own way.
        if (const int rc = sqlite3_exec(connection_.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            rc != SQLITE_OK) {
            if (rc == SQLITE_BUSY) usable_ = false;
            Fail(rc);
        }
        try {
            Plan(values);
            const std::string mark = SourceAsWritten(source, text_);
            sqlite3_stmt* upsert = upsert_.get();
            Check(sqlite3_bind_text(upsert, 4, mark.data(), static_cast<int>(mark.size()), SQLITE_STATIC));
            for (std::size_t i = 0; i < values.size(); ++i) {
                const Group& group = groups_[plan_.GroupOf(i)];
                const StoredSecond& stamp = stamps_[i];
                Check(sqlite3_bind_text(upsert, 1, group.station.data(), static_cast<int>(group.station.size()),
                                        SQLITE_STATIC));
                Check(sqlite3_bind_text(upsert, 2, group.sensor.data(), static_cast<int>(group.sensor.size()),
                                        SQLITE_STATIC));
                // A second stored without ".000" is updated in that spelling.
                const int size =
                    group.spelledShort.contains(stamp.key) ? static_cast<int>(kShortStoredText) : stamp.size;
                Check(sqlite3_bind_text(upsert, 3, stamp.text, size, SQLITE_STATIC));
                Check(sqlite3_bind_double(upsert, 5, values[i].value));
                const int rc = sqlite3_step(upsert);
                sqlite3_reset(upsert);
                if (rc != SQLITE_DONE) Fail(rc);
                results[i] = WriteResult{plan_.Outcome(i), std::nullopt};
            }
            sqlite3_clear_bindings(upsert);
            Execute("COMMIT");
        } catch (const DbError&) {
            sqlite3_reset(lookup_.get());
            sqlite3_reset(upsert_.get());
            sqlite3_clear_bindings(upsert_.get());
            if (!sqlite3_get_autocommit(connection_.get()))
                sqlite3_exec(connection_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
            results.assign(values.size(), WriteResult{});
            throw;
        }
    }

    bool Usable() const noexcept override { return usable_; }

private:
    static constexpr const char* kOnConflictValuesOnly =
        " ON CONFLICT (STATION_ID,SENSORNAME,TIME_TAG) DO UPDATE SET SOURCE=excluded.SOURCE,ED_VALUE=excluded.ED_VALUE";

    /// Whether setting the key columns of a row to the values they hold is
    /// seen by nothing: TF_DATA1 has no trigger and no foreign key points to
    /// it, and its key is a unique index on the three columns in the binary
    /// collation (so that equal keys are equal bytes).
    bool KeysRewriteNothing() {
        const auto count = [this](const char* sql) {
            StatementHandle statement = PrepareStatement(sql);
            return sqlite3_step(statement.get()) == SQLITE_ROW ? sqlite3_column_int(statement.get(), 0) : -1;
        };
        if (count("SELECT COUNT(*) FROM sqlite_master WHERE type = 'trigger' AND lower(tbl_name) = 'tf_data1'") != 0)
            return false;
        if (count("SELECT COUNT(*) FROM sqlite_master AS m, pragma_foreign_key_list(m.name) AS f WHERE m.type = "
                  "'table' AND lower(f.\"table\") = 'tf_data1'") != 0)
            return false;
        return count(
                   "SELECT COUNT(*) FROM pragma_index_list('TF_DATA1') AS i WHERE i.\"unique\" AND (SELECT "
                   "COUNT(*) FROM pragma_index_xinfo(i.name) AS c WHERE c.key) = 3 AND (SELECT COUNT(*) FROM "
                   "pragma_index_xinfo(i.name) AS c WHERE c.key AND c.coll = 'BINARY' AND upper(c.name) IN "
                   "('STATION_ID', 'SENSORNAME', 'TIME_TAG')) = 3") > 0;
    }

    StatementHandle PrepareStatement(const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        const int rc = sqlite3_prepare_v3(connection_.get(), sql.c_str(), static_cast<int>(sql.size()) + 1,
                                          SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        StatementHandle handle(statement);
        if (rc != SQLITE_OK) Fail(rc);
        return handle;
    }

    void Execute(const char* sql) {
        const int rc = sqlite3_exec(connection_.get(), sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) Fail(rc);
    }

    void Check(int rc) const {
        if (rc != SQLITE_OK) Fail(rc);
    }

    [[noreturn]] void Fail(int rc) const { throw DbError(std::string(sqlite3_errmsg(connection_.get())), "HY000", rc); }

    /// The outcome of each value: the station sensors of the batch, which of
    /// their keys have a row, and a key met before in the batch has one by the
    /// time its value is written.
    void Plan(std::span<const BulkValue> values) {
        groups_.clear();
        plan_.Start();
        stamps_.resize(values.size());
        std::size_t last = 0;
        for (std::size_t i = 0; i < values.size(); ++i) {
            last = GroupOf(groups_, last, values[i], text_).first;
            stamps_[i] = StoredSecondOf(values[i].timeTag);
            plan_.Add(last, stamps_[i].key);
        }
        sqlite3_stmt* lookup = lookup_.get();
        for (std::size_t g = 0; g < groups_.size(); ++g) {
            Group& group = groups_[g];
            const StoredSecond& first = stamps_[plan_.FirstAt(g)];
            const StoredSecond& lastStamp = stamps_[plan_.LastAt(g)];
            Check(sqlite3_bind_text(lookup, 1, group.station.data(), static_cast<int>(group.station.size()),
                                    SQLITE_STATIC));
            Check(sqlite3_bind_text(lookup, 2, group.sensor.data(), static_cast<int>(group.sensor.size()),
                                    SQLITE_STATIC));
            // From the first second's spelling without ".000", which sorts before the driver's.
            Check(sqlite3_bind_text(lookup, 3, first.text, static_cast<int>(kShortStoredText), SQLITE_STATIC));
            Check(sqlite3_bind_text(lookup, 4, lastStamp.text, lastStamp.size, SQLITE_STATIC));
            int rc = 0;
            while ((rc = sqlite3_step(lookup)) == SQLITE_ROW) {
                if (sqlite3_column_type(lookup, 0) != SQLITE_TEXT) continue;
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(lookup, 0));
                const std::string_view stored(text, static_cast<std::size_t>(sqlite3_column_bytes(lookup, 0)));
                const std::int64_t second = KeyOfStoredText(stored);
                if (second < 0) continue;
                plan_.AddStored(g, second);
                if (stored.size() == kShortStoredText) group.spelledShort.insert(second);
            }
            sqlite3_reset(lookup);
            if (rc != SQLITE_DONE) Fail(rc);
        }
        sqlite3_clear_bindings(lookup);
        plan_.Decide();
    }

    ConnectionHandle connection_;
    DriverText text_;
    bool usable_ = true;
    StatementHandle lookup_;
    StatementHandle upsert_;
    std::vector<Group> groups_;
    std::vector<StoredSecond> stamps_;
    RowPlan plan_;
};

}  // namespace

std::unique_ptr<DirectWriter> OpenSqliteFileWriter(Database& database, std::string& why) {
    if (!database.Connected() || database.Engine() != DbEngine::SQLite) {
        why = "not an SQLite data source";
        return nullptr;
    }
    const std::string other = OtherSqliteLibrary();
    if (!other.empty()) {
        why = "another SQLite library is loaded: " + other;
        return nullptr;
    }
    std::string file;
    std::string synchronous;
    std::string journal;
    std::string foreignKeys;
    try {
        // The file the driver has open as "main"; none for a database in memory.
        Query list(database);
        list.SetSql("PRAGMA database_list");
        list.Open();
        for (; !list.Eof(); list.Next()) {
            if (list.Fields().size() >= 3 && list.Fields()[1].AsString() == "main") file = list.Fields()[2].AsString();
        }
        list.Close();
        synchronous = AskDriver(database, "PRAGMA synchronous");
        journal = AskDriver(database, "PRAGMA journal_mode");
        foreignKeys = AskDriver(database, "PRAGMA foreign_keys");
    } catch (const DbError& error) {
        why = error.what();
        return nullptr;
    }
    if (file.empty()) {
        why = "the database has no file";
        return nullptr;
    }
    sqlite3* opened = nullptr;
    // The file exists: the driver has it open. Never created here.
    const int rc = sqlite3_open_v2(file.c_str(), &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    ConnectionHandle connection(opened);
    if (rc != SQLITE_OK) {
        why = opened != nullptr ? sqlite3_errmsg(opened) : "out of memory";
        return nullptr;
    }
    sqlite3_extended_result_codes(connection.get(), 1);
    // The connection's settings are the driver's, so that a batch is as
    // durable and waits as long for another writer as the driver's would.
    sqlite3_busy_timeout(connection.get(), DataSourceTimeout(database.DatabaseName()));
    std::string pragmas;
    if (!synchronous.empty()) pragmas += "PRAGMA synchronous=" + std::to_string(std::atoi(synchronous.c_str())) + ";";
    if (!foreignKeys.empty()) pragmas += "PRAGMA foreign_keys=" + std::to_string(std::atoi(foreignKeys.c_str())) + ";";
    if (journal == "delete" || journal == "truncate" || journal == "persist" || journal == "memory" ||
        journal == "off") {
        pragmas += "PRAGMA journal_mode=" + journal + ";";
    }
    char* error = nullptr;
    if (sqlite3_exec(connection.get(), pragmas.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        why = error != nullptr ? error : sqlite3_errmsg(connection.get());
        sqlite3_free(error);
        return nullptr;
    }
    try {
        return std::make_unique<SqliteFileWriter>(std::move(connection), database.Text());
    } catch (const DbError& refused) {
        why = refused.what();
        return nullptr;
    }
}

}  // namespace vireo
