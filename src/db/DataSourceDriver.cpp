#include "db/DataSourceDriver.h"

#include <odbcinst.h>

#include <algorithm>
#include <vector>

#include "scan/AsciiCase.h"

namespace vireo {
namespace {

std::string Value(const std::string& section, const char* key, const char* file) {
    std::vector<char> buffer(4096, '\0');
    const int length =
        SQLGetPrivateProfileString(section.c_str(), key, "", buffer.data(), static_cast<int>(buffer.size()), file);
    if (length <= 0) return {};
    return std::string(buffer.data(), std::min<std::size_t>(static_cast<std::size_t>(length), buffer.size() - 1));
}

/// True when `text` holds `part` (upper case) without regard to case.
bool Holds(std::string_view text, std::string_view part) { return UpperCaseName(text).find(part) != std::string::npos; }

}  // namespace

bool DataSourceUsesPostgres(const std::string& alias) {
    if (alias.empty()) return false;
    // "Driver" of a definition is the name of an installed driver or the
    // path of its library.
    const std::string driver = Value(alias, "Driver", "odbc.ini");
    if (driver.empty()) return false;
    if (Holds(driver, "POSTGRES") || Holds(driver, "PSQLODBC")) return true;
    return Holds(Value(driver, "Driver", "odbcinst.ini"), "PSQLODBC");
}

std::string DataSourceValue(const std::string& alias, const char* key) {
    return alias.empty() ? std::string() : Value(alias, key, "odbc.ini");
}

std::string DataSourcePassword(const std::string& alias) {
    std::string password = DataSourceValue(alias, "Password");
    return password.empty() ? DataSourceValue(alias, "PWD") : password;
}

}  // namespace vireo
