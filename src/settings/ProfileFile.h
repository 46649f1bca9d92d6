#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "files/SafeOpen.h"
#include "scan/AsciiCase.h"

namespace vireo {

/// A failure to read or write a profile file; the text names the file and
/// carries the system's own reason.
class ProfileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A sectioned text file held in memory: "[Section]" lines open sections and
/// "Name=value" lines hold values. Section and value names are compared without
/// regard to case (ASCII); a value is the text after the first "=", with blanks
/// at the ends of the line and then one pair of double quotes around the whole
/// value dropped, and has no length limit. Text() puts a value that has blanks
/// at its ends, or quotes around it, in double quotes, so every value that can
/// be stored reads back unchanged. Unknown sections,
/// values and other text lines survive a rewrite in their order; blank lines
/// and comment lines (beginning with ';') do not. Text is kept byte for byte.
class ProfileFile {
public:
    ProfileFile() = default;

    /// Reads `path` into memory, replacing what was held. A missing file reads
    /// as empty. A file that cannot be read, or that is no text (it holds a
    /// zero byte), throws ProfileError and leaves the profile empty; the path
    /// is kept either way, so a later Save() writes there.
    void Load(const std::string& path);

    /// Replaces the content with the lines of `text` (no file involved).
    void Parse(std::string_view text);

    /// The file's text as Save() writes it.
    std::string Text() const;

    /// Writes the content to Path(), replacing the file atomically: a
    /// temporary file in the same folder is written, flushed to disk and
    /// renamed over the old one, so a failure leaves the old file intact.
    /// A new file is readable and writable by its owner alone (0600) unless
    /// SetNewFile(NewFile::Shared) was called; a file that existed keeps its
    /// permissions. A symbolic link of the user's (or root's) to a file is
    /// written through and stays; the rules of files/SafeOpen refuse others.
    /// Throws ProfileError with the system's reason.
    void Save() const;

    /// Who may read the file Save() creates: by default its owner alone (a
    /// settings file holds the protected password).
    void SetNewFile(NewFile mode) { newFile_ = mode; }

    const std::string& Path() const { return path_; }
    void SetPath(std::string path) { path_ = std::move(path); }

    std::string ReadString(std::string_view section, std::string_view name, std::string_view defaultValue) const;
    /// Decimal, or hexadecimal after "0x"; text that is no integer (or does
    /// not fit) reads as `defaultValue`.
    std::int64_t ReadInteger(std::string_view section, std::string_view name, std::int64_t defaultValue) const;
    /// "1"/"0" as written by WriteBool; any other integer is true when not 0;
    /// text that is no integer reads as `defaultValue`.
    bool ReadBool(std::string_view section, std::string_view name, bool defaultValue) const;

    /// Sets a value, adding the section (at the end) and the name (after the
    /// section's last value) when missing. A name holding '=', a line break or
    /// nothing, a section name holding ']' or a line break, a value holding
    /// a line break, or any of them holding a zero byte cannot be stored and
    /// throws std::invalid_argument.
    void WriteString(std::string_view section, std::string_view name, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view name, std::int64_t value);
    void WriteBool(std::string_view section, std::string_view name, bool value);

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view name) const;
    /// Section names in file order.
    std::vector<std::string> Sections() const;
    /// Value names of one section in file order.
    std::vector<std::string> ValueNames(std::string_view section) const;
    void EraseSection(std::string_view section);
    void DeleteValue(std::string_view section, std::string_view name);

    /// The line end Save() writes: "\r\n" when the file read used it, else "\n".
    const std::string& LineEnd() const { return lineEnd_; }

private:
    struct Line {
        std::string name;   // value name, or the whole text of a line without '='
        std::string value;  // the value after the first '='
        bool isValue = false;
    };
    struct Section {
        std::string name;
        bool hasHeader = true;  // false for the lines before the first header
        std::vector<Line> lines;
    };

    Section* FindSection(std::string_view section);
    const Section* FindSection(std::string_view section) const;
    static const Line* FindValue(const Section& section, std::string_view name);

    std::string path_;
    NewFile newFile_ = NewFile::Private;
    std::string lineEnd_ = "\n";
    std::vector<Section> sections_;
};

/// The whole content of a file, opened by the rules of files/SafeOpen;
/// nothing when it does not exist. A file that exists but cannot be read
/// throws ProfileError with the system's reason; so does a FIFO or a device,
/// without waiting on it, and a symbolic link of another user.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace vireo
