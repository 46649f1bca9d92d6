#include "import/ImportList.h"

#include "scan/PScan.h"

namespace vireo {

std::string MakeImportEntry(std::string_view logSensor, std::string_view stationId, std::string_view sensorName) {
    return FormatPattern("%p||%s.%p", {logSensor, stationId, sensorName});
}

ImportEntryParts SplitImportEntry(std::string_view entry) {
    ImportEntryParts parts;
    parts.matched = Scan(entry, "%s||%s.%s", {&parts.logSensor, &parts.stationId, &parts.sensorName});
    return parts;
}

bool IsImportEntry(std::string_view entry) {
    const ImportEntryParts parts = SplitImportEntry(entry);
    if (!parts.matched) return false;
    for (const std::string* part : {&parts.logSensor, &parts.stationId, &parts.sensorName}) {
        if (part->empty() || part->front() == ' ') return false;
    }
    return MakeImportEntry(parts.logSensor, parts.stationId, parts.sensorName) == entry;
}

std::string NotAnImportEntryText(std::string_view entry) {
    return std::string(entry) + ": not an import entry (LOG||STATION.SENSOR)";
}

bool IsBlankSensorName(std::string_view name) {
    for (char c : name) {
        if (static_cast<unsigned char>(c) > ' ') return false;
    }
    return true;
}

}  // namespace vireo
