#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vireo {

/// Seconds since 1984-12-31 00:00:00 local time.
using SecondStamp = std::int32_t;
/// Days since 1984-12-31: 1985-01-01 is day 1; day 0 stands for "no date".
using DayNumber = std::uint16_t;
/// Whole days since 1899-12-30 plus the fraction of the day.
using DateTime = double;

struct CalendarDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

struct CalendarStamp {
    int year = 0;
    int month = 0;
    int day = 0;
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    bool operator==(const CalendarStamp&) const = default;
};

DayNumber DayNumberOf(int year, int month, int day);
SecondStamp StampOf(int year, int month, int day, int hours, int minutes, int seconds);
CalendarDate SplitDayNumber(DayNumber day);
CalendarStamp SplitStamp(SecondStamp stamp);

DateTime SecondsToDateTime(SecondStamp stamp);
SecondStamp DateTimeToSeconds(DateTime dateTime);

/// The calendar date and time of any date-time, to the nearest second
/// (what a database timestamp is bound from).
CalendarStamp SplitDateTime(DateTime dateTime);

/// "YYYY-MM-DD HH:MM:SS" of a calendar second.
std::string IsoDateTimeText(const CalendarStamp& at);

/// Monday 1 .. Sunday 7.
int WeekdayOf(int year, int month, int day);

/// The current local time as a stamp. Tests may replace the clock.
SecondStamp NowSeconds();
void SetClockForTesting(std::function<SecondStamp()> clock);  // empty restores the real clock

/// month, day, year, hours, minutes, seconds read from a date text.
struct DatePartsResult {
    int month = 0;
    int day = 0;
    int year = 0;
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    bool operator==(const DatePartsResult&) const = default;
};
DatePartsResult DateParts(std::string_view text);

/// Evaluates a date expression (a keyword such as "YESTERDAY" or an absolute
/// date and time, optionally with a signed offset) against `base`; a base of 0
/// stands for NowSeconds().
SecondStamp ParseDateExpression(std::string_view text, SecondStamp base);

}  // namespace vireo
