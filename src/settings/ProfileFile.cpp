#include "settings/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>

namespace vireo {
namespace {

/// An open file descriptor, closed when it goes out of scope.
class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    /// Closes now and tells whether the close succeeded (a late write error
    /// can surface only here).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

std::string SystemReason(const std::string& action, const std::string& path, int error) {
    return action + " " + path + ": " + std::strerror(error);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

int DigitValue(char c, int base) {
    int value = 36;
    if (c >= '0' && c <= '9') value = c - '0';
    if (c >= 'a' && c <= 'z') value = c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') value = c - 'A' + 10;
    return value < base ? value : -1;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

bool HasZeroByte(std::string_view text) { return text.find('\0') != std::string_view::npos; }

bool IsQuoted(std::string_view value) { return value.size() >= 2 && value.front() == '"' && value.back() == '"'; }

/// A value read from a line: one pair of double quotes around the whole value
/// is dropped, so that a value can keep blanks at its ends.
std::string_view Unquoted(std::string_view value) {
    return IsQuoted(value) ? value.substr(1, value.size() - 2) : value;
}

/// A value as written: in double quotes when the reader would otherwise lose
/// blanks at its ends or a pair of quotes around it.
void AppendValue(std::string& text, std::string_view value) {
    const bool quote = IsQuoted(value) || (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back())));
    if (quote)
        text.append("\"").append(value).append("\"");
    else
        text.append(value);
}

void WriteAll(int fd, std::string_view data, const std::string& path) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            throw ProfileError(SystemReason("Unable to write", path, errno));
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
}

/// A name for the temporary file beside `target` that no other writer of this
/// process or another one picks at the same time.
std::string TemporaryNameFor(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

/// The integer a profile value holds: an optional sign, then decimal digits or
/// "0x" and hexadecimal digits; nothing else. False (and `result` untouched)
/// when the text is no integer or does not fit 64 bits.
bool ParseProfileInteger(std::string_view text, std::int64_t& result) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    // Accumulate the magnitude unsigned, so that the most negative value fits
    // and nothing overflows on the way.
    constexpr std::uint64_t kMaxPositive = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    const std::uint64_t limit = negative ? kMaxPositive + 1 : kMaxPositive;
    std::uint64_t magnitude = 0;
    for (char c : text) {
        const int digit = DigitValue(c, base);
        if (digit < 0) return false;
        if (magnitude > (limit - static_cast<std::uint64_t>(digit)) / static_cast<std::uint64_t>(base)) return false;
        magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    if (negative)
        result = magnitude == kMaxPositive + 1 ? std::numeric_limits<std::int64_t>::min()
                                               : -static_cast<std::int64_t>(magnitude);
    else
        result = static_cast<std::int64_t>(magnitude);
    return true;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer that never comes.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno == ENOENT) return std::nullopt;
        throw ProfileError(SystemReason("Unable to open", path, errno));
    }
    // A FIFO or a device is no settings file, and one like /dev/zero never ends.
    // (A folder is left to read(), which names the fault.)
    struct stat info {};
    if (::fstat(fd.get(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
        throw ProfileError("Unable to read " + path + ": not a regular file");
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw ProfileError(SystemReason("Unable to read", path, errno));
        }
        if (got == 0) break;
        content.append(buffer, static_cast<std::size_t>(got));
    }
    return content;
}

void ProfileFile::Load(const std::string& path) {
    path_ = path;
    sections_.clear();
    lineEnd_.assign(1, '\n');  // not = "\n": GCC 12 at -O3 warns falsely (-Wrestrict) there
    const std::optional<std::string> content = ReadWholeFile(path);
    if (!content) return;
    if (content->find('\0') != std::string::npos)
        throw ProfileError("Unable to read " + path + ": not a text file (it holds a zero byte)");
    Parse(*content);
}

void ProfileFile::Parse(std::string_view text) {
    sections_.clear();
    const std::size_t firstBreak = text.find('\n');
    lineEnd_ = (firstBreak != std::string_view::npos && firstBreak > 0 && text[firstBreak - 1] == '\r') ? "\r\n" : "\n";

    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close != std::string_view::npos) {
                sections_.push_back(Section{std::string(Trim(line.substr(1, close - 1))), true, {}});
                continue;
            }
        }
        if (sections_.empty()) sections_.push_back(Section{std::string(), false, {}});
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            sections_.back().lines.push_back(Line{std::string(line), std::string(), false});
        else
            sections_.back().lines.push_back(Line{std::string(Trim(line.substr(0, equals))),
                                                  std::string(Unquoted(Trim(line.substr(equals + 1)))), true});
    }
}

std::string ProfileFile::Text() const {
    std::string text;
    for (const Section& section : sections_) {
        if (section.hasHeader) text.append("[").append(section.name).append("]").append(lineEnd_);
        for (const Line& line : section.lines) {
            text.append(line.name);
            if (line.isValue) AppendValue(text.append("="), line.value);
            text.append(lineEnd_);
        }
    }
    return text;
}

void ProfileFile::Save() const {
    if (path_.empty()) throw ProfileError("Unable to save settings: no file name given");

    // Write through a symbolic link to the file it names, so the link stays.
    std::string target = path_;
    std::error_code error;
    if (std::filesystem::is_symlink(target, error)) {
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(target, error);
        if (!error) target = resolved.string();
    }

    struct stat old {};
    const bool hadFile = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);

    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = TemporaryNameFor(target);
        // Readable by the owner alone until the old file's permissions are
        // copied: a settings file holds the protected password.
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) throw ProfileError(SystemReason("Unable to create", temporary, errno));
    UniqueFd file(fd);

    try {
        if (hadFile) (void)::fchmod(file.get(), old.st_mode & 07777);  // keep the old file's permissions
        WriteAll(file.get(), Text(), temporary);
        if (::fsync(file.get()) != 0) throw ProfileError(SystemReason("Unable to write", temporary, errno));
        if (!file.Close()) throw ProfileError(SystemReason("Unable to write", temporary, errno));
        if (::rename(temporary.c_str(), target.c_str()) != 0)
            throw ProfileError(SystemReason("Unable to replace", target, errno));
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }

    // Make the rename itself durable; the new content is in place already.
    std::string folder = std::filesystem::path(target).parent_path().string();
    if (folder.empty()) folder.assign(1, '.');  // likewise
    UniqueFd directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) (void)::fsync(directory.get());
}

ProfileFile::Section* ProfileFile::FindSection(std::string_view section) {
    for (Section& candidate : sections_)
        if (candidate.hasHeader && SameName(candidate.name, section)) return &candidate;
    return nullptr;
}

const ProfileFile::Section* ProfileFile::FindSection(std::string_view section) const {
    for (const Section& candidate : sections_)
        if (candidate.hasHeader && SameName(candidate.name, section)) return &candidate;
    return nullptr;
}

const ProfileFile::Line* ProfileFile::FindValue(const Section& section, std::string_view name) {
    for (const Line& line : section.lines)
        if (line.isValue && SameName(line.name, name)) return &line;
    return nullptr;
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view name,
                                    std::string_view defaultValue) const {
    const Section* found = FindSection(section);
    const Line* line = found ? FindValue(*found, name) : nullptr;
    return std::string(line ? std::string_view(line->value) : defaultValue);
}

std::int64_t ProfileFile::ReadInteger(std::string_view section, std::string_view name,
                                      std::int64_t defaultValue) const {
    const Section* found = FindSection(section);
    const Line* line = found ? FindValue(*found, name) : nullptr;
    std::int64_t value = defaultValue;
    if (line && ParseProfileInteger(line->value, value)) return value;
    return defaultValue;
}

bool ProfileFile::ReadBool(std::string_view section, std::string_view name, bool defaultValue) const {
    return ReadInteger(section, name, defaultValue ? 1 : 0) != 0;
}

void ProfileFile::WriteString(std::string_view section, std::string_view name, std::string_view value) {
    if (section.find(']') != std::string_view::npos || HasLineBreak(section) || Trim(section) != section)
        throw std::invalid_argument("A section name cannot hold ']', a line break or blanks at its ends");
    if (name.empty() || name.find('=') != std::string_view::npos || HasLineBreak(name) || Trim(name) != name ||
        name.front() == ';' || name.front() == '[')
        throw std::invalid_argument("A value name cannot be empty or hold '=', a line break or blanks at its ends");
    if (HasLineBreak(value)) throw std::invalid_argument("A profile value cannot hold a line break");
    // A zero byte would make the whole file unreadable (Load refuses it).
    if (HasZeroByte(section) || HasZeroByte(name) || HasZeroByte(value))
        throw std::invalid_argument("A profile file cannot hold a zero byte");

    Section* found = FindSection(section);
    if (!found) found = &sections_.emplace_back(Section{std::string(section), true, {}});
    for (Line& line : found->lines) {
        if (line.isValue && SameName(line.name, name)) {
            line.value = value;
            return;
        }
    }
    std::size_t position = found->lines.size();
    while (position > 0 && !found->lines[position - 1].isValue) --position;
    if (position == 0) position = found->lines.size();
    found->lines.insert(found->lines.begin() + static_cast<std::ptrdiff_t>(position),
                        Line{std::string(name), std::string(value), true});
}

void ProfileFile::WriteInteger(std::string_view section, std::string_view name, std::int64_t value) {
    WriteString(section, name, std::to_string(value));
}

void ProfileFile::WriteBool(std::string_view section, std::string_view name, bool value) {
    WriteString(section, name, value ? "1" : "0");
}

bool ProfileFile::SectionExists(std::string_view section) const { return FindSection(section) != nullptr; }

bool ProfileFile::ValueExists(std::string_view section, std::string_view name) const {
    const Section* found = FindSection(section);
    return found && FindValue(*found, name);
}

std::vector<std::string> ProfileFile::Sections() const {
    std::vector<std::string> names;
    for (const Section& section : sections_)
        if (section.hasHeader) names.push_back(section.name);
    return names;
}

std::vector<std::string> ProfileFile::ValueNames(std::string_view section) const {
    std::vector<std::string> names;
    if (const Section* found = FindSection(section))
        for (const Line& line : found->lines)
            if (line.isValue) names.push_back(line.name);
    return names;
}

void ProfileFile::EraseSection(std::string_view section) {
    std::erase_if(sections_, [&](const Section& s) { return s.hasHeader && SameName(s.name, section); });
}

void ProfileFile::DeleteValue(std::string_view section, std::string_view name) {
    if (Section* found = FindSection(section))
        std::erase_if(found->lines, [&](const Line& line) { return line.isValue && SameName(line.name, name); });
}

}  // namespace vireo
