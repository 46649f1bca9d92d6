#pragma once

#include "scan/TimeZone.h"
#include "settings/Params.h"
#include "status/UserDialogs.h"

namespace vireo::gui {

/// The log's time zone and the database's time base the settings name, into
/// `zones`; false, with the reason shown, when they name none.
bool SettingsZones(const AppSettings& settings, UserDialogs& dialogs, TimeZones& zones);

/// Asks for both zones, starting from the settings' (empty: "as written"),
/// and keeps them in `settings` when they name zones; a text that names none
/// is shown and nothing changes. False when cancelled or refused.
bool AskTimeZones(AppSettings& settings, UserDialogs& dialogs);

}  // namespace vireo::gui
