#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "db/ConflictRetry.h"
#include "db/DbError.h"
#include "db/Query.h"
#include "scan/Chronos.h"

namespace vireo {

class Database;

inline constexpr std::string_view kInsertDataSql =
    "INSERT INTO TF_DATA1(             STATION_ID         ,       SENSORNAME         ,       TIME_TAG           ,      "
    " SOURCE             ,       ORIG_VALUE         ,       ED_VALUE            )VALUES(                          "
    ":STATION_ID        ,       :SENSORNAME        ,       :TIME_TAG          ,       :SOURCE            ,       "
    ":ORIG_VALUE        ,       :ED_VALUE           )";
inline constexpr std::string_view kUpdateDataSql =
    "UPDATE TF_DATA1 SET        STATION_ID         =  :STATION_ID        ,SENSORNAME         =  :SENSORNAME        "
    ",TIME_TAG           =  :TIME_TAG          ,SOURCE             =  :SOURCE            ,ED_VALUE           =  "
    ":ED_VALUE          WHERE STATION_ID   =  :STATION_ID AND       SENSORNAME   =  :SENSORNAME AND       TIME_TAG     "
    "=  :TIME_TAG ";
/// The update of a run that keeps edited values: it leaves a row whose
/// ED_VALUE differs from its ORIG_VALUE (one of them null and the other not
/// counts as differing).
inline constexpr std::string_view kUpdateUneditedDataSql =
    "UPDATE TF_DATA1 SET        STATION_ID         =  :STATION_ID        ,SENSORNAME         =  :SENSORNAME        "
    ",TIME_TAG           =  :TIME_TAG          ,SOURCE             =  :SOURCE            ,ED_VALUE           =  "
    ":ED_VALUE          WHERE STATION_ID   =  :STATION_ID AND       SENSORNAME   =  :SENSORNAME AND       TIME_TAG     "
    "=  :TIME_TAG AND (ED_VALUE = ORIG_VALUE OR (ED_VALUE IS NULL AND ORIG_VALUE IS NULL))";
/// Whether the row of a key exists: asked only when the update above touched
/// no row, to tell a kept row from a value that was not written.
inline constexpr std::string_view kDataRowExistsSql =
    "SELECT ED_VALUE FROM TF_DATA1 WHERE STATION_ID = :STATION_ID AND SENSORNAME = :SENSORNAME AND "
    "TIME_TAG = :TIME_TAG";

// SQLite compares TIME_TAG as text: a row another program stored without the
// driver's ".000" is the same second to every reader, so the data writer's
// statements there find a row in either spelling, insert none beside it and
// leave the stored spelling as it is.
inline constexpr std::string_view kSqliteInsertDataSql =
    "INSERT INTO TF_DATA1(STATION_ID,SENSORNAME,TIME_TAG,SOURCE,ORIG_VALUE,ED_VALUE) SELECT :STATION_ID,:SENSORNAME,"
    ":TIME_TAG,:SOURCE,:ORIG_VALUE,:ED_VALUE WHERE NOT EXISTS (SELECT 1 FROM TF_DATA1 WHERE STATION_ID = :STATION_ID "
    "AND SENSORNAME = :SENSORNAME AND TIME_TAG = substr(:TIME_TAG, 1, 19))";
inline constexpr std::string_view kSqliteUpdateDataSql =
    "UPDATE TF_DATA1 SET STATION_ID = :STATION_ID, SENSORNAME = :SENSORNAME, SOURCE = :SOURCE, ED_VALUE = :ED_VALUE "
    "WHERE STATION_ID = :STATION_ID AND SENSORNAME = :SENSORNAME AND TIME_TAG IN (:TIME_TAG, substr(:TIME_TAG, 1, 19))";
inline constexpr std::string_view kSqliteUpdateUneditedDataSql =
    "UPDATE TF_DATA1 SET STATION_ID = :STATION_ID, SENSORNAME = :SENSORNAME, SOURCE = :SOURCE, ED_VALUE = :ED_VALUE "
    "WHERE STATION_ID = :STATION_ID AND SENSORNAME = :SENSORNAME AND TIME_TAG IN (:TIME_TAG, substr(:TIME_TAG, 1, 19)) "
    "AND (ED_VALUE = ORIG_VALUE OR (ED_VALUE IS NULL AND ORIG_VALUE IS NULL))";
inline constexpr std::string_view kSqliteDataRowExistsSql =
    "SELECT ED_VALUE FROM TF_DATA1 WHERE STATION_ID = :STATION_ID AND SENSORNAME = :SENSORNAME AND "
    "TIME_TAG IN (:TIME_TAG, substr(:TIME_TAG, 1, 19))";

/// Kept: the row exists with an edited value, which a run that keeps edited
/// values leaves as it is.
enum class WriteOutcome { Inserted, Updated, Failed, Kept };

/// What one write did. A value that was not written carries the driver's
/// error (its text, SQLSTATE and native code); a written one carries none.
struct WriteResult {
    WriteOutcome outcome = WriteOutcome::Failed;
    std::optional<DbError> error;

    bool Written() const noexcept { return outcome != WriteOutcome::Failed; }
};

/// Writes imported values into TF_DATA1 through one open database: each value
/// is inserted, or when the insert fails, its row (same station, sensor and
/// time tag) is updated. The two statements are prepared once per connection
/// and run again with new values. The writer says what happened; it shows
/// nothing itself.
class DataWriter {
public:
    explicit DataWriter(Database& database);

    /// The database the writer writes to.
    Database& Connection() const noexcept { return database_; }

    /// Writes one value. Station and sensor are written in upper case, and an
    /// empty source as "T". A value that could not be written comes back as
    /// Failed with the driver's error (the value is then lost and the caller
    /// goes on). A failure to prepare or bind the statements throws DbError:
    /// the connection is not usable for writing. Outside a batch, a value
    /// that met a deadlock or serialization failure is tried again (up to
    /// kConflictTries times, with a growing pause, while the stop check lets
    /// it); inside one, the owner of the batch decides.
    WriteResult WriteValue(const std::string& station, const std::string& sensor, const std::string& source,
                           DateTime timeTag, double value);

    /// From now on a row whose ED_VALUE differs from its ORIG_VALUE is left
    /// as it is (Kept) instead of updated; off at creation. Costs one more
    /// statement only for a value whose update touched no row.
    void SetKeepEdits(bool keep);

    /// Asked between the tries of a value; none at creation.
    void SetStopCheck(StopCheck stop) { stop_ = std::move(stop); }

    /// Fast imports: the values written from here on form one transaction,
    /// which CommitBatch ends. A failed insert inside it does not abort it:
    /// the SQLite driver keeps the transaction, and psqlODBC rolls back the
    /// one failed statement (its default savepoint per statement).
    void BeginBatch();
    /// Commits the batch; throws DbError when it cannot, and the values
    /// written since BeginBatch are then not in the database.
    void CommitBatch();
    /// Rolls the batch back; harmless when none is open. Never throws: it is
    /// the way out of a batch that is being given up.
    void RollbackBatch() noexcept;
    bool InBatch() const noexcept { return inBatch_; }

private:
    // The door of the values and its set writer follow the batch's transaction.
    friend class ValueWriter;
    friend class BulkWriter;

    /// Whether the driver's connection has written in the open batch: it then
    /// holds the file's write lock (SQLite) until the batch ends. Set by
    /// WriteValue, and by other writers on this connection through MarkBatchWritten.
    bool BatchWritten() const noexcept { return inBatch_ && batchWritten_; }
    void MarkBatchWritten() noexcept { batchWritten_ = true; }
    /// Whether the batch's transaction was lost since the last call: a
    /// statement failed in a way that made the engine roll the batch back
    /// (a full disk). The values written in the batch before that statement
    /// are then not in the database; the returned error is the failed
    /// statement's. The batch goes on in a new transaction.
    std::optional<DbError> TakeLostBatch();

    WriteResult WriteOnce(const std::string& station, const std::string& sensor, const std::string& source,
                          DateTime timeTag, double value);
    void PrepareStatements();
    /// The statements in the connected engine's form.
    std::string_view InsertSql() const;
    std::string_view UpdateSql() const;
    void CheckBatchAfter(const DbError& error);
    /// Whether the row of the key bound to the update exists.
    bool RowExists(const std::string& stationId, const std::string& sensorName, DateTime timeTag);

    Database& database_;
    Query insert_;
    Query update_;
    Query rowExists_;
    bool keepEdits_ = false;
    StopCheck stop_;
    bool inBatch_ = false;
    bool batchWritten_ = false;
    std::optional<DbError> lostBatch_;
};

/// Ends the data writer's batch on every path: the owner commits it and
/// reports what the commit did; a guard left without a commit (an exception
/// on the way) rolls the batch back.
class BatchGuard {
public:
    explicit BatchGuard(DataWriter& writer) : writer_(writer) { writer_.BeginBatch(); }
    ~BatchGuard() { writer_.RollbackBatch(); }
    BatchGuard(const BatchGuard&) = delete;
    BatchGuard& operator=(const BatchGuard&) = delete;

    /// Commits the batch; throws DbError when it cannot (the batch is then
    /// ended all the same, nothing of it kept).
    void Commit() { writer_.CommitBatch(); }

private:
    DataWriter& writer_;
};

}  // namespace vireo
