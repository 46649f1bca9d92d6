#include "logfile/LogLineReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "files/SafeOpen.h"
#include "logfile/LineBreakScan.h"

namespace vireo {
namespace {

using logfile_detail::FirstLineBreak;

constexpr char kEndOfText = 26;  // control-Z
/// A carriage return and the byte after it must fit the buffer together.
constexpr std::size_t kLeastBuffer = 2;

std::string SystemMessage(int error) { return std::strerror(error); }

}  // namespace

LogFileError::LogFileError(std::string path, std::string systemMessage)
    : std::runtime_error(path + ": " + systemMessage),
      path_(std::move(path)),
      systemMessage_(std::move(systemMessage)) {}

LogLineReader::LogLineReader(std::string path, std::size_t bufferSize, std::size_t maxLineText)
    : path_(std::move(path)), capacity_(std::max<std::size_t>(bufferSize, kLeastBuffer)), maxLineText_(maxLineText) {
    // A log file may lie in a folder others write to: it is opened by the
    // rules of files/SafeOpen (no link of another user, a regular file only,
    // a FIFO refused at once).
    try {
        OpenedFile file = OpenToRead(path_);
        fileSize_ = static_cast<std::uint64_t>(file.info.st_size);
        identity_ = {static_cast<std::uint64_t>(file.info.st_dev), static_cast<std::uint64_t>(file.info.st_ino)};
        fd_ = file.fd.release();
    } catch (const FileError& error) {
        throw LogFileError(path_, error.reason());
    }
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    buffer_ = std::make_unique_for_overwrite<char[]>(capacity_);
}

LogLineReader::~LogLineReader() {
    if (fd_ >= 0) ::close(fd_);
}

std::uint64_t LogLineReader::CurrentFileSize() const noexcept {
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    return static_cast<std::uint64_t>(info.st_size);
}

void LogLineReader::StartAt(std::uint64_t offset, std::uint64_t linesBefore) {
    if (offset > 0) {
        // The byte before and the byte at the offset: a line feed there that
        // is already written is passed over at once, else when it comes.
        char around[2] = {};
        const ssize_t got = ::pread(fd_, around, 2, static_cast<off_t>(offset - 1));
        skipLineFeed_ = got >= 1 && around[0] == '\r';
        if (skipLineFeed_ && got == 2) {
            skipLineFeed_ = false;
            if (around[1] == '\n') ++offset;
        }
    }
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) throw LogFileError(path_, SystemMessage(errno));
    bytesConsumed_ = offset;
    linesRead_ = linesBefore;
}

bool LogLineReader::LineEndUndecided(std::size_t lineBreak) const {
    // A carriage return last in the buffer may be the first half of a CR LF
    // pair: that is known once the byte after it is read.
    return buffer_[lineBreak] == '\r' && lineBreak + 1 == end_ && !endOfText_;
}

std::size_t LogLineReader::LineEndLength(std::size_t lineBreak) const {
    const char* const data = buffer_.get();
    return data[lineBreak] == '\r' && lineBreak + 1 < end_ && data[lineBreak + 1] == '\n' ? 2 : 1;
}

bool LogLineReader::ReadBufferedLine(std::string_view& line) {
    // The usual case, a whole line in the buffer: one look for the first line
    // break, which ends the line.
    const char* const data = buffer_.get();
    const std::size_t textEnd = FirstLineBreak(data, begin_, end_);
    if (textEnd == end_ || LineEndUndecided(textEnd)) return false;
    line = std::string_view(data + begin_, textEnd - begin_);
    if (line.size() > maxLineText_) {
        lineCut_ = true;
        line = {};
    }
    const std::size_t taken = textEnd + LineEndLength(textEnd) - begin_;
    begin_ += taken;
    bytesConsumed_ += taken;
    charactersRead_ += line.size();
    ++linesRead_;
    return true;
}

bool LogLineReader::Fill() {
    if (endOfText_ || end_ == capacity_) return false;
    ssize_t count;
    do {
        count = ::read(fd_, buffer_.get() + end_, capacity_ - end_);
    } while (count < 0 && errno == EINTR);
    if (count < 0) throw LogFileError(path_, SystemMessage(errno));
    if (count == 0) {
        endOfText_ = true;
        return false;
    }
    const std::size_t readAt = end_;
    end_ += static_cast<std::size_t>(count);
    if (const void* stop = std::memchr(buffer_.get() + readAt, kEndOfText, end_ - readAt)) {
        // Nothing after a control-Z belongs to the text, not even what is in the buffer already.
        end_ = static_cast<std::size_t>(static_cast<const char*>(stop) - buffer_.get());
        endOfText_ = true;
        controlZSeen_ = true;
    }
    return true;
}

void LogLineReader::Gather(std::string_view piece) {
    if (longLineCut_) return;
    if (piece.size() > maxLineText_ - longLine_.size()) {
        // Too long to be a record: the rest of the line is passed over unkept.
        lineCut_ = true;
        longLine_.clear();
        longLineCut_ = true;
        return;
    }
    longLine_.append(piece);
}

bool LogLineReader::ReadLine(std::string_view& line) {
    longLine_.clear();
    longLineCut_ = false;
    lineCut_ = false;
    if (skipLineFeed_) {
        if (begin_ == end_) Fill();
        if (begin_ < end_) {
            skipLineFeed_ = false;
            if (buffer_[begin_] == '\n') ++begin_, ++bytesConsumed_;
        }
    }
    if (ReadBufferedLine(line)) return true;
    bool gathering = false;
    std::uint64_t gatheredBytes = 0;
    std::size_t searchFrom = begin_;  // bytes before it are known to hold no line break
    for (;;) {
        char* const data = buffer_.get();
        const std::size_t lineBreak = FirstLineBreak(data, searchFrom, end_);
        std::size_t pieceEnd = lineBreak;
        std::size_t lineEnd = 0;
        if (lineBreak < end_ && !LineEndUndecided(lineBreak)) {
            lineEnd = LineEndLength(lineBreak);
        } else {
            // No line end yet, or a carriage return whose next byte is unread.
            searchFrom = lineBreak;
            if (end_ == capacity_) {
                if (begin_ > 0) {
                    // Make room for more.
                    std::memmove(data, data + begin_, end_ - begin_);
                    end_ -= begin_;
                    searchFrom -= begin_;
                    begin_ = 0;
                } else {
                    // The buffer holds part of one line only: its text so far
                    // is gathered, a carriage return last in it is kept.
                    Gather(std::string_view(data, lineBreak));
                    gatheredBytes += lineBreak;
                    gathering = true;
                    const std::size_t kept = end_ - lineBreak;
                    if (kept > 0) data[0] = data[lineBreak];
                    begin_ = 0;
                    end_ = kept;
                    searchFrom = 0;
                }
            }
            if (Fill()) continue;
            // The end of the text: a carriage return kept is a line end after all.
            if (searchFrom < end_) continue;
            if (!gathering && begin_ == end_) return false;
            // A line without its line end may still be being written.
            if (completeLinesOnly_ && !controlZSeen_) return false;
            pieceEnd = end_;
        }
        const std::string_view piece(data + begin_, pieceEnd - begin_);
        const std::size_t taken = piece.size() + lineEnd;
        begin_ += taken;
        if (gathering) {
            Gather(piece);
            line = longLine_;
        } else {
            line = piece;
            if (line.size() > maxLineText_) {
                lineCut_ = true;
                line = {};
            }
        }
        bytesConsumed_ += gatheredBytes + taken;
        charactersRead_ += line.size();
        ++linesRead_;
        return true;
    }
}

}  // namespace vireo
