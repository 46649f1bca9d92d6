#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "logfile/LogLineKind.h"
#include "scan/Chronos.h"

namespace vireo {

/// One value read from a log line. Keep one LogRecord for a whole file: its texts
/// keep their storage from line to line.
struct LogRecord {
    std::string dateText;  ///< date field of the line, unchanged
    std::string timeText;  ///< time field of the line, unchanged
    std::string name;      ///< log sensor name of the value
    /// In a .PRN file, the column heading that names a blank-separated value;
    /// empty when there is none. Pairs made from either name apply (heading first).
    std::string headingName;
    std::string valueText;  ///< the value field, unchanged
    SecondStamp stamp = 0;  ///< date and time read from the texts by ReadLogTimeTag
    DateTime timeTag = 0;   ///< SecondsToDateTime(stamp): what an import writes
    /// False when the texts hold no real date and time (see ReadLogTimeTag): a
    /// date or time that is not there, not of digits, or out of its calendar
    /// (02/30, hour 25), a two-digit year, a year before 1985, and in a one-value
    /// record a date text not exactly 10 characters long or a time text not
    /// exactly 8. Such a record carries no usable time tag and is not imported.
    bool hasTimeTag = false;
    double value = 0;  ///< the number read from the value text (0 when it is none)

    /// BuildTimeText of a one-value record; the date text, one blank and the
    /// time text of a multi-value one.
    std::string stampText;
    std::string fifthField;
    std::string flag;
};

/// The place reached in a line of several values. Set `started` to false before
/// the first call for each line; the stamp and time tag are worked out once per
/// line and shared by all its values.
struct ValueCursor {
    bool started = false;
    std::string label;         ///< third comma field, or "0" for a blank-separated line
    std::string rest;          ///< the part of the line that holds the values
    std::size_t position = 1;  ///< 1-based position of the next value in rest
    std::size_t length = 0;    ///< length of rest
    std::size_t counter = 0;   ///< values taken so far from this line
    SecondStamp stamp = 0;
    DateTime timeTag = 0;
    bool hasTimeTag = false;
    std::string dateText;
    std::string timeText;
    std::string stampText;
    /// The column headings of a .PRN file (see ParseColumnHeadings) that name the
    /// values of blank-separated lines: the i-th value gets the i-th heading.
    /// Null when there are none; the caller owns the list and keeps it alive.
    const std::vector<std::string>* headings = nullptr;
    /// The name of the value last taken, for LogValueView.
    std::string name;
};

/// One value read from a log line as views instead of copies, for callers that
/// keep no texts: the same as the fields of LogRecord (there is no stamp text;
/// BuildTimeText gives it). The texts of a one-value line are views into the
/// line; those of a multi-value line views into the line's ValueCursor. They
/// hold while the line is unchanged and until the next call with the cursor.
struct LogValueView {
    std::string_view dateText;
    std::string_view timeText;
    std::string_view name;
    std::string_view headingName;
    std::string_view valueText;
    std::string_view fifthField;
    std::string_view flag;
    SecondStamp stamp = 0;
    DateTime timeTag = 0;
    bool hasTimeTag = false;
    double value = 0;
};

/// The date and time text of a one-value record: the date text, one blank and the
/// time text when the date text is exactly 10 characters long and the time text
/// exactly 8; otherwise empty.
std::string BuildTimeText(std::string_view dateText, std::string_view timeText);
/// The same into `result`, reusing its storage.
void BuildTimeText(std::string_view dateText, std::string_view timeText, std::string& result);

/// True when a stamp has a date part (one day or more). Every usable time tag
/// has one; a stamp with one is not usable by that alone (see hasTimeTag).
constexpr bool HasDatePart(SecondStamp stamp) { return stamp >= 86400; }

/// Reads a line of a one-value kind (NameDateTime, NameStamp, DateTimeName,
/// StampName). Every text of `record` is emptied first; name, texts, stamp, time
/// tag and hasTimeTag are filled in any case. True exactly when the value text is
/// a number. Other kinds yield false and empty texts.
bool ParseLogRecord(LogLineKind kind, std::string_view line, LogRecord& record);
/// The same as views into `line`.
bool ParseLogRecord(LogLineKind kind, std::string_view line, LogValueView& record);

/// Walks a line of a multi-value kind (DateTimeLabelValues, BlankSeparatedValues)
/// one value per call. Each call that takes a value fills name, headingName,
/// value text, value, date and time texts, stamp, time tag and hasTimeTag of
/// `record`, sets cursor.started and returns true when the value text is a number
/// (false when it is not: the walk may still go on). When the line holds no
/// further value the call takes none, clears cursor.started and returns true.
/// Pass the same line on every call for it. A caller walks a line like this:
///
///     cursor.started = false;
///     for (;;) {
///         const bool isNumber = NextLogValue(kind, line, cursor, record);
///         if (!cursor.started) break;  // the line has no further value
///         if (isNumber && record.hasTimeTag) Use(record);
///     }
///
/// Other kinds hold no value: the call clears cursor.started and returns true.
bool NextLogValue(LogLineKind kind, std::string_view line, ValueCursor& cursor, LogRecord& record);
/// The same as views into `line` and `cursor`.
bool NextLogValue(LogLineKind kind, std::string_view line, ValueCursor& cursor, LogValueView& record);

namespace logfile_detail {

/// The name of the value of a line of a one-value kind, without reading its
/// number or time tag; empty for other kinds.
std::string_view OneValueName(LogLineKind kind, std::string_view line);
/// The name of the next value of a line of a multi-value kind, without reading
/// numbers or time tags: the walk of NextLogValue, true while it takes a value.
bool NextValueName(LogLineKind kind, std::string_view line, ValueCursor& cursor, std::string_view& name);

}  // namespace logfile_detail

}  // namespace vireo
