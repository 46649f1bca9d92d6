#include "logfile/LogRecord.h"

#include <array>
#include <charconv>
#include <cstring>

#include "logfile/FieldWalk.h"
#include "logfile/KeptTimeTag.h"
#include "logfile/LineSplit.h"
#include "logfile/LogNumber.h"
#include "logfile/LogTimeTag.h"
#include "scan/PScan.h"

namespace vireo {
namespace {

using logfile_detail::SixFields;
using logfile_detail::SixFieldSplit;
using logfile_detail::SplitSixFields;

constexpr std::size_t kDateLength = 10;
constexpr std::size_t kTimeLength = 8;
constexpr std::size_t kTimeTextLength = kDateLength + 1 + kTimeLength;

void Store(std::string& text, std::string_view field) {
    if (field.empty()) {
        text.clear();
    } else {
        text.assign(field.data(), field.size());
    }
}

/// Copies `from` unless `text` holds it already: the values of one line share
/// their date and time texts.
void StoreIfChanged(std::string& text, const std::string& from) {
    if (text.size() != from.size() || std::memcmp(text.data(), from.data(), from.size()) != 0) text.assign(from);
}

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

void ClearTexts(LogValueView& record) {
    record.dateText = {};
    record.timeText = {};
    record.name = {};
    record.headingName = {};
    record.valueText = {};
    record.fifthField = {};
    record.flag = {};
}

/// The date and time of a record (see ReadLogTimeTag), through the kept last one.
LogTimeTag ReadTimeTag(std::string_view dateText, std::string_view timeText) {
    return logfile_detail::ReadKeptTimeTag(dateText, timeText);
}

/// The time tag of a one-value record: only a date text of exactly 10
/// characters and a time text of exactly 8 make one.
LogTimeTag OneValueTimeTag(std::string_view dateText, std::string_view timeText) {
    if (dateText.size() != kDateLength || timeText.size() != kTimeLength) return {};
    return ReadTimeTag(dateText, timeText);
}

/// BuildTimeText into `buffer`.
std::string_view TimeTextIn(std::string_view dateText, std::string_view timeText,
                            std::array<char, kTimeTextLength>& buffer) {
    if (dateText.size() != kDateLength || timeText.size() != kTimeLength) return {};
    std::memcpy(buffer.data(), dateText.data(), kDateLength);
    buffer[kDateLength] = ' ';
    std::memcpy(buffer.data() + kDateLength + 1, timeText.data(), kTimeLength);
    return {buffer.data(), buffer.size()};
}

/// The value text read as a number; 0 when it is none.
double ValueOf(std::string_view valueText, bool& isNumber) {
    double value = 0;
    isNumber = ParseLogNumber(valueText, value);
    return isNumber ? value : 0.0;
}

/// Splits a line of a one-value kind into views; false for another kind.
bool SplitOneValueLine(LogLineKind kind, std::string_view line, LogValueView& record) {
    // The splits are those of the patterns "%P%P%P%P%P" (name, date, time, value,
    // flag), "%P%P%P%P" (name, date and time, value, flag), "%P%P%P%P%P%P" and
    // "%s %P%P%P%P%P" (date, time, name, value, fifth field, flag): the first
    // fields of the six-field splits that the classification made.
    SixFields v;
    switch (kind) {
        case LogLineKind::NameDateTime:
            SplitSixFields(line, SixFieldSplit::CommaFields, v);
            record.name = v[0];
            record.dateText = v[1];
            record.timeText = v[2];
            record.valueText = v[3];
            record.flag = v[4];
            return true;
        case LogLineKind::NameStamp:
            SplitSixFields(line, SixFieldSplit::CommaFields, v);
            record.name = v[0];
            record.valueText = v[2];
            record.flag = v[3];
            // Field 2 holds date and time; it is split at its first blank.
            Scan(v[1], "%s %S", {&record.dateText, &record.timeText});
            return true;
        case LogLineKind::DateTimeName:
        case LogLineKind::StampName:
            SplitSixFields(
                line, kind == LogLineKind::DateTimeName ? SixFieldSplit::CommaFields : SixFieldSplit::StampFields, v);
            record.dateText = v[0];
            record.timeText = v[1];
            record.name = v[2];
            record.valueText = v[3];
            record.fifthField = v[4];
            record.flag = v[5];
            return true;
        default:
            return false;
    }
}

/// The date, the time and the values of a multi-value line; as the patterns
/// "%P%P%P%S" (date, time, label, rest) and "%s %_%s %_%s" (date, time, rest) split it.
void StartLine(LogLineKind kind, std::string_view line, ValueCursor& cursor, bool withTimeTag = true) {
    std::string_view date;
    std::string_view time;
    std::string_view rest;
    if (kind == LogLineKind::DateTimeLabelValues) {
        // The first three fields are those of the six-field split that the
        // classification made. Each stopped at a ',', a line end or the end of
        // the line, and "%P" steps over a ',' only; the rest ("%S" last in the
        // pattern) is everything after that.
        SixFields v;
        SplitSixFields(line, SixFieldSplit::CommaFields, v);
        date = v[0];
        time = v[1];
        Store(cursor.label, v[2]);
        std::size_t restStart = static_cast<std::size_t>(v[2].data() - line.data()) + v[2].size();
        if (restStart < line.size() && line[restStart] == ',') ++restStart;
        rest = line.substr(restStart);
    } else {
        Scan(line, "%s %_%s %_%s", {&date, &time, &rest});
        cursor.label = "0";
    }
    Store(cursor.rest, rest);
    cursor.position = 1;
    cursor.length = cursor.rest.size();
    cursor.counter = 0;
    cursor.started = true;
    if (!withTimeTag) return;
    Store(cursor.dateText, date);
    Store(cursor.timeText, time);
    // The value kinds take the date and time as they stand, whatever their lengths.
    cursor.stampText.assign(cursor.dateText);
    cursor.stampText.push_back(' ');
    cursor.stampText.append(cursor.timeText);
    const LogTimeTag timeTag = ReadTimeTag(cursor.dateText, cursor.timeText);
    cursor.stamp = timeTag.stamp;
    cursor.timeTag = SecondsToDateTime(cursor.stamp);
    cursor.hasTimeTag = timeTag.usable;
}

/// Takes the next value text of a multi-value line from the cursor; false (and
/// the started flag cleared) when the line holds no further value.
bool TakeValueText(LogLineKind kind, ValueCursor& cursor, std::string_view& valueText) {
    if (cursor.position > cursor.length) {
        cursor.started = false;
        return false;
    }
    logfile_detail::WalkStep(cursor.rest, cursor.position, kind == LogLineKind::DateTimeLabelValues ? "%P" : "%s %_",
                             valueText);
    ++cursor.counter;
    return true;
}

/// `name` becomes the label, ':' and the counter. The values of one line share
/// the label, so a name that begins with it already keeps that part.
void FormName(std::string& name, const std::string& label, std::size_t counter) {
    char digits[24];
    const auto count = static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, counter).ptr - digits);
    const std::size_t prefix = label.size() + 1;
    if (name.size() >= prefix && name[label.size()] == ':' &&
        std::memcmp(name.data(), label.data(), label.size()) == 0) {
        if (name.size() == prefix + count) {  // as many digits as the name before: overwritten in place
            std::memcpy(name.data() + prefix, digits, count);
            return;
        }
        name.resize(prefix);
    } else {
        name.assign(label);
        name.push_back(':');
    }
    name.append(digits, count);
}

/// The column heading that names the value just taken, or null.
const std::string* HeadingOf(LogLineKind kind, const ValueCursor& cursor) {
    if (kind == LogLineKind::BlankSeparatedValues && cursor.headings != nullptr &&
        cursor.counter <= cursor.headings->size()) {
        return &(*cursor.headings)[cursor.counter - 1];
    }
    return nullptr;
}

}  // namespace

void BuildTimeText(std::string_view dateText, std::string_view timeText, std::string& result) {
    std::array<char, kTimeTextLength> buffer;
    Store(result, TimeTextIn(dateText, timeText, buffer));
}

std::string BuildTimeText(std::string_view dateText, std::string_view timeText) {
    std::string result;
    BuildTimeText(dateText, timeText, result);
    return result;
}

bool ParseLogRecord(LogLineKind kind, std::string_view line, LogValueView& record) {
    ClearTexts(record);
    if (!SplitOneValueLine(kind, line, record)) {
        record.stamp = 0;
        record.timeTag = SecondsToDateTime(0);
        record.hasTimeTag = false;
        record.value = 0;
        return false;
    }
    bool isNumber = false;
    record.value = ValueOf(record.valueText, isNumber);
    const LogTimeTag timeTag = OneValueTimeTag(record.dateText, record.timeText);
    record.stamp = timeTag.stamp;
    record.timeTag = SecondsToDateTime(record.stamp);
    record.hasTimeTag = timeTag.usable;
    return isNumber;
}

bool ParseLogRecord(LogLineKind kind, std::string_view line, LogRecord& record) {
    LogValueView view;
    const bool isNumber = ParseLogRecord(kind, line, view);
    Store(record.dateText, view.dateText);
    Store(record.timeText, view.timeText);
    Store(record.name, view.name);
    record.headingName.clear();
    Store(record.valueText, view.valueText);
    BuildTimeText(view.dateText, view.timeText, record.stampText);
    Store(record.fifthField, view.fifthField);
    Store(record.flag, view.flag);
    record.stamp = view.stamp;
    record.timeTag = view.timeTag;
    record.hasTimeTag = view.hasTimeTag;
    record.value = view.value;
    return isNumber;
}

bool NextLogValue(LogLineKind kind, std::string_view line, ValueCursor& cursor, LogRecord& record) {
    if (!IsMultiValueKind(kind)) {
        cursor.started = false;
        return true;
    }
    if (!cursor.started) {
        ClearTexts(record);
        StartLine(kind, line, cursor);
    }
    std::string_view valueText;
    if (!TakeValueText(kind, cursor, valueText)) return true;
    Store(record.valueText, valueText);
    FormName(record.name, cursor.label, cursor.counter);
    if (const std::string* heading = HeadingOf(kind, cursor)) {
        record.headingName.assign(*heading);
    } else {
        record.headingName.clear();
    }
    StoreIfChanged(record.dateText, cursor.dateText);
    StoreIfChanged(record.timeText, cursor.timeText);
    StoreIfChanged(record.stampText, cursor.stampText);
    record.stamp = cursor.stamp;
    record.timeTag = cursor.timeTag;
    record.hasTimeTag = cursor.hasTimeTag;
    bool isNumber = false;
    record.value = ValueOf(valueText, isNumber);
    return isNumber;
}

bool NextLogValue(LogLineKind kind, std::string_view line, ValueCursor& cursor, LogValueView& record) {
    if (!IsMultiValueKind(kind)) {
        cursor.started = false;
        return true;
    }
    if (!cursor.started) {
        ClearTexts(record);
        StartLine(kind, line, cursor);
    }
    if (!TakeValueText(kind, cursor, record.valueText)) return true;
    FormName(cursor.name, cursor.label, cursor.counter);
    record.name = cursor.name;
    const std::string* heading = HeadingOf(kind, cursor);
    record.headingName = heading != nullptr ? std::string_view(*heading) : std::string_view();
    record.dateText = cursor.dateText;
    record.timeText = cursor.timeText;
    record.stamp = cursor.stamp;
    record.timeTag = cursor.timeTag;
    record.hasTimeTag = cursor.hasTimeTag;
    bool isNumber = false;
    record.value = ValueOf(record.valueText, isNumber);
    return isNumber;
}

namespace logfile_detail {

std::string_view OneValueName(LogLineKind kind, std::string_view line) {
    LogValueView record;
    return SplitOneValueLine(kind, line, record) ? record.name : std::string_view();
}

bool NextValueName(LogLineKind kind, std::string_view line, ValueCursor& cursor, std::string_view& name) {
    if (!IsMultiValueKind(kind)) {
        cursor.started = false;
        return false;
    }
    if (!cursor.started) StartLine(kind, line, cursor, false);
    std::string_view valueText;
    if (!TakeValueText(kind, cursor, valueText)) return false;
    FormName(cursor.name, cursor.label, cursor.counter);
    name = cursor.name;
    return true;
}

}  // namespace logfile_detail

}  // namespace vireo
