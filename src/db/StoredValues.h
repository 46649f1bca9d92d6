#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/Chronos.h"

namespace vireo {

class Database;

inline constexpr std::string_view kStoredValuesSql =
    "SELECT TIME_TAG, ORIG_VALUE, ED_VALUE FROM TF_DATA1 WHERE STATION_ID = :STATION_ID AND SENSORNAME = "
    ":SENSORNAME AND TIME_TAG >= :FROM_TAG AND TIME_TAG <= :TO_TAG ORDER BY TIME_TAG";

/// One row of TF_DATA1 as read back: its time tag to the second, the original
/// and the edited value (nullopt where the column is null).
struct StoredValue {
    SecondStamp stamp = 0;
    std::optional<double> original;
    std::optional<double> edited;
    bool operator==(const StoredValue&) const = default;
};

/// The rows of one station sensor (asked for in upper case) whose time tag
/// lies between `from` and `to`, both included, in time order. Only reads.
/// Throws DbError, or std::runtime_error for a time tag or value the program
/// cannot read (with the text the database gave).
std::vector<StoredValue> ReadStoredValues(Database& database, std::string_view stationId, std::string_view sensorName,
                                          SecondStamp from, SecondStamp to);

}  // namespace vireo
