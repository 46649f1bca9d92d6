#pragma once

#include <string>

namespace vireo {

/// True when the data source `alias` is defined with PostgreSQL's ODBC driver
/// (its driver's name holds "PostgreSQL", or the driver's library is psqlODBC),
/// looked up in the user's and the machine's definitions. Such a server keeps
/// its texts, the login's user name and password among them, as UTF-8.
bool DataSourceUsesPostgres(const std::string& alias);

/// The value of `key` in the definition of the data source `alias` (the
/// user's and the machine's odbc.ini); empty when it has none.
std::string DataSourceValue(const std::string& alias, const char* key);

/// The password the definition of `alias` holds ("Password", else "PWD"), as
/// the driver takes it when a login gives none; empty when it holds none.
std::string DataSourcePassword(const std::string& alias);

}  // namespace vireo
