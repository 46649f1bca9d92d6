#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "scan/TimeZone.h"

namespace vireo {

/// A positions file that cannot be read, written or locked. what() names the
/// file and gives the system's own words or what is wrong in it.
class FollowStateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Where the following of one log file into one data source stands: the file
/// as it was seen, and the place up to which its values are in the database.
struct FollowRecord {
    std::string path;        ///< absolute path of the log file
    std::string dataSource;  ///< the data source it is imported into
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;             ///< when it was last looked at
    std::int64_t modifiedNs = 0;        ///< its modification time then, in nanoseconds
    std::uint64_t offset = 0;           ///< after the last complete line whose values are committed
    std::uint64_t lines = 0;            ///< lines before `offset`
    std::uint64_t headLength = 0;       ///< how many of the first bytes `headHash` covers
    std::uint64_t headHash = 0;         ///< hash of the file's first `headLength` bytes
    std::vector<std::string> headings;  ///< the .PRN column headings in force at `offset`; none when empty
    /// The import list the position was reached with (ImportListHash); none
    /// in a record of a positions file written before it was kept.
    std::optional<std::uint64_t> listHash;
    /// The log's time zone and the database's time base the position was
    /// reached with (TimeZone::Text; empty: as written, also in a record of
    /// a positions file written before they were kept), and where the
    /// conversion of its time tags stood at `offset`.
    std::string logZone;
    std::string databaseZone;
    ConversionState clock;

    bool operator==(const FollowRecord&) const = default;
};

/// Every record of a positions file, one per log file and data source.
class FollowState {
public:
    using Key = std::pair<std::string, std::string>;  // path, data source

    const FollowRecord* Find(const std::string& path, const std::string& dataSource) const;
    void Put(FollowRecord record);
    void Erase(const std::string& path, const std::string& dataSource);
    std::size_t Size() const noexcept { return records_.size(); }
    const std::map<Key, FollowRecord>& Records() const noexcept { return records_; }

private:
    std::map<Key, FollowRecord> records_;
};

/// The text of a positions file: a first line naming the format, then one
/// line per record, its fields separated by tabs; a tab, a line end or a
/// backslash inside a text is written with a backslash. The last field of a
/// record is the hash of its import list ("-" when not known); a file of the
/// first format, without it, is still read. When a record converts time tags,
/// the file is of the third format: each record ends with the log's time
/// zone, the database's time base ("-" for as written) and the conversion's
/// place ("-", or the last time tag, the repeat it lay in and 1 in its second
/// pass, separated by ':').
std::string FollowStateText(const FollowState& state);
/// Reads that text back; throws FollowStateError naming `path` and the line
/// when it is not such a text. An empty text is an empty state.
FollowState ParseFollowState(const std::string& text, const std::string& path);

/// The most a positions file may hold: 64 MiB, some hundred thousand files.
inline constexpr std::uint64_t kMostPositionsBytes = 64u << 20;

/// Reads the positions file line by line, opened by the rules of
/// files/SafeOpen; a file that does not exist is an empty state. Throws
/// FollowStateError when it cannot be read, is refused (a link of another
/// user, a FIFO), belongs to another user than root or the one running the
/// program, holds more than kMostPositionsBytes, or is not a positions file.
FollowState LoadFollowState(const std::string& path);
/// Replaces the positions file as one step: the text goes to a temporary
/// file created new beside it (files/ReplacementFile, readable by its owner
/// alone), is forced to the disk, and is renamed over it; the folder is
/// forced to the disk too. A crash at any moment leaves either the old file
/// or the new one. Throws FollowStateError with the system's words.
void SaveFollowState(const std::string& path, const FollowState& state);

/// Holds the positions file for this process while it lives: a second
/// process that asks for the same file is refused. The lock is a lock file
/// beside it (the positions file itself is replaced at every save), held with
/// flock, so it goes with the process however the process ends.
class FollowStateLock {
public:
    /// Throws FollowStateError when another process holds it ("The positions
    /// file ... is in use by another vireo-import (process N)"), when the
    /// lock file cannot be made or opened (files/SafeOpen; a new one is its
    /// owner's alone) or belongs to another user than root or the one
    /// running the program.
    explicit FollowStateLock(const std::string& statePath);
    ~FollowStateLock();
    FollowStateLock(const FollowStateLock&) = delete;
    FollowStateLock& operator=(const FollowStateLock&) = delete;

    /// The lock file of a positions file.
    static std::string LockPath(const std::string& statePath);

private:
    int fd_ = -1;
};

}  // namespace vireo
