#include "support/FaultInjection.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace vireo::testing {
namespace {

/// The file that takes a full disk's free space.
constexpr const char* kFillerName = ".filler";

std::runtime_error SystemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t count = ::write(fd, data, size);
        if (count < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += count;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

}  // namespace

std::vector<std::string> FileNamesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename() != kFillerName) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

SmallDisk::SmallDisk(std::size_t bytes) : path_((dir_.path() / "disk").string()) {
    if (::mkdir(path_.c_str(), 0755) != 0) throw SystemError("mkdir " + path_);
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

SmallDisk::~SmallDisk() {
    Free();
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
}

void SmallDisk::Fill() {
    if (!mounted_) {
        if (limited_) return;
        ::getrlimit(RLIMIT_FSIZE, &savedLimit_);
        struct rlimit none = savedLimit_;
        none.rlim_cur = 0;
        // Past the limit a write fails with EFBIG instead of raising SIGXFSZ.
        savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        if (::setrlimit(RLIMIT_FSIZE, &none) != 0) throw SystemError("setrlimit");
        limited_ = true;
        return;
    }
    const std::string filler = File(kFillerName);
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return;  // not even a file can be made: full already
    const std::vector<char> block(4096, 'F');
    // Whole blocks first, then single bytes into whatever is left.
    while (WriteAll(fd, block.data(), block.size())) {
    }
    while (WriteAll(fd, block.data(), 1)) {
    }
    ::close(fd);
}

void SmallDisk::Free() {
    if (limited_) {
        ::setrlimit(RLIMIT_FSIZE, &savedLimit_);
        std::signal(SIGXFSZ, savedHandler_);
        limited_ = false;
    }
    if (mounted_) ::unlink(File(kFillerName).c_str());
}

LockHolder::LockHolder(const std::string& path) {
    int ready[2];
    int release[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) throw SystemError("pipe");
    if (::pipe2(release, O_CLOEXEC) != 0) {
        ::close(ready[0]);
        ::close(ready[1]);
        throw SystemError("pipe");
    }
    child_ = ::fork();
    if (child_ == 0) {
        // The child: lock, tell, wait until released (or the parent is gone).
        ::close(ready[0]);
        ::close(release[1]);
        char status = 'L';
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        struct flock whole {};
        whole.l_type = F_WRLCK;
        whole.l_whence = SEEK_SET;
        if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fcntl(fd, F_SETLK, &whole) != 0) status = 'E';
        (void)!::write(ready[1], &status, 1);
        char ignored;
        (void)!::read(release[0], &ignored, 1);
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char status = 'E';
    const bool told = child_ > 0 && ::read(ready[0], &status, 1) == 1;
    ::close(ready[0]);
    if (!told || status != 'L') {
        Release();
        throw std::runtime_error("Cannot lock " + path + " from another process");
    }
}

LockHolder::~LockHolder() { Release(); }

void LockHolder::Release() noexcept {
    if (release_ >= 0) ::close(release_);
    release_ = -1;
    if (child_ > 0) ::waitpid(child_, nullptr, 0);
    child_ = -1;
}

StreamedFile::StreamedFile(std::string path, Producer next) : path_(std::move(path)) {
    if (::mkfifo(path_.c_str(), 0600) != 0) throw SystemError("mkfifo " + path_);
    writer_ = std::thread([this, next = std::move(next)] {
        // A reader that goes away early gives EPIPE, not a signal that ends the program.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        // Waits for a reader, but never past the end of the object.
        int fd = -1;
        while (!stop_ && (fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0 && errno == ENXIO)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (fd < 0) return;
        (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        (void)::fcntl(fd, F_SETPIPE_SZ, 1 << 20);
        std::string chunk;
        while (next(chunk)) {
            if (!WriteAll(fd, chunk.data(), chunk.size())) break;
            written_ += chunk.size();
        }
        ::close(fd);
    });
}

StreamedFile::~StreamedFile() {
    stop_ = true;
    if (writer_.joinable()) writer_.join();
    ::unlink(path_.c_str());
}

ImmutableFile::ImmutableFile(std::string path) : path_(std::move(path)) { made_ = SetFlag(true); }

ImmutableFile::~ImmutableFile() {
    if (made_) SetFlag(false);
}

bool ImmutableFile::SetFlag(bool on) {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    int flags = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    if (!done) reason_ = std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return done;
}

void WriteSparseFile(const std::string& path, std::uint64_t zeroBytes, const std::string& tail) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw SystemError("open " + path);
    const bool done = ::ftruncate(fd, static_cast<off_t>(zeroBytes)) == 0 &&
                      ::lseek(fd, static_cast<off_t>(zeroBytes), SEEK_SET) >= 0 &&
                      WriteAll(fd, tail.data(), tail.size());
    const int error = errno;
    ::close(fd);
    if (!done) {
        errno = error;
        throw SystemError("write " + path);
    }
}

void WriteRepeatedLines(const std::string& path, const std::string& line, std::uint64_t bytes,
                        const std::string& tail) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw SystemError("open " + path);
    std::string chunk;
    while (chunk.size() < (1u << 20)) chunk += line;
    bool done = true;
    for (std::uint64_t written = 0; done && written < bytes; written += chunk.size())
        done = WriteAll(fd, chunk.data(), chunk.size());
    done = done && WriteAll(fd, tail.data(), tail.size());
    ::close(fd);
    if (!done) throw SystemError("write " + path);
}

std::int64_t PeakMemoryKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            std::int64_t kib = -1;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 16, '\n');
    }
    return -1;
}

void ResetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

}  // namespace vireo::testing
