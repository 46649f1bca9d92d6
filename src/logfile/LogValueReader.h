#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "logfile/LogLineKind.h"
#include "logfile/LogLineReader.h"
#include "logfile/LogRecord.h"
#include "scan/Chronos.h"

namespace vireo {

/// Whether a value carries a time tag, and why not when it does not.
enum class TimeTagState : unsigned char {
    Usable,            ///< the date and time texts hold a real date and time
    NoUsableDateTime,  ///< no usable date/time (see ReadLogTimeTag): not imported
};

/// Whether a value text is a number, and why not when it is not.
enum class ValueState : unsigned char {
    Number,            ///< `value` holds it
    NotANumber,        ///< not written as a number: passed over silently
    OutOfDoubleRange,  ///< written as a number too large for a double: reported
};

/// One line of a log file as the reader met it.
struct LogLine {
    std::string_view text;                       ///< without its line end; empty for a line too long to keep
    LogLineKind kind = LogLineKind::NotARecord;  ///< set for record lines only
    std::uint64_t number = 0;                    ///< 1 for the file's first line
    std::uint64_t start = 0;                     ///< byte offset of the line's first character
    std::uint64_t end = 0;                       ///< byte offset after the line and its line end
};

/// One value of a log line. The texts are views into the line or into the
/// reader; they hold until the next value is taken.
struct LogValue {
    std::string_view name;  ///< log sensor name ("label:n" for a line of several values)
    /// In a .PRN file, the column heading that names a blank-separated value;
    /// empty when there is none. Pairs made from either name apply (heading first).
    std::string_view headingName;
    std::string_view dateText;
    std::string_view timeText;
    std::string_view valueText;
    SecondStamp stamp = 0;  ///< read from the date and time texts (below one day when unusable)
    DateTime timeTag = 0;   ///< SecondsToDateTime(stamp): what an import writes
    TimeTagState timeTagState = TimeTagState::NoUsableDateTime;
    ValueState valueState = ValueState::NotANumber;
    double value = 0;  ///< the number (0 unless valueState is Number)

    bool HasTimeTag() const { return timeTagState == TimeTagState::Usable; }
    bool IsNumber() const { return valueState == ValueState::Number; }
};

/// The values of one record line, one per call of Next. This is where the line
/// layouts are split: every reader of values (import, `values`, discovery) walks
/// a line through it.
class LineValueWalk {
public:
    /// What each value of the walk holds.
    enum class Reads {
        Everything,  ///< every field of LogValue
        NamesOnly,   ///< the name only (no number, no time tag, no texts): what discovery lists
    };

    /// Starts on a line of the given kind. `headings` (null when there are none)
    /// name the values of a blank-separated line; the caller keeps them alive,
    /// and the line, until the walk ends.
    void Start(LogLineKind kind, std::string_view line, const std::vector<std::string>* headings,
               Reads reads = Reads::Everything);
    /// The next value of the line in `value`; false when the line holds no further value.
    bool Next(LogValue& value);

private:
    bool TakeOneValue(LogValue& value);
    bool TakeNextValue(LogValue& value);
    bool NextName(LogValue& value);

    LogLineKind kind_ = LogLineKind::NotARecord;
    std::string_view line_;
    bool oneValueLeft_ = false;
    Reads reads_ = Reads::Everything;
    ValueCursor cursor_;
    LogValueView view_;
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

inline bool LineValueWalk::Next(LogValue& value) {
    if (reads_ == Reads::NamesOnly) return NextName(value);
    if (oneValueLeft_) {
        oneValueLeft_ = false;
        return TakeOneValue(value);
    }
    return IsMultiValueKind(kind_) && TakeNextValue(value);
}

/// What a comment line (see IsCommentLine) becomes.
enum class CommentAction {
    Skip,          ///< passed over
    ReadAsRecord,  ///< read as a record line like any other
    Stop,          ///< the reading ends with it
};

/// The events of a reading, each a no-op here. A visitor derives from this and
/// hides the ones it wants; they are called directly (no virtual call per value).
struct LogValueVisitor {
    /// True for a visitor that wants only the names of the values (LineValueWalk::Reads::NamesOnly).
    static constexpr bool kNamesOnly = false;
    /// Asked before each line and before the file's size is checked at the end:
    /// false ends the reading.
    bool GoOn() { return true; }
    /// Every line, as it is read (also an empty one and one too long).
    void LineRead(const LogLine&) {}
    /// A line longer than any record: its text was not kept, so its values cannot be read.
    void LineTooLong(const LogLine&) {}
    /// A comment line. In a .PRN file a column heading line gives `headings`
    /// (null otherwise); from then on they name the blank-separated values.
    CommentAction CommentLine(const LogLine&, const std::vector<std::string>* /*headings*/) {
        return CommentAction::Skip;
    }
    /// One value of a record line; false ends the reading at once.
    bool Value(const LogValue&, const LogLine&) { return true; }
    /// A record line (one of any kind, NotARecord included) whose values were
    /// all taken; false ends the reading.
    bool LineDone(const LogLine&) { return true; }
    /// The file became shorter while it was read: its end was not read.
    void FileShrank() {}
};

/// Reads a log file from top to bottom into a stream of values and line events.
/// Empty lines are passed over without an event but LineRead.
class LogValueReader {
public:
    /// Opens the file (a .PRN file by its name); throws LogFileError when it cannot be opened.
    explicit LogValueReader(std::string path);
    /// The same, told whether it is a .PRN file, with the line reader's buffer
    /// size and longest line text (see LogLineReader).
    LogValueReader(std::string path, bool prnFile, std::size_t bufferSize = 1u << 20,
                   std::size_t maxLineText = LogLineReader::kMaxLineText);

    /// Size of the file in bytes when it was opened.
    std::uint64_t FileSize() const noexcept { return lines_.FileSize(); }
    bool PrnFile() const noexcept { return prnFile_; }

    /// Reads the file to its end or until the visitor ends it. Throws
    /// LogFileError when reading fails.
    template <class Visitor>
    void Read(Visitor& visitor);

private:
    /// The column headings of a .PRN heading line, or null for any other line.
    const std::vector<std::string>* TakeHeadings(std::string_view line);
    /// True when the file is shorter now than it was when opened, and its end was not read.
    bool Shrank() const;

    LogLineReader lines_;
    bool prnFile_;
    std::vector<std::string> headings_;
    bool hasHeadings_ = false;
    LineValueWalk walk_;
    LogValue value_;
};

template <class Visitor>
void LogValueReader::Read(Visitor& visitor) {
    LogLine line;
    while (visitor.GoOn() && lines_.ReadLine(line.text)) {
        line.start = line.end;
        line.end = lines_.BytesConsumed();
        line.number = lines_.LinesRead();
        line.kind = LogLineKind::NotARecord;
        visitor.LineRead(line);
        if (lines_.LineCut()) {
            visitor.LineTooLong(line);
            continue;
        }
        if (line.text.empty()) continue;
        if (IsCommentLine(line.text)) {
            const CommentAction action = visitor.CommentLine(line, TakeHeadings(line.text));
            if (action == CommentAction::Skip) continue;
            if (action == CommentAction::Stop) return;
        }
        line.kind = ClassifyLogLine(line.text);
        walk_.Start(line.kind, line.text, hasHeadings_ ? &headings_ : nullptr,
                    Visitor::kNamesOnly ? LineValueWalk::Reads::NamesOnly : LineValueWalk::Reads::Everything);
        while (walk_.Next(value_)) {
            if (!visitor.Value(value_, line)) return;
        }
        if (!visitor.LineDone(line)) return;
    }
    if (visitor.GoOn() && Shrank()) visitor.FileShrank();
}

}  // namespace vireo
