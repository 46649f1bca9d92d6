#pragma once

#include <string>
#include <string_view>

namespace vireo {

/// One import entry: log sensor name + "||" + station identifier + "." +
/// station sensor name, nothing added and no case changed.
std::string MakeImportEntry(std::string_view logSensor, std::string_view stationId, std::string_view sensorName);

struct ImportEntryParts {
    std::string logSensor;   // every character before the first '|'
    std::string stationId;   // after "||" up to the first '.' that follows
    std::string sensorName;  // the rest of the line
    bool matched = false;    // the entry had the full "a||b.c" shape
};

/// Splits an entry the way it is read back everywhere.
ImportEntryParts SplitImportEntry(std::string_view entry);

/// True when `entry` is an import entry as the window makes it: split as
/// SplitImportEntry splits it, with no part empty, no part beginning with a
/// blank (what a blank after a comma of a hand-written list gives) and nothing
/// around the parts, so that MakeImportEntry of the parts gives it back.
bool IsImportEntry(std::string_view entry);

/// "ENTRY: not an import entry (LOG||STATION.SENSOR)".
std::string NotAnImportEntryText(std::string_view entry);

/// True when a hand-typed log sensor name is blank once leading and trailing
/// blanks and control characters are cut off ("Sensor name is blank!").
bool IsBlankSensorName(std::string_view name);

}  // namespace vireo
