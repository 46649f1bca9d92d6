#include "settings/Params.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <utility>
#include <vector>

#include "Version.h"

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
        values.FLogTimeZone = settings.ReadString(kApplicationSection, kLogTimeZoneName, "");
        values.FDatabaseTimeZone = settings.ReadString(kApplicationSection, kDatabaseTimeZoneName, "");
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
        // Likewise once a time zone has been chosen.
        for (const auto& [name, zone] : {std::pair{kLogTimeZoneName, &values.FLogTimeZone},
                                         std::pair{kDatabaseTimeZoneName, &values.FDatabaseTimeZone}}) {
            if (!zone->empty() || settings.ValueExists(kApplicationSection, name))
                settings.WriteString(kApplicationSection, name, *zone);
        }
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

std::string ChooseSettingsPath(const std::string& besideProgram, bool besideExists, bool folderWritable,
                               const std::string& configHome) {
    if (besideExists || folderWritable || configHome.empty()) return besideProgram;
    return configHome + "/VireoImport/VireoImport.VFG";
}

std::string UserConfigHome() {
    const char* configured = std::getenv("XDG_CONFIG_HOME");
    if (configured != nullptr && configured[0] == '/') return configured;
    const char* home = std::getenv("HOME");
    std::string folder = home != nullptr ? home : "";
    if (folder.empty()) {
        if (const passwd* entry = ::getpwuid(::geteuid()); entry != nullptr && entry->pw_dir != nullptr)
            folder = entry->pw_dir;
    }
    if (folder.empty()) return folder;
    return folder + "/.config";
}

namespace {

std::filesystem::path FolderOf(const std::string& path) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

bool IsFolder(const std::filesystem::path& path) {
    std::error_code ignored;
    return std::filesystem::is_directory(path, ignored);
}

}  // namespace

std::string SettingsFileFor(const std::string& besideProgram) {
    std::error_code ignored;
    const bool exists = std::filesystem::exists(besideProgram, ignored);
    const std::filesystem::path folder = FolderOf(besideProgram);
    const bool installed = IsFolder(folder / VIREO_DATA_FROM_PROGRAM);
    const bool writable = !installed && ::access(folder.c_str(), W_OK) == 0;
    return ChooseSettingsPath(besideProgram, exists, writable, UserConfigHome());
}

bool MakeSettingsFolder(const std::string& path) {
    const std::filesystem::path folder = FolderOf(path);
    if (IsFolder(folder)) return true;
    std::filesystem::path made;
    for (const std::filesystem::path& part : folder) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return IsFolder(folder);
}

std::string ProgramDataFile(const std::string& executablePath, const std::string& name) {
    const std::filesystem::path folder = FolderOf(executablePath);
    const std::filesystem::path installed = (folder / VIREO_DATA_FROM_PROGRAM / name).lexically_normal();
    std::error_code ignored;
    if (!std::filesystem::exists(folder / name, ignored) && std::filesystem::exists(installed, ignored))
        return installed.string();
    return (folder / name).string();
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
