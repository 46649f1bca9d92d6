#include "logfile/LogRecord.h"

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

TimeTagState StateOf(const LogTimeTag& timeTag) {
    return timeTag.usable ? TimeTagState::Usable : TimeTagState::NoUsableDateTime;
}

/// The value text read as a number into the record, and whether it is one.
void ReadValue(LogRecord& record) {
    double value = 0;
    if (ParseLogNumber(record.valueText, value)) {
        record.value = value;
        record.valueState = ValueState::Number;
        return;
    }
    record.value = 0;
    record.valueState = IsLogNumberOutOfRange(record.valueText) ? ValueState::OutOfDoubleRange : ValueState::NotANumber;
}

/// Splits a line of a one-value kind into views; false for another kind.
bool SplitOneValueLine(LogLineKind kind, std::string_view line, LogRecord& record) {
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
        cursor.label = v[2];
        std::size_t restStart = static_cast<std::size_t>(v[2].data() - line.data()) + v[2].size();
        if (restStart < line.size() && line[restStart] == ',') ++restStart;
        rest = line.substr(restStart);
    } else {
        Scan(line, "%s %_%s %_%s", {&date, &time, &rest});
        cursor.label = "0";
    }
    cursor.rest = rest;
    cursor.position = 1;
    cursor.counter = 0;
    cursor.started = true;
    if (!withTimeTag) return;
    cursor.dateText = date;
    cursor.timeText = time;
    // The value kinds take the date and time as they stand, whatever their lengths.
    const LogTimeTag timeTag = ReadTimeTag(date, time);
    cursor.stamp = timeTag.stamp;
    cursor.timeTag = SecondsToDateTime(cursor.stamp);
    cursor.timeTagState = StateOf(timeTag);
}

/// Takes the next value text of a multi-value line from the cursor; false (and
/// the started flag cleared) when the line holds no further value.
bool TakeValueText(LogLineKind kind, ValueCursor& cursor, std::string_view& valueText) {
    if (cursor.position > cursor.rest.size()) {
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
void FormName(std::string& name, std::string_view label, std::size_t counter) {
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
        name.assign(label.data(), label.size());
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

void ParseLogRecord(LogLineKind kind, std::string_view line, LogRecord& record) {
    record = LogRecord{};
    if (!SplitOneValueLine(kind, line, record)) {
        record.timeTag = SecondsToDateTime(0);
        return;
    }
    ReadValue(record);
    const LogTimeTag timeTag = OneValueTimeTag(record.dateText, record.timeText);
    record.stamp = timeTag.stamp;
    record.timeTag = SecondsToDateTime(record.stamp);
    record.timeTagState = StateOf(timeTag);
}

bool NextLogValue(LogLineKind kind, std::string_view line, ValueCursor& cursor, LogRecord& record) {
    if (!IsMultiValueKind(kind)) {
        cursor.started = false;
        return false;
    }
    if (!cursor.started) StartLine(kind, line, cursor);
    if (!TakeValueText(kind, cursor, record.valueText)) return false;
    FormName(cursor.name, cursor.label, cursor.counter);
    record.name = cursor.name;
    const std::string* heading = HeadingOf(kind, cursor);
    record.headingName = heading != nullptr ? std::string_view(*heading) : std::string_view();
    record.dateText = cursor.dateText;
    record.timeText = cursor.timeText;
    record.fifthField = {};
    record.flag = {};
    record.stamp = cursor.stamp;
    record.timeTag = cursor.timeTag;
    record.timeTagState = cursor.timeTagState;
    ReadValue(record);
    return true;
}

bool LineValueWalk::NextName(LogRecord& record) {
    record = LogRecord{};
    if (oneValueLeft_) {
        oneValueLeft_ = false;
        SplitOneValueLine(kind_, line_, record);
        const std::string_view name = record.name;
        record = LogRecord{};
        record.name = name;
        return true;
    }
    if (IsMultiValueKind(kind_)) {
        if (!cursor_.started) StartLine(kind_, line_, cursor_, false);
        std::string_view valueText;
        if (TakeValueText(kind_, cursor_, valueText)) {
            FormName(cursor_.name, cursor_.label, cursor_.counter);
            record.name = cursor_.name;
            return true;
        }
    }
    kind_ = LogLineKind::NotARecord;  // the line is done: further calls take nothing
    return false;
}

}  // namespace vireo
