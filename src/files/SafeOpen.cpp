#include "files/SafeOpen.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <vector>

namespace vireo {

FileError::FileError(std::string path, int error)
    : std::runtime_error(path + ": " + std::strerror(error)),
      path_(std::move(path)),
      reason_(std::strerror(error)),
      error_(error) {}

FileError::FileError(std::string path, std::string reason)
    : std::runtime_error(path + ": " + reason), path_(std::move(path)), reason_(std::move(reason)), error_(0) {}

bool OwnOrRoot(uid_t uid) noexcept { return uid == 0 || uid == ::geteuid(); }

std::string UserName(uid_t uid) {
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) return found->pw_name;
    return std::to_string(uid);
}

namespace {

/// As the kernel: more links than this on one path is a loop.
constexpr int kMostLinks = 40;
/// A name that changed between its look and its open is looked at again, so often.
constexpr int kMostAttempts = 16;
/// Every open of a file: a FIFO does not block it, a terminal is not taken
/// over, a link at the name is not followed (the walk follows links).
constexpr int kOpenFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

/// The same error about another path.
FileError About(const std::string& path, const FileError& error) {
    return error.error() != 0 ? FileError(path, error.error()) : FileError(path, error.reason());
}

void RequireRegular(const std::string& path, const struct stat& info) {
    if (S_ISDIR(info.st_mode)) throw FileError(path, EISDIR);
    if (!S_ISREG(info.st_mode)) throw FileError(path, std::string(kNotARegularFile));
}

/// A name that may have been changed by someone else between its look and its open.
bool Changed(int error) { return error == ELOOP || error == ENOENT || error == ENXIO || error == EEXIST; }

/// One path walked one name at a time, down to its last name: each folder is
/// held open (O_PATH), and each link on the way is judged before it is followed.
class PathWalk {
public:
    struct Look {
        bool exists = false;
        struct stat info {};
        UniqueFd fd;  ///< O_PATH, the link itself when it is one
    };

    explicit PathWalk(const std::string& path) : path_(path) {
        if (path.empty()) throw FileError(path, ENOENT);
        StartAt(path.front() == '/');
        AddNames(path);
        ToLast();
    }

    int Folder() const noexcept { return folder_.get(); }
    const std::string& Name() const noexcept { return name_; }
    /// The last name as a path, for messages.
    std::string Shown() const { return Join(here_, name_); }
    UniqueFd DupFolder() const {
        UniqueFd copy(::fcntl(folder_.get(), F_DUPFD_CLOEXEC, 0));
        if (!copy.valid()) throw FileError(path_, errno);
        return copy;
    }

    Look LookLast() const { return LookAt(name_); }

    /// The last name is the link `link`: once judged, the name it leads to
    /// becomes the last name.
    void FollowLast(const Look& link) {
        Follow(link, Shown());
        ToLast();
    }

private:
    void StartAt(bool root) {
        folder_ = UniqueFd(::open(root ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!folder_.valid()) throw FileError(path_, errno);
        here_ = root ? "/" : "";
    }

    /// Puts the names of `path` before the names still to walk.
    void AddNames(std::string_view path) {
        std::deque<std::string> names;
        while (!path.empty()) {
            const std::size_t slash = path.find('/');
            const std::string_view name = path.substr(0, slash);
            if (!name.empty()) names.emplace_back(name);
            path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
        }
        rest_.insert(rest_.begin(), names.begin(), names.end());
    }

    Look LookAt(const std::string& name) const {
        Look look;
        look.fd = UniqueFd(::openat(folder_.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!look.fd.valid()) {
            if (errno == ENOENT) return look;
            throw FileError(path_, errno);
        }
        if (::fstat(look.fd.get(), &look.info) != 0) throw FileError(path_, errno);
        look.exists = true;
        return look;
    }

    /// Walks the folders until one name is left.
    void ToLast() {
        while (rest_.size() > 1) {
            const std::string name = std::move(rest_.front());
            rest_.pop_front();
            Look look = LookAt(name);
            if (!look.exists) throw FileError(path_, ENOENT);
            if (S_ISLNK(look.info.st_mode)) {
                Follow(look, Join(here_, name));
                continue;
            }
            if (!S_ISDIR(look.info.st_mode)) throw FileError(path_, ENOTDIR);
            folder_ = std::move(look.fd);
            here_ = Join(here_, name);
        }
        name_ = rest_.empty() ? std::string(".") : std::move(rest_.front());
        rest_.clear();
    }

    /// Judges the link `shown` in the current folder; its target's names go
    /// before the names still to walk.
    void Follow(const Look& link, const std::string& shown) {
        Judge(link.info, shown);
        if (--linksLeft_ < 0) throw FileError(path_, ELOOP);
        std::string target(static_cast<std::size_t>(link.info.st_size) + 1, '\0');
        for (;;) {
            const ssize_t length = ::readlinkat(link.fd.get(), "", target.data(), target.size());
            if (length < 0) throw FileError(path_, errno);
            if (static_cast<std::size_t>(length) < target.size()) {
                target.resize(static_cast<std::size_t>(length));
                break;
            }
            target.resize(target.size() * 2);
        }
        if (target.empty()) throw FileError(path_, ENOENT);
        if (target.front() == '/') StartAt(true);
        AddNames(target);
    }

    /// A link is followed only when it is the user's or root's, in a folder
    /// only they can change: else whoever planted or may swap it would choose
    /// what the program reads or writes.
    void Judge(const struct stat& link, const std::string& shown) const {
        const std::string named = "the symbolic link " + shown;
        if (!OwnOrRoot(link.st_uid))
            throw FileError(path_,
                            named + " belongs to another user (" + UserName(link.st_uid) + "), it is not followed");
        struct stat folder {};
        if (::fstat(folder_.get(), &folder) != 0) throw FileError(path_, errno);
        if (!OwnOrRoot(folder.st_uid))
            throw FileError(path_, named + " lies in a folder of another user (" + UserName(folder.st_uid) +
                                       "), it is not followed");
        if ((folder.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (folder.st_mode & S_ISVTX) == 0)
            throw FileError(path_, named + " lies in a folder others may write to, it is not followed");
    }

    std::string path_;
    UniqueFd folder_;
    std::string here_;  // the current folder as a path, for messages
    std::deque<std::string> rest_;
    std::string name_;
    int linksLeft_ = kMostLinks;
};

/// The open descriptor judged: a regular file, made blocking again.
OpenedFile Judged(const std::string& path, UniqueFd fd, bool created) {
    OpenedFile file;
    file.fd = std::move(fd);
    file.created = created;
    if (::fstat(file.fd.get(), &file.info) != 0) throw FileError(path, errno);
    RequireRegular(path, file.info);
    const int flags = ::fcntl(file.fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) throw FileError(path, errno);
    return file;
}

}  // namespace

std::optional<struct stat> LookAtPath(const std::string& path) {
    // Most paths hold no link at all: one call tells, where the kernel has
    // it (openat2 refuses every link on the way); a path with a link is walked.
    struct open_how how {};
    how.flags = O_PATH | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS;
    const UniqueFd direct(static_cast<int>(::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how)));
    if (direct.valid()) {
        struct stat info {};
        if (::fstat(direct.get(), &info) != 0) throw FileError(path, errno);
        return info;
    }
    if (errno == ENOENT) return std::nullopt;
    try {
        PathWalk walk(path);
        for (;;) {
            PathWalk::Look look = walk.LookLast();
            if (!look.exists) return std::nullopt;
            if (!S_ISLNK(look.info.st_mode)) return look.info;
            walk.FollowLast(look);
        }
    } catch (const FileError& error) {
        if (error.error() == ENOENT) return std::nullopt;
        throw;
    }
}

OpenedFile OpenToRead(const std::string& path) {
    PathWalk walk(path);
    for (int attempt = 0;; ++attempt) {
        PathWalk::Look look = walk.LookLast();
        if (!look.exists) throw FileError(path, ENOENT);
        if (S_ISLNK(look.info.st_mode)) {
            walk.FollowLast(look);
            continue;
        }
        RequireRegular(path, look.info);
        UniqueFd fd(::openat(walk.Folder(), walk.Name().c_str(), O_RDONLY | kOpenFlags));
        if (!fd.valid()) {
            if (Changed(errno) && attempt < kMostAttempts) continue;
            throw FileError(path, errno);
        }
        return Judged(path, std::move(fd), false);
    }
}

OpenedFile OpenToWrite(const std::string& path, WriteUse use, NewFile mode) {
    const int access = use == WriteUse::ReadWrite ? O_RDWR : use == WriteUse::Append ? O_WRONLY | O_APPEND : O_WRONLY;
    PathWalk walk(path);
    bool throughLink = false;
    for (int attempt = 0;; ++attempt) {
        PathWalk::Look look = walk.LookLast();
        if (look.exists && S_ISLNK(look.info.st_mode)) {
            walk.FollowLast(look);
            throughLink = true;
            continue;
        }
        if (!look.exists) {
            // Created only at the name itself: a dangling link leads nowhere.
            if (throughLink) throw FileError(path, ENOENT);
            UniqueFd fd(::openat(walk.Folder(), walk.Name().c_str(), access | O_CREAT | O_EXCL | kOpenFlags,
                                 mode == NewFile::Private ? 0600 : 0666));
            if (!fd.valid()) {
                if (Changed(errno) && attempt < kMostAttempts) continue;
                throw FileError(path, errno);
            }
            return Judged(path, std::move(fd), true);
        }
        RequireRegular(path, look.info);
        UniqueFd fd(::openat(walk.Folder(), walk.Name().c_str(), access | kOpenFlags));
        if (!fd.valid()) {
            if (Changed(errno) && attempt < kMostAttempts) continue;
            throw FileError(path, errno);
        }
        OpenedFile file = Judged(path, std::move(fd), false);
        if (use == WriteUse::Truncate) {
            if (::ftruncate(file.fd.get(), 0) != 0) throw FileError(path, errno);
            file.info.st_size = 0;
        }
        return file;
    }
}

UniqueFd OpenFolder(const std::string& path) {
    PathWalk walk(path);
    for (int attempt = 0;; ++attempt) {
        PathWalk::Look look = walk.LookLast();
        if (!look.exists) throw FileError(path, ENOENT);
        if (S_ISLNK(look.info.st_mode)) {
            walk.FollowLast(look);
            continue;
        }
        if (!S_ISDIR(look.info.st_mode)) throw FileError(path, ENOTDIR);
        UniqueFd fd(::openat(walk.Folder(), walk.Name().c_str(), O_RDONLY | O_DIRECTORY | kOpenFlags));
        if (!fd.valid()) {
            if (Changed(errno) && attempt < kMostAttempts) continue;
            throw FileError(path, errno);
        }
        return fd;
    }
}

ReplacementFile::ReplacementFile(const std::string& target, NewFile mode) : target_(target) {
    const std::string pid = std::to_string(::getpid());
    temporary_ = target + ".tmp" + pid;
    std::string shown = target;
    try {
        PathWalk walk(target);
        // Where the first link at the last name lies: a dangling link is
        // replaced there, not followed.
        UniqueFd linkFolder;
        std::string linkName;
        for (;;) {
            PathWalk::Look look = walk.LookLast();
            if (look.exists && S_ISLNK(look.info.st_mode)) {
                if (!linkFolder.valid()) {
                    linkFolder = walk.DupFolder();
                    linkName = walk.Name();
                }
                walk.FollowLast(look);
                continue;
            }
            if (!look.exists && linkFolder.valid()) {
                folder_ = std::move(linkFolder);
                targetName_ = linkName;
            } else {
                if (linkFolder.valid()) shown = walk.Shown();
                folder_ = walk.DupFolder();
                targetName_ = walk.Name();
                if (look.exists && S_ISREG(look.info.st_mode)) replaced_ = look.info;
            }
            break;
        }
    } catch (const FileError& error) {
        throw About(temporary_, error);
    }
    target_ = shown;
    for (int taken = 0; taken < 100; ++taken) {
        const std::string suffix = ".tmp" + pid + (taken == 0 ? std::string() : "-" + std::to_string(taken));
        temporaryName_ = targetName_ + suffix;
        temporary_ = shown + suffix;
        file_ = UniqueFd(::openat(folder_.get(), temporaryName_.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                                  mode == NewFile::Private ? 0600 : 0666));
        if (file_.valid()) return;
        if (errno != EEXIST) break;
    }
    const int error = errno;
    temporaryName_.clear();
    throw FileError(temporary_, error);
}

ReplacementFile::~ReplacementFile() {
    if (!committed_ && !temporaryName_.empty()) ::unlinkat(folder_.get(), temporaryName_.c_str(), 0);
}

void ReplacementFile::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(file_.get(), bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) throw FileError(temporary_, count < 0 ? errno : EIO);
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
}

void ReplacementFile::Finish() {
    if (::fsync(file_.get()) != 0) throw FileError(temporary_, errno);
    if (!file_.Close()) throw FileError(temporary_, errno);
}

void ReplacementFile::Commit() {
    if (::renameat(folder_.get(), temporaryName_.c_str(), folder_.get(), targetName_.c_str()) != 0)
        throw FileError(target_, errno);
    committed_ = true;
    // The rename lasts only once the folder is on the disk too.
    const UniqueFd folder(::openat(folder_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid()) (void)::fsync(folder.get());
}

}  // namespace vireo
