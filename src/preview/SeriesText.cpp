#include "preview/SeriesText.h"

#include <charconv>
#include <cstdio>

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

}  // namespace vireo
