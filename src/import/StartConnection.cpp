#include "import/StartConnection.h"

#include "settings/Encrypt.h"
#include "settings/Registry.h"

namespace vireo {
namespace {

/// True when nothing is left of `text` once blanks, tabs and other control
/// characters are cut off.
bool IsBlankConnectionText(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) > ' ') return false;
    }
    return true;
}

}  // namespace

bool ChooseStartConnection(const AppSettings& settings, StartConnection& chosen) {
    chosen = StartConnection{};
    if (IsBlankConnectionText(settings.FDataSource) && IsBlankConnectionText(settings.FUserName)) {
        chosen.fromInstallation = true;
        return ReadOdbcSettings(chosen.dataSource, chosen.userName, chosen.password);
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
