#include "app/StatusMessages.h"

#include <fcntl.h>
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

bool AppendStatusLog(const std::string& fileName, std::string_view line) {
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
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

StatusMessenger::StatusMessenger(Output output) : output_(std::move(output)) {}

void StatusMessenger::AddStatusMessage(const std::string& text) {
    const std::string line = StatusLineText(text);
    if (output_) output_(line);
    if (!FLogToFile) return;
    if (AppendStatusLog(FLogFileName, line)) return;
    // Off first, so the report below does not try the failing file again.
    FLogToFile = false;
    if (logStopped_) logStopped_();
    AddStatusMessage(std::string(kStatusLogFailed) + FLogFileName);
}

}  // namespace vireo
