#include "import/ImportList.h"

#include <gtest/gtest.h>

namespace vireo {
namespace {

TEST(ImportEntry, IsThePlainConcatenation) {
    EXPECT_EQ(MakeImportEntry("TEMP", "ST01", "AT"), "TEMP||ST01.AT");
    EXPECT_EQ(MakeImportEntry(" a b ", "ST01", "WS.AVG"), " a b ||ST01.WS.AVG");
    EXPECT_EQ(MakeImportEntry("", "", ""), "||.");
}

TEST(ImportEntry, SplitsAtTheFirstBarsAndTheFirstPoint) {
    struct Row {
        const char* entry;
        const char* log;
        const char* station;
        const char* sensor;
        bool matched;
    };
    const Row rows[] = {
        {"TEMP||ST01.AT", "TEMP", "ST01", "AT", true},
        {"X||ST01.WS.AVG", "X", "ST01", "WS.AVG", true},  // a point in the sensor name stays
        {"X||ST.01.AT", "X", "ST", "01.AT", true},        // a station with a point reads back cut
        {"A|B||ST01.AT", "A", "||ST01", "AT", false},     // a log name with "|" reads back cut
        {"X||ST01.A|B", "X", "ST01", "A|B", true},        // '|' in the sensor name stays
        {"ST01:1||ST01.STAGE", "ST01:1", "ST01", "STAGE", true},
        {" x ||ST01. y ", " x ", "ST01", " y ", true},  // nothing is trimmed
        {"TEMP", "TEMP", "", "", false},
        {"", "", "", "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.entry);
        ImportEntryParts parts = SplitImportEntry(row.entry);
        EXPECT_EQ(parts.logSensor, row.log);
        EXPECT_EQ(parts.stationId, row.station);
        EXPECT_EQ(parts.sensorName, row.sensor);
        EXPECT_EQ(parts.matched, row.matched);
    }
}

TEST(ImportEntry, MadeAndSplitAgainGivesTheParts) {
    ImportEntryParts parts = SplitImportEntry(MakeImportEntry("Air Temp", "ST02", "AT"));
    EXPECT_EQ(parts.logSensor, "Air Temp");
    EXPECT_EQ(parts.stationId, "ST02");
    EXPECT_EQ(parts.sensorName, "AT");
}

TEST(HandTypedSensorName, BlankWhenOnlyBlanksAndControls) {
    EXPECT_TRUE(IsBlankSensorName(""));
    EXPECT_TRUE(IsBlankSensorName("   "));
    EXPECT_TRUE(IsBlankSensorName(" \t\r "));
    EXPECT_FALSE(IsBlankSensorName(" a "));
    EXPECT_FALSE(
        IsBlankSensorName("\xB0"
                          "C"));
}

}  // namespace
}  // namespace vireo
