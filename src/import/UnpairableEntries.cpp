#include "import/UnpairableEntries.h"

#include <algorithm>
#include <map>

#include "db/Catalogue.h"

namespace vireo {

std::vector<RefusedEntry> RefusedImportEntries(Database& database, const std::vector<std::string>& importList) {
    std::vector<RefusedEntry> refused;
    std::vector<std::string> stations;
    bool stationsRead = false;
    std::map<std::string, std::vector<StationSensorName>> sensorsOf;  // by upper-cased station
    for (const std::string& entry : importList) {
        if (!IsImportEntry(entry)) {
            refused.push_back({entry, NotAnImportEntryText(entry)});
            continue;
        }
        const ImportEntryParts parts = SplitImportEntry(entry);
        if (!stationsRead) {
            ReadStations(database, stations);
            stationsRead = true;
        }
        const std::string station = UpperCaseName(parts.stationId);
        if (std::find(stations.begin(), stations.end(), station) == stations.end()) {
            refused.push_back(
                {entry, entry + ": station " + parts.stationId + " is not an enabled station of the database"});
            continue;
        }
        auto listed = sensorsOf.find(station);
        if (listed == sensorsOf.end()) {
            std::vector<StationSensorName> sensors;
            ReadStationSensorNames(database, station, sensors);
            listed = sensorsOf.emplace(station, std::move(sensors)).first;
        }
        const std::string sensor = UpperCaseName(parts.sensorName);
        const std::vector<StationSensorName>& names = listed->second;
        const auto named = [&](bool pairable) {
            return std::any_of(names.begin(), names.end(), [&](const StationSensorName& name) {
                return name.name == sensor && name.Pairable() == pairable;
            });
        };
        if (named(true)) continue;
        refused.push_back({entry, named(false) ? UnpairableSensorText(parts.stationId, parts.sensorName)
                                               : entry + ": sensor " + parts.sensorName +
                                                     " is not an enabled sensor of station " + parts.stationId});
    }
    return refused;
}

std::string RefusedEntriesText(const std::vector<RefusedEntry>& refused) {
    std::string text = "These import entries cannot be imported:";
    for (const RefusedEntry& entry : refused) text += "\n" + entry.text;
    return text;
}

}  // namespace vireo
