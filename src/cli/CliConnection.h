#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "cli/CliOptions.h"
#include "db/Database.h"
#include "db/Session.h"
#include "settings/Params.h"
#include "settings/ProfileFile.h"

namespace vireo::cli {

/// The connection options every database subcommand takes.
void AddConnectionOptions(CliOptions& options);
extern const char* const kConnectionUsage;
extern const char* const kConnectionHelp;

/// The window's settings file: beside the executables, or the per-user one
/// (SettingsFileFor).
std::string WindowSettingsPath();

/// One open connection, found the way the window finds it at start: the
/// options, else the window's settings file, else the installation's values.
struct CliConnection {
    AppSettings settings;
    std::string alias;
    std::unique_ptr<Session> session;
    std::unique_ptr<Database> database;
};

/// False, with the reason on `err`, when --password-env names a variable that
/// is not set: a run must not go on with an empty password nobody chose.
bool CheckPasswordVariable(const CliOptions& options, std::ostream& err);

/// Opens the connection; on failure prints the reason to `err` ("Unable to
/// connect to " + alias, then the driver's own words) and returns nothing.
std::unique_ptr<CliConnection> OpenCliConnection(const CliOptions& options, std::ostream& err);

}  // namespace vireo::cli
