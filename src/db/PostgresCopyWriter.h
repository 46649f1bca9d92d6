#pragma once

#include <memory>
#include <string>

#include "db/DirectWriter.h"

namespace vireo {

class Database;

/// The batch writer on the PostgreSQL server of an open psqlODBC connection,
/// through libpq. Null, with the reason in `why`, when the server cannot be
/// reached that way; the caller then writes through the driver.
std::unique_ptr<DirectWriter> OpenPostgresCopyWriter(Database& database, std::string& why);

}  // namespace vireo
