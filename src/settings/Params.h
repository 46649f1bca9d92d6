#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/ProfileFile.h"
#include "status/StatusSink.h"

namespace vireo {

/// The size limit of the data store in KiB (2 GiB) that the settings file
/// holds unless told otherwise, and that every write puts back.
inline constexpr std::int64_t kDefaultMaxDBFileSize = 2097152;

/// The utility's own settings, as held by the main window while it runs.
/// Every field starts at its default, so a settings file that cannot be read
/// still leaves usable values.
struct AppSettings {
    /// Data source (alias) name of the last successful connection.
    std::string FDataSource;
    /// Database user name.
    std::string FUserName;
    /// Password in its settings-file form (Base64 of the protected bytes),
    /// kept exactly as read or given.
    std::string FPassword;
    /// Size limit of the data store in KiB.
    std::int64_t FMaxDBFileSize = kDefaultMaxDBFileSize;
    /// Imports commit in batches instead of one statement at a time.
    bool FFastImport = false;
    /// Fast imports write each batch in sets where the database engine allows
    /// (SQLite, PostgreSQL); false: one statement a value, as before.
    bool FBulkImport = true;
    /// Imports leave rows whose ED_VALUE differs from their ORIG_VALUE.
    bool FKeepEdits = false;
    /// Folder of the log file last opened: where the Open Log File dialog
    /// starts. Empty: the folder the program was started from.
    std::string FLastLogFolder;
};

/// Section and value names of the settings file.
inline constexpr std::string_view kDataBaseSection = "DataBase";
inline constexpr std::string_view kApplicationSection = "Application";
inline constexpr std::string_view kDataSourceName = "DataSource";
inline constexpr std::string_view kUserNameName = "UserName";
inline constexpr std::string_view kPasswordName = "Password";
inline constexpr std::string_view kMaxDBFileSizeName = "MaxDBFileSize";
inline constexpr std::string_view kFastImportName = "FastImport";
inline constexpr std::string_view kBulkImportName = "BulkImport";
inline constexpr std::string_view kKeepEditsName = "KeepEdits";
inline constexpr std::string_view kLastLogFolderName = "LastLogFolder";

inline constexpr std::string_view kReadSettingsFailed = "Error 1002: Unable to read application settings";
inline constexpr std::string_view kSaveSettingsFailed = "Error 1003: Unable to save application settings";

/// Reads the four settings of an opened settings file into `values`, each with
/// its default. On failure reports "Error 1002: Unable to read application
/// settings" and returns false; the fields read so far keep their values.
bool ReadSettings(const ProfileFile& settings, AppSettings& values, StatusSink& sink);

/// What the main window does at creation: loads the settings file `path` into
/// `settings` and reads it. A file that exists but cannot be read (a folder,
/// no text, no permission) leaves `settings` empty but bound to `path` and
/// `values` at their defaults, reports "Error 1002: Unable to read application
/// settings" once and returns false; the caller goes on either way.
bool LoadSettings(const std::string& path, ProfileFile& settings, AppSettings& values, StatusSink& sink);

/// Puts the settings into `settings` ("MaxDBFileSize" always 2097152, then
/// "DataSource", "UserName" and "Password" as held) and saves it to disk.
/// On failure reports "Error 1003: Unable to save application settings" and
/// returns false; the file on disk keeps its old content.
bool WriteSettings(ProfileFile& settings, const AppSettings& values, StatusSink& sink);

/// The settings file beside the executable: its path with the extension ".VFG".
std::string SettingsPathFor(const std::string& executablePath);

/// The help file beside the executable: its path with the extension
/// `extension` (such as ".CHM" or ".html").
std::string HelpPathFor(const std::string& executablePath, std::string_view extension);

/// The path of the running executable (/proc/self/exe); empty when the system
/// does not tell.
std::string ExecutablePath();

}  // namespace vireo
