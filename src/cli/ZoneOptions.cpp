#include "cli/ZoneOptions.h"

namespace vireo::cli {

const char* const kZoneHelp =
    "  --log-time-zone ZONE the time zone of the log's clock: a name of the system's\n"
    "                       time zone database (Europe/Berlin), a fixed offset\n"
    "                       (UTC-05:00, UTC+01:00) or \"as written\" (the default)\n"
    "  --db-time-zone ZONE  the database's time base, the same way (UTC)\n"
    "\n"
    "With both zones every time tag is stored in the database's base. The hour a\n"
    "clock repeats when daylight saving time ends is read in the log's order: the\n"
    "time tags step back by the shift, and from there on they are the second pass,\n"
    "stored an hour later. A step back anywhere else (a clock set by hand) is\n"
    "taken as written. A time the clock never shows when daylight saving time\n"
    "begins is not imported: \"time that does not exist in ZONE\". For\n"
    "Europe/Berlin into UTC in 2024: on 31 March 02:00-02:59 does not exist\n"
    "(01:59 is 00:59 UTC, 03:00 is 01:00 UTC); on 27 October 02:00-02:59 comes\n"
    "twice: the first pass is 00:00-00:59 UTC, the second 01:00-01:59 UTC.\n";

void AddZoneOptions(CliOptions& options) { options.Value("--log-time-zone").Value("--db-time-zone"); }

namespace {

std::optional<TimeZones> ZonesOfTexts(const std::string& log, const std::string& database, std::string_view command,
                                      std::ostream& err) {
    std::string error;
    std::optional<TimeZones> zones = ParseTimeZones(log, database, error);
    if (!zones) err << command << ": " << error << '\n';
    return zones;
}

}  // namespace

std::optional<TimeZones> ZonesOf(const CliOptions& options, const AppSettings* settings, std::string_view command,
                                 std::ostream& err) {
    const std::string log = options.Get("--log-time-zone", settings ? settings->FLogTimeZone : "");
    const std::string database = options.Get("--db-time-zone", settings ? settings->FDatabaseTimeZone : "");
    return ZonesOfTexts(log, database, command, err);
}

bool CheckZoneOptions(const CliOptions& options, std::string_view command, std::ostream& err) {
    for (const char* name : {"--log-time-zone", "--db-time-zone"}) {
        std::string error;
        if (options.Has(name) && !ParseTimeZone(options.Get(name), error)) {
            err << command << ": " << error << '\n';
            return false;
        }
    }
    return true;
}

std::optional<TimeZones> TakeZoneOptions(std::vector<std::string>& args, std::string_view command, std::ostream& err) {
    std::string texts[2];
    const char* names[2] = {"--log-time-zone", "--db-time-zone"};
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        bool taken = false;
        for (int n = 0; n < 2 && !taken; ++n) {
            const std::string name = names[n];
            if (args[i] == name && i + 1 < args.size()) {
                texts[n] = args[++i];
                taken = true;
            } else if (args[i].starts_with(name + "=")) {
                texts[n] = args[i].substr(name.size() + 1);
                taken = true;
            }
        }
        if (!taken) rest.push_back(args[i]);
    }
    args = std::move(rest);
    return ZonesOfTexts(texts[0], texts[1], command, err);
}

}  // namespace vireo::cli
