#include "cli/FollowOptions.h"

#include <filesystem>

namespace vireo::cli {

std::optional<std::string> PositionsPath(const CliOptions& options, const std::string& command, std::ostream& err) {
    if (options.Has("--state")) return options.Get("--state");
    if (!options.Has("--list")) {
        err << "vireo-import " << command << ": the positions of the files need --state FILE when there is no --list\n";
        return std::nullopt;
    }
    return std::filesystem::path(options.Get("--list")).replace_extension(".positions").string();
}

}  // namespace vireo::cli
