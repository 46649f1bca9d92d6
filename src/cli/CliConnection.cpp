#include "cli/CliConnection.h"

#include <cstdlib>
#include <exception>
#include <filesystem>

#include "app/Encrypt.h"
#include "app/Registry.h"
#include "app/StatusMessages.h"
#include "db/DbError.h"

namespace vireo::cli {
namespace {

bool IsBlank(const std::string& text) { return text.find_first_not_of(' ') == std::string::npos; }

}  // namespace

const char* const kConnectionUsage = "[--dsn NAME] [--user USER] [--password-env VAR]";
const char* const kConnectionHelp =
    "  --dsn NAME           ODBC data source; without it the connection of the window's\n"
    "                       settings file (VireoImport.VFG beside the programs) is used,\n"
    "                       else the installation's default connection\n"
    "  --user USER          database user name\n"
    "  --password-env VAR   take the password from the environment variable VAR\n";

void AddConnectionOptions(CliOptions& options) { options.Value("--dsn").Value("--user").Value("--password-env"); }

std::string WindowSettingsPath() {
    std::filesystem::path exe = ExecutablePath();
    return (exe.parent_path() / "VireoImport.VFG").string();
}

bool CheckPasswordVariable(const CliOptions& options, std::ostream& err) {
    if (!options.Has("--password-env") || std::getenv(options.Get("--password-env").c_str()) != nullptr) return true;
    err << "The environment variable " << options.Get("--password-env") << " named by --password-env is not set\n";
    return false;
}

std::unique_ptr<CliConnection> OpenCliConnection(const CliOptions& options, std::ostream& err) {
    auto connection = std::make_unique<CliConnection>();
    StatusMessenger settingsSink([&err](const std::string& line) { err << line << '\n'; });
    const std::string settingsPath = WindowSettingsPath();
    if (std::filesystem::exists(settingsPath)) {
        ProfileFile file;
        LoadSettings(settingsPath, file, connection->settings, settingsSink);
    }

    std::string user;
    std::string password;
    if (options.Has("--dsn")) {
        connection->alias = options.Get("--dsn");
    } else if (IsBlank(connection->settings.FDataSource) && IsBlank(connection->settings.FUserName)) {
        if (!ReadOdbcSettings(connection->alias, user, password)) {
            err << "Unable to connnect to database\n";
            return nullptr;
        }
    } else {
        connection->alias = connection->settings.FDataSource;
        user = connection->settings.FUserName;
        password = ClearFromSettings(connection->settings.FPassword);
    }
    if (options.Has("--user")) user = options.Get("--user");
    if (options.Has("--password-env")) {
        const char* value = std::getenv(options.Get("--password-env").c_str());
        password = value != nullptr ? value : "";
    }

    try {
        connection->session = std::make_unique<Session>("VireoImport");
        connection->session->Open();
        connection->database = std::make_unique<Database>(*connection->session);
        connection->database->SetDatabaseName(connection->alias);
        connection->database->AddParam("USER NAME=" + user);
        connection->database->AddParam("PASSWORD=" + password);
        connection->database->Open();
    } catch (const std::exception& error) {
        err << "Unable to connect to " << connection->alias << "\n" << error.what() << "\n";
        return nullptr;
    }
    return connection;
}

}  // namespace vireo::cli
