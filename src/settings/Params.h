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
    /// The log's time zone and the database's time base, as their options
    /// name them; empty: time tags are stored as the log writes them.
    std::string FLogTimeZone;
    std::string FDatabaseTimeZone;
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
inline constexpr std::string_view kLogTimeZoneName = "LogTimeZone";
inline constexpr std::string_view kDatabaseTimeZoneName = "DatabaseTimeZone";

inline constexpr std::string_view kReadSettingsFailed = "Error 1002: Unable to read application settings";
inline constexpr std::string_view kSaveSettingsFailed = "Error 1003: Unable to save application settings";

/// Reads every setting of an opened settings file into `values`, each with
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

/// Where the settings file is read and written. The file beside the program
/// (`besideProgram`, see SettingsPathFor) stays the choice when it exists or
/// when the program's folder may be written; otherwise the per-user file
/// VireoImport/VireoImport.VFG under `configHome`. Without a `configHome` the
/// file beside the program it is.
std::string ChooseSettingsPath(const std::string& besideProgram, bool besideExists, bool folderWritable,
                               const std::string& configHome);

/// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute
/// path, else $HOME/.config (the home of the password database when HOME is
/// not set); empty when no home is known.
std::string UserConfigHome();

/// ChooseSettingsPath for the file beside a program on this system: that file
/// exists, or the program's folder may be written by this user (access()) and
/// is not the folder of an installed tree (one with its data folder, see
/// ProgramDataFile, beside it: that folder belongs to the package manager or
/// the administrator, root included). Both front ends use it.
std::string SettingsFileFor(const std::string& besideProgram);

/// Creates the missing folders of the settings file `path`, each readable by
/// its owner only (0700). False when one cannot be created.
bool MakeSettingsFolder(const std::string& path);

/// A file the program reads at run time (the help): `name` beside the program
/// (a build tree), else in the installed data folder (../share/vireoimport
/// from the program's folder) when it is there; else, found nowhere, the path
/// beside the program.
std::string ProgramDataFile(const std::string& executablePath, const std::string& name);

/// The path of the running executable (/proc/self/exe); empty when the system
/// does not tell.
std::string ExecutablePath();

}  // namespace vireo
