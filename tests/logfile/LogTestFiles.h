#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace vireo::testing {

/// A temporary folder to write log files into.
class TempFolder {
public:
    const std::filesystem::path& Path() const { return dir_.path(); }

    /// Writes `bytes` exactly as given into a file of that name; gives its path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::string path = dir_.File(name);
        WriteFile(path, bytes);
        return path;
    }

    /// Writes the lines, each followed by "\r\n".
    std::string WriteLines(const std::string& name, const std::vector<std::string>& lines) const {
        std::string bytes;
        for (const std::string& line : lines) bytes += line + "\r\n";
        return Write(name, bytes);
    }

private:
    TempDir dir_{"vireo-logfile"};
};

}  // namespace vireo::testing
