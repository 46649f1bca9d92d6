#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/ExitWatchdog.h"
#include "support/TempDir.h"

namespace vireo::testing {

/// Keys of one data source definition, in the order they are written.
using DataSourceKeys = std::vector<std::pair<std::string, std::string>>;

/// The ODBC configuration of a test program: its own odbcinst.ini (drivers
/// "SQLite3", "PostgreSQL ANSI", "PostgreSQL Unicode") and odbc.ini in a
/// temporary folder, and a user odbc.ini in a home folder beside it. The first
/// call of Instance() points ODBCSYSINI, ODBCINI and HOME there, before any
/// ODBC call of the program is made; nothing of the real home is read or
/// written.
class TestOdbc {
public:
    static TestOdbc& Instance();

    enum class Scope { System, User };

    /// Adds or replaces the definition of `name` and rewrites the file.
    void DefineDataSource(const std::string& name, const DataSourceKeys& keys, Scope scope = Scope::System);
    void RemoveDataSource(const std::string& name);

    /// `stem` followed by a number not handed out before in this program.
    std::string UniqueName(std::string_view stem);
    /// A path in the configuration's folder (the folder of SQLite files).
    std::string File(const std::string& name) const { return dir_.File(name); }

private:
    TestOdbc();
    void WriteIni(Scope scope) const;

    std::unique_ptr<ExitWatchdog> cleanup_;  // removes the folder should the program die; goes after it
    TempDir dir_;
    std::string systemIni_;
    std::string userIni_;
    std::vector<std::pair<std::string, DataSourceKeys>> system_;
    std::vector<std::pair<std::string, DataSourceKeys>> user_;
    int counter_ = 0;
};

}  // namespace vireo::testing
