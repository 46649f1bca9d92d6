// ClassifyLogLine, ParseLogRecord and NextLogValue on one fuzzed line, and the
// discovery of the same line.
// Properties:
// - the kind is one of 0..6 and the same on a second call;
// - a one-value record: the result is exactly "the value text is a number",
//   the time tag is SecondsToDateTime(stamp), every text is a piece of the line;
// - a multi-value line: the walk ends within length+1 steps, names run
//   label:1, label:2, ... and all values share one stamp;
// - a record with a time tag is at exactly the calendar date and time that the
//   digits of its date and time texts say (nothing overflows into the next
//   part), from 1985 on; a record whose texts are a real date and time of that
//   range, written without blanks, has one; a record without one has a stamp
//   below one day;
// - discovery lists exactly the names the record reading gives the line
//   (what the user can pair is what the import finds).

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "logfile/LogLineKind.h"
#include "logfile/LogNumber.h"
#include "logfile/LogRecord.h"
#include "logfile/SensorDiscovery.h"
#include "scan/AsciiCase.h"

namespace {

bool PieceOf(std::string_view line, const std::string& text) {
    return text.empty() || line.find(text) != std::string_view::npos;
}

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const { return vireo::NameLess(a, b); }
};

/// The numbers of a date or time text: runs of digits between separators,
/// blanks left out. False when the text is of another shape. A number of more
/// than nine digits reads as 10^9, larger than any part may be.
bool Numbers(std::string_view text, char separator, std::vector<std::int64_t>& numbers) {
    numbers.clear();
    std::string compact;
    for (const char c : text)
        if (c != ' ') compact.push_back(c);
    if (compact.empty()) return true;
    std::string_view rest = compact;
    for (;;) {
        const std::size_t end = rest.find(separator);
        const std::string_view digits = rest.substr(0, end);
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) return false;
        std::int64_t value = 0;
        for (const char c : digits) value = value < 1'000'000'000 ? value * 10 + (c - '0') : 1'000'000'000;
        numbers.push_back(value);
        if (end == std::string_view::npos) return true;
        rest.remove_prefix(end + 1);
    }
}

bool IsLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

/// Checks the time tag of a record read from `dateText` and `timeText`;
/// `lengthsFit` tells whether the kind lets these lengths have a time tag.
void CheckTimeTag(std::string_view dateText, std::string_view timeText, bool lengthsFit, vireo::SecondStamp stamp,
                  bool hasTimeTag) {
    FUZZ_CHECK(!hasTimeTag || vireo::HasDatePart(stamp));
    if (!hasTimeTag) FUZZ_CHECK(stamp >= 0 && stamp < 86400);
    std::vector<std::int64_t> date;
    std::vector<std::int64_t> time;
    const bool shaped = Numbers(dateText, '/', date) && date.size() == 3 && Numbers(timeText, ':', time) &&
                        (time.empty() || time.size() == 2 || time.size() == 3);
    if (hasTimeTag) {
        FUZZ_CHECK(shaped);
        time.resize(3, 0);
        const vireo::CalendarStamp at = vireo::SplitStamp(stamp);
        FUZZ_CHECK(at.month == date[0] && at.day == date[1] && at.year == date[2]);
        FUZZ_CHECK(at.hours == time[0] && at.minutes == time[1] && at.seconds == time[2]);
        return;
    }
    if (!shaped || !lengthsFit || dateText.find(' ') != std::string_view::npos ||
        timeText.find(' ') != std::string_view::npos)
        return;
    time.resize(3, 0);
    constexpr std::int64_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool real = date[0] >= 1 && date[0] <= 12 && date[1] >= 1 &&
                      date[1] <= kDays[date[0] - 1] + (date[0] == 2 && IsLeapYear(date[2]) ? 1 : 0) &&
                      date[2] >= 1985 && date[2] <= 2052 && time[0] <= 23 && time[1] <= 59 && time[2] <= 59;
    FUZZ_CHECK(!real);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vireo::fuzz::FixSettings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(bytes), size);
    const vireo::LogLineKind kind = vireo::ClassifyLogLine(line);
    const int number = static_cast<int>(kind);
    FUZZ_CHECK(number >= 0 && number <= 6);
    FUZZ_CHECK(vireo::ClassifyLogLine(line) == kind);

    std::set<std::string, CaseInsensitiveLess> recordNames;
    vireo::LogRecord record;
    if (vireo::IsOneValueKind(kind)) {
        const bool ok = vireo::ParseLogRecord(kind, line, record);
        double value = 0;
        FUZZ_CHECK(ok == vireo::ParseLogNumber(record.valueText, value));
        if (ok) FUZZ_CHECK(record.value == value || (record.value != record.value && value != value));
        FUZZ_CHECK(record.timeTag == vireo::SecondsToDateTime(record.stamp));
        CheckTimeTag(record.dateText, record.timeText, record.dateText.size() == 10 && record.timeText.size() == 8,
                     record.stamp, record.hasTimeTag);
        for (const std::string* text :
             {&record.name, &record.dateText, &record.timeText, &record.valueText, &record.fifthField, &record.flag})
            FUZZ_CHECK(PieceOf(line, *text));
        recordNames.insert(record.name);
    } else {
        FUZZ_CHECK(!vireo::ParseLogRecord(kind, line, record));
    }

    vireo::ValueCursor cursor;
    cursor.started = false;
    std::size_t steps = 0;
    bool first = true;
    vireo::SecondStamp stamp = 0;
    for (;;) {
        vireo::NextLogValue(kind, line, cursor, record);
        if (!cursor.started) break;
        FUZZ_CHECK(vireo::IsMultiValueKind(kind));
        ++steps;
        FUZZ_CHECK(steps <= line.size() + 1);
        FUZZ_CHECK(cursor.counter == steps);
        FUZZ_CHECK(record.name == cursor.label + ":" + std::to_string(steps));
        FUZZ_CHECK(PieceOf(line, record.valueText));
        if (first) stamp = record.stamp;
        FUZZ_CHECK(record.stamp == stamp);
        FUZZ_CHECK(record.timeTag == vireo::SecondsToDateTime(stamp));
        CheckTimeTag(record.dateText, record.timeText, true, record.stamp, record.hasTimeTag);
        first = false;
        recordNames.insert(record.name);
    }

    // Discovery of the line alone (a .log file: comment lines are skipped).
    if (!line.empty() && !vireo::IsCommentLine(line)) {
        vireo::LogSensorCollector collector(false);
        collector.TakeLine(line);
        const std::vector<std::string> listed = collector.SortedNames();
        const std::vector<std::string> named(recordNames.begin(), recordNames.end());
        if (kind == vireo::LogLineKind::NotARecord)
            FUZZ_CHECK(listed.empty());
        else
            FUZZ_CHECK(listed == named);
    }
    return 0;
}
