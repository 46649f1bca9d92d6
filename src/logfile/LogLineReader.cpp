#include "logfile/LogLineReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <utility>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VIREO_READER_SSE2 1
#endif

namespace vireo {
namespace {

constexpr char kEndOfText = 26;  // control-Z

std::string SystemMessage(int error) { return std::strerror(error); }

/// The index of the first carriage return or line feed in [from, end) of
/// `data`, or `end`. Reads only inside [data, data + end).
std::size_t FirstLineBreak(const char* data, std::size_t from, std::size_t end) {
#ifdef VIREO_READER_SSE2
    if (end >= 16) {
        const __m128i carriageReturn = _mm_set1_epi8('\r');
        const __m128i lineFeed = _mm_set1_epi8('\n');
        const auto breaks = [&](std::size_t at) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
            return static_cast<unsigned>(_mm_movemask_epi8(
                _mm_or_si128(_mm_cmpeq_epi8(chunk, carriageReturn), _mm_cmpeq_epi8(chunk, lineFeed))));
        };
        for (; from + 16 <= end; from += 16) {
            if (const unsigned mask = breaks(from); mask != 0)
                return from + static_cast<std::size_t>(std::countr_zero(mask));
        }
        if (from < end) {
            // The last 16 bytes, without those before `from`.
            const unsigned mask = breaks(end - 16) >> (from - (end - 16));
            return mask != 0 ? from + static_cast<std::size_t>(std::countr_zero(mask)) : end;
        }
        return end;
    }
#endif
    while (from < end && data[from] != '\r' && data[from] != '\n') ++from;
    return from;
}

/// The text of a line: everything before its first carriage return.
std::string_view TextBeforeReturn(std::string_view bytes) {
    const void* cr = bytes.empty() ? nullptr : std::memchr(bytes.data(), '\r', bytes.size());
    if (cr == nullptr) return bytes;
    return bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(cr) - bytes.data()));
}

}  // namespace

LogFileError::LogFileError(std::string path, std::string systemMessage)
    : std::runtime_error(path + ": " + systemMessage),
      path_(std::move(path)),
      systemMessage_(std::move(systemMessage)) {}

LogLineReader::LogLineReader(std::string path, std::size_t bufferSize, std::size_t maxLineText)
    : path_(std::move(path)), capacity_(bufferSize == 0 ? 1 : bufferSize), maxLineText_(maxLineText) {
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

std::uint64_t LogLineReader::CurrentFileSize() const noexcept {
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    return static_cast<std::uint64_t>(info.st_size);
}

bool LogLineReader::ReadBufferedLine(std::string_view& line) {
    // The usual case, a whole line in the buffer: one look for the first line
    // break, which ends the text, and, after a carriage return, for the line feed.
    const char* const data = buffer_.get();
    const std::size_t textEnd = FirstLineBreak(data, begin_, end_);
    if (textEnd == end_) return false;
    std::size_t lineFeed = textEnd;
    if (data[textEnd] == '\r') {
        if (textEnd + 1 < end_ && data[textEnd + 1] == '\n') {
            lineFeed = textEnd + 1;
        } else {
            const void* found = std::memchr(data + textEnd + 1, '\n', end_ - textEnd - 1);
            if (found == nullptr) return false;
            lineFeed = static_cast<std::size_t>(static_cast<const char*>(found) - data);
        }
    }
    line = std::string_view(data + begin_, textEnd - begin_);
    if (line.size() > maxLineText_) {
        lineCut_ = true;
        line = {};
    }
    const std::size_t taken = lineFeed + 1 - begin_;
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
    }
    return true;
}

void LogLineReader::Gather(std::string_view piece) {
    if (longLineTextEnded_) return;
    std::string_view text = TextBeforeReturn(piece);
    if (text.size() > maxLineText_ - longLine_.size()) {
        // Too long to be a record: the rest of the line is passed over unkept.
        lineCut_ = true;
        longLine_.clear();
        longLineTextEnded_ = true;
        return;
    }
    longLine_.append(text);
    longLineTextEnded_ = text.size() < piece.size();
}

bool LogLineReader::ReadLine(std::string_view& line) {
    longLine_.clear();
    longLineTextEnded_ = false;
    lineCut_ = false;
    if (ReadBufferedLine(line)) return true;
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
