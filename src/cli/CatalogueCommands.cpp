// vireo-import stations / station-sensors: the catalogue of the connected
// data source, as the window's station list and sensor list show it.

#include <algorithm>
#include <iostream>

#include "cli/Cli.h"
#include "cli/CliConnection.h"
#include "db/Catalogue.h"

namespace vireo::cli {
namespace {

int Usage(std::ostream& out, const char* command, const char* positional) {
    out << "usage: vireo-import " << command << positional << " " << kConnectionUsage << "\n";
    return 2;
}

/// Parses the options; -1 when the command goes on, else its exit status.
int ParseCatalogueOptions(CommandContext& context, const char* command, const char* positional, std::size_t positionals,
                          const char* help, CliOptions& options) {
    AddConnectionOptions(options);
    options.Flag("--help").Flag("-h");
    std::string error;
    if (!options.Parse(context.args, error)) {
        context.err << "vireo-import " << command << ": " << error << "\n";
        return Usage(context.err, command, positional);
    }
    if (options.Has("--help") || options.Has("-h")) {
        Usage(context.out, command, positional);
        context.out << "\n" << help << "\n\n" << kConnectionHelp;
        return 0;
    }
    if (options.Positional().size() != positionals) return Usage(context.err, command, positional);
    return -1;
}

int RunStations(CommandContext& context) {
    CliOptions options;
    if (int status = ParseCatalogueOptions(
            context, "stations", "", 0, "Lists the enabled stations of the database, upper-cased, in database order.",
            options);
        status >= 0)
        return status;
    if (!CheckPasswordVariable(options, context.err)) return 2;
    auto connection = OpenCliConnection(options, context.err);
    if (!connection) return 1;
    std::vector<std::string> stations;
    try {
        ReadStations(*connection->database, stations);
    } catch (const std::exception& error) {
        for (const auto& station : stations) context.out << station << '\n';
        context.err << StationListErrorText() << "\n" << error.what() << "\n";
        return 1;
    }
    for (const auto& station : stations) context.out << station << '\n';
    return 0;
}

int RunStationSensors(CommandContext& context) {
    CliOptions options;
    if (int status =
            ParseCatalogueOptions(context, "station-sensors", " STATION", 1,
                                  "Lists the enabled sensors of STATION, upper-cased, in database order.", options);
        status >= 0)
        return status;
    if (!CheckPasswordVariable(options, context.err)) return 2;
    auto connection = OpenCliConnection(options, context.err);
    if (!connection) return 1;
    const std::string& station = options.Positional().front();
    std::vector<std::string> sensors;
    try {
        // An unknown station would list nothing, as a station without sensors does.
        std::vector<std::string> stations;
        ReadStations(*connection->database, stations);
        if (std::find(stations.begin(), stations.end(), UpperCaseName(station)) == stations.end()) {
            context.err << "vireo-import station-sensors: station " << station
                        << " is not an enabled station of the database\n";
            return 2;
        }
        ReadStationSensors(*connection->database, station, sensors);
    } catch (const std::exception& error) {
        for (const auto& sensor : sensors) context.out << sensor << '\n';
        context.err << SensorListErrorText(station) << "\n" << error.what() << "\n";
        return 1;
    }
    for (const auto& sensor : sensors) context.out << sensor << '\n';
    return 0;
}

const Registrar stations{"stations", "list the enabled stations of the database", &RunStations};
const Registrar stationSensors{"station-sensors", "list the enabled sensors of one station", &RunStationSensors};

}  // namespace
}  // namespace vireo::cli
