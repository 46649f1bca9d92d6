#include "follow/FollowFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>

#include "files/SafeOpen.h"
#include "logfile/LogLineReader.h"
#include "scan/AsciiCase.h"

namespace vireo {

std::optional<FileLook> LookAtFile(const std::string& path) {
    std::optional<struct stat> found;
    try {
        found = LookAtPath(path);
    } catch (const FileError& error) {
        throw LogFileError(path, error.reason());
    }
    if (!found) return std::nullopt;
    const struct stat& info = *found;
    if (!S_ISREG(info.st_mode)) throw LogFileError(path, std::string(kNotARegularFile));
    FileLook look;
    look.device = static_cast<std::uint64_t>(info.st_dev);
    look.inode = static_cast<std::uint64_t>(info.st_ino);
    look.size = static_cast<std::uint64_t>(info.st_size);
    look.modifiedNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return look;
}

std::uint64_t HeadHash(const std::string& path, std::uint64_t length, const FileIdentity* lookedAt) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    if (length == 0) return hash;
    OpenedFile file;
    try {
        file = OpenToRead(path);
    } catch (const FileError& error) {
        throw LogFileError(path, error.reason());
    }
    const FileIdentity opened{static_cast<std::uint64_t>(file.info.st_dev),
                              static_cast<std::uint64_t>(file.info.st_ino)};
    if (lookedAt != nullptr && opened != *lookedAt) throw LogFileError(path, kFileReplacedSinceLook);
    const int fd = file.fd.get();
    char buffer[kHeadBytes];
    std::uint64_t done = 0;
    while (done < length) {
        const ssize_t count =
            ::pread(fd, buffer, static_cast<std::size_t>(std::min<std::uint64_t>(length - done, sizeof buffer)),
                    static_cast<off_t>(done));
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;  // shorter than told: the hash differs
        for (ssize_t i = 0; i < count; ++i) {
            hash ^= static_cast<unsigned char>(buffer[i]);
            hash *= 0x100000001b3u;
        }
        done += static_cast<std::uint64_t>(count);
    }
    const int error = errno;
    if (done < length && error != 0 && error != EINTR) throw LogFileError(path, std::strerror(error));
    return hash;
}

namespace {

void HashBytes(std::uint64_t& hash, std::string_view bytes) {
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3u;
    }
}

}  // namespace

std::uint64_t ImportListHash(const std::vector<std::string>& importList) {
    SensorPairs pairs;
    pairs.BuildSensorPairs(importList);
    std::vector<std::string> counted;
    for (const auto& [name, sensor] : pairs.Pairs()) {
        if (pairs.FindSensorPair(name) != &sensor) continue;  // a later pair of the name: never used
        counted.push_back(UpperCaseName(name) + "||" + sensor.StationId + "." + sensor.SensorName);
    }
    std::sort(counted.begin(), counted.end());
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const std::string& pair : counted) HashBytes(hash, std::string_view(pair.c_str(), pair.size() + 1));
    return hash;
}

FollowStart DecideStart(const FollowRecord* record, const FileLook& now,
                        const std::function<std::uint64_t(std::uint64_t)>& headHash,
                        std::optional<std::uint64_t> listHash) {
    if (record == nullptr) return FollowStart::New;
    if (listHash && record->listHash && *listHash != *record->listHash) return FollowStart::ListChanged;
    if (record->device == now.device && record->inode == now.inode && record->size == now.size &&
        record->modifiedNs == now.modifiedNs)
        return FollowStart::Unchanged;
    if (now.size < record->size) return FollowStart::Shorter;
    // Also a file put in place of the old one (another inode) goes on from
    // the position when it begins with the same bytes: a copy that grew.
    if (headHash(record->headLength) != record->headHash) return FollowStart::Replaced;
    return FollowStart::Continue;
}

std::string FollowStartText(FollowStart start, const std::string& path) {
    switch (start) {
        case FollowStart::Shorter:
            return "The log file became shorter since the last import, it is read again from the start - " + path;
        case FollowStart::Replaced:
            return "The first bytes of the log file changed since the last import (rotated or replaced), it is read "
                   "again from the start - " +
                   path;
        case FollowStart::ListChanged:
            return "The import list changed since the last import (an entry was added or changed), the log file is "
                   "read again from the start - " +
                   path;
        case FollowStart::AskedAgain:
            return "The log file is read again from the start, as asked - " + path;
        case FollowStart::New:
        case FollowStart::Unchanged:
        case FollowStart::Continue:
            break;
    }
    return {};
}

std::string ZonesChangedText(const FollowRecord& record, const TimeZones& zones, const std::string& path) {
    const auto text = [](const std::string& zone) { return zone.empty() ? std::string(kAsWritten) : zone; };
    return "The time zones of the log file changed since the last import (" + text(record.logZone) + " to " +
           text(record.databaseZone) + ", now " + zones.log.Text() + " to " + zones.database.Text() +
           "), it is read again only with --from-start - " + path;
}

std::string FollowPath(const std::string& path) { return std::filesystem::absolute(path).lexically_normal().string(); }

namespace {

/// The front end's observer, and the position kept after a commit now and then.
class KeepingObserver : public ImportObserver {
public:
    KeepingObserver(ImportObserver& inner, const KeepPosition& keeping,
                    std::function<FollowRecord(const LogReadStart&)> recordAt)
        : inner_(inner), keeping_(keeping), recordAt_(std::move(recordAt)) {}
    void RunStarted() override {
        inner_.RunStarted();
        lastKept_ = std::chrono::steady_clock::now();
    }
    void ProgressChanged(int percent) override { inner_.ProgressChanged(percent); }
    void LineCounted(std::int64_t count) override { inner_.LineCounted(count); }
    void ValueWritten() override { inner_.ValueWritten(); }
    void RunEnded() override { inner_.RunEnded(); }
    void Committed(const LogReadStart& place) override {
        inner_.Committed(place);
        if (!keeping_.keep) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastKept_ < keeping_.every) return;
        lastKept_ = now;
        keeping_.keep(recordAt_(place));
    }

private:
    ImportObserver& inner_;
    const KeepPosition& keeping_;
    std::function<FollowRecord(const LogReadStart&)> recordAt_;
    std::chrono::steady_clock::time_point lastKept_{};
};

}  // namespace

FollowOutcome FollowFile(const std::string& path, const std::string& dataSource, const FollowRecord* record,
                         bool skipUnchanged, ImportRequest request, SensorPairs& pairs, DataWriter& writer,
                         StatusSink& sink, ImportObserver& observer, const RunControl& control,
                         const KeepPosition& keeping, bool fromStart) {
    FollowOutcome outcome;
    const std::uint64_t listHash = ImportListHash(request.importList);
    const std::string logZone = request.zones.Converts() ? request.zones.log.name : "";
    const std::string databaseZone = request.zones.Converts() ? request.zones.database.name : "";
    // Its time tags so far were stored in other zones: the rest would not fit them.
    if (!fromStart && record != nullptr && (record->logZone != logZone || record->databaseZone != databaseZone)) {
        outcome.result.error = ZonesChangedText(*record, request.zones, path);
        return outcome;
    }
    std::optional<FileLook> look;
    std::uint64_t headLength = 0;
    std::uint64_t headHash = 0;
    try {
        look = LookAtFile(path);
        if (!look) {
            outcome.missing = true;
            return outcome;
        }
        // The head is hashed, and the file read, only when it is still the
        // file looked at: a log renamed and a new one made in its place
        // between the look and the reading would have the new file's lines
        // read from the old one's position, and its record claim the old
        // file read through.
        const FileIdentity lookedAt{look->device, look->inode};
        outcome.start =
            fromStart && record != nullptr
                ? FollowStart::AskedAgain
                : DecideStart(
                      record, *look, [&](std::uint64_t length) { return HeadHash(path, length, &lookedAt); }, listHash);
        if (outcome.start == FollowStart::Unchanged && skipUnchanged) return outcome;
        headLength = std::min(kHeadBytes, look->size);
        headHash = HeadHash(path, headLength, &lookedAt);
        request.lookedAt = lookedAt;
    } catch (const std::exception& error) {
        outcome.result.error = error.what();
        return outcome;
    }
    if (const std::string why = FollowStartText(outcome.start, path); !why.empty()) sink.AddStatusMessage(why);
    request.logFile = path;
    request.completeLinesOnly = true;
    if (outcome.start == FollowStart::Continue || outcome.start == FollowStart::Unchanged)
        request.from = LogReadStart{record->offset, record->lines, record->headings, record->clock};
    else
        request.from.reset();

    // The record of the file at a place up to which its values are committed.
    // It claims the file as it was looked at (its size and time, so that an
    // unchanged file is not read again) only when the run read it through:
    // a position kept while the run goes on, a run stopped or ended by an
    // error, and a value not written all leave lines after the place, and a
    // record whose size is its offset has the next look read them.
    auto recordAt = [&](const LogReadStart& place, bool readThrough) {
        FollowRecord next;
        next.path = FollowPath(path);
        next.dataSource = dataSource;
        next.device = look->device;
        next.inode = look->inode;
        next.modifiedNs = look->modifiedNs;
        next.offset = place.offset;
        next.lines = place.linesBefore;
        next.headings = place.headings;
        // The file may have grown while it was read.
        next.size = readThrough ? std::max(look->size, next.offset) : next.offset;
        next.headLength = headLength;
        next.headHash = headHash;
        next.listHash = listHash;
        next.logZone = logZone;
        next.databaseZone = databaseZone;
        next.clock = place.clock;
        return next;
    };
    KeepingObserver keepingObserver(observer, keeping,
                                    [&](const LogReadStart& place) { return recordAt(place, false); });
    outcome.result = RunImport(request, pairs, writer, sink, keepingObserver, control);
    outcome.read = true;
    const ImportResult& result = outcome.result;
    const bool readThrough = !result.stopped && result.error.empty() && result.counts.failed == 0;
    FollowRecord next = recordAt(result.committed, readThrough);
    if (record == nullptr || !(next == *record)) outcome.record = std::move(next);
    return outcome;
}

FollowSession::FollowSession(std::string statePath)
    : path_(std::move(statePath)), lock_(path_), state_(LoadFollowState(path_)) {}

void FollowSession::Keep(const FollowRecord& record) {
    state_.Put(record);
    SaveFollowState(path_, state_);
}

ImportResult FollowSession::Import(const ImportRequest& request, const std::string& dataSource, SensorPairs& pairs,
                                   DataWriter& writer, StatusSink& sink, ImportObserver& observer,
                                   const RunControl& control, bool fromStart) {
    const std::string key = FollowPath(request.logFile);
    std::optional<FollowRecord> record;
    if (const FollowRecord* kept = state_.Find(key, dataSource)) record = *kept;
    // A save that fails while the run goes on is tried again at its end.
    KeepPosition keeping{[this](const FollowRecord& now) {
        try {
            Keep(now);
        } catch (const FollowStateError&) {
        }
    }};
    FollowOutcome outcome = FollowFile(request.logFile, dataSource, record ? &*record : nullptr, false, request, pairs,
                                       writer, sink, observer, control, keeping, fromStart);
    if (outcome.record) {
        try {
            Keep(*outcome.record);
        } catch (const FollowStateError& error) {
            if (outcome.result.error.empty()) outcome.result.error = error.what();
        }
    }
    return outcome.result;
}

}  // namespace vireo
