// vireo-import init-db / add-station: the tables and the catalogue of a
// database that no Tarnfold installation manages, so that a log file can go
// into it.

#include <algorithm>
#include <iostream>
#include <optional>
#include <sstream>
#include <vector>

#include "Schema.h"
#include "cli/Cli.h"
#include "cli/CliConnection.h"
#include "db/Query.h"
#include "db/TextEncoding.h"
#include "scan/AsciiCase.h"

namespace vireo::cli {
namespace {

constexpr std::string_view kTables[] = {"TF_SITES", "TF_SITESENSORS", "TF_DATA1"};
constexpr std::size_t kLongestName = 32;  // VARCHAR(32) in the schema

constexpr const char* kInitDbHelp =
    "Creates the tables TF_SITES, TF_SITESENSORS and TF_DATA1 (its key: station,\n"
    "sensor, time tag) on an empty SQLite or PostgreSQL data source, in one\n"
    "transaction. A data source that holds any of them already is left as it is\n"
    "(exit 2).\n";
constexpr const char* kAddStationHelp =
    "Adds STATION to TF_SITES and each SENSOR to TF_SITESENSORS, enabled (ENABLED\n"
    "'Y'), in upper case, in one transaction: the catalogue that the window's lists\n"
    "and the import's checks read. A row that is there already is enabled and kept.\n"
    "A station name holds no '.' and no '|', a sensor name no '|'; each has at most\n"
    "32 characters.\n";

/// The statements of a schema script: each ends with ';' at the end of a
/// line; lines beginning with "--" are comments.
std::vector<std::string> ScriptStatements(std::string_view script) {
    std::vector<std::string> statements;
    std::string statement;
    while (!script.empty()) {
        const std::size_t end = std::min(script.find('\n'), script.size());
        const std::string_view line = script.substr(0, end);
        script.remove_prefix(std::min(end + 1, script.size()));
        if (line.starts_with("--")) continue;
        statement.append(line).push_back('\n');
        const std::size_t last = line.find_last_not_of(" \t\r");
        if (last != std::string_view::npos && line[last] == ';') {
            statement.erase(statement.rfind(';'));
            statements.push_back(std::move(statement));
            statement.clear();
        }
    }
    if (statement.find_first_not_of(" \t\r\n") != std::string::npos) statements.push_back(statement);
    return statements;
}

/// True when `table` can be read on the connection.
bool TableExists(Database& database, std::string_view table) {
    try {
        Query query(database);
        query.SetSql("SELECT 1 FROM " + std::string(table) + " WHERE 1 = 0");
        query.Open();
        return true;
    } catch (const DbError&) {
        return false;
    }
}

/// Parses the options of a setup command; -1 when the command goes on, else its exit status.
int ParseSetupOptions(CommandContext& context, const char* command, const char* positional, const char* help,
                      CliOptions& options) {
    AddConnectionOptions(options);
    options.Flag("--help").Flag("-h");
    std::string error;
    const auto usage = [&](std::ostream& out) {
        out << "usage: vireo-import " << command << positional << " " << kConnectionUsage << "\n";
    };
    if (!options.Parse(context.args, error)) {
        context.err << "vireo-import " << command << ": " << error << "\n";
        usage(context.err);
        return 2;
    }
    if (options.Has("--help") || options.Has("-h")) {
        usage(context.out);
        context.out << "\n" << help << "\n" << kConnectionHelp;
        return 0;
    }
    return -1;
}

int RunInitDb(CommandContext& context) {
    CliOptions options;
    if (int status = ParseSetupOptions(context, "init-db", "", kInitDbHelp, options); status >= 0) return status;
    if (!options.Positional().empty()) {
        context.err << "vireo-import init-db: unexpected argument '" << options.Positional().front() << "'\n";
        return 2;
    }
    if (!CheckPasswordVariable(options, context.err)) return 2;
    auto connection = OpenCliConnection(options, context.err);
    if (!connection) return 1;
    Database& database = *connection->database;

    std::string_view schema;
    if (database.Engine() == DbEngine::SQLite) schema = kSqliteSchema;
    if (database.Engine() == DbEngine::PostgreSQL) schema = kPostgresSchema;
    if (schema.empty()) {
        context.err << "vireo-import init-db: the data source " << connection->alias
                    << " is neither SQLite nor PostgreSQL; its tables are made by hand (the\n"
                       "definitions are in the program's data folder, schema/)\n";
        return 2;
    }
    std::string existing;
    for (const std::string_view table : kTables)
        if (TableExists(database, table)) existing += (existing.empty() ? "" : ", ") + std::string(table);
    if (!existing.empty()) {
        context.err << "vireo-import init-db: the data source " << connection->alias << " holds " << existing
                    << " already; nothing was changed\n";
        return 2;
    }
    try {
        database.StartTransaction();
        for (const std::string& statement : ScriptStatements(schema)) {
            Query query(database);
            query.SetSql(statement);
            query.ExecSql();
        }
        database.Commit();
    } catch (const std::exception& error) {
        if (database.InTransaction()) database.Rollback();
        context.err << "vireo-import init-db: the tables could not be created in " << connection->alias << "\n"
                    << error.what() << "\n";
        return 1;
    }
    context.out << "Created TF_SITES, TF_SITESENSORS and TF_DATA1 in " << connection->alias << "\n";
    return 0;
}

/// A station identifier or sensor name as the catalogue holds it: Windows-1252,
/// upper case. Nothing, with the reason on `err`, when it cannot be one.
std::optional<std::string> CatalogueName(const std::string& given, bool station, std::ostream& err) {
    const std::optional<std::string> converted = Utf8ToWindows1252Exact(given);
    const char* fault = nullptr;
    if (!converted)
        fault = "holds a character that Windows-1252 cannot hold";
    else if (converted->find_first_not_of(" \t") == std::string::npos)
        fault = "is empty";
    else if (converted->size() > kLongestName)
        fault = "is longer than 32 characters";
    else if (converted->find('|') != std::string::npos)
        fault = "holds a '|'";
    else if (station && converted->find('.') != std::string::npos)
        fault = "holds a '.'";
    if (fault != nullptr) {
        err << "vireo-import add-station: the " << (station ? "station" : "sensor") << " name '" << given << "' "
            << fault << "\n";
        return std::nullopt;
    }
    return UpperCaseName(*converted);
}

/// Adds the catalogue row that `select` finds (with its ENABLED column) by
/// `insert`, or enables it by `enable`; says which it did.
void AddEnabledRow(Database& database, const std::string& what, const std::string& station, const std::string* sensor,
                   std::ostream& out) {
    const std::string key =
        sensor ? " WHERE STE_STATION_ID = :StationID AND SENSORNAME = :SensorName" : " WHERE STATION_ID = :StationID";
    const std::string table = sensor ? "TF_SITESENSORS" : "TF_SITES";
    const auto bind = [&](Query& query) {
        query.SetString("StationID", station);
        if (sensor) query.SetString("SensorName", *sensor);
    };
    Query select(database);
    select.SetSql("SELECT ENABLED FROM " + table + key);
    select.Prepare();
    bind(select);
    select.Open();
    Query change(database);
    if (select.Eof()) {
        change.SetSql(sensor ? "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES (:StationID, "
                               ":SensorName, 'Y')"
                             : "INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES (:StationID, 'Y')");
        out << "Added " << what << "\n";
    } else if (select.Fields().front().AsString() != "Y") {
        change.SetSql("UPDATE " + table + " SET ENABLED = 'Y'" + key);
        out << "Enabled " << what << "\n";
    } else {
        out << "Kept " << what << " (enabled already)\n";
        return;
    }
    select.Close();
    change.Prepare();
    bind(change);
    change.ExecSql();
}

int RunAddStation(CommandContext& context) {
    CliOptions options;
    if (int status = ParseSetupOptions(context, "add-station", " STATION [SENSOR...]", kAddStationHelp, options);
        status >= 0)
        return status;
    if (options.Positional().empty()) {
        context.err << "usage: vireo-import add-station STATION [SENSOR...] " << kConnectionUsage << "\n";
        return 2;
    }
    std::vector<std::string> names;
    for (std::size_t i = 0; i < options.Positional().size(); ++i) {
        std::optional<std::string> name = CatalogueName(options.Positional()[i], i == 0, context.err);
        if (!name) return 2;
        names.push_back(std::move(*name));
    }
    if (!CheckPasswordVariable(options, context.err)) return 2;
    auto connection = OpenCliConnection(options, context.err);
    if (!connection) return 1;
    Database& database = *connection->database;
    const std::string& station = names.front();
    std::ostringstream done;
    try {
        database.StartTransaction();
        AddEnabledRow(database, "station " + station, station, nullptr, done);
        for (std::size_t i = 1; i < names.size(); ++i)
            AddEnabledRow(database, "station sensor " + station + "." + names[i], station, &names[i], done);
        database.Commit();
    } catch (const std::exception& error) {
        if (database.InTransaction()) database.Rollback();
        context.err << "vireo-import add-station: nothing was changed in " << connection->alias << "\n"
                    << error.what() << "\n";
        return 1;
    }
    context.out << done.str();
    return 0;
}

const Registrar initDb{"init-db", "create the tables TF_SITES, TF_SITESENSORS and TF_DATA1", &RunInitDb};
const Registrar addStation{"add-station", "add an enabled station and its enabled sensors to the catalogue",
                           &RunAddStation};

}  // namespace
}  // namespace vireo::cli
