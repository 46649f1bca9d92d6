#pragma once

#include <string>

namespace vireo {

/// True when `path` leads to the database file of data source `alias`, or to
/// one of the files the SQLite library keeps beside it ("-wal", "-shm",
/// "-journal"): the same file by device and inode, whatever name leads to it.
/// POSIX locks belong to the process, so closing any descriptor of such a file
/// drops the locks the library holds for an open connection; the program opens
/// these files only through the driver. False for a server data source, or
/// when either file does not exist.
bool IsFileOfDataSource(const std::string& alias, const std::string& path);

/// The message that refuses to open `path` because it is such a file.
std::string DataSourceFileRefused(const std::string& path);

}  // namespace vireo
