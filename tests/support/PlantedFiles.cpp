#include "support/PlantedFiles.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <stdexcept>

namespace vireo::testing {
namespace {

void Check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

uid_t NobodyUid() {
    const struct passwd* entry = ::getpwnam("nobody");
    return entry != nullptr ? entry->pw_uid : 65534;
}

void PlantLink(const std::string& target, const std::string& link, uid_t owner) {
    Check(::symlink(target.c_str(), link.c_str()) == 0, "symlink " + link);
    Check(::lchown(link.c_str(), owner, owner) == 0, "lchown " + link);
}

void MakeFolder(const std::string& path, mode_t mode, uid_t owner) {
    Check(::mkdir(path.c_str(), 0700) == 0, "mkdir " + path);
    Check(::chown(path.c_str(), owner, owner) == 0, "chown " + path);
    Check(::chmod(path.c_str(), mode) == 0, "chmod " + path);
}

FifoGuard::FifoGuard(std::string fifo) : fifo_(std::move(fifo)) {
    oldPipe_ = std::signal(SIGPIPE, SIG_IGN);
    watcher_ = std::thread([this] {
        std::unique_lock<std::mutex> hold(mutex_);
        // Long enough for any open on a busy machine: only a hang lasts it.
        if (done_.wait_for(hold, std::chrono::seconds(60), [this] { return over_; })) return;
        freed_ = true;
        // Again and again: the code may open the FIFO more than once.
        do {
            const int fd = ::open(fifo_.c_str(), O_RDWR | O_NONBLOCK);
            if (fd >= 0) ::close(fd);
        } while (!done_.wait_for(hold, std::chrono::milliseconds(100), [this] { return over_; }));
    });
}

FifoGuard::~FifoGuard() {
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        over_ = true;
    }
    done_.notify_all();
    watcher_.join();
    std::signal(SIGPIPE, oldPipe_);
}

}  // namespace vireo::testing
