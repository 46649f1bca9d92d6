#include "scan/Regional.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "scan/Chronos.h"
#include "scan/PScan.h"
#include "support/TestScopes.h"

namespace vireo {
namespace {

using testing::RegionalScope;

RegionalSettings Settings(char date, char time, char decimal, std::string dateFormat, std::string timeFormat) {
    RegionalSettings settings;
    settings.dateSeparator = date;
    settings.timeSeparator = time;
    settings.decimalSeparator = decimal;
    settings.shortDateFormat = std::move(dateFormat);
    settings.longTimeFormat = std::move(timeFormat);
    return settings;
}

void ExpectSettings(const RegionalSettings& actual, const RegionalSettings& expected) {
    EXPECT_EQ(actual.dateSeparator, expected.dateSeparator);
    EXPECT_EQ(actual.timeSeparator, expected.timeSeparator);
    EXPECT_EQ(actual.decimalSeparator, expected.decimalSeparator);
    EXPECT_EQ(actual.shortDateFormat, expected.shortDateFormat);
    EXPECT_EQ(actual.longTimeFormat, expected.longTimeFormat);
}

TEST(RegionalFromFormats, ReadsSeparatorsAndFormats) {
    struct Row {
        const char* date;
        const char* time;
        const char* decimal;
        RegionalSettings expected;
    };
    const std::vector<Row> rows = {
        // The "C" locale: the two-digit year is widened.
        {"%m/%d/%y", "%H:%M:%S", ".", Settings('/', ':', '.', "%m/%d/%Y", "%H:%M:%S")},
        {"%d.%m.%Y", "%T", ",", Settings('.', ':', ',', "%d.%m.%Y", "%H:%M:%S")},
        {"%D", "%r", ".", Settings('/', ':', '.', "%m/%d/%Y", "%I:%M:%S %p")},
        {"%Y-%m-%d", "%H.%M.%S", ",", Settings('-', '.', ',', "%Y-%m-%d", "%H.%M.%S")},
        {"%F", "%R", ".", Settings('-', ':', '.', "%Y-%m-%d", "%H:%M")},
        {"%e/%m/%Ey", "%OH:%OM", ".", Settings('/', ':', '.', "%e/%m/%Y", "%H:%M")},
        // Unusable values fall back one by one.
        {"", "", "", Settings('/', ':', '.', "%m/%d/%Y", "%H:%M:%S")},
        {"%d/%m", "%S", "", Settings('/', ':', '.', "%m/%d/%Y", "%H:%M:%S")},
        {"%d %b %Y", "%H:%M", "\xD9\xAB", Settings('/', ':', '.', "%d %b %Y", "%H:%M")},
        {"%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d", "%H\xE6\x97\xB6%M", "1",
         Settings('/', ':', '.', "%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d", "%H\xE6\x97\xB6%M")},
        {"%Y%m%d", "%H%M%S", "%", Settings('/', ':', '.', "%Y%m%d", "%H%M%S")},
        {"%d/%m/%Y%", "%H:%M:%S", ".", Settings('/', ':', '.', "%d/%m/%Y", "%H:%M:%S")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.date) + " | " + row.time + " | " + row.decimal);
        ExpectSettings(RegionalFromFormats(row.date, row.time, row.decimal), row.expected);
    }
}

TEST(RegionalFromLocale, TheCLocaleGivesTheDefaults) {
    const char* old = std::getenv("LC_ALL");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("LC_ALL", "C", 1);
    const RegionalSettings settings = RegionalFromLocale();
    if (saved) {
        setenv("LC_ALL", saved->c_str(), 1);
    } else {
        unsetenv("LC_ALL");
    }
    ExpectSettings(settings, RegionalSettings{});
    // The process's own locale is left alone: numbers keep their '.'.
    EXPECT_EQ(std::to_string(1.5), "1.500000");
}

TEST(SetRegional, ReplacesTheSettingsAndTheScannerSubPatterns) {
    {
        RegionalScope scope(Settings('.', '-', ',', "%d.%m.%Y", "%H-%M-%S"));
        EXPECT_EQ(Regional().dateSeparator, '.');
        EXPECT_EQ(Regional().decimalSeparator, ',');
        EXPECT_EQ(FormatPattern("%j", {StampOf(2005, 6, 15, 12, 30, 0)}), "06.15.2005 12-30-00");
    }
    EXPECT_EQ(FormatPattern("%j", {StampOf(2005, 6, 15, 12, 30, 0)}), "06/15/2005 12:30:00");
}

TEST(DateTimeText, WritesShortDateAndLongTime) {
    struct Row {
        RegionalSettings settings;
        int y, mo, d, h, mi, s;
        const char* expected;
    };
    const RegionalSettings us;
    const RegionalSettings german = Settings('.', ':', ',', "%d.%m.%Y", "%H:%M:%S");
    const RegionalSettings twelve = Settings('/', ':', '.', "%e/%m/%y", "%I:%M:%S %p");
    const std::vector<Row> rows = {
        {us, 2005, 6, 15, 12, 30, 0, "06/15/2005 12:30:00"},
        {us, 2005, 6, 15, 0, 0, 0, "06/15/2005"},
        {us, 2005, 6, 15, 0, 0, 1, "06/15/2005 00:00:01"},
        {us, 2005, 6, 15, 23, 59, 59, "06/15/2005 23:59:59"},
        {german, 2005, 6, 5, 7, 8, 9, "05.06.2005 07:08:09"},
        {twelve, 2005, 6, 5, 0, 30, 0, " 5/06/05 12:30:00 AM"},
        {twelve, 2005, 6, 5, 12, 0, 0, " 5/06/05 12:00:00 PM"},
        {twelve, 2005, 6, 5, 13, 5, 0, " 5/06/05 01:05:00 PM"},
        {Settings('/', ':', '.', "%a %d %b %Y (%B, %A) %%", "%k|%l|%P"), 2005, 6, 15, 18, 0, 0,
         "Wed 15 Jun 2005 (June, Wednesday) % 18| 6|pm"},
        {Settings('/', ':', '.', "%j%Q %Y", "%H:%M:%S%"), 985, 1, 1, 1, 0, 0, " 0985 01:00:00%"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        RegionalScope scope(row.settings);
        EXPECT_EQ(DateTimeText(row.y, row.mo, row.d, row.h, row.mi, row.s), row.expected);
    }
}

TEST(NumberText, WritesTheShortestGeneralForm) {
    struct Row {
        double value;
        const char* expected;
    };
    const std::vector<Row> rows = {
        {21.5, "21.5"},
        {-21.5, "-21.5"},
        {0.0, "0"},
        {-0.0, "0"},
        {100.0, "100"},
        {0.1 + 0.2, "0.3"},
        {1.0 / 3, "0.333333333333333"},
        {123456789012345.0, "123456789012345"},
        {1234567890123456.0, "1.23456789012346E15"},
        {1e15, "1E15"},
        {1e20, "1E20"},
        {-2.5e-7, "-2.5E-7"},
        {0.0001, "0.0001"},
        {0.00001, "1E-5"},
        {1.7976931348623157e308, "1.79769313486232E308"},
        {5e-324, "4.94065645841247E-324"},
        {std::numeric_limits<double>::infinity(), "INF"},
        {-std::numeric_limits<double>::infinity(), "-INF"},
        {std::nan(""), "NAN"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        EXPECT_EQ(NumberText(row.value), row.expected);
    }
}

TEST(NumberText, UsesTheRegionalDecimalSeparator) {
    RegionalScope scope(Settings('.', ':', ',', "%d.%m.%Y", "%H:%M:%S"));
    EXPECT_EQ(NumberText(21.5), "21,5");
    EXPECT_EQ(NumberText(-2.5e-7), "-2,5E-7");
    EXPECT_EQ(NumberText(42), "42");
}

}  // namespace
}  // namespace vireo
