#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vireo {

/// The share of the allowed size that the data store's file uses. `known` is
/// false when no size could be read: the data source names no file (a server
/// database), or its file is no regular file or cannot be read. The size is
/// taken without opening the file.
struct DataStoreUsage {
    bool known = false;
    int usedPercent = 0;  // 0..100 when known
    bool operator==(const DataStoreUsage&) const = default;
};

/// The used share in percent of `sizeBytes` against `maxDbFileSizeKiB`:
/// size x 100 / limit / 1024 + 0.5, rounded to the nearest integer (a tie goes
/// to the even one), at most 100. Throws std::invalid_argument for a limit of
/// 0 or below.
int UsedPercent(std::uint64_t sizeBytes, std::int64_t maxDbFileSizeKiB);

/// The database file of a data source: "DBQ" of its definition, or where there
/// is none, its "Database" (the SQLite driver's key). The machine's (system)
/// definition is looked up first, then the user's. Nothing when the data
/// source is not defined, names a server, or gives no path.
std::optional<std::string> DataSourceFile(const std::string& alias);

/// The used share of the file behind `alias`; throws std::invalid_argument for
/// a limit of 0 or below.
DataStoreUsage GetDataStoreUsage(const std::string& alias, std::int64_t maxDbFileSizeKiB);

}  // namespace vireo
