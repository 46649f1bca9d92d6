#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "logfile/LogLineKind.h"
#include "logfile/LogLineReader.h"
#include "logfile/LogRecord.h"
#include "scan/Chronos.h"
#include "scan/TimeZone.h"

namespace vireo {

/// One line of a log file as the reader met it.
struct LogLine {
    std::string_view text;                       ///< without its line end; empty for a line too long to keep
    LogLineKind kind = LogLineKind::NotARecord;  ///< set for record lines only
    std::uint64_t number = 0;                    ///< 1 for the file's first line
    std::uint64_t start = 0;                     ///< byte offset of the line's first character
    std::uint64_t end = 0;                       ///< byte offset after the line and its line end
};

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
    bool Value(const LogRecord&, const LogLine&) { return true; }
    /// A record line (one of any kind, NotARecord included) whose values were
    /// all taken; false ends the reading.
    bool LineDone(const LogLine&) { return true; }
    /// The file became shorter while it was read: its end was not read.
    void FileShrank() {}
};

/// Where a reading starts when not at the top: the byte offset of a line's
/// start, the number of lines before it and the .PRN column headings in force
/// there (none when empty).
struct LogReadStart {
    std::uint64_t offset = 0;
    std::uint64_t linesBefore = 0;
    std::vector<std::string> headings;
    /// Where the conversion of time tags stood there (see TimeTagConversion).
    ConversionState clock;
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

    /// Reads from `start` on instead of from the top (see LogLineReader::StartAt);
    /// call before Read.
    void StartAt(const LogReadStart& start);
    /// A last line without its line end is not read (see LogLineReader).
    void SetCompleteLinesOnly(bool on) noexcept { lines_.SetCompleteLinesOnly(on); }
    /// Converts every time tag from the log's zone to the database's time base
    /// (see TimeTagConversion) when both are zones; call before Read.
    void SetTimeZones(const TimeZones& zones);
    /// Where the conversion stands after the values read so far (the start's
    /// when nothing was converted).
    ConversionState Clock() const { return conversion_ ? conversion_->State() : resume_; }

    /// Size of the file in bytes when it was opened.
    std::uint64_t FileSize() const noexcept { return lines_.FileSize(); }
    FileIdentity Identity() const noexcept { return lines_.Identity(); }
    /// Offset after the last line read, and the lines read up to it.
    std::uint64_t BytesConsumed() const noexcept { return lines_.BytesConsumed(); }
    std::uint64_t LinesRead() const noexcept { return lines_.LinesRead(); }

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
    LogRecord value_;
    std::optional<TimeTagConversion> conversion_;
    std::string doesNotExist_;
    ConversionState resume_;  // where a reading that starts at an offset goes on from  // the reason of a time tag the
                              // log's zone does not have
    void ConvertTimeTag(LogRecord& value);
};

template <class Visitor>
void LogValueReader::Read(Visitor& visitor) {
    LogLine line;
    line.end = lines_.BytesConsumed();
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
            if constexpr (!Visitor::kNamesOnly) {
                value_.writtenStamp = value_.stamp;
                if (conversion_) ConvertTimeTag(value_);
            }
            if (!visitor.Value(value_, line)) return;
        }
        if (!visitor.LineDone(line)) return;
    }
    if (visitor.GoOn() && Shrank()) visitor.FileShrank();
}

}  // namespace vireo
