#include "cli/LogFileArgument.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
    return CheckLogFile(path, commandName, context.err) ? -1 : 2;
}

std::string LogFileProblem(const std::string& path) {
    if (path.empty()) return "no log file named";
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return "no such file";
        if (errno == EACCES) return "no permission to reach it";
        return std::strerror(errno);
    }
    if (S_ISDIR(info.st_mode)) return "a folder, not a file";
    if (::access(path.c_str(), R_OK) != 0) return errno == EACCES ? "no permission to read it" : std::strerror(errno);
    return {};
}

bool CheckLogFile(const std::string& path, std::string_view commandName, std::ostream& err) {
    const std::string problem = LogFileProblem(path);
    if (problem.empty()) return true;
    err << "Error 106: Please enter a file name\n" << commandName << ": ";
    if (!path.empty()) err << path << ": ";
    err << problem << "\n";
    return false;
}

}  // namespace vireo::cli
