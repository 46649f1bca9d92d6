// Options > Time Zones: the log's time zone and the database's time base of
// the window's imports, kept in the settings file (LogTimeZone=,
// DatabaseTimeZone=).

#include "gui/MainTimeZones.h"

#include <optional>
#include <string>

#include "gui/Main.h"

namespace vireo::gui {

bool SettingsZones(const AppSettings& settings, UserDialogs& dialogs, TimeZones& zones) {
    std::string error;
    const std::optional<TimeZones> parsed = ParseTimeZones(settings.FLogTimeZone, settings.FDatabaseTimeZone, error);
    if (!parsed) {
        dialogs.ShowMessage(MessageKind::Error, error, MessageButtons::Ok);
        return false;
    }
    zones = *parsed;
    return true;
}

bool AskTimeZones(AppSettings& settings, UserDialogs& dialogs) {
    const auto shown = [](const std::string& zone) { return zone.empty() ? std::string(kAsWritten) : zone; };
    const std::optional<std::string> log = dialogs.AskText(
        "Time Zones", "The log's time zone (Europe/Berlin, UTC-05:00, or as written):", shown(settings.FLogTimeZone));
    if (!log) return false;
    const std::optional<std::string> database = dialogs.AskText(
        "Time Zones", "The database's time base (UTC, UTC+01:00, or as written):", shown(settings.FDatabaseTimeZone));
    if (!database) return false;
    std::string error;
    const std::optional<TimeZones> zones = ParseTimeZones(*log, *database, error);
    if (!zones) {
        dialogs.ShowMessage(MessageKind::Error, error, MessageButtons::Ok);
        return false;
    }
    settings.FLogTimeZone = zones->log.AsWritten() ? "" : zones->log.name;
    settings.FDatabaseTimeZone = zones->database.AsWritten() ? "" : zones->database.name;
    return true;
}

void TfrmMain::OptionsTimeZonesExecute() { AskTimeZones(FConnection, *FDialogs); }

}  // namespace vireo::gui
