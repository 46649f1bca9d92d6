#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "scan/Chronos.h"
#include "status/StatusSink.h"

namespace vireo {

/// The message list never holds more than this many lines ...
inline constexpr std::size_t kStatusListLimit = 640;
/// ... and a trim deletes lines from its end while it holds this many or more.
inline constexpr std::size_t kStatusListTrimTo = 512;

inline constexpr std::string_view kStatusLogFailed = "ERROR: Unable to write status message to ";

/// One status line: the local date-time text of `now`, four blanks, the text
/// unchanged and a full stop (always, also after a text that ends with one).
std::string StatusLineText(std::string_view text, SecondStamp now);

/// The same with the clock's current time.
std::string StatusLineText(std::string_view text);

/// How many lines the message list keeps before a new line goes on top: a
/// list of 640 lines or more loses lines from its end while it holds 512 or
/// more, so 511 remain; a shorter list is left alone.
std::size_t LinesAfterTrim(std::size_t count);

/// Appends `line` and a carriage return and line feed to the status log
/// `fileName`, creating the file when it does not exist (readable by its
/// owner alone); the file is opened and closed for this one line, by the
/// rules of files/SafeOpen. False when any step fails, and when the file is
/// refused: anything but a regular file (a FIFO never blocks the open), a
/// symbolic link owned by another user than the one running the program or
/// root, and a dangling link (its target is never created).
bool AppendStatusLog(const std::string& fileName, std::string_view line);

/// The status sink both front ends use. Each message becomes one line, formed
/// once, so the list and the log file carry the same time text; the line goes
/// to the output (the window puts it on top of its list, the command line
/// prints it) and, while the log is on, to the end of the log file.
///
/// A log file that cannot be written is reported once through the output
/// ("ERROR: Unable to write status message to " + path + ".") and the log is
/// switched off, so the report never tries the failing file again.
class StatusMessenger : public StatusSink {
public:
    using Output = std::function<void(const std::string& line)>;

    explicit StatusMessenger(Output output);

    void AddStatusMessage(const std::string& text) override;
    bool ShowDetails() const override { return FShowDetails; }

    void SetShowDetails(bool on) { FShowDetails = on; }
    bool LogToFile() const { return FLogToFile; }
    void SetLogToFile(bool on) { FLogToFile = on; }
    const std::string& LogFileName() const { return FLogFileName; }
    void SetLogFileName(std::string fileName) { FLogFileName = std::move(fileName); }

    /// Called after a failed log write has switched the log off, before the
    /// failure is reported (the window unchecks its log action).
    void SetLogStoppedHandler(std::function<void()> handler) { logStopped_ = std::move(handler); }

private:
    Output FOutput;
    std::function<void()> logStopped_;
    bool FShowDetails = false;
    bool FLogToFile = false;
    std::string FLogFileName;
};

}  // namespace vireo
