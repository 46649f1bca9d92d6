// The real `vireo-import` under locales whose date and time separators are not
// '/' and ':': loggers write those whatever the computer's locale, and every
// locale reads the same values.
#include <gtest/gtest.h>
#include <locale.h>

#include <cstdlib>
#include <set>

#include "support/ChildProgram.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"

namespace vireo {
namespace {

using testing::Backend;
using testing::ReadFile;
using testing::StartProgram;
using testing::TempDir;
using testing::TestDataSource;
using testing::VireoImportProgram;
using testing::WaitFor;
using testing::WriteFile;

/// German ('.' between the parts of a date), Finnish ('.' between those of a
/// time too), and the C locale.
const char* const kLocales[] = {"C", "de_DE.UTF-8", "fi_FI.UTF-8"};

/// A one-value line, a multi-value line with blanks, a date-first line with a
/// label, a line with date and time in one field, and an impossible date.
constexpr const char* kLog =
    "TEMP,06/15/2005,12:30:00,21.5,G\r\n"
    "06/15/2005 12:32:00 1 2\r\n"
    "06/15/2005,12:45:00,ST01,1.25,13.1\r\n"
    "TEMP,06/16/2005 08:00:00,22.5,G\r\n"
    "TEMP,02/30/2005,12:00:00,99,G\r\n";

bool LocaleExists(const char* name) {
    locale_t locale = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) return false;
    freelocale(locale);
    return true;
}

/// Runs vireo-import under `locale` (LC_ALL and LANG); its status, and its
/// standard output and error in `output`.
int RunUnder(const char* locale, const std::vector<std::string>& args, const std::string& output) {
    std::vector<std::string> all{std::string("LC_ALL=") + locale, std::string("LANG=") + locale, VireoImportProgram()};
    all.insert(all.end(), args.begin(), args.end());
    std::remove(output.c_str());
    return WaitFor(StartProgram("/usr/bin/env", all, output));
}

class LocaleProgramTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        for (const char* locale : kLocales) {
            if (!LocaleExists(locale))
                GTEST_SKIP() << "the locale " << locale << " is not there (scripts/test.sh generates it)";
        }
        WriteFile(dir_.File("de.log"), kLog);
    }

    TempDir dir_;
};

TEST_P(LocaleProgramTest, EveryLocaleReadsAndImportsTheSameValues) {
    TestDataSource source(GetParam());
    source.ListInCatalogue({"ST01.TEMP", "ST01.STAGE", "ST01.RH", "ST01.ONE", "ST01.TWO"});
    ::setenv("VIREO_TEST_PASSWORD", source.Password().c_str(), 1);
    WriteFile(dir_.File("list.sfg"),
              "[Import]\nSensors=TEMP||ST01.TEMP,ST01:1||ST01.STAGE,ST01:2||ST01.RH,0:1||ST01.ONE,0:2||ST01.TWO\n");
    const std::string output = dir_.File("out.txt");
    std::string valuesInC;
    std::set<std::string> rowsInC;
    for (const char* locale : kLocales) {
        SCOPED_TRACE(locale);
        EXPECT_EQ(RunUnder(locale, {"values", dir_.File("de.log")}, output), 0);
        const std::string values = ReadFile(output);
        source.Execute("DELETE FROM TF_DATA1;\n");
        EXPECT_EQ(RunUnder(locale,
                           {"import", dir_.File("de.log"), "--list", dir_.File("list.sfg"), "--dsn", source.Name(),
                            "--user", source.User(), "--password-env", "VIREO_TEST_PASSWORD"},
                           output),
                  0)
            << ReadFile(output);
        EXPECT_NE(ReadFile(output).find("Lines: 5  inserted: 6  updated: 0  not written: 0  without time tag: 1"),
                  std::string::npos)
            << ReadFile(output);
        std::set<std::string> rows;
        for (const auto& row : source.Select("SELECT STATION_ID, SENSORNAME, TIME_TAG, ED_VALUE FROM TF_DATA1"))
            rows.insert(row[0].value_or("") + "." + row[1].value_or("") + " " + row[2].value_or("").substr(0, 19) +
                        " " + std::to_string(std::stod(row[3].value_or("0"))));
        if (std::string(locale) == "C") {
            valuesInC = values;
            rowsInC = rows;
            EXPECT_EQ(rows.size(), 6u);
            EXPECT_NE(values.find("2005-06-15 12:32:00"), std::string::npos) << values;
        } else {
            EXPECT_EQ(values, valuesInC);
            EXPECT_EQ(rows, rowsInC);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, LocaleProgramTest, ::testing::Values(Backend::Sqlite, Backend::PostgresAnsi),
                         [](const auto& info) { return testing::BackendName(info.param); });

}  // namespace
}  // namespace vireo
