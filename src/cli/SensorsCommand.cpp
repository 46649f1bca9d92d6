// vireo-import sensors: the sensor names a log file holds, as the window lists
// them after "Read File for Sensors".

#include <iostream>
#include <string>

#include "cli/Cli.h"
#include "cli/LogFileArgument.h"
#include "logfile/SensorDiscovery.h"

namespace vireo::cli {
namespace {

constexpr const char* kName = "vireo-import sensors";

void PrintUsage(std::ostream& out) { out << "usage: " << kName << " LOGFILE\n"; }

void PrintHelp(std::ostream& out) {
    PrintUsage(out);
    out << "\n"
           "Reads the log file once and prints every distinct sensor name in it, one per\n"
           "line, sorted without regard to case. Comment lines are skipped; in a .PRN file\n"
           "a column heading line (\"DATE\" \"TIME\" ...) gives the names and ends the reading.\n";
}

int RunSensors(CommandContext& context) {
    std::string path;
    if (int status = TakeLogFileArgument(context, kName, PrintUsage, PrintHelp, path); status >= 0) return status;
    // A file that cannot be read throws LogFileError; the dispatcher prints its text.
    for (const std::string& name : ReadSensorNames(path, IsPrnFile(path))) context.out << name << '\n';
    return 0;
}

const Registrar reg{"sensors", "list the sensor names of a log file", &RunSensors};

}  // namespace
}  // namespace vireo::cli
