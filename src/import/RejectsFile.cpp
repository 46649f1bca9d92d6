#include "import/RejectsFile.h"

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "files/SafeOpen.h"

namespace vireo {

std::string_view RejectReasonText(ValueFate fate) {
    switch (fate) {
        case ValueFate::NoPair:
            return kRejectNoPair;
        case ValueFate::NotANumber:
            return kRejectNotANumber;
        case ValueFate::NoTimeTag:
            return kRejectNoTimeTag;
        case ValueFate::OutOfRange:
            return kRejectOutOfRange;
        case ValueFate::TimeDoesNotExist:
        case ValueFate::Write:
            break;
    }
    return {};
}

RejectsFileError::RejectsFileError(const char* action, const std::string& path, const std::string& systemMessage)
    : std::runtime_error(std::string("Unable to ") + action + " the rejects file - " + path + ": " + systemMessage) {}

RejectsFile::RejectsFile(std::string path, Opening opening) : path_(std::move(path)) {
    if (opening == Opening::AppendWhenNeeded) {
        waiting_ = true;
        return;
    }
    Open(false);
}

void RejectsFile::Open(bool append) {
    // The rejects file holds lines of the log: a new one is its owner's alone,
    // and it is opened by the rules of files/SafeOpen (a link planted by
    // another user is not followed, a FIFO does not stop the run).
    bool empty = true;
    try {
        OpenedFile file = OpenToWrite(path_, append ? WriteUse::Append : WriteUse::Truncate, NewFile::Private);
        empty = append ? file.info.st_size == 0 : true;
        file_.reset(::fdopen(file.fd.get(), append ? "ab" : "wb"));
        if (!file_) throw FileError(path_, errno);
        file.fd.release();  // the stream owns it now
    } catch (const FileError& error) {
        throw RejectsFileError("create", path_, error.reason());
    }
    if (empty) Put("line,reason,name,text\r\n");
}

RejectsFile::~RejectsFile() = default;  // closing writes what is buffered

void RejectsFile::Put(std::string_view bytes) {
    if (!file_) throw RejectsFileError("write", path_, std::strerror(EBADF));
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) {
        throw RejectsFileError("write", path_, std::strerror(errno));
    }
}

namespace {

/// A CSV field in double quotes, a double quote inside doubled.
void AppendQuoted(std::string& row, std::string_view text) {
    row += '"';
    for (char c : text) {
        if (c == '"') row += '"';
        row += c;
    }
    row += '"';
}

}  // namespace

void RejectsFile::Add(std::uint64_t lineNumber, std::string_view reason, std::string_view name, std::string_view text) {
    if (waiting_) {
        waiting_ = false;
        Open(true);
    }
    std::string row = std::to_string(lineNumber);
    row += ',';
    AppendQuoted(row, reason);
    row += ',';
    AppendQuoted(row, name);
    row += ',';
    AppendQuoted(row, text);
    row += "\r\n";
    Put(row);
    ++rows_;
}

void RejectsFile::Finish() {
    waiting_ = false;
    if (!file_) return;
    std::FILE* file = file_.release();
    const bool flushed = std::fflush(file) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!flushed || !closed) throw RejectsFileError("write", path_, std::strerror(flushed ? errno : flushError));
}

bool IsSameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

std::string LineTextAt(const std::string& path, std::uint64_t start, std::uint64_t end) {
    if (end <= start) return {};
    std::string text(end - start, '\0');
    OpenedFile file;
    try {
        file = OpenToRead(path);
    } catch (const FileError&) {
        return {};
    }
    const ssize_t got = ::pread(file.fd.get(), text.data(), text.size(), static_cast<off_t>(start));
    text.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    text.resize(std::min(text.size(), text.find_first_of("\r\n\x1a")));
    return text;
}

}  // namespace vireo
