// ClassifyLogLine, ParseLogRecord and NextLogValue on one fuzzed line, and the
// discovery of the same line.
// Properties:
// - the kind is one of 0..6 and the same on a second call;
// - a one-value record: the result is exactly "the value text is a number",
//   the time tag is SecondsToDateTime(stamp), hasTimeTag is HasDatePart(stamp),
//   every text is a piece of the line;
// - a multi-value line: the walk ends within length+1 steps, names run
//   label:1, label:2, ... and all values share one stamp;
// - discovery lists exactly the names the record reading gives the line
//   (what the user can pair is what the import finds).

#include <fuzzer/FuzzedDataProvider.h>

#include <set>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "logfile/LogLineKind.h"
#include "logfile/LogNumber.h"
#include "logfile/LogRecord.h"
#include "logfile/LogSensorName.h"
#include "logfile/SensorDiscovery.h"

namespace {

bool PieceOf(std::string_view line, const std::string& text) {
    return text.empty() || line.find(text) != std::string_view::npos;
}

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const { return vireo::LogSensorLess(a, b); }
};

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
        FUZZ_CHECK(record.hasTimeTag == vireo::HasDatePart(record.stamp));
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
