#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace vireo::testing {

/// The uid of `nobody`: another user than root, who runs the tests.
uid_t NobodyUid();

/// A symbolic link at `link` to `target`, belonging to `owner`.
void PlantLink(const std::string& target, const std::string& link, uid_t owner);

/// A new folder with exactly `mode` (the umask left out), belonging to `owner`.
void MakeFolder(const std::string& path, mode_t mode, uid_t owner);

/// Keeps a test from hanging on a FIFO: should the code under test still be
/// waiting in an open or a read of the FIFO after a generous while, the guard
/// keeps opening the FIFO from the other side and closing it again, which
/// frees the open each time, and remembers that it had to. SIGPIPE is ignored while it lives.
class FifoGuard {
public:
    explicit FifoGuard(std::string fifo);
    ~FifoGuard();
    FifoGuard(const FifoGuard&) = delete;
    FifoGuard& operator=(const FifoGuard&) = delete;

    /// True when the guarded code had to be freed: it waited on the FIFO.
    bool Freed() const { return freed_; }

private:
    std::string fifo_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool over_ = false;
    std::atomic<bool> freed_{false};
    void (*oldPipe_)(int) = nullptr;
    std::thread watcher_;
};

}  // namespace vireo::testing
