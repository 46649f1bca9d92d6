#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

namespace vireo::testing {

/// A folder on a disk that can be made full. It is a small tmpfs mounted on a
/// fresh folder (64 KiB by default) and unmounted when it goes, also when a
/// test fails. Where mounting is not allowed, the folder is an ordinary one and
/// Fill() lowers the process's file size limit to 0 instead (writes then fail
/// with EFBIG rather than ENOSPC), until Free() or the end of the object.
class SmallDisk {
public:
    explicit SmallDisk(std::size_t bytes = 64 * 1024);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    const std::string& Path() const noexcept { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    /// True when a tmpfs is mounted; false for the file size limit.
    bool Mounted() const noexcept { return mounted_; }

    /// Takes every free byte of the disk: from now on no file there can grow.
    void Fill();
    /// Gives the space back.
    void Free();

private:
    TempDir dir_{"vireo-fault-disk"};
    std::string path_;
    bool mounted_ = false;
    bool limited_ = false;
    struct rlimit savedLimit_ {};
    void (*savedHandler_)(int) = SIG_DFL;
};

/// The names of the files in a folder, sorted, without the filler a full
/// SmallDisk holds: what a test expects to find left after a failed save.
std::vector<std::string> FileNamesIn(const std::string& folder);

/// Another process that holds a lock on a file: an exclusive flock() and a
/// POSIX write lock (fcntl) over the whole file, as a program that has the
/// file open for writing would. Released when the object goes.
class LockHolder {
public:
    explicit LockHolder(const std::string& path);
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

private:
    void Release() noexcept;

    pid_t child_ = -1;
    int release_ = -1;  // closing it lets the child end
};

/// A FIFO at `path` into which a thread writes the chunks that `next` gives
/// (false: no more), as a program streaming a log file would. The writer waits
/// for a reader and stops when the reader closes its end; the object waits for
/// it when it goes, and never hangs when no reader ever came.
class StreamedFile {
public:
    using Producer = std::function<bool(std::string& chunk)>;
    StreamedFile(std::string path, Producer next);
    ~StreamedFile();
    StreamedFile(const StreamedFile&) = delete;
    StreamedFile& operator=(const StreamedFile&) = delete;

    const std::string& Path() const noexcept { return path_; }
    /// Bytes written into the FIFO so far.
    std::uint64_t BytesWritten() const noexcept { return written_; }

private:
    std::string path_;
    std::atomic<std::uint64_t> written_{0};
    std::atomic<bool> stop_{false};
    std::thread writer_;
};

/// Makes a file immutable (the ext4 flag that `chattr +i` sets), so that not
/// even root can open it for writing; the flag is taken off when the object
/// goes. Made() is false where the file system or the process cannot set it.
class ImmutableFile {
public:
    explicit ImmutableFile(std::string path);
    ~ImmutableFile();
    ImmutableFile(const ImmutableFile&) = delete;
    ImmutableFile& operator=(const ImmutableFile&) = delete;

    bool Made() const noexcept { return made_; }
    /// Why the flag could not be set (the system's words).
    const std::string& Reason() const noexcept { return reason_; }

private:
    bool SetFlag(bool on);

    std::string path_;
    bool made_ = false;
    std::string reason_;
};

/// Creates a sparse file of `zeroBytes` NUL bytes (no disk space used),
/// followed by `tail`.
void WriteSparseFile(const std::string& path, std::uint64_t zeroBytes, const std::string& tail);

/// Writes `line` over and over, whole, until at least `bytes` are written,
/// then `tail`: a large file of many short lines.
void WriteRepeatedLines(const std::string& path, const std::string& line, std::uint64_t bytes, const std::string& tail);

/// The peak resident memory of this process (VmHWM) in KiB since the last
/// ResetPeakMemory(); -1 when the system does not tell.
std::int64_t PeakMemoryKiB();
/// Starts a new peak: the current resident memory becomes the peak.
void ResetPeakMemory();

}  // namespace vireo::testing
