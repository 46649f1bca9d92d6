#include "db/Capacity.h"

#include <fcntl.h>
#include <odbcinst.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace vireo {
namespace {

/// Switches the installer's configuration mode and puts the previous one back.
class ConfigModeScope {
public:
    ConfigModeScope() { SQLGetConfigMode(&saved_); }
    ~ConfigModeScope() { SQLSetConfigMode(saved_); }
    ConfigModeScope(const ConfigModeScope&) = delete;
    ConfigModeScope& operator=(const ConfigModeScope&) = delete;
    void Use(UWORD mode) { SQLSetConfigMode(mode); }

private:
    UWORD saved_ = ODBC_BOTH_DSN;
};

std::string ProfileValue(const std::string& section, const char* key) {
    std::vector<char> buffer(4096, '\0');
    const int length = SQLGetPrivateProfileString(section.c_str(), key, "", buffer.data(),
                                                  static_cast<int>(buffer.size()), "odbc.ini");
    if (length <= 0) return {};
    return std::string(buffer.data(), std::min<std::size_t>(static_cast<std::size_t>(length), buffer.size() - 1));
}

/// True when the current configuration mode holds a definition of `alias`
/// (the list of its keys is not empty).
bool Defined(const std::string& alias) {
    std::vector<char> keys(4096, '\0');
    return SQLGetPrivateProfileString(alias.c_str(), nullptr, "", keys.data(), static_cast<int>(keys.size()),
                                      "odbc.ini") > 0 &&
           keys[0] != '\0';
}

std::optional<std::string> FileOfDefinition(const std::string& alias) {
    std::string path = ProfileValue(alias, "DBQ");
    if (path.empty()) {
        // A definition that names a server is no file, whatever its "Database" says.
        if (!ProfileValue(alias, "Servername").empty() || !ProfileValue(alias, "Server").empty()) return std::nullopt;
        path = ProfileValue(alias, "Database");
    }
    if (path.empty()) return std::nullopt;
    return path;
}

/// The size of the file at `path`, or nothing when it is no regular file or
/// the process may not read it. The file is never opened: closing any
/// descriptor of a database file would drop the locks that the SQLite library
/// holds on it for an open connection (POSIX locks belong to the process).
std::optional<std::uint64_t> FileSize(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    // The effective ids decide, as they would for an open().
    if (::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

void CheckLimit(std::int64_t maxDbFileSizeKiB) {
    if (maxDbFileSizeKiB <= 0) {
        throw std::invalid_argument("Invalid database size limit: " + std::to_string(maxDbFileSizeKiB) + " KiB");
    }
}

}  // namespace

int UsedPercent(std::uint64_t sizeBytes, std::int64_t maxDbFileSizeKiB) {
    CheckLimit(maxDbFileSizeKiB);
    const double used = static_cast<double>(sizeBytes) * 100.0 / static_cast<double>(maxDbFileSizeKiB) / 1024.0 + 0.5;
    if (used >= 100.0) return 100;
    return static_cast<int>(std::nearbyint(used));  // the default rounding: to nearest, ties to even
}

std::optional<std::string> DataSourceFile(const std::string& alias) {
    if (alias.empty()) return std::nullopt;
    ConfigModeScope mode;
    mode.Use(ODBC_SYSTEM_DSN);
    if (Defined(alias)) return FileOfDefinition(alias);
    mode.Use(ODBC_USER_DSN);
    if (Defined(alias)) return FileOfDefinition(alias);
    return std::nullopt;
}

DataStoreUsage GetDataStoreUsage(const std::string& alias, std::int64_t maxDbFileSizeKiB) {
    CheckLimit(maxDbFileSizeKiB);
    const std::optional<std::string> path = DataSourceFile(alias);
    if (!path) return {};
    const std::optional<std::uint64_t> size = FileSize(*path);
    if (!size) return {};
    return DataStoreUsage{true, UsedPercent(*size, maxDbFileSizeKiB)};
}

}  // namespace vireo
