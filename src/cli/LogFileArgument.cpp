#include "cli/LogFileArgument.h"

#include <filesystem>

namespace vireo::cli {

int TakeLogFileArgument(CommandContext& context, const char* commandName,
                        const std::function<void(std::ostream&)>& printUsage,
                        const std::function<void(std::ostream&)>& printHelp, std::string& path) {
    const auto& args = context.args;
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        printHelp(context.out);
        return 0;
    }
    if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) {
        if (args.empty()) {
            context.err << commandName << ": no log file named\n";
        } else if (args.size() > 1) {
            context.err << commandName << ": unexpected argument '" << args[1] << "'\n";
        } else {
            context.err << commandName << ": unknown option '" << args[0] << "'\n";
        }
        printUsage(context.err);
        return 2;
    }
    path = args[0];
    std::error_code ignored;
    if (path.empty() || std::filesystem::status(path, ignored).type() == std::filesystem::file_type::not_found) {
        context.err << "Error 106: Please enter a file name\n";
        return 2;
    }
    return -1;
}

}  // namespace vireo::cli
