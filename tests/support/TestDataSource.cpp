#include "support/TestDataSource.h"

#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "db/Database.h"
#include "db/Query.h"
#include "db/Session.h"
#include "support/PostgresServer.h"
#include "support/TempDir.h"
#include "support/TestOdbc.h"

namespace vireo::testing {

std::string BackendName(Backend backend) {
    switch (backend) {
        case Backend::Sqlite:
            return "Sqlite";
        case Backend::PostgresAnsi:
            return "PostgresAnsi";
        case Backend::PostgresUnicode:
            return "PostgresUnicode";
    }
    return "Unknown";
}

bool IsPostgres(Backend backend) { return backend != Backend::Sqlite; }

std::string SchemaText(Backend backend) {
#ifdef VIREO_SOURCE_DIR
    const std::filesystem::path source = VIREO_SOURCE_DIR;
#else
    // This file is tests/support/TestDataSource.cpp of the source tree.
    const std::filesystem::path source = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
#endif
    return ReadFile((source / "src/db/schema" / (IsPostgres(backend) ? "postgresql.sql" : "sqlite.sql")).string());
}

void ExecuteScript(Database& database, std::string_view script) {
    std::string statement;
    std::size_t start = 0;
    while (start < script.size()) {
        std::size_t end = script.find('\n', start);
        if (end == std::string_view::npos) end = script.size();
        std::string_view line = script.substr(start, end - start);
        start = end + 1;
        if (line.starts_with("--")) continue;
        statement.append(line);
        statement += '\n';
        const auto last = line.find_last_not_of(" \t\r");
        if (last != std::string_view::npos && line[last] == ';') {
            statement.erase(statement.rfind(';'));
            Query query(database);
            query.SetSql(statement);
            query.ExecSql();
            statement.clear();
        }
    }
    if (statement.find_first_not_of(" \t\r\n") != std::string::npos) {
        Query query(database);
        query.SetSql(statement);
        query.ExecSql();
    }
}

TestDataSource::TestDataSource(Backend backend, bool withSchema) : backend_(backend) {
    TestOdbc& odbc = TestOdbc::Instance();
    if (backend == Backend::Sqlite) {
        name_ = odbc.UniqueName("vireo_sqlite_");
        file_ = odbc.File(name_ + ".db");
        odbc.DefineDataSource(name_, {{"Driver", "SQLite3"},
                                      {"Database", file_},
                                      {"DBQ", file_},
                                      {"JournalMode", "WAL"},
                                      {"SyncPragma", "NORMAL"},
                                      {"Timeout", "5000"}});
        user_ = adminUser_ = "vireo";
        password_ = adminPassword_ = "unused";
    } else {
        PostgresServer& server = PostgresServer::Instance();
        pgDatabase_ = server.CreateDatabase();
        name_ = odbc.UniqueName("vireo_pg_");
        odbc.DefineDataSource(name_,
                              {{"Driver", backend == Backend::PostgresAnsi ? "PostgreSQL ANSI" : "PostgreSQL Unicode"},
                               {"Servername", "127.0.0.1"},
                               {"Port", std::to_string(server.Port())},
                               {"Database", pgDatabase_}});
        user_ = adminUser_ = server.User();
        password_ = adminPassword_ = server.Password();
    }
    if (withSchema) Execute(SchemaText(backend));
    if (withSchema && IsPostgres(backend)) {
        // Roles belong to the whole server, which test programs may share.
        role_ = odbc.UniqueName("vireo_importer_" + std::to_string(::getpid()) + "_");
        Execute("CREATE ROLE " + role_ + " LOGIN NOSUPERUSER PASSWORD 'Importer-1';\n" +
                "GRANT CONNECT, TEMP ON DATABASE " + pgDatabase_ + " TO " + role_ + ";\n" +
                "GRANT SELECT ON TF_SITES, TF_SITESENSORS TO " + role_ + ";\n" +
                "GRANT SELECT, INSERT, UPDATE ON TF_DATA1 TO " + role_ + ";\n");
        user_ = role_;
        password_ = "Importer-1";
    }
}

TestDataSource::~TestDataSource() {
    TestOdbc::Instance().RemoveDataSource(name_);
    if (!file_.empty()) {
        std::error_code ignored;
        for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::filesystem::remove(file_ + suffix, ignored);
    }
    if (!pgDatabase_.empty()) PostgresServer::Instance().DropDatabase(pgDatabase_);
    if (!role_.empty()) PostgresServer::Instance().DropRole(role_);
}

void TestDataSource::Connect(Database& database) const { ConnectAs(database, user_, password_); }

void TestDataSource::ConnectAs(Database& database, const std::string& user, const std::string& password) const {
    database.SetDatabaseName(name_);
    database.ClearParams();
    database.AddParam("USER NAME=" + user);
    database.AddParam("PASSWORD=" + password);
    database.Open();
}

void TestDataSource::Execute(std::string_view script) const {
    Session session;
    Database database(session);
    ConnectAs(database, adminUser_, adminPassword_);
    ExecuteScript(database, script);
}

void TestDataSource::ListInCatalogue(const std::vector<std::string>& stationSensors) const {
    std::string script;
    for (const std::string& name : stationSensors) {
        const std::size_t dot = name.find('.');
        const std::string station = name.substr(0, dot);
        script +=
            "INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES ('" + station + "', 'Y') ON CONFLICT DO NOTHING;\n";
        script += "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('" + station + "', '" +
                  name.substr(dot + 1) + "', 'Y') ON CONFLICT DO NOTHING;\n";
    }
    Execute(script);
}

void TestDataSource::RefuseRowsOf(const std::string& sensor, const std::string& message) const {
    if (!IsPostgres(backend_)) {
        Execute("CREATE TRIGGER refuse_insert BEFORE INSERT ON TF_DATA1 WHEN NEW.SENSORNAME = '" + sensor +
                "' BEGIN SELECT RAISE(ABORT, '" + message + "'); END;\n" +
                "CREATE TRIGGER refuse_update BEFORE UPDATE ON TF_DATA1 WHEN NEW.SENSORNAME = '" + sensor +
                "' BEGIN SELECT RAISE(ABORT, '" + message + "'); END;\n");
    } else {
        Execute("CREATE FUNCTION refuse_row() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION '" +
                message + "'; END $$;\n" +
                "CREATE TRIGGER refuse_row BEFORE INSERT OR UPDATE ON TF_DATA1 FOR EACH ROW WHEN (NEW.SENSORNAME = '" +
                sensor + "') EXECUTE FUNCTION refuse_row();\n");
    }
}

std::vector<std::vector<std::optional<std::string>>> TestDataSource::Select(const std::string& sql) const {
    Session session;
    Database database(session);
    ConnectAs(database, adminUser_, adminPassword_);
    Query query(database);
    query.SetSql(sql);
    query.Open();
    std::vector<std::vector<std::optional<std::string>>> rows;
    for (; !query.Eof(); query.Next()) {
        rows.emplace_back();
        for (const QueryField& field : query.Fields()) {
            rows.back().push_back(field.IsNull() ? std::nullopt : std::optional<std::string>(field.AsString()));
        }
    }
    return rows;
}

}  // namespace vireo::testing
