#include "db/DataWriter.h"

#include <utility>

#include "db/Catalogue.h"
#include "db/Database.h"
#include "db/DbError.h"

namespace vireo {

namespace {

/// A refused insert of a row that exists: a unique key violation (SQLite's
/// constraint code 19, SQLSTATE class 23 elsewhere). It leaves a transaction
/// as it was.
bool IsKeyRefusal(const DbError& error) {
    return error.sqlState().starts_with("23") || (error.nativeError() & 0xff) == 19;
}

}  // namespace

DataWriter::DataWriter(Database& database)
    : database_(database), insert_(database), update_(database), rowExists_(database) {}

void DataWriter::SetKeepEdits(bool keep) {
    if (keep == keepEdits_) return;
    keepEdits_ = keep;
    update_.SetSql(UpdateSql());
}

std::string_view DataWriter::InsertSql() const {
    return database_.Engine() == DbEngine::SQLite ? kSqliteInsertDataSql : kInsertDataSql;
}

std::string_view DataWriter::UpdateSql() const {
    if (database_.Engine() == DbEngine::SQLite) return keepEdits_ ? kSqliteUpdateUneditedDataSql : kSqliteUpdateDataSql;
    return keepEdits_ ? kUpdateUneditedDataSql : kUpdateDataSql;
}

bool DataWriter::RowExists(const std::string& stationId, const std::string& sensorName, DateTime timeTag) {
    if (!rowExists_.Prepared()) {
        rowExists_.SetSql(database_.Engine() == DbEngine::SQLite ? kSqliteDataRowExistsSql : kDataRowExistsSql);
        rowExists_.Prepare();
    }
    rowExists_.SetString("STATION_ID", stationId);
    rowExists_.SetString("SENSORNAME", sensorName);
    rowExists_.SetDateTime("TIME_TAG", timeTag);
    rowExists_.Open();
    const bool exists = !rowExists_.Eof();
    rowExists_.Close();
    return exists;
}

void DataWriter::BeginBatch() {
    database_.StartTransaction();
    inBatch_ = true;
    batchWritten_ = false;
    lostBatch_.reset();
}

void DataWriter::CommitBatch() {
    inBatch_ = false;
    database_.Commit();
}

void DataWriter::RollbackBatch() noexcept {
    inBatch_ = false;
    if (!database_.InTransaction()) return;
    try {
        database_.Rollback();
    } catch (const DbError&) {
        // The connection is gone or broken: the server has ended the
        // transaction, and closing the database forgets it.
    }
}

std::optional<DbError> DataWriter::TakeLostBatch() { return std::exchange(lostBatch_, std::nullopt); }

void DataWriter::CheckBatchAfter(const DbError& error) {
    if (!inBatch_ || lostBatch_ || !database_.TransactionLost()) return;
    if (database_.ConnectionLost()) {
        lostBatch_.emplace(kTransactionNotCommitted, error.sqlState(), error.nativeError());
    } else {
        lostBatch_ = error;
    }
}

void DataWriter::PrepareStatements() {
    // Both at once, so that a connection lost later shows as failed values,
    // not as a failed preparation.
    if (!insert_.Prepared()) {
        insert_.SetSql(InsertSql());
        insert_.Prepare();
    }
    if (!update_.Prepared()) {
        update_.SetSql(UpdateSql());
        update_.Prepare();
    }
}

WriteResult DataWriter::WriteValue(const std::string& station, const std::string& sensor, const std::string& source,
                                   DateTime timeTag, double value) {
    WriteResult result = WriteOnce(station, sensor, source, timeTag, value);
    // Outside a batch each statement is a transaction of its own: a value
    // whose statement met a conflict is tried again whole.
    for (int tried = 1; !inBatch_ && tried < kConflictTries && !result.Written() && result.error &&
                        IsConflict(*result.error, database_.Engine());
         ++tried) {
        if (!PauseBeforeRetry(tried, stop_)) break;
        result = WriteOnce(station, sensor, source, timeTag, value);
    }
    return result;
}

WriteResult DataWriter::WriteOnce(const std::string& station, const std::string& sensor, const std::string& source,
                                  DateTime timeTag, double value) {
    const std::string mark = source.empty() ? std::string("T") : source;
    const std::string stationId = UpperCaseName(station);
    const std::string sensorName = UpperCaseName(sensor);
    PrepareStatements();
    batchWritten_ = true;

    insert_.SetString("STATION_ID", stationId);
    insert_.SetString("SENSORNAME", sensorName);
    insert_.SetDateTime("TIME_TAG", timeTag);
    insert_.SetString("SOURCE", mark);
    insert_.SetDouble("ORIG_VALUE", value);
    insert_.SetDouble("ED_VALUE", value);
    // A refused insert most often means that the row exists: it is updated
    // then. Refusals come back without an exception (a re-import refuses
    // every insert), and their error is read only if the value is lost, or,
    // inside a batch, to tell an existing row from a failure that may have
    // cost the batch its transaction.
    bool inserted = false;
    std::optional<DbError> insertError;
    try {
        inserted = insert_.TryExecSql();
    } catch (const DbError& error) {
        insertError = error;
        CheckBatchAfter(error);
    }
    // On SQLite an insert that finds the second's row in another spelling inserts none.
    const bool foundRow = inserted && insert_.RowsAffected() == 0;
    if (inserted && !foundRow) return WriteResult{WriteOutcome::Inserted, std::nullopt};
    if (inBatch_ && !insertError && !foundRow) {
        DbError refusal = insert_.ExecError();
        if (!IsKeyRefusal(refusal)) {
            CheckBatchAfter(refusal);
            insertError = std::move(refusal);
        }
    }

    update_.SetString("STATION_ID", stationId);
    update_.SetString("SENSORNAME", sensorName);
    update_.SetDateTime("TIME_TAG", timeTag);
    update_.SetString("SOURCE", mark);
    update_.SetDouble("ED_VALUE", value);
    try {
        update_.ExecSql();
    } catch (const DbError& error) {
        CheckBatchAfter(error);
        return WriteResult{WriteOutcome::Failed, error};
    }
    if (update_.RowsAffected() == 0 && keepEdits_) {
        // The row may be there with an edited value, which the update left.
        try {
            if (RowExists(stationId, sensorName, timeTag)) return WriteResult{WriteOutcome::Kept, std::nullopt};
        } catch (const DbError& error) {
            CheckBatchAfter(error);
            return WriteResult{WriteOutcome::Failed, error};
        }
    }
    if (update_.RowsAffected() == 0) {
        // No row to update: the insert failed for another reason than an
        // existing row, and the value was not written. The insert's
        // diagnostics are still there: only the update (and the look for
        // the row) ran since.
        if (!insertError && !foundRow) insertError = insert_.ExecError();
        return WriteResult{WriteOutcome::Failed, std::move(insertError)};
    }
    return WriteResult{WriteOutcome::Updated, std::nullopt};
}

}  // namespace vireo
