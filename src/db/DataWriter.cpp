#include "db/DataWriter.h"

#include <utility>

#include "db/Catalogue.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "scan/Regional.h"
#include "status/StatusSink.h"

namespace vireo {

std::string TimeTagText(DateTime timeTag) {
    const CalendarStamp s = SplitDateTime(timeTag);
    return DateTimeText(s.year, s.month, s.day, s.hours, s.minutes, s.seconds);
}

std::string WrittenValueText(WriteOutcome outcome, const std::string& station, const std::string& sensor,
                             DateTime timeTag, double value) {
    const char* verb = nullptr;
    switch (outcome) {
        case WriteOutcome::Inserted:
            verb = "Inserted timetag data - ";
            break;
        case WriteOutcome::Updated:
            verb = "Updated timetag data - ";
            break;
        case WriteOutcome::Failed:
            return {};
    }
    return verb + station + "." + sensor + " @ " + TimeTagText(timeTag) + " - " + NumberText(value);
}

namespace {

/// A refused insert of a row that exists: a unique key violation (SQLite's
/// constraint code 19, SQLSTATE class 23 elsewhere). It leaves a transaction
/// as it was.
bool IsKeyRefusal(const DbError& error) {
    return error.sqlState().starts_with("23") || (error.nativeError() & 0xff) == 19;
}

}  // namespace

DataWriter::DataWriter(Database& database, StatusSink& sink)
    : database_(database), insert_(database), update_(database), sink_(sink) {}

void DataWriter::BeginBatch() {
    database_.StartTransaction();
    inBatch_ = true;
    lostBatch_.reset();
}

void DataWriter::CommitBatch() {
    inBatch_ = false;
    database_.Commit();
}

std::optional<std::string> DataWriter::TakeLostBatch() { return std::exchange(lostBatch_, std::nullopt); }

void DataWriter::CheckBatchAfter(const std::string& error) {
    if (!inBatch_ || lostBatch_ || !database_.TransactionLost()) return;
    lostBatch_ = database_.ConnectionLost() ? std::string(kTransactionNotCommitted) : error;
}

void DataWriter::PrepareStatements() {
    // Both at once, so that a connection lost later shows as failed values,
    // not as a failed preparation.
    if (!insert_.Prepared()) {
        insert_.SetSql(kInsertDataSql);
        insert_.Prepare();
    }
    if (!update_.Prepared()) {
        update_.SetSql(kUpdateDataSql);
        update_.Prepare();
    }
}

void DataWriter::ReportFailure(const std::string& error, const std::string& station, const std::string& sensor,
                               DateTime timeTag) {
    sink_.AddStatusMessage(error + " - " + station + "." + sensor + " @ " + TimeTagText(timeTag));
}

WriteOutcome DataWriter::WriteDataValue(const std::string& station, const std::string& sensor,
                                        const std::string& source, DateTime timeTag, double value) {
    const WriteOutcome outcome = WriteValue(station, sensor, source, timeTag, value);
    if (outcome != WriteOutcome::Failed && sink_.ShowDetails())
        sink_.AddStatusMessage(WrittenValueText(outcome, station, sensor, timeTag, value));
    return outcome;
}

WriteOutcome DataWriter::WriteValue(const std::string& station, const std::string& sensor, const std::string& source,
                                    DateTime timeTag, double value) {
    const std::string mark = source.empty() ? std::string("T") : source;
    const std::string stationId = UpperCaseName(station);
    const std::string sensorName = UpperCaseName(sensor);
    PrepareStatements();

    insert_.SetString("STATION_ID", stationId);
    insert_.SetString("SENSORNAME", sensorName);
    insert_.SetDateTime("TIME_TAG", timeTag);
    insert_.SetString("SOURCE", mark);
    insert_.SetDouble("ORIG_VALUE", value);
    insert_.SetDouble("ED_VALUE", value);
    // A refused insert most often means that the row exists: it is updated
    // then. Refusals come back without an exception (a re-import refuses
    // every insert), and their text is read only if it is to be shown, or,
    // inside a batch, to tell an existing row from a failure that may have
    // cost the batch its transaction.
    bool inserted = false;
    std::optional<std::string> insertError;
    try {
        inserted = insert_.TryExecSql();
    } catch (const DbError& error) {
        insertError = error.what();
        CheckBatchAfter(*insertError);
    }
    if (inserted) return WriteOutcome::Inserted;
    if (inBatch_ && !insertError) {
        const DbError refusal = insert_.ExecError();
        if (!IsKeyRefusal(refusal)) {
            insertError = refusal.what();
            CheckBatchAfter(*insertError);
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
        CheckBatchAfter(error.what());
        ReportFailure(error.what(), station, sensor, timeTag);
        return WriteOutcome::Failed;
    }
    if (update_.RowsAffected() == 0) {
        // No row to update: the insert failed for another reason than an
        // existing row, and the value was not written. The insert's
        // diagnostics are still there: only the update ran since.
        ReportFailure(insertError ? *insertError : insert_.ExecError().what(), station, sensor, timeTag);
        return WriteOutcome::Failed;
    }
    return WriteOutcome::Updated;
}

}  // namespace vireo
