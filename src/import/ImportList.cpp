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

bool IsBlankSensorName(std::string_view name) {
    for (char c : name) {
        if (static_cast<unsigned char>(c) > ' ') return false;
    }
    return true;
}

}  // namespace vireo
