#include "preview/PlotTicks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "scan/Regional.h"

namespace vireo {

ValueTicks NiceValueTicks(double low, double high, int most) {
    most = std::max(most, 2);
    if (!(high > low)) {
        low -= 1;
        high += 1;
    }
    ValueTicks ticks;
    const double rough = (high - low) / most;
    double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (;;) {
        for (const double mantissa : {1.0, 2.0, 5.0}) {
            const double step = mantissa * power;
            const double first = std::ceil(low / step - 1e-9);
            const double last = std::floor(high / step + 1e-9);
            if (last - first + 1 <= most) {
                ticks.step = step;
                for (double i = first; i <= last; ++i) ticks.values.push_back(i * step);
                return ticks;
            }
        }
        power *= 10;
    }
}

std::string ValueTickText(double value, double step) {
    const int decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
    if (std::fabs(value) < step / 2) value = 0;
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string out(text);
    std::replace(out.begin(), out.end(), '.', Regional().decimalSeparator);
    return out;
}

namespace {

struct TickStep {
    TimeUnit unit;
    int count;
    std::int64_t seconds;  // its length (a month and a year as on average)
};

constexpr std::int64_t kDay = 86400;
constexpr TickStep kSteps[] = {
    {TimeUnit::Second, 1, 1},
    {TimeUnit::Second, 2, 2},
    {TimeUnit::Second, 5, 5},
    {TimeUnit::Second, 10, 10},
    {TimeUnit::Second, 15, 15},
    {TimeUnit::Second, 30, 30},
    {TimeUnit::Minute, 1, 60},
    {TimeUnit::Minute, 2, 120},
    {TimeUnit::Minute, 5, 300},
    {TimeUnit::Minute, 10, 600},
    {TimeUnit::Minute, 15, 900},
    {TimeUnit::Minute, 30, 1800},
    {TimeUnit::Hour, 1, 3600},
    {TimeUnit::Hour, 2, 7200},
    {TimeUnit::Hour, 3, 10800},
    {TimeUnit::Hour, 6, 21600},
    {TimeUnit::Hour, 12, 43200},
    {TimeUnit::Day, 1, kDay},
    {TimeUnit::Day, 2, 2 * kDay},
    {TimeUnit::Day, 7, 7 * kDay},
    {TimeUnit::Day, 14, 14 * kDay},
    {TimeUnit::Month, 1, 2629746},
    {TimeUnit::Month, 2, 2 * 2629746},
    {TimeUnit::Month, 3, 3 * 2629746},
    {TimeUnit::Month, 6, 6 * 2629746},
    {TimeUnit::Year, 1, 31556952},
    {TimeUnit::Year, 2, 2 * 31556952},
    {TimeUnit::Year, 5, 5 * 31556952},
    {TimeUnit::Year, 10, 10 * 31556952},
    {TimeUnit::Year, 20, 20 * 31556952},
    {TimeUnit::Year, 50, 50 * 31556952},
};

const char* const kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

/// The time tags of the ticks of one step from..to.
std::vector<SecondStamp> StampsOf(const TickStep& step, std::int64_t from, std::int64_t to) {
    std::vector<SecondStamp> stamps;
    if (step.unit == TimeUnit::Month || step.unit == TimeUnit::Year) {
        const CalendarStamp start = SplitStamp(static_cast<SecondStamp>(from));
        const int perTick = step.unit == TimeUnit::Month ? step.count : 12 * step.count;
        // Months counted from January of year 0, so that ticks fall on
        // January, April, ... and on years divisible by the step.
        long long month = static_cast<long long>(start.year) * 12 + (start.month - 1);
        month = (month + perTick - 1) / perTick * perTick;
        for (;; month += perTick) {
            const auto year = static_cast<int>(month / 12);
            if (year > 9999) break;
            const std::int64_t stamp = StampOf(year, static_cast<int>(month % 12) + 1, 1, 0, 0, 0);
            if (stamp < from) continue;
            if (stamp > to) break;
            stamps.push_back(static_cast<SecondStamp>(stamp));
        }
        return stamps;
    }
    // Stamp 0 is midnight of a Monday: whole seconds, minutes, hours, days
    // and weeks are multiples of their length.
    const std::int64_t length = step.seconds;
    std::int64_t at = from >= 0 ? (from + length - 1) / length * length : -(-from / length * length);
    for (; at <= to; at += length) stamps.push_back(static_cast<SecondStamp>(at));
    return stamps;
}

std::size_t CountOf(const TickStep& step, std::int64_t from, std::int64_t to) {
    return static_cast<std::size_t>((to - from) / step.seconds + 1);
}

}  // namespace

std::vector<TimeTick> NiceTimeTicks(SecondStamp from, SecondStamp to, int most) {
    most = std::max(most, 2);
    if (to < from) std::swap(from, to);
    const TickStep* chosen = std::end(kSteps) - 1;
    for (const TickStep& step : kSteps) {
        // The estimate first, so that a long span with a small step is never walked.
        if (CountOf(step, from, to) > static_cast<std::size_t>(most) + 1) continue;
        if (StampsOf(step, from, to).size() <= static_cast<std::size_t>(most)) {
            chosen = &step;
            break;
        }
    }
    std::vector<TimeTick> ticks;
    int lastDay = -1;
    for (const SecondStamp stamp : StampsOf(*chosen, from, to)) {
        const CalendarStamp at = SplitStamp(stamp);
        TimeTick tick;
        tick.stamp = stamp;
        switch (chosen->unit) {
            case TimeUnit::Second:
            case TimeUnit::Minute:
            case TimeUnit::Hour: {
                tick.text = TimeText(at.hours, at.minutes, at.seconds);
                const int day = at.year * 400 + at.month * 32 + at.day;
                if (day != lastDay) tick.date = DateText(at.year, at.month, at.day);
                lastDay = day;
                break;
            }
            case TimeUnit::Day:
                tick.text = DateText(at.year, at.month, at.day);
                break;
            case TimeUnit::Month:
                tick.text = std::string(kMonthNames[at.month - 1]) + " " + std::to_string(at.year);
                break;
            case TimeUnit::Year:
                tick.text = std::to_string(at.year);
                break;
        }
        ticks.push_back(std::move(tick));
    }
    return ticks;
}

}  // namespace vireo
