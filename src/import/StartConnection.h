#pragma once

#include <string>
#include <string_view>

#include "db/Capacity.h"
#include "import/ImportRun.h"
#include "settings/Params.h"

namespace vireo {

/// The connection a front end tries when it starts: the data source, the user
/// name and the clear password (Windows-1252 bytes).
struct StartConnection {
    std::string dataSource;
    std::string userName;
    std::string password;
    bool fromInstallation = false;  // the installation's default connection was taken
    /// Why the installation's values could not be read (the file, the line
    /// and what is wrong), when they could not.
    std::string installationError;
};

/// The stored connection of `settings` (the last successful one), unless its
/// data source and user name are both blank: then the installation's default
/// connection. False when the installation's values cannot be read.
bool ChooseStartConnection(const AppSettings& settings, StartConnection& chosen);

/// The message when the installation's connection values cannot be read.
std::string InstallationValuesErrorText();

/// True when nothing is left of a data source name once blanks, tabs and
/// other control characters are cut off: no data source is configured.
bool IsBlankConnectionText(std::string_view text);

/// The message when no data source is configured anywhere: where one may be
/// named (`--dsn` of the command line when `commandLine`, the settings file
/// `settingsPath`, the installation values `registryPath`).
std::string NoDataSourceText(bool commandLine, std::string_view settingsPath, std::string_view registryPath);

/// "Unable to connect to " + alias, and the driver's or system's reason on a
/// second line when there is one.
std::string ConnectFailureText(std::string_view alias, std::string_view reason);

/// What the front ends show of the data store's free share: the percent left
/// when the file's size is known, else unknown (a server database, a file that
/// cannot be opened).
FreeShareShown FreeShareOf(const DataStoreUsage& usage);
/// The display text of a free share: the percent, or "n/a" when unknown.
std::string FreeShareText(const FreeShareShown& shown);

}  // namespace vireo
