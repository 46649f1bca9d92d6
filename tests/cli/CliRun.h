#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace vireo::testing {

/// What one in-process run of vireo-import gave.
struct CliRun {
    int status;
    std::string out;
    std::string err;
};

/// Runs vireo-import in this process: `args` begin with the command, `input`
/// is its standard input.
inline CliRun RunCommand(const std::vector<std::string>& args, const std::string& input = {}) {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    const int status = cli::RunCli(args, in, out, err);
    return {status, out.str(), err.str()};
}

/// The same, `command` put before `args`.
inline CliRun RunCommand(const std::string& command, const std::vector<std::string>& args,
                         const std::string& input = {}) {
    std::vector<std::string> all{command};
    all.insert(all.end(), args.begin(), args.end());
    return RunCommand(all, input);
}

}  // namespace vireo::testing
