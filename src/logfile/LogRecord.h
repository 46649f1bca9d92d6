#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "logfile/LogLineKind.h"
#include "scan/Chronos.h"

namespace vireo {

/// Whether a value carries a time tag, and why not when it does not.
enum class TimeTagState : unsigned char {
    Usable,            ///< the date and time texts hold a real date and time
    NoUsableDateTime,  ///< no usable date/time (see ReadLogTimeTag): not imported
    /// A time the log's clock never showed (the hour skipped when daylight
    /// saving time begins): not imported, for the reason `timeTagRefusal` gives.
    DoesNotExist,
};

/// Whether a value text is a number, and why not when it is not.
enum class ValueState : unsigned char {
    Number,            ///< `value` holds it
    NotANumber,        ///< not written as a number: passed over silently
    OutOfDoubleRange,  ///< written as a number too large for a double: reported
};

/// One value read from a log line. The texts are views into the line, or for a
/// line of several values into its ValueCursor: they hold while the line is
/// unchanged and until the next value is taken with the cursor.
struct LogRecord {
    std::string_view name;  ///< log sensor name ("label:n" for a line of several values)
    /// In a .PRN file, the column heading that names a blank-separated value;
    /// empty when there is none. Pairs made from either name apply (heading first).
    std::string_view headingName;
    std::string_view dateText;    ///< date field of the line, unchanged
    std::string_view timeText;    ///< time field of the line, unchanged
    std::string_view valueText;   ///< the value field, unchanged
    std::string_view fifthField;  ///< fifth field of a date-first one-value line
    std::string_view flag;        ///< last field of a one-value line
    SecondStamp stamp = 0;        ///< read from the date and time texts (below one day when unusable)
    DateTime timeTag = 0;         ///< SecondsToDateTime(stamp): what an import writes
    /// NoUsableDateTime when the texts hold no real date and time (see
    /// ReadLogTimeTag): a date or time that is not there, not of digits, or out
    /// of its calendar (02/30, hour 25), a two-digit year, a year before 1985,
    /// and in a one-value record a date text not exactly 10 characters long or a
    /// time text not exactly 8. Such a record is not imported.
    TimeTagState timeTagState = TimeTagState::NoUsableDateTime;
    ValueState valueState = ValueState::NotANumber;
    double value = 0;  ///< the number (0 unless valueState is Number)
    /// The stamp as the log writes it. `stamp` and `timeTag` are in the
    /// database's time base when the reader converts (LogValueReader::SetTimeZones).
    SecondStamp writtenStamp = 0;
    /// The log's time lies in an hour its clock writes twice (set when converting).
    bool repeatedHour = false;
    /// Why the time tag is refused, for DoesNotExist ("time that does not
    /// exist in Europe/Berlin"); the reader keeps the text.
    std::string_view timeTagRefusal;

    bool HasTimeTag() const { return timeTagState == TimeTagState::Usable; }
    bool IsNumber() const { return valueState == ValueState::Number; }
};

/// The place reached in a line of several values. Set `started` to false before
/// the first call of NextLogValue for each line; the stamp and time tag are
/// worked out once per line and shared by all its values.
struct ValueCursor {
    bool started = false;
    std::string_view label;    ///< third comma field, or "0" for a blank-separated line
    std::string_view rest;     ///< the part of the line that holds the values
    std::size_t position = 1;  ///< 1-based position of the next value in rest
    std::size_t counter = 0;   ///< values taken so far from this line
    std::string_view dateText;
    std::string_view timeText;
    SecondStamp stamp = 0;
    DateTime timeTag = 0;
    TimeTagState timeTagState = TimeTagState::NoUsableDateTime;
    /// The column headings of a .PRN file (see ParseColumnHeadings) that name the
    /// values of blank-separated lines: the i-th value gets the i-th heading.
    /// Null when there are none; the caller owns the list and keeps it alive.
    const std::vector<std::string>* headings = nullptr;
    /// The name of the value last taken ("label:n"): the record's name views it.
    std::string name;
};

/// True when a stamp has a date part (one day or more). Every usable time tag
/// has one; a stamp with one is not usable by that alone (see timeTagState).
constexpr bool HasDatePart(SecondStamp stamp) { return stamp >= 86400; }

/// Reads a line of a one-value kind (NameDateTime, NameStamp, DateTimeName,
/// StampName) into `record`: every field is filled, whether the value text is a
/// number or not (valueState says). Other kinds give an empty record.
void ParseLogRecord(LogLineKind kind, std::string_view line, LogRecord& record);

/// Walks a line of a multi-value kind (DateTimeLabelValues, BlankSeparatedValues)
/// one value per call: true when it took a value into `record`, false when the
/// line holds no further value (started is then cleared). Pass the same line on
/// every call for it. A caller walks a line like this:
///
///     cursor.started = false;
///     while (NextLogValue(kind, line, cursor, record)) {
///         if (record.IsNumber() && record.HasTimeTag()) Use(record);
///     }
///
/// Other kinds hold no value: the call returns false.
bool NextLogValue(LogLineKind kind, std::string_view line, ValueCursor& cursor, LogRecord& record);

/// The values of one record line, of any kind, one per call of Next. This is
/// where the line layouts are split: every reader of values (import, `values`,
/// discovery) walks a line through it.
class LineValueWalk {
public:
    /// What each value of the walk holds.
    enum class Reads {
        Everything,  ///< every field of LogRecord
        NamesOnly,   ///< the name only (no number, no time tag, no texts): what discovery lists
    };

    /// Starts on a line of the given kind. `headings` (null when there are none)
    /// name the values of a blank-separated line; the caller keeps them alive,
    /// and the line, until the walk ends.
    void Start(LogLineKind kind, std::string_view line, const std::vector<std::string>* headings,
               Reads reads = Reads::Everything);
    /// The next value of the line in `record`; false when the line holds no further value.
    bool Next(LogRecord& record);

private:
    bool NextName(LogRecord& record);

    LogLineKind kind_ = LogLineKind::NotARecord;
    std::string_view line_;
    bool oneValueLeft_ = false;
    Reads reads_ = Reads::Everything;
    ValueCursor cursor_;
};

// Start and Next are inline: they run for every line and every value.

inline void LineValueWalk::Start(LogLineKind kind, std::string_view line, const std::vector<std::string>* headings,
                                 Reads reads) {
    kind_ = kind;
    reads_ = reads;
    line_ = line;
    oneValueLeft_ = IsOneValueKind(kind);
    cursor_.started = false;
    cursor_.headings = headings;
}

inline bool LineValueWalk::Next(LogRecord& record) {
    if (reads_ == Reads::NamesOnly) return NextName(record);
    if (oneValueLeft_) {
        oneValueLeft_ = false;
        ParseLogRecord(kind_, line_, record);
        return true;
    }
    if (!IsMultiValueKind(kind_)) return false;
    if (NextLogValue(kind_, line_, cursor_, record)) return true;
    kind_ = LogLineKind::NotARecord;  // the line is done: further calls take nothing
    return false;
}

}  // namespace vireo
