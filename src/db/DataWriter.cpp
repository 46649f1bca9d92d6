#include "db/DataWriter.h"

#include "app/StatusSink.h"
#include "db/Catalogue.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "scan/Regional.h"

namespace vireo {

std::string TimeTagText(DateTime timeTag) {
    const CalendarStamp s = SplitDateTime(timeTag);
    return DateTimeText(s.year, s.month, s.day, s.hours, s.minutes, s.seconds);
}

DataWriter::DataWriter(Database& database, StatusSink& sink)
    : database_(database), insert_(database), update_(database), sink_(sink) {}

void DataWriter::BeginBatch() { database_.StartTransaction(); }

void DataWriter::CommitBatch() { database_.Commit(); }

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
    // every insert), and their text is read only if it is to be shown.
    bool inserted = false;
    bool insertThrew = false;
    std::string insertError;
    try {
        inserted = insert_.TryExecSql();
    } catch (const DbError& error) {
        insertThrew = true;
        insertError = error.what();
    }
    if (inserted) {
        if (sink_.ShowDetails()) {
            sink_.AddStatusMessage("Inserted timetag data - " + station + "." + sensor + " @ " + TimeTagText(timeTag) +
                                   " - " + NumberText(value));
        }
        return WriteOutcome::Inserted;
    }

    update_.SetString("STATION_ID", stationId);
    update_.SetString("SENSORNAME", sensorName);
    update_.SetDateTime("TIME_TAG", timeTag);
    update_.SetString("SOURCE", mark);
    update_.SetDouble("ED_VALUE", value);
    try {
        update_.ExecSql();
    } catch (const DbError& error) {
        ReportFailure(error.what(), station, sensor, timeTag);
        return WriteOutcome::Failed;
    }
    if (update_.RowsAffected() == 0) {
        // No row to update: the insert failed for another reason than an
        // existing row, and the value was not written. The insert's
        // diagnostics are still there: only the update ran since.
        ReportFailure(insertThrew ? insertError : insert_.ExecError().what(), station, sensor, timeTag);
        return WriteOutcome::Failed;
    }
    if (sink_.ShowDetails()) {
        sink_.AddStatusMessage("Updated timetag data - " + station + "." + sensor + " @ " + TimeTagText(timeTag) +
                               " - " + NumberText(value));
    }
    return WriteOutcome::Updated;
}

}  // namespace vireo
