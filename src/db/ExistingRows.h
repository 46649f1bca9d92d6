#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "db/Query.h"
#include "db/TimeTagKey.h"
#include "scan/Chronos.h"

namespace vireo {

class Database;

/// The rows of one station sensor between two time tags, with what a dry run
/// needs to know of each: its source, its two values and whether ED_VALUE
/// differs from ORIG_VALUE (in the data writer's own terms: one null and the
/// other not differs). Read only.
inline constexpr std::string_view kExistingRowsSql =
    "SELECT TIME_TAG, SOURCE, ORIG_VALUE, ED_VALUE, CASE WHEN ED_VALUE = ORIG_VALUE OR (ED_VALUE IS NULL AND "
    "ORIG_VALUE IS NULL) THEN 0 ELSE 1 END AS EDITED FROM TF_DATA1 WHERE STATION_ID = :STATION_ID AND "
    "SENSORNAME = :SENSORNAME AND TIME_TAG >= :FIRST_TAG AND TIME_TAG <= :LAST_TAG";

/// The same on SQLite, whose driver gives a REAL as text with 15 significant
/// digits: the values come as 17, which read back as the very double stored.
inline constexpr std::string_view kSqliteExistingRowsSql =
    "SELECT TIME_TAG, SOURCE, CASE WHEN typeof(ORIG_VALUE) = 'real' THEN printf('%!.17g', ORIG_VALUE) ELSE "
    "ORIG_VALUE END, CASE WHEN typeof(ED_VALUE) = 'real' THEN printf('%!.17g', ED_VALUE) ELSE ED_VALUE END, CASE "
    "WHEN ED_VALUE = ORIG_VALUE OR (ED_VALUE IS NULL AND ORIG_VALUE IS NULL) THEN 0 ELSE 1 END AS EDITED FROM "
    "TF_DATA1 WHERE STATION_ID = :STATION_ID AND SENSORNAME = :SENSORNAME AND TIME_TAG >= :FIRST_TAG AND TIME_TAG <= "
    ":LAST_TAG";

/// A row of TF_DATA1 as the import would find it.
struct ExistingRow {
    bool sourceIsT = false;  // SOURCE is "T", what an import writes
    bool edited = false;     // ED_VALUE differs from ORIG_VALUE
    std::optional<double> orig;
    std::optional<double> ed;
};

/// Reads existing rows through one prepared statement.
class ExistingRows {
public:
    explicit ExistingRows(Database& database);

    /// The rows of `station`.`sensor` (upper-cased here as the writer does)
    /// from `first` to `last`, keyed by TimeTagKey. Throws DbError.
    std::unordered_map<std::int64_t, ExistingRow> Read(const std::string& station, const std::string& sensor,
                                                       DateTime first, DateTime last);

private:
    Database& database_;
    Query query_;
};

}  // namespace vireo
