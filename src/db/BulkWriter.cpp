#include "db/BulkWriter.h"

#include <sqlext.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "db/BulkForm.h"
#include "db/Catalogue.h"
#include "db/Database.h"
#include "db/OdbcHandle.h"
#include "db/PostgresCopyWriter.h"
#include "db/Query.h"
#include "db/RowPlan.h"
#include "db/SqliteFileWriter.h"
#include "db/TextEncoding.h"
#include "db/TimeTagKey.h"
#include "scan/AsciiCase.h"
#include "scan/JsonText.h"

namespace vireo {
namespace {

SQLCHAR* Chars(std::string& text) { return reinterpret_cast<SQLCHAR*>(text.data()); }

/// A statement handle on the database, with the database's text form for its diagnostics.
class Statement {
public:
    explicit Statement(Database& database)
        : database_(database), handle_(OdbcHandle::Allocate(SQL_HANDLE_STMT, database.Handle())) {}

    SQLHSTMT get() const noexcept { return handle_.get(); }
    void Check(SQLRETURN rc, const char* action) const {
        CheckOdbc(rc, SQL_HANDLE_STMT, handle_.get(), action, database_.Text());
    }
    void Prepare(std::string text) {
        Check(SQLPrepare(handle_.get(), Chars(text), static_cast<SQLINTEGER>(text.size())), "SQLPrepare");
    }
    void BindText(SQLUSMALLINT position, const std::string& text, SQLLEN& indicator) {
        indicator = static_cast<SQLLEN>(text.size());
        Check(SQLBindParameter(handle_.get(), position, SQL_PARAM_INPUT, SQL_C_CHAR,
                               text.size() > 4000 ? SQL_LONGVARCHAR : SQL_VARCHAR, std::max<SQLULEN>(text.size(), 1), 0,
                               const_cast<char*>(text.data()), static_cast<SQLLEN>(text.size()), &indicator),
              "SQLBindParameter");
    }
    void BindStamp(SQLUSMALLINT position, SQL_TIMESTAMP_STRUCT& stamp, SQLLEN& indicator) {
        indicator = sizeof stamp;
        // 19 characters: "yyyy-mm-dd hh:mm:ss", no fraction of a second, as the data writer binds it.
        Check(SQLBindParameter(handle_.get(), position, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19,
                               0, &stamp, sizeof stamp, &indicator),
              "SQLBindParameter");
    }
    void BindDouble(SQLUSMALLINT position, double& value, SQLLEN& indicator) {
        indicator = sizeof value;
        Check(SQLBindParameter(handle_.get(), position, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, &value,
                               sizeof value, &indicator),
              "SQLBindParameter");
    }
    void Execute() {
        const SQLRETURN rc = SQLExecute(handle_.get());
        if (rc != SQL_NO_DATA) Check(rc, "SQLExecute");
    }
    /// The next row's column as text into `text`; false after the last row.
    bool Fetch() {
        const SQLRETURN rc = SQLFetch(handle_.get());
        if (rc == SQL_NO_DATA) return false;
        Check(rc, "SQLFetch");
        return true;
    }
    std::string Column(SQLUSMALLINT column) {
        char buffer[256];
        SQLLEN length = 0;
        Check(SQLGetData(handle_.get(), column, SQL_C_CHAR, buffer, sizeof buffer, &length), "SQLGetData");
        if (length == SQL_NULL_DATA) return {};
        return std::string(buffer, static_cast<std::size_t>(std::min<SQLLEN>(length, sizeof buffer - 1)));
    }
    void CloseCursor() noexcept { SQLFreeStmt(handle_.get(), SQL_CLOSE); }

private:
    Database& database_;
    OdbcHandle handle_;
};

}  // namespace

/// How one engine writes a set.
class BulkWriter::Path {
public:
    virtual ~Path() = default;
    /// Called once a Write, before its sets: the outcome each value will have
    /// when its set is written. May throw DbError.
    virtual void Plan(std::span<const BulkValue> values) = 0;
    /// How many values from `first` on make the next set.
    virtual std::size_t NextSetSize(std::span<const BulkValue> values, std::size_t first) = 0;
    /// Writes one set and gives each of its values its outcome; throws
    /// DbError when the engine refuses it (nothing of the set is then written).
    virtual void WriteSet(std::span<const BulkValue> set, std::size_t first, std::string_view source,
                          WriteResult* results) = 0;
    /// The values before `from` have their results, some of them not
    /// written: the outcomes planned from `from` on follow what was written.
    virtual void Replan(std::span<const BulkValue> values, const std::vector<WriteResult>& results,
                        std::size_t from) = 0;
};

namespace {

/// SQLite: multi-row statements through the driver, bound as the data writer
/// binds, so that the stored texts and numbers are the driver's own.
class SqlitePath : public BulkWriter::Path {
public:
    static constexpr std::size_t kRowsPerSet = 100;

    explicit SqlitePath(Database& database) : database_(database), writeLock_(database), lookup_(database) {
        writeLock_.Prepare("UPDATE TF_DATA1 SET ED_VALUE = ED_VALUE WHERE 1 = 0");
        lookup_.Prepare(
            "SELECT TIME_TAG FROM TF_DATA1 WHERE STATION_ID = ? AND SENSORNAME = ? AND TIME_TAG BETWEEN ? AND ?");
    }

    void Plan(std::span<const BulkValue> values) override {
        // The batch takes the write lock before it reads: a transaction that
        // reads first and writes later would deadlock with another writer of
        // the file, each waiting for the other's lock. A write statement that
        // changes nothing takes it, waiting for other writers as the data
        // source's timeout allows.
        writeLock_.Execute();
        // The station sensors of the values, each once with the names as written.
        groups_.clear();
        plan_.Start();
        stamps_.resize(values.size());
        std::size_t last = 0;
        for (std::size_t i = 0; i < values.size(); ++i) {
            last = GroupOf(groups_, last, values[i], database_.Text()).first;
            stamps_[i] = OdbcTimestamp(values[i].timeTag);
            plan_.Add(last, TimeTagKey(values[i].timeTag));
        }
        // Which rows exist: one range of time tags per station sensor.
        for (std::size_t g = 0; g < groups_.size(); ++g) {
            Group& group = groups_[g];
            SQLLEN indicators[4];
            lookup_.BindText(1, group.station, indicators[0]);
            lookup_.BindText(2, group.sensor, indicators[1]);
            // From the first second's shortest spelling: a row another program
            // stored without ".000" is the same second.
            group.firstText = BoundSecondText(values[plan_.FirstAt(g)].timeTag);
            lookup_.BindText(3, group.firstText, indicators[2]);
            group.last = stamps_[plan_.LastAt(g)];
            lookup_.BindStamp(4, group.last, indicators[3]);
            lookup_.Execute();
            char text[64];
            SQLLEN length = 0;
            lookup_.Check(SQLBindCol(lookup_.get(), 1, SQL_C_CHAR, text, sizeof text, &length), "SQLBindCol");
            while (lookup_.Fetch()) {
                if (length < 0 || static_cast<std::size_t>(length) >= sizeof text) continue;
                const std::string_view stored(text, static_cast<std::size_t>(length));
                const std::int64_t second = KeyOfStoredText(stored);
                if (second < 0) continue;
                plan_.AddStored(g, second);
                if (stored.size() == kShortStoredText) group.spelledShort.insert(second);
            }
            lookup_.CloseCursor();
            SQLFreeStmt(lookup_.get(), SQL_UNBIND);
        }
        plan_.Decide();
    }

    void Replan(std::span<const BulkValue>, const std::vector<WriteResult>& results, std::size_t from) override {
        plan_.Replan(results, from);
    }

    std::size_t NextSetSize(std::span<const BulkValue> values, std::size_t first) override {
        return std::min(kRowsPerSet, values.size() - first);
    }

    void WriteSet(std::span<const BulkValue> set, std::size_t first, std::string_view source,
                  WriteResult* results) override {
        Statement& statement = StatementFor(set.size());
        mark_ = SourceAsWritten(source, database_.Text());
        rows_.resize(set.size());
        for (std::size_t i = 0; i < set.size(); ++i) {
            Row& row = rows_[i];
            const Group& group = groups_[plan_.GroupOf(first + i)];
            row.stamp = stamps_[first + i];
            row.value = set[i].value;
            const auto base = static_cast<SQLUSMALLINT>(i * 6);
            statement.BindText(base + 1, group.station, row.indicators[0]);
            statement.BindText(base + 2, group.sensor, row.indicators[1]);
            if (group.spelledShort.contains(plan_.Key(first + i))) {
                // The row is there in its own spelling: it is updated so.
                row.shortText = BoundSecondText(set[i].timeTag);
                statement.BindText(base + 3, row.shortText, row.indicators[2]);
            } else {
                statement.BindStamp(base + 3, row.stamp, row.indicators[2]);
            }
            statement.BindText(base + 4, mark_, row.indicators[3]);
            statement.BindDouble(base + 5, row.value, row.indicators[4]);
            statement.BindDouble(base + 6, row.value, row.indicators[5]);
        }
        statement.Execute();
        for (std::size_t i = 0; i < set.size(); ++i) results[i] = WriteResult{plan_.Outcome(first + i), std::nullopt};
    }

private:
    /// One station sensor of a write: its names as written, the last second of
    /// its range and the first as text, and its seconds with a row stored
    /// without ".000".
    struct Group : StationSensor {
        SQL_TIMESTAMP_STRUCT last{};
        std::string firstText;
        std::unordered_set<std::int64_t> spelledShort;
    };
    struct Row {
        SQL_TIMESTAMP_STRUCT stamp{};
        std::string shortText;
        double value = 0;
        SQLLEN indicators[6] = {};
    };

    Statement& StatementFor(std::size_t rows) {
        std::unique_ptr<Statement>& statement = rows == kRowsPerSet ? full_ : last_;
        if (statement && preparedRows_[rows == kRowsPerSet] == rows) return *statement;
        statement = std::make_unique<Statement>(database_);
        std::string text = std::string("INSERT INTO TF_DATA1(") + kBulkColumns + ") VALUES ";
        // The driver knows only plain markers: six a row.
        for (std::size_t i = 0; i < rows; ++i) text += i == 0 ? "(?,?,?,?,?,?)" : ",(?,?,?,?,?,?)";
        text += kBulkOnConflict;
        statement->Prepare(std::move(text));
        preparedRows_[rows == kRowsPerSet] = rows;
        return *statement;
    }

    Database& database_;
    Statement writeLock_;
    Statement lookup_;
    std::unique_ptr<Statement> full_;
    std::unique_ptr<Statement> last_;
    std::size_t preparedRows_[2] = {0, 0};
    std::vector<Group> groups_;
    std::vector<SQL_TIMESTAMP_STRUCT> stamps_;
    RowPlan plan_;
    std::vector<Row> rows_;
    std::string mark_;
};

/// PostgreSQL: each set is one JSON text, expanded by the server.
class PostgresPath : public BulkWriter::Path {
public:
    static constexpr std::size_t kRowsPerSet = 10000;

    explicit PostgresPath(Database& database) : database_(database), statement_(database) {
        statement_.Prepare(std::string("INSERT INTO TF_DATA1(") + kBulkColumns +
                           ") SELECT v->>0, v->>1, CAST(v->>2 AS TIMESTAMP), v->>3, CAST(v->>4 AS DOUBLE PRECISION), "
                           "CAST(v->>4 AS DOUBLE PRECISION) FROM json_array_elements(CAST(? AS JSON)) AS v" +
                           kBulkOnConflict +
                           " RETURNING STATION_ID, SENSORNAME, TO_CHAR(TIME_TAG, 'YYYY-MM-DD HH24:MI:SS'), "
                           "CASE WHEN xmax = 0 THEN 1 ELSE 0 END");
    }

    void Plan(std::span<const BulkValue> values) override {
        keys_.clear();
        keys_.reserve(values.size());
        for (const BulkValue& value : values) {
            keys_.push_back(NameAsWritten(value.station, database_.Text()) + '\x1f' +
                            NameAsWritten(value.sensor, database_.Text()) + '\x1f' + BoundSecondText(value.timeTag));
        }
    }

    std::size_t NextSetSize(std::span<const BulkValue> values, std::size_t first) override {
        // The server refuses to touch one row twice in a statement: a set ends
        // before a key it holds, and that value goes first in the next set, as
        // one statement a value would have updated the row just written.
        std::unordered_set<std::string_view> seen;
        std::size_t end = first;
        while (end < values.size() && end - first < kRowsPerSet && seen.insert(keys_[end]).second) ++end;
        return end - first;
    }

    void WriteSet(std::span<const BulkValue> set, std::size_t first, std::string_view source,
                  WriteResult* results) override {
        const std::string mark = SourceAsWritten(source, database_.Text());
        json_.assign("[");
        std::unordered_map<std::string_view, std::size_t> index;
        for (std::size_t i = 0; i < set.size(); ++i) {
            if (i > 0) json_.push_back(',');
            json_.push_back('[');
            const std::string& key = keys_[first + i];
            const std::size_t split1 = key.find('\x1f');
            const std::size_t split2 = key.find('\x1f', split1 + 1);
            AppendJsonString(json_, std::string_view(key).substr(0, split1));
            json_.push_back(',');
            AppendJsonString(json_, std::string_view(key).substr(split1 + 1, split2 - split1 - 1));
            json_.push_back(',');
            AppendJsonString(json_, std::string_view(key).substr(split2 + 1));
            json_.push_back(',');
            AppendJsonString(json_, mark);
            json_.push_back(',');
            char number[32];
            const auto end = std::to_chars(number, number + sizeof number, set[i].value).ptr;
            json_.append(number, end);
            json_.push_back(']');
            index.emplace(key, i);
        }
        json_.push_back(']');
        SQLLEN indicator = 0;
        statement_.BindText(1, json_, indicator);
        statement_.Execute();
        std::size_t answered = 0;
        std::vector<WriteOutcome> outcomes(set.size(), WriteOutcome::Failed);
        while (statement_.Fetch()) {
            const std::string key =
                statement_.Column(1) + '\x1f' + statement_.Column(2) + '\x1f' + statement_.Column(3);
            const auto found = index.find(key);
            if (found != index.end() && outcomes[found->second] == WriteOutcome::Failed) {
                outcomes[found->second] = statement_.Column(4) == "1" ? WriteOutcome::Inserted : WriteOutcome::Updated;
                ++answered;
            }
        }
        statement_.CloseCursor();
        if (answered != set.size()) {
            // Written, but not every row said which it was: the values are
            // written again one by one, which updates each with the same value.
            throw DbError("The server did not confirm every row of a set", "HY000", 0);
        }
        for (std::size_t i = 0; i < set.size(); ++i) results[i] = WriteResult{outcomes[i], std::nullopt};
    }

    void Replan(std::span<const BulkValue>, const std::vector<WriteResult>&, std::size_t) override {
        // The server says of each row whether it inserted it.
    }

private:
    Database& database_;
    Statement statement_;
    std::string json_;
    std::vector<std::string> keys_;
};

}  // namespace

void KeyOrder(std::span<const BulkValue> values, std::vector<std::size_t>& order) {
    std::vector<std::int64_t> seconds(values.size());
    order.resize(values.size());
    bool sorted = true;
    for (std::size_t i = 0; i < values.size(); ++i) {
        seconds[i] = TimeTagKey(values[i].timeTag);
        order[i] = i;
    }
    auto less = [&](std::size_t a, std::size_t b) {
        const BulkValue& x = values[a];
        const BulkValue& y = values[b];
        if (x.station.data() != y.station.data() && !SameName(x.station, y.station))
            return NameLess(x.station, y.station);
        if (x.sensor.data() != y.sensor.data() && !SameName(x.sensor, y.sensor)) return NameLess(x.sensor, y.sensor);
        return seconds[a] < seconds[b];
    };
    for (std::size_t i = 1; i < values.size() && sorted; ++i) sorted = !less(i, i - 1);
    if (!sorted) std::stable_sort(order.begin(), order.end(), less);
}

bool BulkWriter::Supports(const Database& database) {
    return database.Connected() && (database.Engine() == DbEngine::SQLite || database.Engine() == DbEngine::PostgreSQL);
}

BulkWriter::BulkWriter(DataWriter& writer, Route route) : writer_(writer) {
    Database& database = writer.Connection();
    if (database.Engine() == DbEngine::SQLite) {
        path_ = std::make_unique<SqlitePath>(database);
        if (route == Route::EngineInterface) direct_ = OpenSqliteFileWriter(database, whyNotDirect_);
    } else if (database.Engine() == DbEngine::PostgreSQL) {
        path_ = std::make_unique<PostgresPath>(database);
        if (route == Route::EngineInterface) direct_ = OpenPostgresCopyWriter(database, whyNotDirect_);
    } else {
        throw DbError("No set path for this database engine", "HYC00", 0);
    }
    if (route == Route::DriverSets) whyNotDirect_ = "sets through the driver were asked for";
}

BulkWriter::~BulkWriter() = default;

void BulkWriter::Write(std::span<const BulkValue> values, std::string_view source, std::vector<WriteResult>& results) {
    results.assign(values.size(), WriteResult{});
    if (values.empty()) return;
    KeyOrder(values, order_);
    ordered_.clear();
    for (const std::size_t at : order_) ordered_.push_back(values[at]);
    WriteTries(ordered_, source, orderedResults_);
    for (std::size_t i = 0; i < order_.size(); ++i) results[order_[i]] = std::move(orderedResults_[i]);
}

void BulkWriter::WriteTries(std::span<const BulkValue> values, std::string_view source,
                            std::vector<WriteResult>& results) {
    for (int tried = 1;; ++tried) {
        conflict_.reset();
        if (WriteOnce(values, source, results)) return;
        if (!conflict_) return;  // the connection is gone: the results say so
        ++conflicts_;
        if (tried >= kConflictTries || !PauseBeforeRetry(tried, stop_)) {
            // Nothing of the batch is written: each value is not written for the conflict.
            results.assign(values.size(), WriteResult{WriteOutcome::Failed, *conflict_});
            return;
        }
    }
}

bool BulkWriter::RolledBackFor(const DbError& error) {
    // Outside a batch each set commits on its own: a conflict is one refusal among others.
    if (!writer_.InBatch() || !IsConflict(error, writer_.Connection().Engine())) return false;
    conflict_ = error;
    writer_.RollbackBatch();
    writer_.BeginBatch();
    return true;
}

bool BulkWriter::WriteOnce(std::span<const BulkValue> values, std::string_view source,
                           std::vector<WriteResult>& results) {
    results.assign(values.size(), WriteResult{});
    if (WriteDirect(values, source, results)) return true;
    if (conflict_) return false;
    results.assign(values.size(), WriteResult{});
    // The driver's connection writes from here on in this batch (when there is one).
    writer_.MarkBatchWritten();
    if (!setsUnsuitable_) {
        try {
            path_->Plan(values);
        } catch (const DbError& error) {
            if (RolledBackFor(error)) return false;
            return WriteOneByOne(values, 0, values.size(), source, &error, results) || !conflict_;
        }
    }
    std::size_t first = 0;
    while (first < values.size()) {
        if (setsUnsuitable_)
            return WriteOneByOne(values, first, values.size() - first, source, nullptr, results) || !conflict_;
        const std::size_t count = path_->NextSetSize(values, first);
        try {
            path_->WriteSet(values.subspan(first, count), first, source, results.data() + first);
            ++setsWritten_;
        } catch (const DbError& error) {
            if (RolledBackFor(error)) return false;
            ++setsRefused_;
            if (!WriteOneByOne(values, first, count, source, &error, results)) return !conflict_;
            // A value refused here is no row for a later value of its key.
            if (!setsUnsuitable_ && first + count < values.size()) path_->Replan(values, results, first + count);
        }
        first += count;
    }
    return true;
}

bool BulkWriter::WriteDirect(std::span<const BulkValue> values, std::string_view source,
                             std::vector<WriteResult>& results) {
    if (!direct_ || !direct_->Usable()) return false;
    // Once the driver has written in this batch, its connection holds the
    // write lock until the batch ends: the own connection would wait for it.
    if (writer_.BatchWritten()) return false;
    try {
        direct_->WriteBatch(values, source, results);
    } catch (const DbError& error) {
        // Nothing of the batch is written. After a conflict it is tried
        // again this way; otherwise the driver writes it, and says with its
        // own words what it refuses.
        if (direct_->Usable() && IsConflict(error, writer_.Connection().Engine())) {
            conflict_ = error;
        } else {
            ++batchesDirectRefused_;
        }
        return false;
    }
    ++batchesDirect_;
    return true;
}

bool BulkWriter::WriteOneByOne(std::span<const BulkValue> values, std::size_t first, std::size_t count,
                               std::string_view source, const DbError* refusal, std::vector<WriteResult>& results) {
    Database& database = writer_.Connection();
    auto loseWritten = [&results](std::size_t end, const DbError& why) {
        for (std::size_t i = 0; i < end; ++i) {
            if (results[i].Written()) results[i] = WriteResult{WriteOutcome::Failed, why};
        }
    };
    bool lost = false;
    if (refusal != nullptr && writer_.InBatch() && database.TransactionLost()) {
        // The engine ended the batch's transaction with the refused set: what
        // this batch wrote before it is gone.
        if (database.ConnectionLost()) {
            loseWritten(first, DbError(kTransactionNotCommitted, refusal->sqlState(), refusal->nativeError()));
            for (std::size_t i = first; i < values.size(); ++i)
                results[i] = WriteResult{WriteOutcome::Failed, *refusal};
            return false;
        }
        loseWritten(first, *refusal);
        lost = true;
    }
    const std::string mark(source);
    bool everyValueWritten = true;
    for (std::size_t i = first; i < first + count; ++i) {
        if (stop_ && stop_()) {
            // The run stops: the values not tried are not written.
            for (; i < first + count; ++i) results[i] = WriteResult{WriteOutcome::Failed, DbError(kStoppedBeforeWrite)};
            return true;
        }
        results[i] = writer_.WriteValue(std::string(values[i].station), std::string(values[i].sensor), mark,
                                        values[i].timeTag, values[i].value);
        if (!results[i].Written() && results[i].error && RolledBackFor(*results[i].error)) return false;
        if (std::optional<DbError> gone = writer_.TakeLostBatch()) {
            loseWritten(i, *gone);
            lost = true;
        }
        everyValueWritten = everyValueWritten && results[i].Written();
    }
    // A set refused although each of its values could be written does not
    // suit this database. After a lost transaction the outcomes planned for
    // the sets that follow no longer hold. Either way the rest goes value by value.
    if ((refusal != nullptr && everyValueWritten && count > 0) || lost) setsUnsuitable_ = true;
    return true;
}

}  // namespace vireo
