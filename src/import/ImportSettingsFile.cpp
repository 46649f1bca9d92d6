#include "import/ImportSettingsFile.h"

#include <exception>
#include <optional>
#include <string_view>

#include "scan/PScan.h"
#include "settings/ProfileFile.h"

namespace vireo {
namespace {

constexpr const char* kSection = "Import";
constexpr const char* kKey = "Sensors";
/// What some editors put before the text of a file saved as UTF-8.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

/// Reads the settings file as ProfileFile::Load does (a missing file is
/// empty, a file holding a zero byte is no text), past a byte-order mark at
/// its start: the mark is no part of the first line.
void LoadSettingsFile(const std::string& fileName, ProfileFile& file) {
    file.SetPath(fileName);
    const std::string content = ReadWholeFile(fileName).value_or(std::string());
    if (content.find('\0') != std::string::npos)
        throw ProfileError("Unable to read " + fileName + ": not a text file (it holds a zero byte)");
    std::string_view text = content;
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    file.Parse(text);
}

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
        // An import list holds nothing secret: a new one is as the umask says.
        file.SetNewFile(NewFile::Shared);
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
        LoadSettingsFile(fileName, file);
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
