#pragma once

#include <optional>
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

/// The detail line of a written value: "Inserted timetag data - " or
/// "Updated timetag data - ", station and sensor as given, the time tag and
/// the value. Empty for a failed write.
std::string WrittenValueText(WriteOutcome outcome, const std::string& station, const std::string& sensor,
                             DateTime timeTag, double value);

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
    /// The same without the detail lines: only a value that could not be
    /// written is reported. The caller reports what was written when it
    /// knows it is kept (a batch's values after its commit).
    WriteOutcome WriteValue(const std::string& station, const std::string& sensor, const std::string& source,
                            DateTime timeTag, double value);

    /// Fast imports: the values written from here on form one transaction,
    /// which CommitBatch ends. A failed insert inside it does not abort it:
    /// the SQLite driver keeps the transaction, and psqlODBC rolls back the
    /// one failed statement (its default savepoint per statement).
    void BeginBatch();
    /// Commits the batch; throws DbError when it cannot, and the values
    /// written since BeginBatch are then not in the database.
    void CommitBatch();
    /// Whether the batch's transaction was lost since the last call: a
    /// statement failed in a way that made the engine roll the batch back
    /// (a full disk). The values written in the batch before that statement
    /// are then not in the database; the returned text is the failed
    /// statement's error. The batch goes on in a new transaction.
    std::optional<std::string> TakeLostBatch();

private:
    void PrepareStatements();
    void CheckBatchAfter(const std::string& error);
    void ReportFailure(const std::string& error, const std::string& station, const std::string& sensor,
                       DateTime timeTag);

    Database& database_;
    Query insert_;
    Query update_;
    StatusSink& sink_;
    bool inBatch_ = false;
    std::optional<std::string> lostBatch_;
};

}  // namespace vireo
