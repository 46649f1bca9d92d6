#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vireo {
class Database;
}

namespace vireo::testing {

/// The databases every database test runs on.
enum class Backend { Sqlite, PostgresAnsi, PostgresUnicode };

inline constexpr Backend kAllBackends[] = {Backend::Sqlite, Backend::PostgresAnsi, Backend::PostgresUnicode};

/// "Sqlite", "PostgresAnsi", "PostgresUnicode": for the names of test cases.
std::string BackendName(Backend backend);
bool IsPostgres(Backend backend);

/// The table definitions of the backend, read from src/db/schema.
std::string SchemaText(Backend backend);

/// Runs a script of statements, each ended by ';' at the end of a line; lines
/// starting with "--" are comments.
void ExecuteScript(Database& database, std::string_view script);

/// A fresh database with the tables applied, behind a data source of its own
/// defined in the test configuration (TestOdbc): a SQLite file (WAL journal,
/// NORMAL synchronous) or a new database on the test PostgreSQL server,
/// reached through the ANSI or the Unicode driver. Removed when it goes.
///
/// On PostgreSQL the tables belong to the superuser, who sets them up
/// (Execute, Select, RefuseRowsOf); the login of Connect, User and Password
/// is an ordinary role of its own with only what an importer needs: SELECT on
/// TF_SITES and TF_SITESENSORS, SELECT, INSERT and UPDATE on TF_DATA1, and
/// temporary tables in the database.
class TestDataSource {
public:
    explicit TestDataSource(Backend backend, bool withSchema = true);
    ~TestDataSource();
    TestDataSource(const TestDataSource&) = delete;
    TestDataSource& operator=(const TestDataSource&) = delete;

    Backend backend() const noexcept { return backend_; }
    const std::string& Name() const noexcept { return name_; }
    const std::string& User() const noexcept { return user_; }
    const std::string& Password() const noexcept { return password_; }
    /// The SQLite file; empty for PostgreSQL.
    const std::string& FilePath() const noexcept { return file_; }

    /// Sets the data source name and the two connection parameters on
    /// `database` and opens it.
    void Connect(Database& database) const;

    /// Runs statements through a connection of their own.
    void Execute(std::string_view script) const;
    /// Lists each "STATION.SENSOR" in the catalogue as an enabled station and
    /// an enabled sensor of it (what is listed already stays as it is).
    void ListInCatalogue(const std::vector<std::string>& stationSensors) const;
    /// Makes the table refuse every insert and update of a row of station
    /// sensor `sensor`, with the engine's error carrying `message` (a trigger).
    void RefuseRowsOf(const std::string& sensor, const std::string& message) const;
    /// The rows of a query through a connection of its own; a null column is nullopt.
    std::vector<std::vector<std::optional<std::string>>> Select(const std::string& sql) const;

private:
    void ConnectAs(Database& database, const std::string& user, const std::string& password) const;

    Backend backend_;
    std::string name_;
    std::string user_;
    std::string password_;
    std::string adminUser_;
    std::string adminPassword_;
    std::string role_;
    std::string file_;
    std::string pgDatabase_;
};

}  // namespace vireo::testing
