#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "files/UniqueFd.h"

namespace vireo {

// Every file the program reads or writes is opened here, by one rule:
//
// - A symbolic link is followed only when it belongs to the user running the
//   program or to root, and lies in a folder that only they can change (owned
//   by them, and writable by others only with the sticky bit). Every link on
//   the way is judged, not only the last: the path is walked one name at a
//   time, each folder held open, so nothing swapped in behind a judged name
//   is reached. Links another user planted in a shared folder are refused.
// - A file is opened without blocking (a FIFO) and without becoming the
//   controlling terminal; only a regular file is accepted, judged on the open
//   descriptor; then the descriptor is made blocking again.
// - A file is created only at the name itself, never through a dangling link.
// - Temporary files are created new (never an existing name or link) beside
//   the file they replace.

/// A file that is refused or cannot be opened. what() is "<path>: <reason>";
/// the reason is the system's own words (strerror) or says what is refused.
class FileError : public std::runtime_error {
public:
    /// The system's words for `error` (an errno value).
    FileError(std::string path, int error);
    /// The program's own reason; error() is 0.
    FileError(std::string path, std::string reason);

    const std::string& path() const noexcept { return path_; }
    const std::string& reason() const noexcept { return reason_; }
    /// The errno value, or 0 for a refusal in the program's own words.
    int error() const noexcept { return error_; }

private:
    std::string path_;
    std::string reason_;
    int error_;
};

/// The reason given for a FIFO, a device, a socket.
inline constexpr std::string_view kNotARegularFile = "not a regular file";

/// Who may read a file the program creates: its owner alone (0600), for
/// files that may hold what a user should not share, or as the user's umask
/// lets (0666 less the umask).
enum class NewFile { Private, Shared };

/// A file opened by the rule, and its status taken on the open descriptor.
struct OpenedFile {
    UniqueFd fd;
    struct stat info {};
    bool created = false;  ///< it did not exist and was made by this open
};

/// How a file is opened for writing.
enum class WriteUse {
    Append,     ///< write-only, every write at the end
    Truncate,   ///< write-only, emptied once it is judged a regular file
    ReadWrite,  ///< read and write, kept as it is
};

/// True for the user running the program (its effective id) and root.
bool OwnOrRoot(uid_t uid) noexcept;

/// The login name of `uid`, or its number when it has none.
std::string UserName(uid_t uid);

/// The status of the file `path` names, following the links the rule allows,
/// without opening it; nothing when no such file exists (also behind a
/// dangling link). Throws FileError for a refused link or a failing look.
std::optional<struct stat> LookAtPath(const std::string& path);

/// Opens an existing regular file for reading. Throws FileError: ENOENT when
/// it does not exist, EISDIR for a folder, kNotARegularFile, a refused link.
OpenedFile OpenToRead(const std::string& path);

/// Opens a regular file for writing, creating it with `mode` when the name
/// holds nothing. A dangling link creates nothing (ENOENT). Throws FileError.
OpenedFile OpenToWrite(const std::string& path, WriteUse use, NewFile mode);

/// Opens a folder for listing (fdopendir). Throws FileError.
UniqueFd OpenFolder(const std::string& path);

/// The new content of a file, written into a temporary file beside it and
/// renamed over it: a crash at any moment leaves the old file or the new one.
/// When the name is a link the rule allows, to an existing file, that file
/// is replaced and the link stays. The temporary file is removed unless the
/// replacement was committed.
class ReplacementFile {
public:
    /// Creates the temporary file "<target>.tmp<process id>" (with "-N"
    /// added when that name is taken) with O_EXCL, so never through a link.
    /// Throws FileError naming the temporary file.
    ReplacementFile(const std::string& target, NewFile mode);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    int fd() const noexcept { return file_.get(); }
    const std::string& TemporaryPath() const noexcept { return temporary_; }
    /// The status of the file replaced, when it is a regular file.
    const std::optional<struct stat>& Replaced() const noexcept { return replaced_; }

    /// Writes all of `bytes`; throws FileError naming the temporary file.
    void Write(std::string_view bytes);
    /// Forces the content to the disk and closes the temporary file; throws
    /// FileError naming it.
    void Finish();
    /// Renames the temporary file over the target and forces the folder to
    /// the disk; throws FileError naming the target.
    void Commit();

private:
    std::string target_;
    std::string temporary_;
    UniqueFd folder_;
    std::string targetName_;
    std::string temporaryName_;
    UniqueFd file_;
    std::optional<struct stat> replaced_;
    bool committed_ = false;
};

}  // namespace vireo
