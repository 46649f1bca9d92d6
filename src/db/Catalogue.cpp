#include "db/Catalogue.h"

#include "db/DbError.h"
#include "db/Query.h"

namespace vireo {

void ReadStations(Database& database, std::vector<std::string>& stations) {
    Query query(database);
    query.SetSql(kStationsSql);
    query.Prepare();
    query.Open();
    for (; !query.Eof(); query.Next()) {
        const QueryField& field = query.FieldByName("Station_Id");
        if (!field.IsNull()) stations.push_back(UpperCaseName(field.AsString()));
    }
}

namespace {

/// Runs the sensors query of `stationId`; `opened` is called once it is open,
/// `add` with every name that is not null.
template <typename Opened, typename Add>
void WalkStationSensors(Database& database, std::string_view stationId, Opened opened, Add add) {
    Query query(database);
    query.SetSql(kStationSensorsSql);
    query.Prepare();
    query.SetString("StationID", UpperCaseName(stationId));
    query.Open();
    opened();
    for (; !query.Eof(); query.Next()) {
        const QueryField& field = query.FieldByName("SensorName");
        if (!field.IsNull()) add(field);
    }
}

}  // namespace

void ReadStationSensors(Database& database, std::string_view stationId, std::vector<std::string>& sensors) {
    WalkStationSensors(
        database, stationId, [&sensors] { sensors.clear(); },
        [&sensors](const QueryField& field) { sensors.push_back(UpperCaseName(field.AsString())); });
}

void ReadStationSensorNames(Database& database, std::string_view stationId, std::vector<StationSensorName>& sensors) {
    WalkStationSensors(
        database, stationId, [&sensors] { sensors.clear(); },
        [&sensors](const QueryField& field) {
            sensors.push_back({UpperCaseName(field.AsString()), UpperCaseName(field.serverText)});
        });
}

std::vector<UnreadableTable> UnreadableTables(Database& database) {
    std::vector<UnreadableTable> unreadable;
    for (const char* table : {"TF_DATA1", "TF_SITES", "TF_SITESENSORS"}) {
        try {
            Query query(database);
            query.SetSql(std::string("SELECT * FROM ") + table + " WHERE 1 = 0");
            query.Prepare();
            query.Open();
        } catch (const DbError& error) {
            unreadable.push_back({table, error.what()});
        }
    }
    return unreadable;
}

std::string UnpairableSensorText(std::string_view stationId, std::string_view sensorName) {
    return "Station sensor " + std::string(stationId) + "." + std::string(sensorName) +
           " cannot be paired: its name holds characters that Windows-1252 cannot hold.";
}

std::string StationListErrorText() {
    return "Error retrieving station list from database.  Check database connection.";
}

std::string SensorListErrorText(std::string_view stationId) {
    return "Error retrieving sensor list from database for " + std::string(stationId) + ".  Check database connection.";
}

}  // namespace vireo
