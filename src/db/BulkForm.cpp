#include "db/BulkForm.h"

#include <optional>

#include "db/TextEncoding.h"
#include "scan/AsciiCase.h"

namespace vireo {

std::string NameAsWritten(std::string_view name, DriverText text) {
    std::string upper = UpperCaseName(name);
    return text == DriverText::Utf8 ? Windows1252ToUtf8(upper) : upper;
}

std::string SourceAsWritten(std::string_view source, DriverText text) {
    const std::string_view mark = source.empty() ? std::string_view("T") : source;
    return text == DriverText::Utf8 ? Windows1252ToUtf8(mark) : std::string(mark);
}

std::string BoundSecondText(DateTime timeTag) { return IsoDateTimeText(SplitDateTime(timeTag)); }

namespace {

/// Whether the fields name a second of the calendar (no 30 February, no hour 24).
bool InCalendar(const CalendarStamp& s) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (s.month < 1 || s.month > 12 || s.day < 1 || s.hours > 23 || s.minutes > 59 || s.seconds > 59) return false;
    const bool leap = (s.year % 4 == 0 && s.year % 100 != 0) || s.year % 400 == 0;
    return s.day <= kDays[s.month - 1] + (s.month == 2 && leap ? 1 : 0);
}

}  // namespace

std::int64_t KeyOfStoredText(std::string_view text) {
    if (text.size() != kShortStoredText && (text.size() != 23 || !text.ends_with(".000"))) return -1;
    // A text no bound time tag gives ("2005-02-30 ...") is another key to
    // the upsert, although its fields would count to a second that exists.
    const std::optional<CalendarStamp> second = ParseTimestampText(text);
    return second && InCalendar(*second) ? TimeTagKey(*second) : -1;
}

}  // namespace vireo
