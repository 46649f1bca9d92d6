#include "follow/FollowState.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "scan/TabText.h"

namespace vireo {
namespace {

// The first format had no import list in its records.
constexpr const char* kFirstFormatLine = "vireo-import positions 1";
constexpr const char* kFormatLine = "vireo-import positions 2";
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

/// Writes all of `text` to `fd`.
bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t count = ::write(fd, text.data() + done, text.size() - done);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        done += static_cast<std::size_t>(count);
    }
    return true;
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
    std::string text = std::string(kFormatLine) + "\n";
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
        text += '\n';
    }
    return text;
}

FollowState ParseFollowState(const std::string& text, const std::string& path) {
    FollowState state;
    if (text.empty()) return state;
    std::istringstream lines(text);
    std::string line;
    std::size_t number = 0;
    auto fail = [&](const std::string& why) {
        return FollowStateError(path + ": line " + std::to_string(number) + ": " + why);
    };
    std::getline(lines, line);
    ++number;
    if (line != kFormatLine && line != kFirstFormatLine) throw fail("not a positions file of vireo-import");
    const std::size_t listFields = line == kFormatLine ? 1 : 0;
    while (std::getline(lines, line)) {
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
        if (listFields != 0 && fields.back() != "-") {
            std::uint64_t listHash = 0;
            if (!ReadNumber(fields.back(), listHash, 16)) throw fail("bad import list hash");
            record.listHash = listHash;
        }
        state.Put(std::move(record));
    }
    return state;
}

FollowState LoadFollowState(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return {};
        throw FollowStateError(path + ": " + SystemMessage(errno));
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            const int error = errno;
            ::close(fd);
            throw FollowStateError(path + ": " + SystemMessage(error));
        }
        if (count == 0) break;
        text.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    return ParseFollowState(text, path);
}

void SaveFollowState(const std::string& path, const FollowState& state) {
    const std::string temporary = path + ".tmp" + std::to_string(::getpid());
    auto fail = [&](const std::string& file) {
        const int error = errno;
        return FollowStateError(file + ": " + SystemMessage(error));
    };
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw fail(temporary);
    if (!WriteAll(fd, FollowStateText(state)) || ::fsync(fd) != 0) {
        FollowStateError error = fail(temporary);
        ::close(fd);
        ::unlink(temporary.c_str());
        throw error;
    }
    if (::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        FollowStateError error = fail(path);
        ::unlink(temporary.c_str());
        throw error;
    }
    // The rename lasts only once the folder is on the disk too.
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

std::string FollowStateLock::LockPath(const std::string& statePath) { return statePath + ".lock"; }

FollowStateLock::FollowStateLock(const std::string& statePath) {
    const std::string lockPath = LockPath(statePath);
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) throw FollowStateError(lockPath + ": " + SystemMessage(errno));
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
