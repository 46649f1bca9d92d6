#include "scan/Chronos.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <mutex>
#include <string>
#include <utility>

#include "scan/AsciiCase.h"
#include "scan/Regional.h"

namespace vireo {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
/// The date-time of 1984-12-31 00:00:00, the start of the time base.
constexpr double kBaseDateTime = 31047.0;

/// Days of a common year before each month; month 0 counts like January and
/// month 13 like January of the next year.
constexpr std::array<std::int64_t, 14> kDaysBeforeMonth = {0,   0,   31,  59,  90,  120, 151,
                                                           181, 212, 243, 273, 304, 334, 365};

constexpr std::int64_t FloorDiv(std::int64_t value, std::int64_t divisor) {
    std::int64_t quotient = value / divisor;
    if (value % divisor != 0 && (value < 0) != (divisor < 0)) --quotient;
    return quotient;
}

constexpr std::int64_t FloorMod(std::int64_t value, std::int64_t divisor) {
    return value - FloorDiv(value, divisor) * divisor;
}

bool IsLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

/// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
constexpr std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = FloorDiv(year, 400);
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct Civil {
    std::int64_t year, month, day;
};

/// The date of the proleptic Gregorian calendar that lies `days` after 1970-01-01.
Civil CivilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = FloorDiv(days, 146097);
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shifted = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    const std::int64_t month = shifted < 10 ? shifted + 3 : shifted - 9;
    return {era * 400 + yearOfEra + (month <= 2 ? 1 : 0), month, day};
}

/// Day 0 of the time base, 1984-12-31, counted from 1970-01-01.
constexpr std::int64_t kBaseDay = DaysFromCivil(1984, 12, 31);
static_assert(kBaseDay - DaysFromCivil(1899, 12, 30) == static_cast<std::int64_t>(kBaseDateTime));

/// Leap years from year 1 up to but not including `year` (year >= 1).
std::int64_t LeapYearsBefore(std::int64_t year) {
    const std::int64_t y = year - 1;
    return y / 4 - y / 100 + y / 400;
}

/// The day count before it is cut to 16 bits; months above 13 fold into later
/// years (13 itself stays) and negative months into earlier ones.
std::int64_t WideDayNumber(std::int64_t year, std::int64_t month, std::int64_t day) {
    if (month > 13) {
        const std::int64_t years = (month - 2) / 12;
        month -= years * 12;
        year += years;
    } else if (month < 0) {
        const std::int64_t years = (-month + 11) / 12;
        month += years * 12;
        year -= years;
    }
    if ((year == 0 && month == 0 && day == 0) || year < 1985) return 0;
    std::int64_t days = kDaysBeforeMonth[static_cast<std::size_t>(month)];
    if (month > 2 && IsLeapYear(year)) ++days;
    days += (year - 1985) * 365 + LeapYearsBefore(year) - LeapYearsBefore(1985);
    return days + day;
}

/// Cuts a 64-bit sum to the 32-bit stamp the way 32-bit arithmetic wraps.
SecondStamp WrapToStamp(std::int64_t value) {
    return static_cast<SecondStamp>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

std::int64_t WideStamp(std::int64_t year, std::int64_t month, std::int64_t day, std::int64_t hours,
                       std::int64_t minutes, std::int64_t seconds) {
    const auto dayNumber = static_cast<DayNumber>(static_cast<std::uint64_t>(WideDayNumber(year, month, day)));
    return dayNumber * kSecondsPerDay + hours * 3600 + minutes * 60 + seconds;
}

/// Rounds to the nearest integer, ties to the even one, whatever the FPU's
/// rounding mode.
double RoundHalfEven(double value) {
    const double lower = std::floor(value);
    const double fraction = value - lower;
    if (fraction > 0.5) return lower + 1;
    if (fraction < 0.5) return lower;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

CalendarStamp SplitSeconds(std::int64_t seconds) {
    const std::int64_t days = FloorDiv(seconds, kSecondsPerDay);
    const std::int64_t rest = seconds - days * kSecondsPerDay;
    const Civil date = CivilFromDays(kBaseDay + days);
    return {static_cast<int>(date.year),   static_cast<int>(date.month),       static_cast<int>(date.day),
            static_cast<int>(rest / 3600), static_cast<int>(rest % 3600 / 60), static_cast<int>(rest % 60)};
}

std::mutex& ClockMutex() {
    static std::mutex mutex;
    return mutex;
}

std::function<SecondStamp()>& TestClock() {
    static std::function<SecondStamp()> clock;
    return clock;
}

/// A decimal integer with an optional sign; anything else (also a number too
/// large for 32 bits) is 0.
int IntegerOrZero(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() == '-') return 0;
    }
    int value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return 0;
    return value;
}

/// Reads the parts of a date text one by one, each ended by a given character.
class PartReader {
public:
    explicit PartReader(std::string_view text) : text_(text) {}

    int Next(char ending) {
        if (usedUp_) return 0;
        while (cursor_ < text_.size() && text_[cursor_] == ' ') ++cursor_;
        const std::size_t end = text_.find(ending, cursor_);
        std::string_view part;
        if (end == std::string_view::npos) {
            part = text_.substr(cursor_);
            usedUp_ = true;
        } else {
            part = text_.substr(cursor_, end - cursor_);
            cursor_ = end + 1;
        }
        return IntegerOrZero(part);
    }

private:
    std::string_view text_;
    std::size_t cursor_ = 0;
    bool usedUp_ = false;
};

std::string UpperTrimmed(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return UpperCaseName(text);
}

/// What a keyword does: values set (-1 keeps) and amounts added to the offsets.
struct KeywordAction {
    std::string_view word;
    int addYears = 0;
    int setMonth = -1;
    int addMonths = 0;
    int setDay = -1;
    int addDays = 0;
    int setHours = -1;
    int addHours = 0;
};

// The week keywords depend on the weekday and are handled apart.
constexpr std::array<KeywordAction, 18> kKeywords = {{
    {"NEXT YEAR", 1, 1, 0, 1, 0, 0, 0},
    {"NEXT MONTH", 0, -1, 1, 1, 0, 0, 0},
    {"TOMORROW", 0, -1, 0, -1, 1, 0, 0},
    {"NEXT HOUR", 0, -1, 0, -1, 0, -1, 1},
    {"LAST 2 HOURS", 0, -1, 0, -1, 0, -1, -2},
    {"LAST 3 HOURS", 0, -1, 0, -1, 0, -1, -3},
    {"LAST 6 HOURS", 0, -1, 0, -1, 0, -1, -6},
    {"LAST 12 HOURS", 0, -1, 0, -1, 0, -1, -12},
    {"LAST HOUR", 0, -1, 0, -1, 0, -1, -1},
    {"TODAY", 0, -1, 0, -1, 0, 0, 0},
    {"YESTERDAY", 0, -1, 0, -1, -1, 0, 0},
    {"LAST 2 DAYS", 0, -1, 0, -1, -2, 0, 0},
    {"LAST 3 DAYS", 0, -1, 0, -1, -3, 0, 0},
    {"LAST 5 DAYS", 0, -1, 0, -1, -5, 0, 0},
    {"THIS MONTH", 0, -1, 0, 1, 0, 0, 0},
    {"LAST MONTH", 0, -1, -1, 1, 0, 0, 0},
    {"THIS YEAR", 0, 1, 0, 1, 0, 0, 0},
    {"LAST YEAR", -1, 1, 0, 1, 0, 0, 0},
}};

}  // namespace

DayNumber DayNumberOf(int year, int month, int day) {
    return static_cast<DayNumber>(static_cast<std::uint64_t>(WideDayNumber(year, month, day)));
}

SecondStamp StampOf(int year, int month, int day, int hours, int minutes, int seconds) {
    return WrapToStamp(WideStamp(year, month, day, hours, minutes, seconds));
}

CalendarDate SplitDayNumber(DayNumber day) {
    const Civil date = CivilFromDays(kBaseDay + day);
    return {static_cast<int>(date.year), static_cast<int>(date.month), static_cast<int>(date.day)};
}

// A negative stamp is the calendar second that many seconds before 1984-12-31,
// the same second that its date-time gives.
CalendarStamp SplitStamp(SecondStamp stamp) { return SplitSeconds(stamp); }

DateTime SecondsToDateTime(SecondStamp stamp) { return kBaseDateTime + static_cast<double>(stamp) / 86400.0; }

SecondStamp DateTimeToSeconds(DateTime dateTime) {
    const double seconds = RoundHalfEven((dateTime - kBaseDateTime) * 86400.0);
    if (std::isnan(seconds)) return 0;
    if (seconds >= static_cast<double>(std::numeric_limits<SecondStamp>::max()))
        return std::numeric_limits<SecondStamp>::max();
    if (seconds <= static_cast<double>(std::numeric_limits<SecondStamp>::min()))
        return std::numeric_limits<SecondStamp>::min();
    return static_cast<SecondStamp>(seconds);
}

CalendarStamp SplitDateTime(DateTime dateTime) {
    // The range of the date-time: 0001-01-01 00:00:00 to 9999-12-31 23:59:59;
    // values outside it are held at its ends, a value that is not a number
    // reads as the date-time 0.
    constexpr double kFirst = -693593.0;
    constexpr double kLast = 2958466.0 - 1.0 / 86400.0;
    if (std::isnan(dateTime)) dateTime = 0;
    if (dateTime < kFirst) dateTime = kFirst;
    if (dateTime > kLast) dateTime = kLast;
    const double seconds = RoundHalfEven((dateTime - kBaseDateTime) * 86400.0);
    return SplitSeconds(static_cast<std::int64_t>(seconds));
}

int WeekdayOf(int year, int month, int day) {
    std::int64_t y = year;
    std::int64_t m = static_cast<std::int64_t>(month) - 1;
    y += FloorDiv(m, 12);
    m = FloorMod(m, 12) + 1;
    const std::int64_t days = DaysFromCivil(y, m, 1) + day - 1;
    // 1970-01-01 was a Thursday.
    return static_cast<int>(FloorMod(days + 3, 7)) + 1;
}

SecondStamp NowSeconds() {
    {
        std::lock_guard lock(ClockMutex());
        if (TestClock()) return TestClock()();
    }
    // The date and the time come from one reading of the clock, so a call just
    // before midnight cannot pair the old date with the new day's time.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) return 0;
    return StampOf(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

void SetClockForTesting(std::function<SecondStamp()> clock) {
    std::lock_guard lock(ClockMutex());
    TestClock() = std::move(clock);
}

DatePartsResult DateParts(std::string_view text) {
    const RegionalSettings& regional = Regional();
    DatePartsResult parts;
    PartReader reader(text);
    if (text.find('/') != std::string_view::npos) {
        parts.month = reader.Next(regional.dateSeparator);
        parts.day = reader.Next(regional.dateSeparator);
        parts.year = reader.Next(' ');
    }
    parts.hours = reader.Next(regional.timeSeparator);
    parts.minutes = reader.Next(regional.timeSeparator);
    parts.seconds = reader.Next(' ');
    return parts;
}

SecondStamp ParseDateExpression(std::string_view text, SecondStamp base) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);

    std::size_t signAt = text.find('+');
    if (signAt == std::string_view::npos) signAt = text.find('-');
    std::int64_t offYear = 0, offMonth = 0, offDay = 0, offHours = 0, offMinutes = 0, offSeconds = 0;
    std::string_view head = text;
    if (signAt != std::string_view::npos) {
        const DatePartsResult offset = DateParts(text.substr(signAt + 1));
        const std::int64_t sign = text[signAt] == '-' ? -1 : 1;
        offMonth = sign * offset.month;
        offDay = sign * offset.day;
        offYear = sign * offset.year;
        offHours = sign * offset.hours;
        offMinutes = sign * offset.minutes;
        offSeconds = sign * offset.seconds;
        head = text.substr(0, signAt);
    }

    std::int64_t year = 0, month = 0, day = 0, hours = 0, minutes = 0, seconds = 0;
    if (!head.empty() && head.front() >= '0' && head.front() <= '9') {
        const DatePartsResult absolute = DateParts(head);
        year = absolute.year;
        month = absolute.month;
        day = absolute.day;
        hours = absolute.hours;
        minutes = absolute.minutes;
        seconds = absolute.seconds;
    } else {
        const std::string keyword = UpperTrimmed(head);
        const CalendarStamp now = SplitStamp(base == 0 ? NowSeconds() : base);
        year = now.year;
        month = now.month;
        day = now.day;
        hours = now.hours;
        if (keyword == "NOW") {
            minutes = now.minutes;
            seconds = now.seconds;
        } else if (keyword == "NEXT WEEK" || keyword == "THIS WEEK" || keyword == "LAST WEEK") {
            const int weekday = WeekdayOf(now.year, now.month, now.day);
            offDay += keyword == "NEXT WEEK" ? 7 - weekday : keyword == "THIS WEEK" ? -weekday : -(weekday + 7);
            hours = 0;
        } else {
            for (const KeywordAction& action : kKeywords) {
                if (keyword != action.word) continue;
                offYear += action.addYears;
                offMonth += action.addMonths;
                offDay += action.addDays;
                offHours += action.addHours;
                if (action.setMonth >= 0) month = action.setMonth;
                if (action.setDay >= 0) day = action.setDay;
                if (action.setHours >= 0) hours = action.setHours;
                break;
            }
        }
    }

    // The month is brought into 1 to 12, whole years carried into the year.
    const std::int64_t months = month + offMonth - 1;
    year += FloorDiv(months, 12) + offYear;
    month = FloorMod(months, 12) + 1;

    return WrapToStamp(WideStamp(year, month, day + offDay, hours, minutes, seconds) + offHours * 3600 +
                       offMinutes * 60 + offSeconds);
}

std::string IsoDateTimeText(const CalendarStamp& at) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", at.year, at.month, at.day, at.hours, at.minutes,
                  at.seconds);
    return text;
}

}  // namespace vireo
