#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "import/ValueFate.h"

namespace vireo {

/// The reasons a rejects file gives for a line or value that was not written.
inline constexpr std::string_view kRejectNoTimeTag = "no usable time tag";
inline constexpr std::string_view kRejectNotANumber = "not a number";
inline constexpr std::string_view kRejectNoPair = "no pair for that name";
inline constexpr std::string_view kRejectOutOfRange = "number out of range";
inline constexpr std::string_view kRejectLineTooLong = "line too long";
inline constexpr std::string_view kRejectNotARecord = "not a record";
/// Followed by " - " and the driver's message.
inline constexpr std::string_view kRejectRefused = "refused by the database";

/// The reason of a value that is not written for its fate (empty for Write).
std::string_view RejectReasonText(ValueFate fate);
/// The same for one value: a time the log's zone does not have gives the
/// reader's reason ("time that does not exist in Europe/Berlin").
inline std::string_view RejectReasonText(ValueFate fate, const LogRecord& value) {
    return fate == ValueFate::TimeDoesNotExist ? value.timeTagRefusal : RejectReasonText(fate);
}

/// A rejects file that cannot be created or written: what() is
/// "Unable to create the rejects file - <path>: <system message>" or
/// "Unable to write the rejects file - <path>: <system message>".
class RejectsFileError : public std::runtime_error {
public:
    RejectsFileError(const char* action, const std::string& path, const std::string& systemMessage);
};

/// The reject report of a run: a CSV file (comma-separated, every text field
/// in double quotes, CR LF line ends) with the header "line,reason,name,text"
/// and one row per line or value that was not written: the line's number, the
/// reason, the log sensor name (empty for a whole line) and the line's text
/// byte for byte. Rows go to the file as the run finds them, through a small
/// buffer; closing the file (or Finish) writes the rest.
class RejectsFile {
public:
    /// Replace: the file is created (or emptied) at once, with its header.
    /// AppendWhenNeeded: nothing is done before the first row; the rows then
    /// go after those the file holds, the header first when it is new. A file
    /// created holds data a user should not share: only its owner may read it.
    enum class Opening { Replace, AppendWhenNeeded };

    /// Throws RejectsFileError when the file cannot be created, or when it is
    /// refused by the rules of files/SafeOpen (a FIFO or a device, a link of
    /// another user, a dangling link).
    explicit RejectsFile(std::string path, Opening opening = Opening::Replace);
    ~RejectsFile();
    RejectsFile(const RejectsFile&) = delete;
    RejectsFile& operator=(const RejectsFile&) = delete;

    /// Adds one row; throws RejectsFileError when the file cannot be written.
    void Add(std::uint64_t lineNumber, std::string_view reason, std::string_view name, std::string_view text);
    /// Writes what is buffered and closes the file; throws RejectsFileError
    /// when that fails. Further rows are refused.
    void Finish();

    const std::string& Path() const noexcept { return path_; }
    /// Rows added so far.
    std::int64_t Rows() const noexcept { return rows_; }

private:
    struct Closer {
        void operator()(std::FILE* file) const noexcept { std::fclose(file); }
    };
    void Put(std::string_view bytes);
    void Open(bool append);

    std::string path_;
    std::unique_ptr<std::FILE, Closer> file_;
    std::int64_t rows_ = 0;
    bool waiting_ = false;  // AppendWhenNeeded, before the first row
};

/// True when both paths name one existing file (the same device and inode).
bool IsSameFile(const std::string& a, const std::string& b);

/// The text of the line that lies at [start, end) of the log file `path` (the
/// line end left out), read again for a row whose line is no longer at hand.
/// Empty when it cannot be read.
std::string LineTextAt(const std::string& path, std::uint64_t start, std::uint64_t end);

}  // namespace vireo
