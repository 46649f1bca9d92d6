#include "db/StoredValues.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "BackendTest.h"
#include "db/DataWriter.h"
#include "db/TimeTagKey.h"

namespace vireo::testing {
namespace {

constexpr SecondStamp kT = 645539400;  // 2005-06-15 12:30:00

class StoredValuesTest : public BackendTest {
protected:
    void Write(const std::string& station, const std::string& sensor, SecondStamp stamp, double value) {
        ASSERT_EQ(writer_.WriteValue(station, sensor, "T", SecondsToDateTime(stamp), value).outcome,
                  WriteOutcome::Inserted);
    }

    DataWriter writer_{database_};
};

TEST_P(StoredValuesTest, ReadsTheRowsOfOneSensorOverTheSpanInTimeOrder) {
    Write("ST01", "TEMP", kT + 120, 22);
    Write("ST01", "TEMP", kT, 20.5);
    Write("ST01", "TEMP", kT + 60, 21);
    Write("ST01", "TEMP", kT - 1, 19);    // before the span
    Write("ST01", "TEMP", kT + 121, 23);  // after it
    Write("ST01", "HUM", kT + 60, 0.5);   // another sensor
    Write("ST02", "TEMP", kT + 60, 99);   // another station
    source().Execute(
        "UPDATE TF_DATA1 SET ED_VALUE = 21.25 WHERE STATION_ID = 'ST01' AND SENSORNAME = 'TEMP' AND ORIG_VALUE = 21;\n"
        "UPDATE TF_DATA1 SET ED_VALUE = NULL WHERE STATION_ID = 'ST01' AND SENSORNAME = 'TEMP' AND ORIG_VALUE = 22;\n");

    EXPECT_EQ(ReadStoredValues(database_, "st01", "temp", kT, kT + 120),
              (std::vector<StoredValue>{{kT, 20.5, 20.5}, {kT + 60, 21, 21.25}, {kT + 120, 22, std::nullopt}}));
    EXPECT_TRUE(ReadStoredValues(database_, "ST01", "TEMP", kT + 200, kT + 300).empty());
    // The reading writes nothing.
    EXPECT_EQ(source().Select("SELECT COUNT(*) FROM TF_DATA1")[0][0], std::optional<std::string>("7"));
}

TEST_P(StoredValuesTest, ATableThatIsNotThereGivesTheDriversError) {
    source().Execute("DROP TABLE TF_DATA1");
    try {
        ReadStoredValues(database_, "ST01", "TEMP", kT, kT + 60);
        FAIL() << "no error";
    } catch (const DbError& error) {
        EXPECT_NE(std::string(error.what()).find(OnPostgres() ? "tf_data1" : "TF_DATA1"), std::string::npos)
            << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, StoredValuesTest, ::testing::ValuesIn(kAllBackends), BackendParamName);

TEST(StoredValues, TimestampTexts) {
    const std::vector<std::pair<std::string, std::optional<SecondStamp>>> cases = {
        {"2005-06-15 12:30:00", kT},
        {"2005-06-15 12:30:00.000", kT},
        {"2005-06-15 12:30:00.5", kT},
        {"2005-06-15", std::nullopt},
        {"2005/06/15 12:30:00", std::nullopt},
        {"2005-13-15 12:30:00", std::nullopt},
        {"2005-06-15 24:30:00", std::nullopt},
        {"2005-06-1x 12:30:00", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, stamp] : cases) EXPECT_EQ(StampOfTimestampText(text), stamp) << text;
}

}  // namespace
}  // namespace vireo::testing
