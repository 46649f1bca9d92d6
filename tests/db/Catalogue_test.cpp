#include "db/Catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "BackendTest.h"
#include "db/DbError.h"

namespace vireo::testing {
namespace {

using Names = std::vector<std::string>;

Names ListStations(Database& database) {
    Names stations;
    ReadStations(database, stations);
    return stations;
}

Names ListStationSensors(Database& database, std::string_view stationId) {
    Names sensors;
    ReadStationSensors(database, stationId, sensors);
    return sensors;
}

std::vector<StationSensorName> ListStationSensorNames(Database& database, std::string_view stationId) {
    std::vector<StationSensorName> sensors;
    ReadStationSensorNames(database, stationId, sensors);
    return sensors;
}

class CatalogueTest : public BackendTest {
protected:
    void AddStations() const {
        source().Execute(
            "INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES ('b01', 'Y');\n"
            "INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES (NULL, 'Y');\n"
            "INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES ('A02', 'Y');\n"
            "INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES ('C03', 'N');\n"
            "INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES ('D04', 'y');\n"
            "INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES ('Z\xFC', 'Y');\n");
        source().Execute(
            "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('B01', 'temp', 'Y');\n"
            "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('B01', NULL, 'Y');\n"
            "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('B01', 'HUM', 'Y');\n"
            "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('B01', 'WIND', 'N');\n"
            "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('b01', 'LOWER', 'Y');\n"
            "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('A02', 'RAIN', 'Y');\n");
    }

    /// What the statement itself gives, upper-cased and without nulls: the
    /// lists must keep the database's order.
    Names Direct(const std::string& sql) const {
        Names names;
        for (const auto& row : source().Select(sql)) {
            if (row[0]) names.push_back(UpperCaseName(*row[0]));
        }
        return names;
    }

    static Names Sorted(Names names) {
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_P(CatalogueTest, StationsAreTheEnabledOnesInUpperCaseAndDatabaseOrder) {
    AddStations();
    const Names stations = ListStations(database_);
    EXPECT_EQ(Sorted(stations), (Names{"A02", "B01", "Z\xFC"}));
    EXPECT_EQ(stations, Direct(std::string(kStationsSql)));
}

TEST_P(CatalogueTest, StationsAreAppendedToWhatTheListHolds) {
    AddStations();
    Names stations{"OLD"};
    ReadStations(database_, stations);
    ASSERT_EQ(stations.size(), 4u);
    EXPECT_EQ(stations[0], "OLD");
}

TEST_P(CatalogueTest, NoEnabledStationGivesAnEmptyList) {
    source().Execute("INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES ('C03', 'N');\n");
    EXPECT_TRUE(ListStations(database_).empty());
}

TEST_P(CatalogueTest, SensorsAreAskedForWithTheStationInUpperCase) {
    AddStations();
    const Names sensors = ListStationSensors(database_, "b01");
    EXPECT_EQ(Sorted(sensors), (Names{"HUM", "TEMP"}));
    EXPECT_EQ(sensors, Direct("SELECT DISTINCT SENSORNAME FROM TF_SITESENSORS WHERE TF_SITESENSORS.STE_STATION_ID = "
                              "'B01' AND (TF_SITESENSORS.ENABLED = 'Y')"));
    EXPECT_EQ(ListStationSensors(database_, "A02"), (Names{"RAIN"}));
    EXPECT_TRUE(ListStationSensors(database_, "C03").empty());
}

TEST_P(CatalogueTest, ChoosingAnotherStationReplacesTheSensorList) {
    AddStations();
    Names sensors{"OLD1", "OLD2"};
    ReadStationSensors(database_, "A02", sensors);
    EXPECT_EQ(sensors, (Names{"RAIN"}));
}

TEST_P(CatalogueTest, AFailedListingKeepsWhatTheListHeld) {
    source().Execute("DROP TABLE TF_SITESENSORS;\nDROP TABLE TF_SITES;\n");
    Names stations{"KEPT"};
    EXPECT_THROW(ReadStations(database_, stations), DbError);
    EXPECT_EQ(stations, (Names{"KEPT"}));
    Names sensors{"KEPT"};
    EXPECT_THROW(ReadStationSensors(database_, "B01", sensors), DbError);
    EXPECT_EQ(sensors, (Names{"KEPT"}));
}

TEST_P(CatalogueTest, NamesWindows1252CannotHoldAreListedAsTheyAreButNotPairable) {
    if (!OnPostgres()) GTEST_SKIP() << "a SQLite name is kept as its bytes";
    // chr() makes the characters on the server: Ω (U+03A9), Ж (U+0416), ω (U+03C9).
    source().Execute(
        "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('S1', 'T' || chr(937), 'Y');\n"
        "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('S1', 'T' || chr(1046), 'Y');\n"
        "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('S1', 'M\xFC', 'Y');\n"
        "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('S1', 'x' || chr(969), 'Y');\n");
    std::vector<StationSensorName> names = ListStationSensorNames(database_, "s1");
    std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return a.shown < b.shown; });
    const std::vector<StationSensorName> expected = {
        {"M\xFC", ""},        // Windows-1252 holds it: pairable
        {"T?", "T\xCE\xA9"},  // TΩ
        {"T?", "T\xD0\x96"},  // TЖ
        {"X?", "X\xCF\x89"},  // xω: ASCII letters upper-cased only
    };
    EXPECT_EQ(names, expected);
    EXPECT_TRUE(names[0].Pairable());
    EXPECT_FALSE(names[1].Pairable());

    // The plain list keeps giving the Windows-1252 text.
    Names plain = ListStationSensors(database_, "S1");
    std::sort(plain.begin(), plain.end());
    EXPECT_EQ(plain, (Names{"M\xFC", "T?", "T?", "X?"}));
}

INSTANTIATE_TEST_SUITE_P(Backends, CatalogueTest, ::testing::ValuesIn(kAllBackends), BackendParamName);

TEST(CatalogueMessages, NameTheStationAsPassed) {
    EXPECT_EQ(StationListErrorText(), "Error retrieving station list from database.  Check database connection.");
    EXPECT_EQ(SensorListErrorText("st01"),
              "Error retrieving sensor list from database for st01.  Check database connection.");
}

TEST(CatalogueMessages, AnUnpairableSensorNamesStationAndSensor) {
    EXPECT_EQ(UnpairableSensorText("ST01", "T?"),
              "Station sensor ST01.T? cannot be paired: its name holds characters that Windows-1252 cannot hold.");
}

TEST(UpperCaseName, ChangesAsciiLettersOnly) {
    EXPECT_EQ(UpperCaseName("st01_temp-x"), "ST01_TEMP-X");
    EXPECT_EQ(UpperCaseName("m\xFChle \xE9"), "M\xFCHLE \xE9");
    EXPECT_EQ(UpperCaseName(""), "");
}

}  // namespace
}  // namespace vireo::testing
