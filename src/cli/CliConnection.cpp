#include "cli/CliConnection.h"

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>

#include "db/DbError.h"
#include "db/TextEncoding.h"
#include "import/StartConnection.h"
#include "settings/Encrypt.h"
#include "settings/Registry.h"
#include "status/StatusMessages.h"

namespace vireo::cli {

const char* const kConnectionUsage = "[--dsn NAME] [--user USER] [--password-env VAR]";
const char* const kConnectionHelp =
    "  --dsn NAME           ODBC data source; without it the connection of the window's\n"
    "                       settings file is used (VireoImport.VFG beside the programs,\n"
    "                       else ~/.config/VireoImport/VireoImport.VFG), else the\n"
    "                       installation's default connection\n"
    "  --user USER          database user name\n"
    "  --password-env VAR   take the password from the environment variable VAR\n";

void AddConnectionOptions(CliOptions& options) { options.Value("--dsn").Value("--user").Value("--password-env"); }

std::string WindowSettingsPath() {
    std::filesystem::path exe = ExecutablePath();
    return SettingsFileFor((exe.parent_path() / "VireoImport.VFG").string());
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
    } else {
        StartConnection chosen;
        if (!ChooseStartConnection(connection->settings, chosen)) {
            err << InstallationValuesErrorText() << "\n" << chosen.installationError << "\n";
            return nullptr;
        }
        if (IsBlankConnectionText(chosen.dataSource)) {
            err << NoDataSourceText(true, settingsPath, RegistryPath()) << "\n";
            return nullptr;
        }
        connection->alias = chosen.dataSource;
        user = chosen.userName;
        password = chosen.password;
    }
    if (options.Has("--user")) user = options.Get("--user");
    if (options.Has("--password-env")) {
        // The terminal's text is UTF-8; the program's passwords are
        // Windows-1252 bytes, as the stored forms hold them.
        const std::string variable = options.Get("--password-env");
        const char* value = std::getenv(variable.c_str());
        const std::optional<std::string> converted = Utf8ToWindows1252Exact(value != nullptr ? value : "");
        if (!converted) {
            err << "The password in " << variable << " holds a character that Windows-1252 cannot hold\n";
            return nullptr;
        }
        password = *converted;
    }

    try {
        connection->session = std::make_unique<Session>();
        connection->session->Open();
        connection->database = std::make_unique<Database>(*connection->session);
        connection->database->SetDatabaseName(connection->alias);
        connection->database->AddParam("USER NAME=" + user);
        connection->database->AddParam("PASSWORD=" + password);
        connection->database->Open();
    } catch (const std::exception& error) {
        err << ConnectFailureText(connection->alias, error.what()) << "\n";
        return nullptr;
    }
    return connection;
}

}  // namespace vireo::cli
