#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "cli/Cli.h"

namespace vireo::cli {

/// The one argument of the commands that read a log file: LOGFILE, or --help.
/// Returns -1 with `path` set when the command goes on, else the exit status:
/// 0 after the help, 2 for bad arguments (with the usage) or a file that does
/// not exist ("Error 106: Please enter a file name").
int TakeLogFileArgument(CommandContext& context, const char* commandName,
                        const std::function<void(std::ostream&)>& printUsage,
                        const std::function<void(std::ostream&)>& printHelp, std::string& path);

}  // namespace vireo::cli
