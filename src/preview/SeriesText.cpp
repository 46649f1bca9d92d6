#include "preview/SeriesText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "scan/Regional.h"

namespace vireo {

std::string IsoTimeTagText(SecondStamp stamp) { return IsoDateTimeText(SplitStamp(stamp)); }

std::string DurationText(std::int64_t seconds) {
    std::string text;
    if (seconds < 0) {
        text = "-";
        seconds = -seconds;
    }
    const std::int64_t days = seconds / 86400;
    const std::int64_t rest = seconds % 86400;
    char clock[64];
    if (days > 0) {
        std::snprintf(clock, sizeof clock, "%lldd %02lld:%02lld:%02lld", static_cast<long long>(days),
                      static_cast<long long>(rest / 3600), static_cast<long long>(rest % 3600 / 60),
                      static_cast<long long>(rest % 60));
    } else {
        std::snprintf(clock, sizeof clock, "%02lld:%02lld:%02lld", static_cast<long long>(rest / 3600),
                      static_cast<long long>(rest % 3600 / 60), static_cast<long long>(rest % 60));
    }
    return text + clock;
}

std::string ShortestNumberText(double value) {
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return std::string(text, written.ptr);
}

std::string RegionalTimeTagText(SecondStamp stamp) {
    const CalendarStamp at = SplitStamp(stamp);
    return DateText(at.year, at.month, at.day) + " " + TimeText(at.hours, at.minutes, at.seconds);
}

namespace {

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::optional<std::string> SeriesCsv(const std::vector<const NameSeries*>& series, SecondStamp from, SecondStamp to,
                                     std::size_t most) {
    const auto earlier = [](const SeriesPoint& point, SecondStamp stamp) { return point.stamp < stamp; };
    const auto inside = [&](SecondStamp stamp) { return stamp >= from && stamp <= to; };
    std::size_t count = 0;
    for (const NameSeries* one : series) {
        const auto begin = std::lower_bound(one->points.begin(), one->points.end(), from, earlier);
        const auto end =
            std::upper_bound(begin, one->points.end(), to,
                             [](SecondStamp stamp, const SeriesPoint& point) { return stamp < point.stamp; });
        count += static_cast<std::size_t>(end - begin);
        count += static_cast<std::size_t>(std::count_if(
            one->refused.begin(), one->refused.end(), [&](const auto& r) { return r.hasTimeTag && inside(r.stamp); }));
    }
    if (count > most) return std::nullopt;
    std::string text = "Name,Time tag,Value,Line,Refused\r\n";
    for (const NameSeries* one : series) {
        const std::string name = CsvField(one->name);
        for (auto point = std::lower_bound(one->points.begin(), one->points.end(), from, earlier);
             point != one->points.end() && point->stamp <= to; ++point) {
            text += name + "," + IsoTimeTagText(point->stamp) + "," + ShortestNumberText(point->value) + "," +
                    std::to_string(point->line) + ",\r\n";
        }
        for (const RefusedValue& refused : one->refused) {
            if (!refused.hasTimeTag || !inside(refused.stamp)) continue;
            text += name + "," + IsoTimeTagText(refused.stamp) + "," + CsvField(refused.valueText) + "," +
                    std::to_string(refused.line) + "," + RefusalText(refused.reason) + "\r\n";
        }
    }
    return text;
}

}  // namespace vireo
