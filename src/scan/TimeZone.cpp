#include "scan/TimeZone.h"

#include <date/tz.h>

#include <chrono>
#include <limits>
#include <stdexcept>

namespace vireo {
namespace {

using Seconds = std::chrono::seconds;

// 1984-12-31, the day the stamps count from, in days since 1970.
constexpr std::int64_t kStampEpoch = 5478LL * 86400;

/// Digits only, at most two of them.
std::optional<int> TwoDigits(std::string_view text) {
    if (text.empty() || text.size() > 2) return std::nullopt;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

/// "+HH:MM", "-HH:MM", "+H", "-HH" after "UTC": seconds east of UTC.
std::optional<int> FixedOffset(std::string_view text) {
    if (text.empty()) return 0;
    const int sign = text[0] == '+' ? 1 : text[0] == '-' ? -1 : 0;
    if (sign == 0) return std::nullopt;
    text.remove_prefix(1);
    const auto colon = text.find(':');
    const auto hours = TwoDigits(text.substr(0, colon));
    const auto minutes = colon == std::string_view::npos ? std::optional<int>(0) : TwoDigits(text.substr(colon + 1));
    if (!hours || !minutes || *hours > 14 || *minutes > 59) return std::nullopt;
    return sign * (*hours * 3600 + *minutes * 60);
}

}  // namespace

std::optional<TimeZone> ParseTimeZone(std::string_view text, std::string& error) {
    TimeZone zone;
    if (text == kAsWritten) return zone;
    if (text.starts_with("UTC")) {
        if (const auto offset = FixedOffset(text.substr(3))) {
            zone.name = text;
            zone.offset = *offset;
            return zone;
        }
    }
    try {
        zone.zone = date::locate_zone(std::string(text));
        zone.name = text;
        return zone;
    } catch (const std::exception& e) {
        error = "unknown time zone: " + std::string(text);
        return std::nullopt;
    }
}

std::optional<TimeZones> ParseTimeZones(std::string_view log, std::string_view database, std::string& error) {
    TimeZones zones;
    for (const auto& [text, zone] : {std::pair{log, &zones.log}, std::pair{database, &zones.database}}) {
        if (text.empty()) continue;
        const std::optional<TimeZone> parsed = ParseTimeZone(text, error);
        if (!parsed) return std::nullopt;
        *zone = *parsed;
    }
    if (zones.log.AsWritten() != zones.database.AsWritten()) {
        error = "the log's time zone and the database's time base go together";
        return std::nullopt;
    }
    return zones;
}

LocalTime LookUpLocal(const TimeZone& zone, std::int64_t local) {
    LocalTime found;
    if (zone.zone == nullptr) {
        found.earliest = found.latest = local - zone.offset;
        return found;
    }
    const date::local_seconds at{Seconds(local)};
    const date::local_info info = zone.zone->get_info(at);
    const auto utc = [&](const date::sys_info& in) { return local - in.offset.count(); };
    switch (info.result) {
        case date::local_info::unique:
            found.earliest = found.latest = utc(info.first);
            break;
        case date::local_info::nonexistent:
            found.kind = LocalTime::Kind::Missing;
            break;
        case date::local_info::ambiguous:
            found.kind = LocalTime::Kind::Repeated;
            found.earliest = utc(info.first);
            found.latest = utc(info.second);
            found.shift = info.second.begin.time_since_epoch().count();
            break;
    }
    return found;
}

std::int64_t LocalAt(const TimeZone& zone, std::int64_t utc) {
    if (zone.zone == nullptr) return utc + zone.offset;
    const date::sys_seconds at{Seconds(utc)};
    return utc + zone.zone->get_info(at).offset.count();
}

std::int64_t UnixSecondsOf(SecondStamp stamp) { return kStampEpoch + stamp; }

std::optional<SecondStamp> StampOfUnixSeconds(std::int64_t seconds) {
    const std::int64_t stamp = seconds - kStampEpoch;
    if (stamp < 0 || stamp > std::numeric_limits<SecondStamp>::max()) return std::nullopt;
    return static_cast<SecondStamp>(stamp);
}

TimeTagConversion::Result TimeTagConversion::Convert(SecondStamp written) {
    if (cached_ && written == state_.last) return lastResult_;
    const LocalTime local = LookUpLocal(zones_.log, UnixSecondsOf(written));
    Result result;
    std::int64_t shift = 0;
    if (local.kind == LocalTime::Kind::Missing) {
        result.state = Result::State::DoesNotExist;
    } else {
        std::int64_t utc = local.earliest;
        if (local.kind == LocalTime::Kind::Repeated) {
            shift = local.shift;
            result.repeated = true;
            const bool sameRepeat = state_.started && state_.shift == shift;
            // The clock stepped back within the repeated hour: its second pass.
            result.secondPass = sameRepeat && (state_.secondPass || written < state_.last);
            if (result.secondPass) utc = local.latest;
        }
        const auto stamp = StampOfUnixSeconds(LocalAt(zones_.database, utc));
        if (stamp && *stamp >= 86400) {  // a time tag has a date part
            result.stamp = *stamp;
        } else {
            result.state = Result::State::OutsideTimeBase;
        }
    }
    state_ = {true, written, shift, result.secondPass};
    cached_ = true;
    lastResult_ = result;
    return result;
}

}  // namespace vireo
