#include "settings/Registry.h"

#include <cstdlib>
#include <filesystem>

#include "settings/Encrypt.h"
#include "settings/ProfileFile.h"

namespace vireo {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

/// A key path as compared: without blanks and '\' at its ends.
std::string_view KeyPathOf(std::string_view text) {
    text = Trim(text);
    while (!text.empty() && text.back() == '\\') text.remove_suffix(1);
    while (!text.empty() && text.front() == '\\') text.remove_prefix(1);
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string CurrentDirectory() {
    std::error_code error;
    std::string path = std::filesystem::current_path(error).string();
    return error ? std::string(".") : path;
}

}  // namespace

std::string RegistryPath() {
    const char* path = std::getenv(kRegistryVariable);
    return (path && *path) ? std::string(path) : std::string(kDefaultRegistryPath);
}

RegistryStore RegistryStore::Load(const std::string& path) {
    std::optional<std::string> text;
    try {
        text = ReadWholeFile(path);
    } catch (const ProfileError& e) {
        throw RegistryError(e.what());
    }
    if (!text) return RegistryStore();
    return Parse(*text, path);
}

RegistryStore RegistryStore::Parse(std::string_view text, const std::string& source) {
    if (text.find('\0') != std::string_view::npos)
        throw RegistryError(source + ": not a text file (it holds a zero byte)");
    RegistryStore store;
    int lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        const auto garbled = [&](const std::string& why) {
            return RegistryError(source + ", line " + std::to_string(lineNumber) + ": " + why);
        };

        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            if (line.back() != ']') throw garbled("a key line must end with ']'");
            store.keys_.push_back(Key{std::string(KeyPathOf(line.substr(1, line.size() - 2))), {}});
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) throw garbled("expected [key] or Name=value");
        if (store.keys_.empty()) throw garbled("a value before the first [key]");
        std::optional<std::string> value = UnescapeRegistryValue(Trim(line.substr(equals + 1)));
        if (!value) throw garbled("bad escape in the value (use \\\\ or \\xHH)");
        store.keys_.back().values.emplace_back(std::string(Trim(line.substr(0, equals))), std::move(*value));
    }
    return store;
}

bool RegistryStore::KeyExists(std::string_view key) const {
    for (const Key& candidate : keys_)
        if (SameName(candidate.path, KeyPathOf(key))) return true;
    return false;
}

std::optional<std::string> RegistryStore::ReadValue(std::string_view key, std::string_view name) const {
    for (const Key& candidate : keys_) {
        if (!SameName(candidate.path, KeyPathOf(key))) continue;
        for (const auto& [valueName, value] : candidate.values)
            if (SameName(valueName, name)) return value;
    }
    return std::nullopt;
}

std::string EscapeRegistryValue(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        const bool atEnd = i == 0 || i + 1 == bytes.size();
        if (byte == '\\') {
            text += "\\\\";
        } else if (byte > ' ' && byte < 0x7F) {
            text += static_cast<char>(byte);
        } else if (byte == ' ' && !atEnd) {
            text += ' ';
        } else {
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 0x0F];
        }
    }
    return text;
}

std::optional<std::string> UnescapeRegistryValue(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            bytes += '\\';
            i += 1;
            continue;
        }
        if (i + 3 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            const int high = HexDigit(text[i + 2]);
            const int low = HexDigit(text[i + 3]);
            if (high >= 0 && low >= 0) {
                bytes += static_cast<char>(high * 16 + low);
                i += 3;
                continue;
            }
        }
        return std::nullopt;
    }
    return bytes;
}

std::string LoadHomeDirectory() { return LoadHomeDirectory(RegistryPath()); }

std::string LoadHomeDirectory(const std::string& registryPath) {
    std::string home = CurrentDirectory();
    try {
        const RegistryStore store = RegistryStore::Load(registryPath);
        const std::optional<std::string> value = store.ReadValue(kTarnfoldSettingsKey, "Home");
        std::error_code error;
        if (value && !value->empty() && std::filesystem::is_directory(*value, error)) home = *value;
    } catch (const std::exception&) {
        // An unreadable registry leaves the current directory.
    }
    if (home.empty() || home.back() != '/') home += '/';
    return home;
}

bool ReadOdbcSettings(std::string& source, std::string& user, std::string& password, std::string* why) {
    return ReadOdbcSettings(RegistryPath(), source, user, password, why);
}

bool ReadOdbcSettings(const std::string& registryPath, std::string& source, std::string& user, std::string& password,
                      std::string* why) {
    source.clear();
    user.clear();
    password.clear();
    try {
        const RegistryStore store = RegistryStore::Load(registryPath);
        if (!store.KeyExists(kTarnfoldSettingsKey)) return true;
        source = store.ReadValue(kTarnfoldSettingsKey, "ODBC_Source").value_or("");
        user = store.ReadValue(kTarnfoldSettingsKey, "ODBC_User").value_or("");
        password = ClearFromRegistry(store.ReadValue(kTarnfoldSettingsKey, "ODBC_Pass").value_or(""));
        return true;
    } catch (const std::exception& error) {
        source.clear();
        user.clear();
        password.clear();
        if (why != nullptr) *why = error.what();
        return false;
    }
}

}  // namespace vireo
