#pragma once

// The installation's registry values, read from a text file that the
// installation (or its administrator) writes and this program never changes.
//
// File: the path in the environment variable TARNFOLD_REGISTRY, else
// /etc/tarnfold/registry.ini. A missing file is an empty registry.
//
// Format, one item per line, lines ending in LF or CR LF:
//   [HKEY_LOCAL_MACHINE\Software\Quenta Corporation\Tarnfold\Settings]
//   Home=/opt/tarnfold
//   ODBC_Source=TARNFOLD
//   ODBC_Pass=\x9c\x00A=\\...
// - A line "[key path]" opens a key: the full path from the root key, parts
//   separated by '\'. Key paths and value names are compared without regard to
//   case; a trailing '\' on a key path does not matter.
// - A line "Name=value" holds one string value of the key above it. The value
//   is the text after the first '='; blanks (spaces, tabs) at the ends of the
//   line are dropped.
// - Blank lines and lines beginning with ';' or '#' are ignored.
// - Values can hold any byte through escapes: "\\" is one backslash and "\xHH"
//   (two hexadecimal digits, either case) the byte HH, e.g. \x00, \x0A, \x20
//   for a blank at the end. Any other use of '\' is an error.
// Anything else (a value outside a key, a line that is neither, a bad escape,
// a zero byte in the file) makes the whole file unreadable, so a mistake is
// reported instead of read as some other value.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vireo {

/// The registry file is unreadable or garbled; the text says where and why.
class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kRegistryVariable = "TARNFOLD_REGISTRY";
inline constexpr std::string_view kDefaultRegistryPath = "/etc/tarnfold/registry.ini";
/// The installation's settings key under HKEY_LOCAL_MACHINE.
inline constexpr std::string_view kTarnfoldSettingsKey =
    "HKEY_LOCAL_MACHINE\\Software\\Quenta Corporation\\Tarnfold\\Settings";

/// The registry file in force: $TARNFOLD_REGISTRY when set and not empty,
/// else /etc/tarnfold/registry.ini.
std::string RegistryPath();

/// The keys and values of one registry file, read once.
class RegistryStore {
public:
    RegistryStore() = default;

    /// Reads the file `path`; a missing file gives an empty store. Throws
    /// RegistryError when it cannot be read or is garbled.
    static RegistryStore Load(const std::string& path);
    /// Reads registry text; `source` names it in error messages.
    static RegistryStore Parse(std::string_view text, const std::string& source);

    bool KeyExists(std::string_view key) const;
    /// The value `name` of `key` as bytes; nothing when either is missing.
    std::optional<std::string> ReadValue(std::string_view key, std::string_view name) const;

private:
    struct Key {
        std::string path;
        std::vector<std::pair<std::string, std::string>> values;
    };
    std::vector<Key> keys_;
};

/// The escaped form of any bytes for a registry value: printable ASCII as it
/// is (a blank too, but not at either end), '\' as "\\", every other byte as
/// "\xHH" with upper-case digits.
std::string EscapeRegistryValue(std::string_view bytes);

/// The bytes an escaped value stands for; nothing when an escape is bad.
std::optional<std::string> UnescapeRegistryValue(std::string_view text);

/// The installation's home folder: the "Home" value when it names an
/// existing folder, else the current directory; always ends with '/'.
/// A registry that is missing or unreadable gives the current directory.
std::string LoadHomeDirectory();
std::string LoadHomeDirectory(const std::string& registryPath);

/// The installation's default connection: "ODBC_Source", "ODBC_User" and the
/// clear password deciphered from "ODBC_Pass" (its registry form). The outputs
/// are emptied first; true also when the file or the key does not exist
/// (outputs empty); false when the registry file is unreadable or garbled,
/// with the RegistryError's text (the file, the line and why) in `why` when
/// it is given.
bool ReadOdbcSettings(std::string& source, std::string& user, std::string& password, std::string* why = nullptr);
bool ReadOdbcSettings(const std::string& registryPath, std::string& source, std::string& user, std::string& password,
                      std::string* why = nullptr);

}  // namespace vireo
