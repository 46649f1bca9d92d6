#pragma once

#include <string_view>

#include "scan/Chronos.h"

namespace vireo {

/// The date and time of a log record, read strictly.
struct LogTimeTag {
    /// The record's date and time; the time of day alone when the year lies
    /// before 1985 (the time base has no day for it), 0 when the texts are no
    /// date and time.
    SecondStamp stamp = 0;
    /// True when the record may be written at `stamp`: a real calendar date
    /// from 1985 on that the time base holds, and a real time of day.
    bool usable = false;
};

/// Reads the date text and the time text of a log record. The date is
/// month, day and year with a date separator between them, each part made of
/// digits; the month lies within 1 to 12 and the day within that month of that
/// year. The time is hours and minutes, optionally seconds, of digits with a
/// time separator between them; hours 0 to 23, minutes and seconds 0 to 59. An
/// empty time text is midnight. Blanks may stand around every part. Loggers
/// write '/' and ':' whatever the computer's locale: those are always taken,
/// and the regional date and time separators too, the same one throughout a
/// date or a time. Anything else (a part too large, a sign, another separator,
/// a letter, a part missing or left over) is no date and time: nothing
/// overflows into the next part.
LogTimeTag ReadLogTimeTag(std::string_view dateText, std::string_view timeText);

}  // namespace vireo
