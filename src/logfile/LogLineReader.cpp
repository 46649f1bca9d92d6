#include "logfile/LogLineReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace vireo {
namespace {

constexpr char kEndOfText = 26;  // control-Z

std::string SystemMessage(int error) { return std::strerror(error); }

/// The text of a line: everything before its first carriage return.
std::string_view TextBeforeReturn(std::string_view bytes) {
    const void* cr = bytes.empty() ? nullptr : std::memchr(bytes.data(), '\r', bytes.size());
    if (cr == nullptr) return bytes;
    return bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(cr) - bytes.data()));
}

}  // namespace

LogFileError::LogFileError(std::string path, std::string systemMessage)
    : std::runtime_error(path + ": " + systemMessage), path_(std::move(path)), systemMessage_(std::move(systemMessage)) {}

LogLineReader::LogLineReader(std::string path, std::size_t bufferSize)
    : path_(std::move(path)), capacity_(bufferSize == 0 ? 1 : bufferSize) {
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw LogFileError(path_, SystemMessage(errno));
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) {
        fileSize_ = static_cast<std::uint64_t>(info.st_size);
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    buffer_ = std::make_unique_for_overwrite<char[]>(capacity_);
}

LogLineReader::~LogLineReader() {
    if (fd_ >= 0) ::close(fd_);
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
    }
    return true;
}

void LogLineReader::Gather(std::string_view piece) {
    if (longLineTextEnded_) return;
    std::string_view text = TextBeforeReturn(piece);
    longLine_.append(text);
    longLineTextEnded_ = text.size() < piece.size();
}

bool LogLineReader::ReadLine(std::string_view& line) {
    longLine_.clear();
    longLineTextEnded_ = false;
    bool gathering = false;
    std::uint64_t gatheredBytes = 0;
    std::size_t searchFrom = begin_;  // bytes before it are known to hold no line feed
    for (;;) {
        const char* data = buffer_.get();
        const void* lf = searchFrom < end_ ? std::memchr(data + searchFrom, '\n', end_ - searchFrom) : nullptr;
        bool atEnd = false;
        std::size_t pieceEnd;
        if (lf != nullptr) {
            pieceEnd = static_cast<std::size_t>(static_cast<const char*>(lf) - data);
        } else {
            if (end_ == capacity_) {
                // The buffer is full and holds no line end: make room for more.
                if (begin_ > 0) {
                    std::memmove(buffer_.get(), data + begin_, end_ - begin_);
                    end_ -= begin_;
                    begin_ = 0;
                } else {
                    Gather(std::string_view(data, end_));
                    gatheredBytes += end_;
                    gathering = true;
                    begin_ = end_ = 0;
                }
            }
            searchFrom = end_;
            if (Fill()) continue;
            if (!gathering && begin_ == end_) return false;
            pieceEnd = end_;
            atEnd = true;
        }
        const std::string_view piece(buffer_.get() + begin_, pieceEnd - begin_);
        const std::size_t taken = piece.size() + (atEnd ? 0 : 1);
        begin_ += taken;
        if (gathering) {
            Gather(piece);
            line = longLine_;
        } else {
            line = TextBeforeReturn(piece);
        }
        bytesConsumed_ += gatheredBytes + taken;
        charactersRead_ += line.size();
        ++linesRead_;
        return true;
    }
}

}  // namespace vireo
