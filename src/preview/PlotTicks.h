#pragma once

#include <string>
#include <vector>

#include "scan/Chronos.h"

namespace vireo {

/// The ticks of a value axis: round numbers one `step` apart (1, 2 or 5 times
/// a power of ten), those that lie in the axis's range.
struct ValueTicks {
    double step = 1;
    std::vector<double> values;
};

/// The ticks of the range low..high with the smallest step that gives at
/// most `most` of them (at least 2 are asked for). An empty range gets the
/// ticks of one unit around it.
ValueTicks NiceValueTicks(double low, double high, int most);

/// A tick value with as many decimals as its step has, and the regional
/// decimal separator ("0.25" for a step of 0.05, "120" for a step of 20,
/// never "-0").
std::string ValueTickText(double value, double step);

/// The calendar unit of time ticks.
enum class TimeUnit { Second, Minute, Hour, Day, Month, Year };

/// One tick of a time axis: its time tag, its text, and the date under it
/// where the ticks are times of day (the first tick and every tick of a new
/// day); empty otherwise.
struct TimeTick {
    SecondStamp stamp = 0;
    std::string text;
    std::string date;
    bool operator==(const TimeTick&) const = default;
};

/// The ticks of a time axis from..to with the smallest step a person would
/// pick that gives at most `most` ticks: 1, 2, 5, 10, 15 or 30 seconds or
/// minutes, 1, 2, 3, 6 or 12 hours, 1 or 2 days, 1 or 2 weeks (from
/// Mondays), 1, 2, 3 or 6 months (from January), 1, 2, 5, 10, 20 or 50 years.
/// Each tick stands on a whole one of its unit: a minute at :00 seconds, a
/// day at midnight, a month on its first day. Times of day are written in the
/// regional long time format, days in the short date format, months as
/// "Jun 2005", years as "2005".
std::vector<TimeTick> NiceTimeTicks(SecondStamp from, SecondStamp to, int most);

}  // namespace vireo
