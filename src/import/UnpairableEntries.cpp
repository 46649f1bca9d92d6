#include "import/UnpairableEntries.h"

#include <map>

#include "db/Catalogue.h"

namespace vireo {

std::optional<ImportEntryParts> FindUnpairableEntry(Database& database, const std::vector<std::string>& importList) {
    std::map<std::string, std::vector<StationSensorName>> catalogue;  // by upper-cased station
    for (const std::string& entry : importList) {
        ImportEntryParts parts = SplitImportEntry(entry);
        if (parts.sensorName.find('?') == std::string::npos) continue;
        const std::string station = UpperCaseName(parts.stationId);
        auto found = catalogue.find(station);
        if (found == catalogue.end()) {
            std::vector<StationSensorName> sensors;
            try {
                ReadStationSensorNames(database, station, sensors);
            } catch (const std::exception&) {
                sensors.clear();
            }
            found = catalogue.emplace(station, std::move(sensors)).first;
        }
        const std::string sensor = UpperCaseName(parts.sensorName);
        for (const StationSensorName& listed : found->second) {
            if (!listed.Pairable() && listed.name == sensor) return parts;
        }
    }
    return std::nullopt;
}

}  // namespace vireo
