#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/Cli.h"

namespace vireo::cli {

/// The one argument of the commands that read a log file: LOGFILE, or --help.
/// Returns -1 with `path` set when the command goes on, else the exit status:
/// 0 after the help, 2 for bad arguments (with the usage) or a log file that
/// cannot be read (CheckLogFile).
int TakeLogFileArgument(CommandContext& context, const char* commandName,
                        const std::function<void(std::ostream&)>& printUsage,
                        const std::function<void(std::ostream&)>& printHelp, std::string& path);

/// Why `path` cannot be read as a log file ("no such file", "a folder, not a
/// file", "no permission to read it", or the system's message), empty when it
/// can.
std::string LogFileProblem(const std::string& path);

/// False, with "Error 106: Please enter a file name" and a second line
/// "COMMAND: PATH: REASON" on `err`, when `path` cannot be read as a log file.
bool CheckLogFile(const std::string& path, std::string_view commandName, std::ostream& err);

}  // namespace vireo::cli
