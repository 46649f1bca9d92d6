#pragma once

#include <string>
#include <vector>

#include "scan/Chronos.h"

namespace vireo::testing {

/// One log line of a one-value record: NAME,MM/DD/YYYY,HH:MM:SS,VALUE,G.
inline std::string ValueLine(const std::string& name, SecondStamp stamp, const std::string& value) {
    const CalendarStamp at = SplitStamp(stamp);
    char text[64];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d,%02d:%02d:%02d", at.month, at.day, at.year, at.hours, at.minutes,
                  at.seconds);
    return name + "," + text + "," + value + ",G";
}

/// `count` lines of `name`, one every `step` seconds from `start`, the value
/// of line i being `value(i)`.
template <class Value>
std::vector<std::string> RegularLines(const std::string& name, SecondStamp start, int step, int count, Value value) {
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) lines.push_back(ValueLine(name, start + i * step, value(i)));
    return lines;
}

}  // namespace vireo::testing
