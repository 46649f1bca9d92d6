#pragma once

#include <sys/types.h>

#include <string>

namespace vireo::testing {

/// A small process of its own that runs a shell command once this process has
/// ended, whatever the way: a normal exit, a failed assertion that aborts, a
/// sanitizer report, SIGKILL. It notices the end as the end of a pipe whose
/// only writer is this process. Destroying the object runs the command at once.
class ExitWatchdog {
public:
    explicit ExitWatchdog(const std::string& command);
    ~ExitWatchdog();
    ExitWatchdog(const ExitWatchdog&) = delete;
    ExitWatchdog& operator=(const ExitWatchdog&) = delete;

    /// Ends the watchdog without running its command.
    void Disarm() noexcept;

private:
    pid_t owner_;
    pid_t watchdog_ = -1;
    int pipe_ = -1;
};

}  // namespace vireo::testing
