#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CliOptions.h"
#include "scan/TimeZone.h"
#include "settings/Params.h"

namespace vireo::cli {

/// The help of --log-time-zone and --db-time-zone, with the rule of the
/// repeated and the missing hour.
extern const char* const kZoneHelp;

/// Adds --log-time-zone ZONE and --db-time-zone ZONE.
void AddZoneOptions(CliOptions& options);

/// The zones the options name; an option not given takes the settings file's
/// value (LogTimeZone=, DatabaseTimeZone=) when there are settings. Nothing,
/// with the reason on `err`, when a text names no zone, or when only one of
/// the two is a zone (time tags are converted from one to the other).
std::optional<TimeZones> ZonesOf(const CliOptions& options, const AppSettings* settings, std::string_view command,
                                 std::ostream& err);

/// False, with the reason on `err`, when an option given names no zone: what
/// can be told before the settings are read.
bool CheckZoneOptions(const CliOptions& options, std::string_view command, std::ostream& err);

/// The same for a command without other options: takes the two options (and
/// their values) out of `args`.
std::optional<TimeZones> TakeZoneOptions(std::vector<std::string>& args, std::string_view command, std::ostream& err);

}  // namespace vireo::cli
