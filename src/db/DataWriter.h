#pragma once

#include <string>
#include <string_view>

#include "db/Query.h"
#include "scan/Chronos.h"

namespace vireo {

class Database;
class StatusSink;

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

enum class WriteOutcome { Inserted, Updated, Failed };

/// The time tag as messages show it: the regional short date, a blank and the
/// long time, the time left out at exactly midnight.
std::string TimeTagText(DateTime timeTag);

/// Writes imported values into TF_DATA1 through one open database: each value
/// is inserted, or when the insert fails, its row (same station, sensor and
/// time tag) is updated. The two statements are prepared once per connection
/// and run again with new values.
class DataWriter {
public:
    DataWriter(Database& database, StatusSink& sink);

    /// Writes one value and reports it to the sink: "Inserted timetag data - "
    /// or "Updated timetag data - " when details are shown, and always a line
    /// for a value that could not be written (the value is then lost and the
    /// caller goes on). Station and sensor are written in upper case, and an
    /// empty source as "T". A failure to prepare or bind the statements
    /// throws DbError: the connection is not usable for writing.
    WriteOutcome WriteDataValue(const std::string& station, const std::string& sensor, const std::string& source,
                                DateTime timeTag, double value);

    /// Fast imports: the values written from here on form one transaction,
    /// which CommitBatch ends. A failed insert inside it does not abort it:
    /// the SQLite driver keeps the transaction, and psqlODBC rolls back the
    /// one failed statement (its default savepoint per statement).
    void BeginBatch();
    /// Commits the batch; throws DbError when it cannot, and the values
    /// written since BeginBatch are then not in the database.
    void CommitBatch();

private:
    void PrepareStatements();
    void ReportFailure(const std::string& error, const std::string& station, const std::string& sensor,
                       DateTime timeTag);

    Database& database_;
    Query insert_;
    Query update_;
    StatusSink& sink_;
};

}  // namespace vireo
