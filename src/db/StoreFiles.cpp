#include "db/StoreFiles.h"

#include <sys/stat.h>

#include <optional>

#include "db/Capacity.h"

namespace vireo {
namespace {

bool SameFile(const struct stat& a, const std::string& path) {
    struct stat b {};
    return ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool IsFileOfDataSource(const std::string& alias, const std::string& path) {
    struct stat named {};
    if (path.empty() || ::stat(path.c_str(), &named) != 0) return false;
    const std::optional<std::string> database = DataSourceFile(alias);
    if (!database) return false;
    for (const char* companion : {"", "-wal", "-shm", "-journal"}) {
        if (SameFile(named, *database + companion)) return true;
    }
    return false;
}

std::string DataSourceFileRefused(const std::string& path) {
    return "Error 107: " + path + " is a file of the connected database and cannot be used here";
}

}  // namespace vireo
