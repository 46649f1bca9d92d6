#include "support/ExitWatchdog.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace vireo::testing {

ExitWatchdog::ExitWatchdog(const std::string& command) : owner_(::getpid()) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }
    if (pid == 0) {
        // Nothing of the test program stays open here: not its output (which
        // a caller may be waiting on) and not the pipe's write end.
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::dup2(fds[0], 3);
        ::close_range(4, ~0U, 0);
        char byte = 0;
        while (::read(3, &byte, 1) < 0 && errno == EINTR) {
        }
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[0]);
    pipe_ = fds[1];
    watchdog_ = pid;
}

void ExitWatchdog::Disarm() noexcept {
    if (::getpid() != owner_ || watchdog_ < 0) return;
    ::kill(watchdog_, SIGKILL);
    int status = 0;
    while (::waitpid(watchdog_, &status, 0) < 0 && errno == EINTR) {
    }
    watchdog_ = -1;
}

ExitWatchdog::~ExitWatchdog() {
    if (::getpid() != owner_) return;  // a forked child leaves the watchdog to its parent
    if (watchdog_ < 0) {
        ::close(pipe_);
        return;
    }
    ::close(pipe_);
    int status = 0;
    while (::waitpid(watchdog_, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace vireo::testing
