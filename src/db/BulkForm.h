#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/DbError.h"
#include "db/DirectWriter.h"
#include "db/TimeTagKey.h"
#include "scan/Chronos.h"

namespace vireo {

// The form in which the bulk paths write a value: the data writer's, byte for
// byte, so that rows written by any path are found and updated by the others.

/// The station or sensor as written: upper case, and converted to the
/// server's UTF-8 when it speaks that.
std::string NameAsWritten(std::string_view name, DriverText text);

/// The source mark as written: as given, "T" when empty.
std::string SourceAsWritten(std::string_view source, DriverText text);

/// One station sensor of a batch: its names as the pairing spells them (the
/// spelling met last) and as written. The writers' groups derive from it.
struct StationSensor {
    std::string_view pairedStation;
    std::string_view pairedSensor;
    std::string station;
    std::string sensor;

    bool Holds(const BulkValue& value) const { return value.station == pairedStation && value.sensor == pairedSensor; }
};

/// The group of `value` among `groups`, looked for first at `hint` (the
/// group of the value before): its index, and whether it was added for this
/// value. Two spellings of one station sensor ("st01" and "ST01") are one group.
template <class Group>
std::pair<std::size_t, bool> GroupOf(std::vector<Group>& groups, std::size_t hint, const BulkValue& value,
                                     DriverText text) {
    if (hint < groups.size() && groups[hint].Holds(value)) return {hint, false};
    for (std::size_t g = 0; g < groups.size(); ++g) {
        if (groups[g].Holds(value)) return {g, false};
    }
    std::string station = NameAsWritten(value.station, text);
    std::string sensor = NameAsWritten(value.sensor, text);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        if (groups[g].station == station && groups[g].sensor == sensor) {
            groups[g].pairedStation = value.station;  // the spelling met last is looked for first
            groups[g].pairedSensor = value.sensor;
            return {g, false};
        }
    }
    Group& group = groups.emplace_back();
    group.pairedStation = value.station;
    group.pairedSensor = value.sensor;
    group.station = std::move(station);
    group.sensor = std::move(sensor);
    return {groups.size() - 1, true};
}

/// The columns of TF_DATA1 in the order the sets give them.
inline constexpr const char* kBulkColumns = "STATION_ID,SENSORNAME,TIME_TAG,SOURCE,ORIG_VALUE,ED_VALUE";
/// The update of an existing row is the data writer's: every column but ORIG_VALUE.
inline constexpr const char* kBulkOnConflict =
    " ON CONFLICT (STATION_ID,SENSORNAME,TIME_TAG) DO UPDATE SET STATION_ID=excluded.STATION_ID,"
    "SENSORNAME=excluded.SENSORNAME,TIME_TAG=excluded.TIME_TAG,SOURCE=excluded.SOURCE,ED_VALUE=excluded.ED_VALUE";

}  // namespace vireo
