#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "scan/Chronos.h"

namespace vireo {

// The key of a stored time tag: the second a time tag is written as, the
// texts it is bound and stored as, and the reading of a stored text back.

/// The key of a time tag: the calendar second it is written as, counted from
/// 1899-12-30. Equal keys are equal TIME_TAG values in the database.
std::int64_t TimeTagKey(const CalendarStamp& second);
inline std::int64_t TimeTagKey(DateTime timeTag) { return TimeTagKey(SplitDateTime(timeTag)); }

/// "YYYY-MM-DD HH:MM:SS": the second a time tag is bound as, and the
/// spelling of a row other programs stored without the fraction.
std::string BoundSecondText(DateTime timeTag);
/// The length of a stored second without the fraction: "YYYY-MM-DD HH:MM:SS".
inline constexpr std::size_t kShortStoredText = 19;

/// The text the SQLite driver stores for a bound second, "YYYY-MM-DD
/// HH:MM:SS.000" (its first kShortStoredText characters are the second
/// without the fraction), and its key.
struct StoredSecond {
    char text[40];
    int size;
    std::int64_t key;
};
StoredSecond StoredSecondOf(DateTime timeTag);

/// A timestamp as the databases give it as text: "yyyy-mm-dd hh:mm:ss" read
/// into its fields (not checked against the calendar), and what follows.
struct TimestampText {
    CalendarStamp second;
    std::string_view rest;
};
std::optional<TimestampText> ReadTimestampText(std::string_view text);

/// A timestamp text with or without a fraction of zeros; nothing for any
/// other text (a time tag with a fraction of a second is none that an import
/// writes).
std::optional<CalendarStamp> ParseTimestampText(std::string_view text);

/// The key of a stored SQLite TIME_TAG text in the driver's form "YYYY-MM-DD
/// HH:MM:SS.000" or without the fraction (as other programs store a second);
/// -1 for any other text. SQLite compares the texts: a row stored without the
/// fraction is written in that spelling, or the upsert would add a second row.
std::int64_t KeyOfStoredText(std::string_view text);

/// A database timestamp text ("yyyy-mm-dd hh:mm:ss", any fraction of a
/// second left off) as a stamp; nullopt when it is not one.
std::optional<SecondStamp> StampOfTimestampText(std::string_view text);

}  // namespace vireo
