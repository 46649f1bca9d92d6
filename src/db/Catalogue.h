#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scan/AsciiCase.h"

namespace vireo {

class Database;

inline constexpr std::string_view kStationsSql =
    "SELECT DISTINCT STATION_ID FROM TF_SITES WHERE (TF_SITES.ENABLED = 'Y')";
inline constexpr std::string_view kStationSensorsSql =
    "SELECT DISTINCT SENSORNAME FROM TF_SITESENSORS WHERE TF_SITESENSORS.STE_STATION_ID = :StationID AND "
    "(TF_SITESENSORS.ENABLED = 'Y')";

// Station identifiers and station sensor names are upper-cased (UpperCaseName)
// when listed and when written.

/// Appends the identifiers of the enabled stations, upper-cased, in the order
/// the database gives them; a null identifier is left out. Throws DbError;
/// what was appended before the error stays in `stations`.
void ReadStations(Database& database, std::vector<std::string>& stations);

/// The enabled sensors of `stationId` (asked for in upper case), upper-cased,
/// in database order, nulls left out. Once the query is open `sensors` is
/// emptied and filled row by row; on DbError it keeps what it held when the
/// error came (the old content when the query did not open, else the names
/// read so far).
void ReadStationSensors(Database& database, std::string_view stationId, std::vector<std::string>& sensors);

/// A station sensor name as listed. `name` is its Windows-1252 text,
/// upper-cased. When the database's name holds characters that Windows-1252
/// cannot hold, `shown` is the database's own text (UTF-8), upper-cased, and
/// `name` has '?' in their places: such a sensor is listed as it is but
/// cannot be paired, since no import could write its name.
struct StationSensorName {
    std::string name;
    std::string shown;
    bool Pairable() const noexcept { return shown.empty(); }
    bool operator==(const StationSensorName&) const = default;
};

/// ReadStationSensors, keeping what each name is (same order, same rules).
void ReadStationSensorNames(Database& database, std::string_view stationId, std::vector<StationSensorName>& sensors);

/// A table an import needs that the connection cannot read, with the
/// driver's message.
struct UnreadableTable {
    std::string name;
    std::string error;
};

/// The tables of an import (TF_DATA1, TF_SITES, TF_SITESENSORS) that cannot be
/// read on `database`: missing, or not granted. One query each, reading no row.
std::vector<UnreadableTable> UnreadableTables(Database& database);

/// The message when a station sensor that cannot be paired is chosen or named.
std::string UnpairableSensorText(std::string_view stationId, std::string_view sensorName);

/// The status messages of a failed listing.
std::string StationListErrorText();
std::string SensorListErrorText(std::string_view stationId);

}  // namespace vireo
