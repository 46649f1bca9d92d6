#include "follow/FollowPass.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

#include "db/DataWriter.h"
#include "db/Database.h"
#include "files/SafeOpen.h"
#include "import/RejectsFile.h"
#include "logfile/LogLineReader.h"
#include "scan/PatternGrammar.h"
#include "scan/Regional.h"

namespace vireo {
namespace {

/// The status lines of one file's run: each begins with the file's path, and
/// the lines of runs going on at once do not mix.
class FileLinesSink : public StatusSink {
public:
    FileLinesSink(StatusSink& base, std::mutex& mutex, std::string prefix)
        : base_(base), mutex_(mutex), prefix_(std::move(prefix)) {}
    void AddStatusMessage(const std::string& text) override {
        const std::lock_guard<std::mutex> hold(mutex_);
        base_.AddStatusMessage(prefix_ + text);
    }
    bool ShowDetails() const override { return base_.ShowDetails(); }

private:
    StatusSink& base_;
    std::mutex& mutex_;
    std::string prefix_;
};

class QuietObserver : public ImportObserver {};

}  // namespace

std::vector<std::string> FilesToFollow(const FollowTargets& targets, std::vector<FileError>* skipped) {
    std::vector<std::string> files;
    for (const std::string& folder : targets.folders) {
        std::vector<std::string> found;
        std::unique_ptr<DIR, int (*)(DIR*)> dir(nullptr, ::closedir);
        try {
            UniqueFd fd = OpenFolder(folder);
            dir.reset(::fdopendir(fd.get()));
            if (!dir) throw FileError(folder, errno);
            fd.release();  // the listing owns it now
        } catch (const FileError& error) {
            throw LogFileError(folder, error.reason());
        }
        while (const dirent* entry = ::readdir(dir.get())) {
            if (::fnmatch(targets.pattern.c_str(), entry->d_name, FNM_PERIOD) != 0) continue;
            const std::string path = (std::filesystem::path(folder) / entry->d_name).string();
            // Judged as it will be opened: a link of another user, a FIFO or
            // a device is passed over and told, a folder or a name gone is not.
            try {
                // The entry itself, in the folder held open; a link is judged by the rule.
                struct stat entryInfo {};
                if (::fstatat(::dirfd(dir.get()), entry->d_name, &entryInfo, AT_SYMLINK_NOFOLLOW) != 0) continue;
                const std::optional<struct stat> info =
                    S_ISLNK(entryInfo.st_mode) ? LookAtPath(path) : std::optional<struct stat>(entryInfo);
                if (!info || S_ISDIR(info->st_mode)) continue;
                if (!S_ISREG(info->st_mode)) throw FileError(path, std::string(kNotARegularFile));
                found.push_back(path);
            } catch (const FileError& error) {
                if (skipped != nullptr) skipped->push_back(error);
            }
        }
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    for (const std::string& file : targets.files) {
        if (std::find(files.begin(), files.end(), file) == files.end()) files.push_back(file);
    }
    return files;
}

std::vector<std::string> FoldersToWatch(const FollowTargets& targets) {
    std::vector<std::string> folders = targets.folders;
    for (const std::string& file : targets.files) {
        std::string folder = std::filesystem::path(file).parent_path().string();
        if (folder.empty()) folder.assign(1, '.');  // not = ".": GCC 12 at -O3 warns falsely (-Wrestrict) there
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
    return folders;
}

std::string RejectsPathFor(const std::string& rejectsPath, const std::string& logFile) {
    const std::filesystem::path given(rejectsPath);
    std::filesystem::path path = given;
    path.replace_filename(given.stem().string() + "-" + std::filesystem::path(logFile).filename().string() +
                          given.extension().string());
    return path.string();
}

/// One job: its connection, opened when first needed and again after a
/// run that ended with a database error, and its writer and pairing table.
struct Follower::Job {
    std::shared_ptr<Database> database;
    std::unique_ptr<DataWriter> writer;
    SensorPairs pairs;
};

Follower::Follower(std::string statePath, std::string dataSource, ImportRequest request, int jobs,
                   OpenFollowDatabase openDatabase, StatusSink& sink)
    : statePath_(std::move(statePath)),
      dataSource_(std::move(dataSource)),
      request_(std::move(request)),
      openDatabase_(std::move(openDatabase)),
      sink_(sink),
      lock_(statePath_),
      state_(LoadFollowState(statePath_)),
      listHash_(ImportListHash(request_.importList)) {
    for (int i = 0; i < std::max(1, jobs); ++i) jobs_.push_back(std::make_unique<Job>());
    // The regional settings and the date patterns are built on first use:
    // built here, before jobs run at once, they are only read by them.
    Regional();
    pattern::SubPatternsInForce();
}

Follower::~Follower() = default;

void Follower::AdoptConnection(std::shared_ptr<Database> database) {
    jobs_.front()->writer.reset();
    jobs_.front()->database = std::move(database);
}

bool Follower::NeedsReading(const std::string& path, FollowReport& report) {
    std::optional<FileLook> look;
    try {
        look = LookAtFile(path);
    } catch (const std::exception& error) {
        report.outcome.result.error = error.what();
        return false;
    }
    if (!look) {
        // Said once, when the file goes missing.
        if (missingReported_.insert(path).second)
            sink_.AddStatusMessage(path + ": Log file not found, it is looked for again at every pass");
        return false;
    }
    missingReported_.erase(path);
    const FollowRecord* record = state_.Find(FollowPath(path), dataSource_);
    if (record == nullptr) record = AdoptRenamed(FollowPath(path), *look);
    // One stat tells a file that did not change; its bytes are not read.
    return record == nullptr || fromStart_ ||
           DecideStart(
               record, *look, [](std::uint64_t) { return std::uint64_t{0}; }, listHash_) != FollowStart::Unchanged;
}

const FollowRecord* Follower::AdoptRenamed(const std::string& key, const FileLook& look) {
    // A file renamed (rotated) under another name that is followed too goes
    // on where it was: the record of the file that held it before, when that
    // name no longer holds it.
    for (const auto& [oldKey, old] : state_.Records()) {
        if (old.dataSource != dataSource_ || old.device != look.device || old.inode != look.inode) continue;
        std::optional<FileLook> there;
        try {
            there = LookAtFile(old.path);
        } catch (const std::exception&) {
        }
        if (there && there->device == old.device && there->inode == old.inode) continue;
        FollowRecord moved = old;
        moved.path = key;
        state_.Erase(old.path, old.dataSource);
        state_.Put(std::move(moved));
        return state_.Find(key, dataSource_);
    }
    return nullptr;
}

void Follower::Keep(const FollowRecord& record) {
    const std::lock_guard<std::mutex> hold(stateMutex_);
    state_.Put(record);
    SaveFollowState(statePath_, state_);
}

void Follower::RunFile(Job& job, const std::string& path, FollowReport& report, const RunControl& control) {
    report.path = path;
    if (!job.writer) {
        try {
            if (!job.database) job.database = openDatabase_();
            job.writer = std::make_unique<DataWriter>(*job.database);
        } catch (const std::exception& error) {
            job.database.reset();
            report.outcome.result.error = error.what();
            return;
        }
    }
    std::optional<FollowRecord> record;
    {
        const std::lock_guard<std::mutex> hold(stateMutex_);
        if (const FollowRecord* kept = state_.Find(FollowPath(path), dataSource_)) record = *kept;
    }
    FileLinesSink sink(sink_, sinkMutex_, path + ": ");
    QuietObserver quiet;
    // Saved while the run goes on too; a save that fails then is tried again at its end.
    KeepPosition keeping{[this](const FollowRecord& now) {
        try {
            Keep(now);
        } catch (const FollowStateError&) {
        }
    }};
    ImportRequest request = request_;
    std::optional<RejectsFile> rejects;
    if (!rejectsPath_.empty()) {
        rejects.emplace(RejectsPathFor(rejectsPath_, path), RejectsFile::Opening::AppendWhenNeeded);
        request.rejects = &*rejects;
    }
    report.outcome = FollowFile(path, dataSource_, record ? &*record : nullptr, true, std::move(request), job.pairs,
                                *job.writer, sink, quiet, control, keeping, fromStart_);
    if (rejects) {
        try {
            rejects->Finish();
        } catch (const RejectsFileError& error) {
            if (report.outcome.result.error.empty()) report.outcome.result.error = error.what();
        }
    }
    if (report.outcome.record) {
        try {
            Keep(*report.outcome.record);
        } catch (const FollowStateError& error) {
            // The values are in the database; without the position they are
            // read again (and updated, not doubled) after a restart.
            if (report.outcome.result.error.empty()) report.outcome.result.error = error.what();
        }
    }
    if (report.outcome.result.dbError) {
        // The connection may be gone: the job's next file opens a new one.
        job.writer.reset();
        job.database.reset();
    }
}

std::vector<FollowReport> Follower::Pass(const std::vector<std::string>& files, const RunControl& control) {
    std::vector<FollowReport> reports(files.size());
    std::vector<char> told(files.size(), 0);
    std::vector<std::size_t> work;
    for (std::size_t i = 0; i < files.size(); ++i) {
        reports[i].path = files[i];
        if (NeedsReading(files[i], reports[i]))
            work.push_back(i);
        else
            told[i] = !reports[i].outcome.result.error.empty();
    }
    std::atomic<std::size_t> next{0};
    auto runJob = [&](Job& job) {
        for (std::size_t k; !control.stop && (k = next++) < work.size();) {
            RunFile(job, files[work[k]], reports[work[k]], control);
            told[work[k]] = 1;
        }
    };
    const std::size_t threads = std::min(jobs_.size(), work.size());
    std::vector<std::thread> others;
    for (std::size_t t = 1; t < threads; ++t) others.emplace_back(runJob, std::ref(*jobs_[t]));
    runJob(*jobs_.front());
    for (std::thread& thread : others) thread.join();
    if (!control.stop) fromStart_ = false;

    std::vector<FollowReport> result;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (told[i]) result.push_back(std::move(reports[i]));
    }
    return result;
}

FollowWaiter::FollowWaiter(const std::vector<std::string>& folders) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return;
    bool watching = false;
    for (const std::string& folder : folders) {
        const std::uint32_t events =
            IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_ATTRIB;
        if (::inotify_add_watch(fd_, folder.c_str(), events) >= 0) watching = true;
    }
    if (!watching) {
        ::close(fd_);
        fd_ = -1;
    }
}

FollowWaiter::~FollowWaiter() {
    if (fd_ >= 0) ::close(fd_);
}

void FollowWaiter::Wait(double seconds, const RunControl& control) {
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    // The stop flag is looked at five times a second.
    constexpr int kSliceMs = 200;
    while (!control.stop) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return;
        const int slice = static_cast<int>(std::min<long long>(left, kSliceMs));
        if (fd_ < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(slice));
            continue;
        }
        pollfd watched{fd_, POLLIN, 0};
        if (::poll(&watched, 1, slice) > 0 && (watched.revents & POLLIN) != 0) {
            alignas(inotify_event) char events[4096];
            while (::read(fd_, events, sizeof events) > 0) {
            }
            return;
        }
    }
}

}  // namespace vireo
