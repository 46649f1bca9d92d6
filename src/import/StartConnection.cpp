#include "import/StartConnection.h"

#include "settings/Encrypt.h"
#include "settings/Registry.h"

namespace vireo {

bool IsBlankConnectionText(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) > ' ') return false;
    }
    return true;
}

std::string NoDataSourceText(bool commandLine, std::string_view settingsPath, std::string_view registryPath) {
    std::string text = "No data source is configured: name one with ";
    if (commandLine) text += "--dsn NAME, with ";
    text += "DataSource= in the [DataBase] section of the settings file ";
    text += settingsPath;
    text += " (the window stores its last connection there), or with ODBC_Source= in the installation values ";
    text += registryPath;
    text += " (TARNFOLD_REGISTRY names another file)";
    return text;
}

bool ChooseStartConnection(const AppSettings& settings, StartConnection& chosen) {
    chosen = StartConnection{};
    if (IsBlankConnectionText(settings.FDataSource) && IsBlankConnectionText(settings.FUserName)) {
        chosen.fromInstallation = true;
        return ReadOdbcSettings(chosen.dataSource, chosen.userName, chosen.password, &chosen.installationError);
    }
    // Only one of the two blank: the attempt is made with what is there.
    chosen.dataSource = settings.FDataSource;
    chosen.userName = settings.FUserName;
    chosen.password = ClearFromSettings(settings.FPassword);
    return true;
}

std::string InstallationValuesErrorText() { return "Unable to connnect to database"; }

std::string ConnectFailureText(std::string_view alias, std::string_view reason) {
    std::string text = "Unable to connect to ";
    text += alias;
    if (!reason.empty()) {
        text += '\n';
        text += reason;
    }
    return text;
}

FreeShareShown FreeShareOf(const DataStoreUsage& usage) {
    if (!usage.known) return {FreeShareShown::State::Unknown, 0};
    return {FreeShareShown::State::Known, 100 - usage.usedPercent};
}

std::string FreeShareText(const FreeShareShown& shown) {
    return shown.state == FreeShareShown::State::Known ? std::to_string(shown.percent) : std::string("n/a");
}

}  // namespace vireo
