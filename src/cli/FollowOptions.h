#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "cli/CliOptions.h"

namespace vireo::cli {

/// The positions file of `import --incremental` and `watch`: --state FILE, or
/// beside the import list FILE.sfg as FILE.positions. Nothing, with the
/// reason on `err`, when neither is given.
std::optional<std::string> PositionsPath(const CliOptions& options, const std::string& command, std::ostream& err);

}  // namespace vireo::cli
