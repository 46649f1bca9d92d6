#include "import/ImportSettingsFile.h"

#include <exception>

#include "app/ProfileFile.h"
#include "scan/PScan.h"

namespace vireo {
namespace {

constexpr const char* kSection = "Import";
constexpr const char* kKey = "Sensors";

}  // namespace

bool SaveImportSettings(const std::string& fileName, const std::vector<std::string>& entries, StatusSink& sink) {
    try {
        // Every entry is appended as one "%P" field: a ',' goes in front of
        // every field but the first, and nothing is quoted.
        std::string value;
        std::string copy;
        for (const std::string& entry : entries) AppendPattern(value, "%P", {std::string_view(entry)}, copy);
        ProfileFile file;
        file.SetPath(fileName);
        file.WriteString(kSection, kKey, value);
        file.Save();
        return true;
    } catch (const std::exception&) {
        sink.AddStatusMessage("Error 101: Unable to save file " + fileName);
        return false;
    }
}

bool LoadImportSettings(const std::string& fileName, std::vector<std::string>& entries, StatusSink& sink,
                        const std::function<void()>& processEvents) {
    try {
        ProfileFile file;
        file.Load(fileName);
        const std::string value = file.ReadString(kSection, kKey, "");
        entries.clear();
        std::size_t position = 1;
        std::string field;
        while (position <= value.size()) {
            if (processEvents) processEvents();
            field.clear();
            const std::size_t before = position;
            ScanFrom(value, position, "%P", {&field});
            // A carriage return inside the value is a line end, which ends every
            // field: the list ends there instead of growing empty entries for ever.
            if (position == before) break;
            entries.push_back(field);
        }
        return true;
    } catch (const std::exception&) {
        sink.AddStatusMessage("Error 101: Unable to read file " + fileName);
        return false;
    }
}

}  // namespace vireo
