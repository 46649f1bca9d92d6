#include "db/DataSourceDriver.h"

#include <odbcinst.h>

#include <algorithm>
#include <vector>

namespace vireo {
namespace {

std::string Value(const std::string& section, const char* key, const char* file) {
    std::vector<char> buffer(4096, '\0');
    const int length =
        SQLGetPrivateProfileString(section.c_str(), key, "", buffer.data(), static_cast<int>(buffer.size()), file);
    if (length <= 0) return {};
    return std::string(buffer.data(), std::min<std::size_t>(static_cast<std::size_t>(length), buffer.size() - 1));
}

bool Holds(std::string text, std::string_view part) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text.find(part) != std::string::npos;
}

}  // namespace

bool DataSourceUsesPostgres(const std::string& alias) {
    if (alias.empty()) return false;
    // "Driver" of a definition is the name of an installed driver or the
    // path of its library.
    const std::string driver = Value(alias, "Driver", "odbc.ini");
    if (driver.empty()) return false;
    if (Holds(driver, "postgres") || Holds(driver, "psqlodbc")) return true;
    return Holds(Value(driver, "Driver", "odbcinst.ini"), "psqlodbc");
}

}  // namespace vireo
