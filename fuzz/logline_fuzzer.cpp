// ClassifyLogLine and the walk over the values of one fuzzed line
// (LineValueWalk), and the discovery of the same line.
// Properties:
// - the kind is one of 0..6 and the same on a second call;
// - a one-value record gives one value: its value state is exactly what
//   ReadLogNumber says of the value text (number, not a number, out of range),
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
#include "logfile/LogValueReader.h"
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
    vireo::LineValueWalk walk;
    vireo::LogRecord value;
    walk.Start(kind, line, nullptr);
    std::size_t steps = 0;
    vireo::SecondStamp stamp = 0;
    std::string label;
    while (walk.Next(value)) {
        ++steps;
        FUZZ_CHECK(kind != vireo::LogLineKind::NotARecord);
        FUZZ_CHECK(steps <= line.size() + 1);
        double number = 0;
        const vireo::LogNumberRead read = vireo::ReadLogNumber(value.valueText, number);
        FUZZ_CHECK(value.IsNumber() == (read == vireo::LogNumberRead::Number));
        FUZZ_CHECK((value.valueState == vireo::ValueState::OutOfDoubleRange) ==
                   (read == vireo::LogNumberRead::OutOfRange));
        if (value.IsNumber()) FUZZ_CHECK(value.value == number || (value.value != value.value && number != number));
        if (!value.IsNumber()) FUZZ_CHECK(value.value == 0);
        FUZZ_CHECK(value.timeTag == vireo::SecondsToDateTime(value.stamp));
        FUZZ_CHECK(PieceOf(line, std::string(value.valueText)));
        FUZZ_CHECK(value.headingName.empty());
        const std::string name(value.name);
        if (vireo::IsOneValueKind(kind)) {
            FUZZ_CHECK(steps == 1);
            CheckTimeTag(value.dateText, value.timeText, value.dateText.size() == 10 && value.timeText.size() == 8,
                         value.stamp, value.HasTimeTag());
            for (const std::string_view text : {value.name, value.dateText, value.timeText, value.valueText})
                FUZZ_CHECK(PieceOf(line, std::string(text)));
        } else {
            FUZZ_CHECK(vireo::IsMultiValueKind(kind));
            // Names run label:1, label:2, ... and all values share one stamp.
            const std::string suffix = ":" + std::to_string(steps);
            FUZZ_CHECK(name.size() >= suffix.size() &&
                       name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0);
            if (steps == 1) {
                stamp = value.stamp;
                label = name.substr(0, name.size() - suffix.size());
            }
            FUZZ_CHECK(name == label + suffix);
            FUZZ_CHECK(value.stamp == stamp);
            CheckTimeTag(value.dateText, value.timeText, true, value.stamp, value.HasTimeTag());
        }
        recordNames.insert(name);
    }
    FUZZ_CHECK(!walk.Next(value));
    if (kind == vireo::LogLineKind::NotARecord) FUZZ_CHECK(steps == 0);
    if (vireo::IsOneValueKind(kind)) FUZZ_CHECK(steps == 1);

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
