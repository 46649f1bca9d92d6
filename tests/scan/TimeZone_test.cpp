#include "scan/TimeZone.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vireo {
namespace {

TEST(ParseTimeZone, NamesFixedOffsetsAndAsWritten) {
    struct Row {
        const char* text;
        bool known;
        int offset;
        bool named;
    };
    const std::vector<Row> rows = {
        {"Europe/Berlin", true, 0, true},
        {"America/New_York", true, 0, true},
        {"UTC", true, 0, false},
        {"UTC+01:00", true, 3600, false},
        {"UTC-05:00", true, -18000, false},
        {"UTC+5", true, 18000, false},
        {"UTC-03:30", true, -12600, false},
        {"as written", true, 0, false},
        {"Mars/Olympus", false, 0, false},
        {"UTC+25:00", false, 0, false},
        {"UTC+01:60", false, 0, false},
        {"UTC 01:00", false, 0, false},
        {"", false, 0, false},
    };
    for (const Row& row : rows) {
        std::string error;
        const auto zone = ParseTimeZone(row.text, error);
        ASSERT_EQ(zone.has_value(), row.known) << row.text;
        if (!zone) {
            EXPECT_EQ(error, "unknown time zone: " + std::string(row.text));
            continue;
        }
        EXPECT_EQ(zone->Text(), row.text);
        EXPECT_EQ(zone->offset, row.offset) << row.text;
        EXPECT_EQ(zone->zone != nullptr, row.named) << row.text;
    }
}

SecondStamp At(const std::string& text) {
    const auto n = [&](std::size_t at, std::size_t size) { return std::stoi(text.substr(at, size)); };
    return StampOf(n(0, 4), n(5, 2), n(8, 2), n(11, 2), n(14, 2), 0);
}

TimeZone Zone(const char* text) {
    std::string error;
    return *ParseTimeZone(text, error);
}

// Each row is a log read in order: the time tags as written, and what each
// becomes in the database's base ("missing" for a time the log's zone does not have).
TEST(TimeTagConversion, TakesBothPassesOfTheRepeatedHourAndRefusesTheMissingOne) {
    struct Row {
        const char* log;
        const char* database;
        std::vector<std::pair<const char*, const char*>> times;
    };
    const std::vector<Row> rows = {
        {"Europe/Berlin",
         "UTC",  // autumn: 02:00-02:59 twice, the clock steps back after 02:59
         {{"2024-10-27 01:59", "2024-10-26 23:59:00"},
          {"2024-10-27 02:00", "2024-10-27 00:00:00"},
          {"2024-10-27 02:59", "2024-10-27 00:59:00"},
          {"2024-10-27 02:00", "2024-10-27 01:00:00"},
          {"2024-10-27 02:30", "2024-10-27 01:30:00"},
          {"2024-10-27 02:59", "2024-10-27 01:59:00"},
          {"2024-10-27 03:00", "2024-10-27 02:00:00"}}},
        {"Europe/Berlin",
         "UTC",  // spring: 02:00-02:59 never shown
         {{"2024-03-31 01:59", "2024-03-31 00:59:00"},
          {"2024-03-31 02:00", "missing"},
          {"2024-03-31 02:59", "missing"},
          {"2024-03-31 03:00", "2024-03-31 01:00:00"}}},
        {"Europe/Berlin",
         "UTC",  // a clock set back by hand is not guessed at
         {{"2024-10-26 12:00", "2024-10-26 10:00:00"}, {"2024-10-26 11:00", "2024-10-26 09:00:00"}}},
        {"Europe/Berlin",
         "UTC",  // a log that starts in the repeated hour starts in its first pass
         {{"2024-10-27 02:30", "2024-10-27 00:30:00"}, {"2024-10-27 02:40", "2024-10-27 00:40:00"}}},
        {"America/New_York",
         "UTC",
         {{"2024-11-03 00:59", "2024-11-03 04:59:00"},
          {"2024-11-03 01:00", "2024-11-03 05:00:00"},
          {"2024-11-03 01:59", "2024-11-03 05:59:00"},
          {"2024-11-03 01:00", "2024-11-03 06:00:00"},
          {"2024-11-03 02:00", "2024-11-03 07:00:00"},
          {"2024-03-10 01:59", "2024-03-10 06:59:00"},
          {"2024-03-10 02:30", "missing"},
          {"2024-03-10 03:00", "2024-03-10 07:00:00"}}},
        {"UTC-05:00",
         "UTC",  // a fixed offset repeats nothing and misses nothing
         {{"2024-11-03 01:30", "2024-11-03 06:30:00"},
          {"2024-11-03 01:00", "2024-11-03 06:00:00"},
          {"2024-03-10 02:30", "2024-03-10 07:30:00"}}},
        {"Europe/Berlin",
         "UTC+01:00",  // a station kept on standard time all year
         {{"2024-10-27 02:30", "2024-10-27 01:30:00"},
          {"2024-10-27 02:10", "2024-10-27 02:10:00"},
          {"2024-07-01 12:00", "2024-07-01 11:00:00"}}},
        {"UTC",
         "Europe/Berlin",
         {{"2024-10-27 00:30", "2024-10-27 02:30:00"}, {"2024-10-27 01:30", "2024-10-27 02:30:00"}}},
    };
    for (const Row& row : rows) {
        TimeTagConversion conversion({Zone(row.log), Zone(row.database)});
        for (const auto& [written, stored] : row.times) {
            const auto result = conversion.Convert(At(written));
            const std::string got = result.state == TimeTagConversion::Result::State::DoesNotExist
                                        ? "missing"
                                        : IsoDateTimeText(SplitStamp(result.stamp));
            EXPECT_EQ(got, stored) << row.log << " -> " << row.database << ": " << written;
        }
    }
}

TEST(TimeTagConversion, NothingOutsideTheTimeBase) {
    TimeTagConversion conversion({Zone("UTC+01:00"), Zone("UTC")});
    EXPECT_EQ(conversion.Convert(At("1985-01-01 00:30")).state, TimeTagConversion::Result::State::OutsideTimeBase);
    EXPECT_EQ(conversion.Convert(At("1985-01-01 01:30")).state, TimeTagConversion::Result::State::Stored);
}

}  // namespace
}  // namespace vireo
