#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "files/SafeOpen.h"
#include "follow/FollowFile.h"
#include "follow/FollowState.h"
#include "import/ImportRun.h"

namespace vireo {

class Database;

/// What `watch` follows: every file of each folder whose name matches the
/// pattern (a shell pattern, "*.log"), and the files named.
struct FollowTargets {
    std::vector<std::string> folders;
    std::vector<std::string> files;
    std::string pattern = "*.log";
};

/// The status line of a file passed over by FilesToFollow, after its path and
/// ": ", before the reason.
inline constexpr std::string_view kLogFileSkipped = "Log file skipped, not read - ";

/// The files to follow now: the regular files of the folders that match the
/// pattern, then the files named (also when they do not exist yet), each
/// once. A folder and its entries are judged by the rules of files/SafeOpen:
/// an entry that matches but is refused (a symbolic link of another user, a
/// FIFO, a device) is left out and goes to `skipped` with the reason. Throws
/// LogFileError when a folder cannot be listed.
std::vector<std::string> FilesToFollow(const FollowTargets& targets, std::vector<FileError>* skipped = nullptr);

/// The folders whose changes can bring new lines: the folders followed and
/// the folders of the files named (a rotated file is a new entry there).
std::vector<std::string> FoldersToWatch(const FollowTargets& targets);

/// The rejects file of the log file `logFile` for the rejects path given:
/// the log file's name goes before its extension ("rejects.csv" and
/// "/data/a.log" give "rejects-a.log.csv").
std::string RejectsPathFor(const std::string& rejectsPath, const std::string& logFile);

/// Opens one more connection for a job; throws what the driver says.
using OpenFollowDatabase = std::function<std::shared_ptr<Database>()>;

/// What became of one file in a pass: only files that were read, or failed,
/// are told (an unchanged file is not).
struct FollowReport {
    std::string path;
    FollowOutcome outcome;
};

/// Follows many files into one data source: one pass looks at every file
/// (one stat per file that did not change) and imports what was appended to
/// the others, up to `jobs` files at once, each on its own connection. A
/// file's position is saved as soon as its run has committed it. A file that
/// fails is reported and tried again at the next pass; it does not stop the
/// others.
class Follower {
public:
    /// Takes the lock of the positions file and loads it; throws
    /// FollowStateError. `request` gives the import list, the station and the
    /// mode of every run; `sink` gets every status line, each beginning with
    /// its file's path and ": ".
    Follower(std::string statePath, std::string dataSource, ImportRequest request, int jobs,
             OpenFollowDatabase openDatabase, StatusSink& sink);
    ~Follower();

    /// One pass over `files`, stopped before the next line of each run when
    /// `control.stop` is set (what was written is committed and its position
    /// saved). The reports are in the order of `files`.
    std::vector<FollowReport> Pass(const std::vector<std::string>& files, const RunControl& control);

    /// Hands `database` to the first job, so that the connection that
    /// checked the list is not opened twice.
    void AdoptConnection(std::shared_ptr<Database> database);

    /// The next pass reads every file again from the start (its values
    /// update their rows); the passes after it go on from the positions.
    void ReadFromStartNextPass() { fromStart_ = true; }

    /// Every line or value of a file's runs that is not written goes to a
    /// rejects file of that file (RejectsPathFor), added after the rows of
    /// its earlier runs; a file is made only when there is something to say.
    void SetRejects(std::string rejectsPath) { rejectsPath_ = std::move(rejectsPath); }

private:
    struct Job;
    void RunFile(Job& job, const std::string& path, FollowReport& report, const RunControl& control);
    bool NeedsReading(const std::string& path, FollowReport& report);
    const FollowRecord* AdoptRenamed(const std::string& key, const FileLook& look);
    /// Puts the record into the positions and saves them; throws FollowStateError.
    void Keep(const FollowRecord& record);

    std::string statePath_;
    std::string dataSource_;
    ImportRequest request_;
    OpenFollowDatabase openDatabase_;
    StatusSink& sink_;
    FollowStateLock lock_;
    FollowState state_;
    std::mutex stateMutex_;  // state_ and its file
    std::mutex sinkMutex_;   // one status line at a time
    std::vector<std::unique_ptr<Job>> jobs_;
    std::set<std::string> missingReported_;
    std::uint64_t listHash_ = 0;  // of request_.importList
    std::string rejectsPath_;     // given to RejectsPathFor; none when empty
    bool fromStart_ = false;
};

/// Waits for a change in the folders watched (inotify), or for `seconds`,
/// whichever comes first; without inotify (or for a folder it cannot
/// watch) only the time counts. Ends at once when `control.stop` is set.
class FollowWaiter {
public:
    explicit FollowWaiter(const std::vector<std::string>& folders);
    ~FollowWaiter();
    FollowWaiter(const FollowWaiter&) = delete;
    FollowWaiter& operator=(const FollowWaiter&) = delete;

    /// True when it watches changes (inotify), false when it only counts time.
    bool Notified() const noexcept { return fd_ >= 0; }
    void Wait(double seconds, const RunControl& control);

private:
    int fd_ = -1;
};

}  // namespace vireo
