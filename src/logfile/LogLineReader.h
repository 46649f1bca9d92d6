#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vireo {

/// A log file that cannot be opened or read. what() is "<path>: <system message>".
class LogFileError : public std::runtime_error {
public:
    LogFileError(std::string path, std::string systemMessage);

    const std::string& path() const noexcept { return path_; }
    /// The operating system's own words (strerror of the failing call).
    const std::string& systemMessage() const noexcept { return systemMessage_; }

private:
    std::string path_;
    std::string systemMessage_;
};

/// Reads a log file line by line, as single-byte text:
/// - a carriage return, a line feed, or a carriage return and a line feed
///   together end a line (so "a\rb\r\nc\n" is three lines);
/// - a control-Z (character 26) ends the text of the file;
/// - the last line needs no line feed.
/// Lines of any length and files of any size are read through a fixed buffer;
/// only a line longer than the buffer is gathered in a growing text, and only up
/// to the end of its text. A line whose text is longer than the limit (16 MiB
/// unless told otherwise) is no record of any logger: it is read through without
/// being kept, reads as an empty text, and LineCut() tells it apart from an empty
/// line. So memory stays flat whatever the file holds (2 GiB without a line end).
/// Which file a path named when it was opened or looked at: a file put in
/// its place since has another.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

/// Why a run refuses a file that is not the one its position was decided for.
inline constexpr const char* kFileReplacedSinceLook =
    "another file took its place after it was looked at, nothing was read from it";

class LogLineReader {
public:
    static constexpr std::size_t kMaxLineText = 16u << 20;

    /// Opens the file by the rules of files/SafeOpen; throws LogFileError when
    /// it cannot be opened or is refused (a folder, a FIFO or a device, a
    /// symbolic link of another user).
    explicit LogLineReader(std::string path, std::size_t bufferSize = 1u << 20, std::size_t maxLineText = kMaxLineText);
    ~LogLineReader();

    LogLineReader(const LogLineReader&) = delete;
    LogLineReader& operator=(const LogLineReader&) = delete;

    /// Reading starts at `offset` (the start of a line), with `linesBefore`
    /// lines counted before it, instead of at the top. When the byte before
    /// `offset` is a carriage return, a line feed right at `offset` is the
    /// second half of that line end and gives no line. Call before the first
    /// ReadLine; throws LogFileError when the file cannot be positioned.
    void StartAt(std::uint64_t offset, std::uint64_t linesBefore);
    /// A last line without its line end is not read: the reading ends before
    /// it, as it ends at the end of the file (a file still being written is
    /// read up to its last complete line). A control-Z still ends the text,
    /// and the line before it.
    void SetCompleteLinesOnly(bool on) noexcept { completeLinesOnly_ = on; }

    /// The text of the next line in `line`, valid until the next call. False at
    /// the end of the file's text. Throws LogFileError when reading fails.
    bool ReadLine(std::string_view& line);

    /// Offset after the lines read so far, line ends included (from the top of
    /// the file, also when reading started further on).
    std::uint64_t BytesConsumed() const noexcept { return bytesConsumed_; }
    /// Characters of the texts of the lines read so far (line ends not counted).
    std::uint64_t CharactersRead() const noexcept { return charactersRead_; }
    /// Number of lines read so far.
    std::uint64_t LinesRead() const noexcept { return linesRead_; }
    /// True when the text of the last line read was longer than the limit: the
    /// line was given as an empty text.
    bool LineCut() const noexcept { return lineCut_; }
    /// Size of the file in bytes when it was opened.
    std::uint64_t FileSize() const noexcept { return fileSize_; }
    /// The file the path named when it was opened.
    FileIdentity Identity() const noexcept { return identity_; }
    /// Size of the open file now (it may have been cut or added to since it
    /// was opened); 0 for what is not a regular file.
    std::uint64_t CurrentFileSize() const noexcept;
    const std::string& Path() const noexcept { return path_; }

private:
    /// The next line when it lies whole in the buffer; false (and nothing
    /// consumed) otherwise.
    bool ReadBufferedLine(std::string_view& line);
    /// Reads more of the file behind the buffered bytes. False when nothing more
    /// can be had (end of file or control-Z seen).
    bool Fill();
    /// Adds a piece of the current line to longLine_.
    void Gather(std::string_view piece);
    /// True when the line break at `lineBreak` in the buffer is a carriage
    /// return last in it, with more of the file to come.
    bool LineEndUndecided(std::size_t lineBreak) const;
    /// How many bytes end the line at the line break at `lineBreak` in the
    /// buffer: 2 for a carriage return and a line feed, else 1.
    std::size_t LineEndLength(std::size_t lineBreak) const;

    std::string path_;
    int fd_ = -1;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t begin_ = 0;  // first unread byte in buffer_
    std::size_t end_ = 0;    // one past the last valid byte in buffer_
    bool endOfText_ = false;
    bool controlZSeen_ = false;
    bool completeLinesOnly_ = false;
    bool skipLineFeed_ = false;  // the reading starts between a carriage return and a possible line feed
    std::string longLine_;       // a line that did not fit into the buffer
    bool longLineCut_ = false;   // longLine_ grew past the limit: the rest is passed over
    std::size_t maxLineText_;
    bool lineCut_ = false;
    std::uint64_t bytesConsumed_ = 0;
    std::uint64_t charactersRead_ = 0;
    std::uint64_t linesRead_ = 0;
    std::uint64_t fileSize_ = 0;
    FileIdentity identity_;
};

}  // namespace vireo
