#include "support/TestOdbc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace vireo::testing {
namespace {

std::string DriverPath(const std::string& file) {
    const std::string full = "/usr/lib/x86_64-linux-gnu/odbc/" + file;
    return std::filesystem::exists(full) ? full : file;  // else the driver manager searches
}

std::string IniText(const std::vector<std::pair<std::string, DataSourceKeys>>& sections) {
    std::string text;
    for (const auto& [name, keys] : sections) {
        text += "[" + name + "]\n";
        for (const auto& [key, value] : keys) text += key + "=" + value + "\n";
        text += "\n";
    }
    return text;
}

// Points the driver manager at the test configuration before the first test.
class OdbcEnvironment : public ::testing::Environment {
public:
    void SetUp() override { TestOdbc::Instance(); }
};
[[maybe_unused]] ::testing::Environment* const kOdbcEnvironment =
    ::testing::AddGlobalTestEnvironment(new OdbcEnvironment);

}  // namespace

TestOdbc& TestOdbc::Instance() {
    static TestOdbc instance;
    return instance;
}

TestOdbc::TestOdbc() : dir_("vireo-odbc") {
    cleanup_ = std::make_unique<ExitWatchdog>("rm -rf '" + dir_.path().string() + "'");
    const std::filesystem::path home = dir_.path() / "home";
    std::filesystem::create_directories(home);
    systemIni_ = dir_.File("odbc.ini");
    userIni_ = (home / ".odbc.ini").string();
    WriteFile(dir_.File("odbcinst.ini"),
              "[ODBC]\nTrace=No\n\n"
              "[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=" +
                  DriverPath("libsqlite3odbc.so") +
                  "\n\n"
                  "[PostgreSQL ANSI]\nDescription=PostgreSQL ODBC driver (ANSI version)\nDriver=" +
                  DriverPath("psqlodbca.so") +
                  "\nDebug=0\nCommLog=0\n\n"
                  "[PostgreSQL Unicode]\nDescription=PostgreSQL ODBC driver (Unicode version)\nDriver=" +
                  DriverPath("psqlodbcw.so") + "\nDebug=0\nCommLog=0\n");
    WriteIni(Scope::System);
    WriteIni(Scope::User);
    setenv("ODBCSYSINI", dir_.path().c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);
    setenv("ODBCINI", userIni_.c_str(), 1);
    setenv("HOME", home.c_str(), 1);
}

void TestOdbc::WriteIni(Scope scope) const {
    if (scope == Scope::System) {
        WriteFile(systemIni_, IniText(system_));
    } else {
        WriteFile(userIni_, IniText(user_));
    }
}

void TestOdbc::DefineDataSource(const std::string& name, const DataSourceKeys& keys, Scope scope) {
    auto& sections = scope == Scope::System ? system_ : user_;
    auto known = std::find_if(sections.begin(), sections.end(), [&](const auto& s) { return s.first == name; });
    if (known != sections.end()) {
        known->second = keys;
    } else {
        sections.emplace_back(name, keys);
    }
    WriteIni(scope);
}

void TestOdbc::RemoveDataSource(const std::string& name) {
    for (Scope scope : {Scope::System, Scope::User}) {
        auto& sections = scope == Scope::System ? system_ : user_;
        if (std::erase_if(sections, [&](const auto& s) { return s.first == name; }) > 0) WriteIni(scope);
    }
}

std::string TestOdbc::UniqueName(std::string_view stem) { return std::string(stem) + std::to_string(++counter_); }

}  // namespace vireo::testing
