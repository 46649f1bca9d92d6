#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "follow/FollowState.h"
#include "import/ImportRun.h"

namespace vireo {

class DataWriter;

/// A log file as its directory entry shows it, without reading it.
struct FileLook {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
};

/// One look at `path`, without opening it, by the rules of files/SafeOpen (a
/// symbolic link of another user is not followed): nothing when no such file
/// exists; throws LogFileError with the system's words when it cannot be
/// looked at, or with the refusal when it is no regular file or a refused link.
std::optional<FileLook> LookAtFile(const std::string& path);

/// How many of a file's first bytes tell whether it is still the same file.
inline constexpr std::uint64_t kHeadBytes = 4096;

/// A hash (64-bit FNV-1a) of the first `length` bytes of the file; throws
/// LogFileError when they cannot be read.
std::uint64_t HeadHash(const std::string& path, std::uint64_t length, const FileIdentity* lookedAt = nullptr);

/// Where a file is read from at the next run, and why.
enum class FollowStart {
    New,          ///< no position kept: from the top
    Unchanged,    ///< same file, same size and time: nothing new (no byte was read to know it)
    Continue,     ///< from the position kept
    Shorter,      ///< the file became shorter: from the top
    Replaced,     ///< its first bytes changed (rotated or replaced): from the top
    ListChanged,  ///< the import list changed since the position was kept: from the top
    AskedAgain,   ///< the user asked to read it again: from the top
};

/// A hash (64-bit FNV-1a) of the pairs an import list makes: the log sensor
/// names (upper case) with their station sensors, the first pair of a name
/// only, sorted. The order of the entries does not change it, unless it
/// changes which pair of a name counts.
std::uint64_t ImportListHash(const std::vector<std::string>& importList);

/// The decision for a file seen as `now`, whose record is `record` (null
/// when none), imported with the list whose hash is `listHash` (none: not
/// compared). `headHash(length)` hashes the file's first bytes; it is asked
/// only when the size and identity alone cannot decide. A record without a
/// list hash (an older positions file) goes on as it was.
FollowStart DecideStart(const FollowRecord* record, const FileLook& now,
                        const std::function<std::uint64_t(std::uint64_t)>& headHash,
                        std::optional<std::uint64_t> listHash = std::nullopt);

/// The status line that says why a file is read again from the top; empty
/// for the other starts.
std::string FollowStartText(FollowStart start, const std::string& path);

/// Why a followed file is not read: its record was reached with another log
/// time zone or database time base than `zones` ("The time zones of the log
/// file changed since the last import (Europe/Berlin to UTC, now as written
/// to as written), it is read again only with --from-start - PATH").
std::string ZonesChangedText(const FollowRecord& record, const TimeZones& zones, const std::string& path);

/// One incremental import of one file.
struct FollowOutcome {
    FollowStart start = FollowStart::New;
    bool missing = false;                ///< the file does not exist (nothing read)
    bool read = false;                   ///< the file was read (the run took place)
    ImportResult result;                 ///< of the run; empty when nothing was read
    std::optional<FollowRecord> record;  ///< the file's new record, when it changed
};

/// Keeping a file's position while its run goes on: `keep` gets the record
/// as it stands after a commit, at most once every `every` (a large file read
/// for the first time is not read again from the top after a kill -9).
struct KeepPosition {
    std::function<void(const FollowRecord&)> keep;
    std::chrono::milliseconds every{1000};
};

/// Imports the lines appended to `path` since `record` (null: the whole
/// file), complete lines only, with the list, station and mode of `request`,
/// and gives the record to keep: the offset up to which the values are
/// committed. Reports a start from the top through `sink`. An unchanged file
/// is not read when `skipUnchanged`, else read from its position (which
/// finds nothing). `fromStart` reads it from the top whatever its record
/// says. Never throws: a file that cannot be read comes back as the run's
/// error.
FollowOutcome FollowFile(const std::string& path, const std::string& dataSource, const FollowRecord* record,
                         bool skipUnchanged, ImportRequest request, SensorPairs& pairs, DataWriter& writer,
                         StatusSink& sink, ImportObserver& observer, const RunControl& control,
                         const KeepPosition& keeping = {}, bool fromStart = false);

/// The path a file is known by in the positions file: absolute and without
/// "." or ".." steps, so that the same file given from another folder is
/// the same record.
std::string FollowPath(const std::string& path);

/// `import --incremental`: the positions file held for the run, loaded, and
/// saved after the run.
class FollowSession {
public:
    /// Takes the lock and loads the file; throws FollowStateError.
    explicit FollowSession(std::string statePath);

    /// Imports what was appended to the request's log file (all of it when
    /// `fromStart`) and saves its new position, also while the run goes on.
    /// A save that fails ends the run with its error.
    ImportResult Import(const ImportRequest& request, const std::string& dataSource, SensorPairs& pairs,
                        DataWriter& writer, StatusSink& sink, ImportObserver& observer, const RunControl& control,
                        bool fromStart = false);

private:
    void Keep(const FollowRecord& record);

    std::string path_;
    FollowStateLock lock_;
    FollowState state_;
};

}  // namespace vireo
