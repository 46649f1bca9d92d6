#include "db/TimeTagKey.h"

#include <cstdio>

namespace vireo {
namespace {

/// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

bool ReadDigits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

/// Whether the fields name a second of the calendar (no 30 February, no hour 24).
bool InCalendar(const CalendarStamp& s) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (s.month < 1 || s.month > 12 || s.day < 1 || s.hours > 23 || s.minutes > 59 || s.seconds > 59) return false;
    const bool leap = (s.year % 4 == 0 && s.year % 100 != 0) || s.year % 400 == 0;
    return s.day <= kDays[s.month - 1] + (s.month == 2 && leap ? 1 : 0);
}

}  // namespace

std::int64_t TimeTagKey(const CalendarStamp& s) {
    static const std::int64_t kEpoch = DaysFromCivil(1899, 12, 30);
    return (DaysFromCivil(s.year, static_cast<unsigned>(s.month), static_cast<unsigned>(s.day)) - kEpoch) * 86400 +
           s.hours * 3600 + s.minutes * 60 + s.seconds;
}

std::string BoundSecondText(DateTime timeTag) { return IsoDateTimeText(SplitDateTime(timeTag)); }

StoredSecond StoredSecondOf(DateTime timeTag) {
    const CalendarStamp at = SplitDateTime(timeTag);
    StoredSecond stored{};
    if (at.year >= 0 && at.year <= 9999) {
        // "%04d-%02d-%02d %02d:%02d:%02d.000" without the cost of formatting.
        char* out = stored.text;
        auto put = [&out](int number, int digits, char after) {
            for (int d = digits - 1; d >= 0; --d, number /= 10) out[d] = static_cast<char>('0' + number % 10);
            out += digits;
            *out++ = after;
        };
        put(at.year, 4, '-');
        put(at.month, 2, '-');
        put(at.day, 2, ' ');
        put(at.hours, 2, ':');
        put(at.minutes, 2, ':');
        put(at.seconds, 2, '.');
        put(0, 3, '\0');
        stored.size = 23;
    } else {
        stored.size = std::snprintf(stored.text, sizeof stored.text, "%04d-%02d-%02d %02d:%02d:%02d.000", at.year,
                                    at.month, at.day, at.hours, at.minutes, at.seconds);
    }
    stored.key = TimeTagKey(at);
    return stored;
}

std::optional<TimestampText> ReadTimestampText(std::string_view text) {
    CalendarStamp s;
    if (text.size() < kShortStoredText || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':')
        return std::nullopt;
    if (!ReadDigits(text, 0, 4, s.year) || !ReadDigits(text, 5, 2, s.month) || !ReadDigits(text, 8, 2, s.day) ||
        !ReadDigits(text, 11, 2, s.hours) || !ReadDigits(text, 14, 2, s.minutes) || !ReadDigits(text, 17, 2, s.seconds))
        return std::nullopt;
    return TimestampText{s, text.substr(kShortStoredText)};
}

std::optional<CalendarStamp> ParseTimestampText(std::string_view text) {
    const std::optional<TimestampText> read = ReadTimestampText(text);
    if (!read) return std::nullopt;
    const std::string_view rest = read->rest;
    if (!rest.empty() && (rest[0] != '.' || rest.find_first_not_of('0', 1) != std::string_view::npos))
        return std::nullopt;
    return read->second;
}

std::int64_t KeyOfStoredText(std::string_view text) {
    const std::optional<TimestampText> read = ReadTimestampText(text);
    if (!read || !(read->rest.empty() || read->rest == ".000")) return -1;
    // A text no bound time tag gives ("2005-02-30 ...") is another key to
    // the upsert, although its fields would count to a second that exists.
    return InCalendar(read->second) ? TimeTagKey(read->second) : -1;
}

std::optional<SecondStamp> StampOfTimestampText(std::string_view text) {
    const std::optional<TimestampText> read = ReadTimestampText(text);
    if (!read) return std::nullopt;
    const CalendarStamp& s = read->second;
    if (s.month < 1 || s.month > 12 || s.day < 1 || s.day > 31 || s.hours > 23 || s.minutes > 59 || s.seconds > 59)
        return std::nullopt;
    return StampOf(s.year, s.month, s.day, s.hours, s.minutes, s.seconds);
}

}  // namespace vireo
