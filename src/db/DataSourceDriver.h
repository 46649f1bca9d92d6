#pragma once

#include <string>

namespace vireo {

/// True when the data source `alias` is defined with PostgreSQL's ODBC driver
/// (its driver's name holds "PostgreSQL", or the driver's library is psqlODBC),
/// looked up in the user's and the machine's definitions. Such a server keeps
/// its texts, the login's user name and password among them, as UTF-8.
bool DataSourceUsesPostgres(const std::string& alias);

}  // namespace vireo
