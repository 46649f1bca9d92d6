#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace vireo::cli {

/// What a subcommand gets: its own arguments (without the program and
/// subcommand names) and the three streams.
struct CommandContext {
    std::vector<std::string> args;
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
};

using CommandFunction = std::function<int(CommandContext&)>;

struct Command {
    std::string name;
    std::string summary;  // one line for the overall --help
    CommandFunction run;
};

/// Subcommands register themselves at static initialisation:
///   static const vireo::cli::Registrar reg{"sensors", "list the sensor names of a log file", &RunSensors};
struct Registrar {
    Registrar(std::string name, std::string summary, CommandFunction run);
};

/// Runs `vireo-import` with argv[1..] as `args`. Exit status: 0 done, 1 an error
/// ended the work, 2 bad arguments or a failed check, 3 an import ended with
/// values not written, 128 + the signal for an import stopped by one.
int RunCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace vireo::cli
