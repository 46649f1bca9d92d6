#include "settings/Params.h"

#include <unistd.h>

#include <exception>
#include <vector>

namespace vireo {

bool ReadSettings(const ProfileFile& settings, AppSettings& values, StatusSink& sink) {
    try {
        values.FDataSource = settings.ReadString(kDataBaseSection, kDataSourceName, "");
        values.FUserName = settings.ReadString(kDataBaseSection, kUserNameName, "");
        values.FPassword = settings.ReadString(kDataBaseSection, kPasswordName, "");
        values.FMaxDBFileSize = settings.ReadInteger(kApplicationSection, kMaxDBFileSizeName, kDefaultMaxDBFileSize);
        values.FFastImport = settings.ReadBool(kApplicationSection, kFastImportName, false);
        values.FBulkImport = settings.ReadBool(kApplicationSection, kBulkImportName, true);
        values.FKeepEdits = settings.ReadBool(kApplicationSection, kKeepEditsName, false);
        values.FLastLogFolder = settings.ReadString(kApplicationSection, kLastLogFolderName, "");
        return true;
    } catch (const std::exception&) {
        sink.AddStatusMessage(std::string(kReadSettingsFailed));
        return false;
    }
}

bool LoadSettings(const std::string& path, ProfileFile& settings, AppSettings& values, StatusSink& sink) {
    try {
        settings.Load(path);
    } catch (const std::exception&) {
        // The window still comes up: with the defaults, and the file is
        // written afresh when it closes.
        values = AppSettings{};
        sink.AddStatusMessage(std::string(kReadSettingsFailed));
        return false;
    }
    return ReadSettings(settings, values, sink);
}

bool WriteSettings(ProfileFile& settings, const AppSettings& values, StatusSink& sink) {
    try {
        settings.WriteInteger(kApplicationSection, kMaxDBFileSizeName, kDefaultMaxDBFileSize);
        settings.WriteString(kDataBaseSection, kDataSourceName, values.FDataSource);
        settings.WriteString(kDataBaseSection, kUserNameName, values.FUserName);
        settings.WriteString(kDataBaseSection, kPasswordName, values.FPassword);
        // Written once fast imports have been chosen, so the file of a user
        // who never did keeps exactly its four values.
        if (values.FFastImport || settings.ValueExists(kApplicationSection, kFastImportName))
            settings.WriteBool(kApplicationSection, kFastImportName, values.FFastImport);
        // Likewise once bulk writing has been switched off.
        if (!values.FBulkImport || settings.ValueExists(kApplicationSection, kBulkImportName))
            settings.WriteBool(kApplicationSection, kBulkImportName, values.FBulkImport);
        if (values.FKeepEdits || settings.ValueExists(kApplicationSection, kKeepEditsName))
            settings.WriteBool(kApplicationSection, kKeepEditsName, values.FKeepEdits);
        // Likewise once a log file has been opened.
        if (!values.FLastLogFolder.empty() || settings.ValueExists(kApplicationSection, kLastLogFolderName))
            settings.WriteString(kApplicationSection, kLastLogFolderName, values.FLastLogFolder);
        settings.Save();
        return true;
    } catch (const std::exception&) {
        sink.AddStatusMessage(std::string(kSaveSettingsFailed));
        return false;
    }
}

namespace {

/// `path` with its extension (the text after the last '.' of the file name,
/// if any) replaced by `extension`, which begins with '.'.
std::string ChangeFileExtension(const std::string& path, std::string_view extension) {
    const std::size_t nameStart = path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1;
    const std::size_t dot = path.find_last_of('.');
    const std::size_t stem = (dot != std::string::npos && dot > nameStart) ? dot : path.size();
    return path.substr(0, stem) + std::string(extension);
}

}  // namespace

std::string SettingsPathFor(const std::string& executablePath) { return ChangeFileExtension(executablePath, ".VFG"); }

std::string HelpPathFor(const std::string& executablePath, std::string_view extension) {
    return ChangeFileExtension(executablePath, extension);
}

std::string ExecutablePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return std::string();
        if (static_cast<std::size_t>(length) < buffer.size()) return std::string(buffer.data(), buffer.data() + length);
        buffer.resize(buffer.size() * 2);  // the path may have been cut: try a larger buffer
    }
}

}  // namespace vireo
