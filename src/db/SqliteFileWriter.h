#pragma once

#include <memory>
#include <string>

#include "db/DirectWriter.h"

namespace vireo {

class Database;

/// The batch writer on the database file of an open SQLite ODBC connection,
/// through the SQLite library the driver itself uses. Null, with the reason
/// in `why`, when the file cannot be used that way (an in-memory database,
/// another library than the driver's); the caller then writes through the driver.
std::unique_ptr<DirectWriter> OpenSqliteFileWriter(Database& database, std::string& why);

}  // namespace vireo
