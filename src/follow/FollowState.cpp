#include "follow/FollowState.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <sstream>

#include "files/SafeOpen.h"
#include "scan/TabText.h"

namespace vireo {
namespace {

// The first format had no import list in its records.
constexpr const char* kFirstFormatLine = "vireo-import positions 1";
constexpr const char* kFormatLine = "vireo-import positions 2";
constexpr const char* kZonesFormatLine = "vireo-import positions 3";

bool KeepsZones(const FollowRecord& r) { return !r.logZone.empty() || !r.databaseZone.empty() || r.clock.started; }

std::string ZoneField(const std::string& zone) { return zone.empty() ? "-" : zone; }
constexpr std::size_t kFixedFields = 11;  // before the headings

std::string SystemMessage(int error) { return std::strerror(error); }

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos) return fields;
        line.remove_prefix(tab + 1);
    }
}

template <class Number>
bool ReadNumber(std::string_view field, Number& number, int base = 10) {
    const char* end = field.data() + field.size();
    auto [stop, error] = std::from_chars(field.data(), end, number, base);
    return error == std::errc() && stop == end && !field.empty();
}

FollowStateError TooLarge(const std::string& path) {
    return FollowStateError(path + ": too large for a positions file (more than " +
                            std::to_string(kMostPositionsBytes) + " bytes)");
}

/// A positions or lock file of another user than root or the one running the
/// program is not used.
void RefuseOthersFile(const std::string& path, const struct stat& info, const char* kind) {
    if (OwnOrRoot(info.st_uid)) return;
    throw FollowStateError(path + ": belongs to another user (" + UserName(info.st_uid) +
                           "), not to root or to the user running the program: not used as a " + kind + " file");
}

}  // namespace

const FollowRecord* FollowState::Find(const std::string& path, const std::string& dataSource) const {
    auto found = records_.find(Key{path, dataSource});
    return found == records_.end() ? nullptr : &found->second;
}

void FollowState::Put(FollowRecord record) {
    Key key{record.path, record.dataSource};
    records_.insert_or_assign(std::move(key), std::move(record));
}

void FollowState::Erase(const std::string& path, const std::string& dataSource) {
    records_.erase(Key{path, dataSource});
}

std::string FollowStateText(const FollowState& state) {
    bool zones = false;
    for (const auto& [key, r] : state.Records()) zones = zones || KeepsZones(r);
    std::string text = std::string(zones ? kZonesFormatLine : kFormatLine) + "\n";
    for (const auto& [key, r] : state.Records()) {
        AppendTabEscaped(text, r.path);
        text += '\t';
        AppendTabEscaped(text, r.dataSource);
        std::ostringstream numbers;
        numbers << '\t' << r.device << '\t' << r.inode << '\t' << r.size << '\t' << r.modifiedNs << '\t' << r.offset
                << '\t' << r.lines << '\t' << r.headLength << '\t' << std::hex << r.headHash << std::dec << '\t'
                << r.headings.size();
        text += numbers.str();
        for (const std::string& heading : r.headings) {
            text += '\t';
            AppendTabEscaped(text, heading);
        }
        std::ostringstream list;
        list << '\t';
        if (r.listHash)
            list << std::hex << *r.listHash;
        else
            list << '-';
        text += list.str();
        if (zones) {
            text += '\t';
            AppendTabEscaped(text, ZoneField(r.logZone));
            text += '\t';
            AppendTabEscaped(text, ZoneField(r.databaseZone));
            text += '\t';
            if (r.clock.started) {
                text += std::to_string(r.clock.last) + ':' + std::to_string(r.clock.shift) + ':' +
                        (r.clock.secondPass ? '1' : '0');
            } else {
                text += '-';
            }
        }
        text += '\n';
    }
    return text;
}

namespace {

/// The log's time zone, the database's time base and the conversion's place
/// of a record of the third format.
bool ReadZoneFields(const std::string_view* fields, FollowRecord& record) {
    auto log = TabUnescaped(fields[0]);
    auto database = TabUnescaped(fields[1]);
    if (!log || !database) return false;
    record.logZone = *log == "-" ? "" : *log;
    record.databaseZone = *database == "-" ? "" : *database;
    if (fields[2] == "-") return true;
    const std::string clock(fields[2]);
    long long last = 0;
    long long shift = 0;
    int pass = 0;
    char end = 0;
    if (std::sscanf(clock.c_str(), "%lld:%lld:%d%c", &last, &shift, &pass, &end) != 3 || pass < 0 || pass > 1 ||
        last < 0 || last > std::numeric_limits<SecondStamp>::max())
        return false;
    record.clock = {true, static_cast<SecondStamp>(last), shift, pass == 1};
    return true;
}

/// Reads the records line by line, each line from `nextLine(line)` (false
/// after the last); no lines at all is an empty state.
template <class NextLine>
FollowState ParseFollowLines(NextLine nextLine, const std::string& path) {
    FollowState state;
    std::string line;
    std::size_t number = 0;
    auto fail = [&](const std::string& why) {
        return FollowStateError(path + ": line " + std::to_string(number) + ": " + why);
    };
    if (!nextLine(line)) return state;
    ++number;
    if (line != kFormatLine && line != kFirstFormatLine && line != kZonesFormatLine)
        throw fail("not a positions file of vireo-import");
    const std::size_t zoneFields = line == kZonesFormatLine ? 3 : 0;
    const std::size_t listFields = (line == kFirstFormatLine ? 0 : 1) + zoneFields;
    while (nextLine(line)) {
        ++number;
        if (line.empty()) continue;
        const std::vector<std::string_view> fields = SplitTabs(line);
        std::size_t headingCount = 0;
        if (fields.size() < kFixedFields || !ReadNumber(fields[10], headingCount) ||
            fields.size() != kFixedFields + headingCount + listFields)
            throw fail("wrong number of fields");
        FollowRecord record;
        auto path_ = TabUnescaped(fields[0]);
        auto source = TabUnescaped(fields[1]);
        if (!path_ || !source || path_->empty()) throw fail("bad file name or data source");
        record.path = std::move(*path_);
        record.dataSource = std::move(*source);
        if (!ReadNumber(fields[2], record.device) || !ReadNumber(fields[3], record.inode) ||
            !ReadNumber(fields[4], record.size) || !ReadNumber(fields[5], record.modifiedNs) ||
            !ReadNumber(fields[6], record.offset) || !ReadNumber(fields[7], record.lines) ||
            !ReadNumber(fields[8], record.headLength) || !ReadNumber(fields[9], record.headHash, 16))
            throw fail("a number is not a number");
        // The first bytes hashed may reach past `size`: a run that did not read
        // its file through keeps its offset as the size, for the next look.
        if (record.offset > record.size) throw fail("offset beyond the file's size");
        for (std::size_t i = 0; i < headingCount; ++i) {
            auto heading = TabUnescaped(fields[kFixedFields + i]);
            if (!heading) throw fail("bad column heading");
            record.headings.push_back(std::move(*heading));
        }
        const std::string_view listField = fields[fields.size() - 1 - zoneFields];
        if (listFields != 0 && listField != "-") {
            std::uint64_t listHash = 0;
            if (!ReadNumber(listField, listHash, 16)) throw fail("bad import list hash");
            record.listHash = listHash;
        }
        if (zoneFields != 0 && !ReadZoneFields(&fields[fields.size() - zoneFields], record))
            throw fail("bad time zone");
        state.Put(std::move(record));
    }
    return state;
}

/// The lines of an open positions file, through a fixed buffer, never more
/// than `limit` bytes in all.
class PositionsLines {
public:
    PositionsLines(int fd, const std::string& path, std::uint64_t limit) : fd_(fd), path_(path), left_(limit) {}

    bool operator()(std::string& line) {
        line.clear();
        for (;;) {
            const std::size_t end = std::string_view(buffer_ + begin_, end_ - begin_).find('\n');
            if (end != std::string_view::npos) {
                line.append(buffer_ + begin_, end);
                begin_ += end + 1;
                return true;
            }
            line.append(buffer_ + begin_, end_ - begin_);
            begin_ = end_ = 0;
            if (!Fill()) return !line.empty();
        }
    }

private:
    bool Fill() {
        for (;;) {
            const ssize_t count = ::read(fd_, buffer_, sizeof buffer_);
            if (count < 0 && errno == EINTR) continue;
            if (count < 0) throw FollowStateError(path_ + ": " + SystemMessage(errno));
            if (static_cast<std::uint64_t>(count) > left_) throw TooLarge(path_);
            left_ -= static_cast<std::uint64_t>(count);
            end_ = static_cast<std::size_t>(count);
            return count > 0;
        }
    }

    int fd_;
    const std::string& path_;
    std::uint64_t left_;
    char buffer_[65536];
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

}  // namespace

FollowState ParseFollowState(const std::string& text, const std::string& path) {
    std::istringstream lines(text);
    return ParseFollowLines([&lines](std::string& line) { return static_cast<bool>(std::getline(lines, line)); }, path);
}

FollowState LoadFollowState(const std::string& path) {
    OpenedFile file;
    try {
        file = OpenToRead(path);
    } catch (const FileError& error) {
        if (error.error() == ENOENT) return {};
        throw FollowStateError(error.what());
    }
    // Another user's file would tell this one which lines not to import.
    RefuseOthersFile(path, file.info, "positions");
    if (static_cast<std::uint64_t>(file.info.st_size) > kMostPositionsBytes) throw TooLarge(path);
    auto lines = std::make_unique<PositionsLines>(file.fd.get(), path, kMostPositionsBytes);
    return ParseFollowLines(*lines, path);
}

void SaveFollowState(const std::string& path, const FollowState& state) {
    try {
        ReplacementFile file(path, NewFile::Private);
        file.Write(FollowStateText(state));
        file.Finish();
        file.Commit();
    } catch (const FileError& error) {
        throw FollowStateError(error.what());
    }
}

std::string FollowStateLock::LockPath(const std::string& statePath) { return statePath + ".lock"; }

FollowStateLock::FollowStateLock(const std::string& statePath) {
    const std::string lockPath = LockPath(statePath);
    OpenedFile file;
    try {
        file = OpenToWrite(lockPath, WriteUse::ReadWrite, NewFile::Private);
    } catch (const FileError& error) {
        throw FollowStateError(error.what());
    }
    // Another user's lock file could be held by them for ever.
    RefuseOthersFile(lockPath, file.info, "lock");
    fd_ = file.fd.release();
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        std::string holder;
        char buffer[32] = {};
        if (::pread(fd_, buffer, sizeof buffer - 1, 0) > 0) holder = buffer;
        while (!holder.empty() && (holder.back() == '\n' || holder.back() == ' ')) holder.pop_back();
        ::close(fd_);
        fd_ = -1;
        if (error != EWOULDBLOCK) throw FollowStateError(lockPath + ": " + SystemMessage(error));
        throw FollowStateError("The positions file " + statePath + " is in use by another vireo-import" +
                               (holder.empty() ? std::string() : " (process " + holder + ")"));
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd_, 0) == 0) (void)!::pwrite(fd_, pid.data(), pid.size(), 0);
}

FollowStateLock::~FollowStateLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

}  // namespace vireo
