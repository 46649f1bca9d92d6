#include "settings/ProfileFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>

#include "files/SafeOpen.h"

namespace vireo {
namespace {

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
    // By the rules of files/SafeOpen: a FIFO does not block the open, a FIFO
    // or a device (one like /dev/zero never ends) is no settings file, a link
    // of another user is not followed.
    OpenedFile file;
    try {
        file = OpenToRead(path);
    } catch (const FileError& error) {
        if (error.error() == ENOENT) return std::nullopt;
        const bool opened = error.error() == 0 || error.error() == EISDIR;
        throw ProfileError(std::string(opened ? "Unable to read " : "Unable to open ") + error.what());
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file.fd.get(), buffer, sizeof buffer);
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

    // A link of the user's own is written through, so the link stays; the
    // temporary file is new beside the file it replaces (files/SafeOpen).
    std::unique_ptr<ReplacementFile> file;
    try {
        file = std::make_unique<ReplacementFile>(path_, newFile_);
    } catch (const FileError& error) {
        throw ProfileError(std::string("Unable to create ") + error.what());
    }
    try {
        // Keep the old file's permissions; a new one is as newFile_ says.
        if (file->Replaced()) (void)::fchmod(file->fd(), file->Replaced()->st_mode & 07777);
        file->Write(Text());
        file->Finish();
    } catch (const FileError& error) {
        throw ProfileError(std::string("Unable to write ") + error.what());
    }
    try {
        file->Commit();
    } catch (const FileError& error) {
        throw ProfileError(std::string("Unable to replace ") + error.what());
    }
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
