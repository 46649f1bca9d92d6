// vireo-import sensors: the sensor names a log file holds, as the window lists
// them after "Read File for Sensors".

#include <filesystem>
#include <iostream>
#include <string>

#include "cli/Cli.h"
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
    const auto& args = context.args;
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        PrintHelp(context.out);
        return 0;
    }
    if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) {
        if (args.empty()) {
            context.err << kName << ": no log file named\n";
        } else if (args.size() > 1) {
            context.err << kName << ": unexpected argument '" << args[1] << "'\n";
        } else {
            context.err << kName << ": unknown option '" << args[0] << "'\n";
        }
        PrintUsage(context.err);
        return 2;
    }
    const std::string& path = args[0];
    std::error_code ignored;
    if (path.empty() || std::filesystem::status(path, ignored).type() == std::filesystem::file_type::not_found) {
        context.err << "Error 106: Please enter a file name\n";
        return 2;
    }
    // A file that cannot be read throws LogFileError; the dispatcher prints its text.
    for (const std::string& name : ReadSensorNames(path, IsPrnFile(path))) context.out << name << '\n';
    return 0;
}

const Registrar reg{"sensors", "list the sensor names of a log file", &RunSensors};

}  // namespace
}  // namespace vireo::cli
