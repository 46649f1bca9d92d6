#include "status/StatusMessages.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

#include "files/SafeOpen.h"
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
    // The rules of every file the program writes (files/SafeOpen): never a
    // link of another user, never through a dangling link, a regular file
    // only (a FIFO never blocks); a new log is its owner's alone.
    OpenedFile log;
    try {
        log = OpenToWrite(fileName, WriteUse::Append, NewFile::Private);
    } catch (const FileError&) {
        return false;
    }
    std::string record(line);
    record.append("\r\n");
    std::string_view rest = record;
    bool written = true;
    while (!rest.empty()) {
        const ssize_t count = ::write(log.fd.get(), rest.data(), rest.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            written = false;
            break;
        }
        rest.remove_prefix(static_cast<std::size_t>(count));
    }
    const bool closed = log.fd.Close();
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
