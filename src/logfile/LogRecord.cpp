#include "logfile/LogRecord.h"

#include <charconv>

#include "logfile/FieldWalk.h"
#include "logfile/LogNumber.h"
#include "scan/PScan.h"
#include "scan/Regional.h"

namespace vireo {
namespace {

void ClearTexts(LogRecord& record) {
    record.dateText.clear();
    record.timeText.clear();
    record.name.clear();
    record.headingName.clear();
    record.valueText.clear();
    record.stampText.clear();
    record.fifthField.clear();
    record.flag.clear();
}

/// Reads the date-and-time text with "%j"; an empty text gives the stamp 0.
/// Records of one file mostly come in runs of one time, so the last text read
/// and its stamp are kept (with the separators they were read with).
SecondStamp ReadStamp(const std::string& stampText) {
    struct LastStamp {
        std::string text;
        char dateSeparator = 0;
        char timeSeparator = 0;
        SecondStamp stamp = 0;
    };
    thread_local LastStamp last;
    const RegionalSettings& regional = Regional();
    if (last.dateSeparator == regional.dateSeparator && last.timeSeparator == regional.timeSeparator &&
        last.text == stampText) {
        return last.stamp;
    }
    SecondStamp stamp = 0;
    Scan(stampText, "%j", {&stamp});
    last.text = stampText;
    last.dateSeparator = regional.dateSeparator;
    last.timeSeparator = regional.timeSeparator;
    last.stamp = stamp;
    return stamp;
}

void ReadValue(LogRecord& record, bool& isNumber) {
    double value = 0;
    isNumber = ParseLogNumber(record.valueText, value);
    record.value = isNumber ? value : 0.0;
}

void StartLine(LogLineKind kind, std::string_view line, ValueCursor& cursor, LogRecord& record) {
    ClearTexts(record);
    cursor.label.clear();
    cursor.rest.clear();
    if (kind == LogLineKind::DateTimeLabelValues) {
        Scan(line, "%P%P%P%S", {&cursor.dateText, &cursor.timeText, &cursor.label, &cursor.rest});
    } else {
        Scan(line, "%s %_%s %_%s", {&cursor.dateText, &cursor.timeText, &cursor.rest});
        cursor.label = "0";
    }
    // The value kinds take the date and time as they stand, whatever their lengths.
    cursor.stampText.assign(cursor.dateText);
    cursor.stampText.push_back(' ');
    cursor.stampText.append(cursor.timeText);
    cursor.stamp = ReadStamp(cursor.stampText);
    cursor.timeTag = SecondsToDateTime(cursor.stamp);
    cursor.hasTimeTag = HasDatePart(cursor.stamp);
    cursor.position = 1;
    cursor.length = cursor.rest.size();
    cursor.counter = 0;
}

void AppendDecimal(std::string& text, std::size_t number) {
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, number);
    text.append(digits, written.ptr);
}

}  // namespace

void BuildTimeText(std::string_view dateText, std::string_view timeText, std::string& result) {
    result.clear();
    if (dateText.size() != 10 || timeText.size() != 8) return;
    result.append(dateText);
    result.push_back(' ');
    result.append(timeText);
}

std::string BuildTimeText(std::string_view dateText, std::string_view timeText) {
    std::string result;
    BuildTimeText(dateText, timeText, result);
    return result;
}

bool ParseLogRecord(LogLineKind kind, std::string_view line, LogRecord& record) {
    ClearTexts(record);
    switch (kind) {
        case LogLineKind::NameDateTime:
            Scan(line, "%P%P%P%P%P", {&record.name, &record.dateText, &record.timeText, &record.valueText, &record.flag});
            break;
        case LogLineKind::NameStamp:
            // Field 2 holds date and time; it is split at its first blank.
            Scan(line, "%P%P%P%P", {&record.name, &record.stampText, &record.valueText, &record.flag});
            Scan(record.stampText, "%s %S", {&record.dateText, &record.timeText});
            break;
        case LogLineKind::DateTimeName:
            Scan(line, "%P%P%P%P%P%P",
                 {&record.dateText, &record.timeText, &record.name, &record.valueText, &record.fifthField, &record.flag});
            break;
        case LogLineKind::StampName:
            Scan(line, "%s %P%P%P%P%P",
                 {&record.dateText, &record.timeText, &record.name, &record.valueText, &record.fifthField, &record.flag});
            break;
        default:
            record.stamp = 0;
            record.timeTag = SecondsToDateTime(0);
            record.hasTimeTag = false;
            record.value = 0;
            return false;
    }
    bool isNumber = false;
    ReadValue(record, isNumber);
    BuildTimeText(record.dateText, record.timeText, record.stampText);
    record.stamp = ReadStamp(record.stampText);
    record.timeTag = SecondsToDateTime(record.stamp);
    record.hasTimeTag = HasDatePart(record.stamp);
    return isNumber;
}

bool NextLogValue(LogLineKind kind, std::string_view line, ValueCursor& cursor, LogRecord& record) {
    if (!IsMultiValueKind(kind)) {
        cursor.started = false;
        return true;
    }
    if (!cursor.started) StartLine(kind, line, cursor, record);
    if (cursor.position > cursor.length) {
        cursor.started = false;
        return true;
    }
    logfile_detail::WalkStep(cursor.rest, cursor.position,
                             kind == LogLineKind::DateTimeLabelValues ? "%P" : "%s %_", record.valueText);
    ++cursor.counter;
    record.name.assign(cursor.label);
    record.name.push_back(':');
    AppendDecimal(record.name, cursor.counter);
    if (kind == LogLineKind::BlankSeparatedValues && cursor.headings != nullptr &&
        cursor.counter <= cursor.headings->size()) {
        record.headingName.assign((*cursor.headings)[cursor.counter - 1]);
    } else {
        record.headingName.clear();
    }
    record.dateText.assign(cursor.dateText);
    record.timeText.assign(cursor.timeText);
    record.stampText.assign(cursor.stampText);
    record.stamp = cursor.stamp;
    record.timeTag = cursor.timeTag;
    record.hasTimeTag = cursor.hasTimeTag;
    bool isNumber = false;
    ReadValue(record, isNumber);
    cursor.started = true;
    return isNumber;
}

}  // namespace vireo
