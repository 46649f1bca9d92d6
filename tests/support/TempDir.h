#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vireo::testing {

/// A fresh folder under /tmp, removed with everything in it when it goes.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "vireo-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const noexcept { return path_; }
    /// The path of `name` inside the folder.
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    /// Writes `bytes` exactly as given into a file of that name; gives its path.
    std::string Write(const std::string& name, const std::string& bytes) const;
    /// Writes the lines, each followed by "\r\n"; gives the file's path.
    std::string WriteLines(const std::string& name, const std::vector<std::string>& lines) const;

private:
    pid_t owner_;
    std::filesystem::path path_;
};

/// Writes `content` to `path`, replacing the file; throws std::runtime_error.
void WriteFile(const std::string& path, const std::string& content);
/// Appends `content` to `path` (made when missing), as a program that logs
/// would; throws std::runtime_error.
void AppendFile(const std::string& path, const std::string& content);
/// The whole content of `path`; throws std::runtime_error.
std::string ReadFile(const std::string& path);

}  // namespace vireo::testing
