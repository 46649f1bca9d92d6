#include "status/StatusMessages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "scan/Regional.h"

namespace vireo {

std::string StatusLineText(std::string_view text, SecondStamp now) {
    const CalendarStamp at = SplitStamp(now);
    std::string line = DateTimeText(at.year, at.month, at.day, at.hours, at.minutes, at.seconds);
    line.append("    ").append(text).append(".");
    return line;
}

std::string StatusLineText(std::string_view text) { return StatusLineText(text, NowSeconds()); }

std::size_t LinesAfterTrim(std::size_t count) { return count >= kStatusListLimit ? kStatusListTrimTo - 1 : count; }

namespace {

/// A symbolic link that may be followed: one of the user running the
/// program, or of root. A link someone else planted in a shared folder is not.
bool TrustedLink(const struct stat& link) {
    return S_ISLNK(link.st_mode) && (link.st_uid == ::geteuid() || link.st_uid == 0);
}

/// Opens the status log for appending without ever blocking (a FIFO) and
/// without following a link that is not trusted; a file is created only at
/// the path itself, never through a dangling link. Only a regular file is
/// accepted. -1 when refused or failed.
int OpenStatusLog(const std::string& fileName) {
    constexpr int kFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    int fd = ::open(fileName.c_str(), kFlags | O_CREAT | O_NOFOLLOW, 0666);
    if (fd < 0 && errno == ELOOP) {
        struct stat link {};
        if (::lstat(fileName.c_str(), &link) != 0 || !TrustedLink(link)) return -1;
        fd = ::open(fileName.c_str(), kFlags);  // no O_CREAT: a dangling link creates nothing
        // The link must still be the one judged above.
        struct stat again {};
        if (fd >= 0 && (::lstat(fileName.c_str(), &again) != 0 || again.st_ino != link.st_ino ||
                        again.st_dev != link.st_dev || !TrustedLink(again))) {
            ::close(fd);
            return -1;
        }
    }
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

bool AppendStatusLog(const std::string& fileName, std::string_view line) {
    const int fd = OpenStatusLog(fileName);
    if (fd < 0) return false;
    std::string record(line);
    record.append("\r\n");
    std::string_view rest = record;
    bool written = true;
    while (!rest.empty()) {
        const ssize_t count = ::write(fd, rest.data(), rest.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            written = false;
            break;
        }
        rest.remove_prefix(static_cast<std::size_t>(count));
    }
    const bool closed = ::close(fd) == 0;
    return written && closed;
}

StatusMessenger::StatusMessenger(Output output) : FOutput(std::move(output)) {}

void StatusMessenger::AddStatusMessage(const std::string& text) {
    const std::string line = StatusLineText(text);
    if (FOutput) FOutput(line);
    if (!FLogToFile) return;
    if (AppendStatusLog(FLogFileName, line)) return;
    // Off first, so the report below does not try the failing file again.
    FLogToFile = false;
    if (logStopped_) logStopped_();
    AddStatusMessage(std::string(kStatusLogFailed) + FLogFileName);
}

}  // namespace vireo
