#include "logfile/LogTimeTag.h"

#include <array>
#include <cstdint>

#include "scan/Regional.h"

namespace vireo {
namespace {

/// Larger than any part may be; a longer run of digits stops growing here, so
/// a part of any length is judged without overflow.
constexpr std::int64_t kPartCeiling = 1'000'000;
constexpr int kFirstYear = 1985;
/// From this year on the day number of a date may pass what a stamp holds.
constexpr int kLastSafeYear = 2052;

/// The separators a part may end with: the one loggers write whatever the
/// computer's locale, and the regional one when it differs.
struct Separators {
    char written;
    char regional;
    bool Holds(char c) const { return c == written || c == regional; }
    bool HasBlank() const { return written == ' ' || regional == ' '; }
};

/// Reads the numeric parts of a date or a time one by one.
class PartReader {
public:
    PartReader(std::string_view text, Separators separators) : text_(text), separators_(separators) {}

    /// The next part: blanks, at least one digit, blanks. False when there is none.
    bool Part(std::int64_t& value) {
        SkipBlanks();
        const std::size_t first = at_;
        value = 0;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            if (value < kPartCeiling) value = value * 10 + (text_[at_] - '0');
            ++at_;
        }
        if (at_ == first) return false;
        SkipBlanks();
        return true;
    }

    /// Steps over a separator; false when something else stands there, or
    /// another separator than the one that ended the first part.
    bool Separator() {
        if (at_ >= text_.size() || !separators_.Holds(text_[at_])) return false;
        if (used_ != 0 && text_[at_] != used_) return false;
        used_ = text_[at_];
        ++at_;
        return true;
    }

    bool AtEnd() const { return at_ == text_.size(); }

private:
    void SkipBlanks() {
        // A blank as the separator is not stepped over as padding.
        if (separators_.HasBlank()) return;
        while (at_ < text_.size() && text_[at_] == ' ') ++at_;
    }

    std::string_view text_;
    Separators separators_;
    char used_ = 0;
    std::size_t at_ = 0;
};

bool IsLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

std::int64_t DaysInMonth(std::int64_t year, std::int64_t month) {
    constexpr std::array<std::int64_t, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

struct Date {
    std::int64_t month = 0, day = 0, year = 0;
};

struct Time {
    std::int64_t hours = 0, minutes = 0, seconds = 0;
};

bool ReadDate(std::string_view text, Separators separators, Date& date) {
    PartReader reader(text, separators);
    if (!reader.Part(date.month) || !reader.Separator() || !reader.Part(date.day) || !reader.Separator() ||
        !reader.Part(date.year) || !reader.AtEnd())
        return false;
    return date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= DaysInMonth(date.year, date.month);
}

bool IsBlank(std::string_view text) { return text.find_first_not_of(' ') == std::string_view::npos; }

bool ReadTime(std::string_view text, Separators separators, Time& time) {
    if (IsBlank(text)) return true;  // no time: midnight
    PartReader reader(text, separators);
    if (!reader.Part(time.hours) || !reader.Separator() || !reader.Part(time.minutes)) return false;
    if (!reader.AtEnd() && (!reader.Separator() || !reader.Part(time.seconds) || !reader.AtEnd())) return false;
    return time.hours <= 23 && time.minutes <= 59 && time.seconds <= 59;
}

}  // namespace

LogTimeTag ReadLogTimeTag(std::string_view dateText, std::string_view timeText) {
    const RegionalSettings& regional = Regional();
    Date date;
    Time time;
    if (!ReadDate(dateText, {'/', regional.dateSeparator}, date) ||
        !ReadTime(timeText, {':', regional.timeSeparator}, time))
        return {};
    const auto parts = [](std::int64_t part) { return static_cast<int>(part); };
    const SecondStamp stamp = StampOf(parts(date.year), parts(date.month), parts(date.day), parts(time.hours),
                                      parts(time.minutes), parts(time.seconds));
    // Before 1985 the time base has no day: the time of day alone, as a stamp without a date part.
    if (date.year < kFirstYear) return {stamp, false};
    if (date.year > kLastSafeYear) {
        // A date the stamp cannot hold would wrap round to another time.
        const CalendarStamp back = SplitStamp(stamp);
        const CalendarStamp meant{parts(date.year),  parts(date.month),   parts(date.day),
                                  parts(time.hours), parts(time.minutes), parts(time.seconds)};
        if (stamp < 0 || !(back == meant)) return {};
    }
    return {stamp, true};
}

}  // namespace vireo
