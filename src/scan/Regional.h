#pragma once

#include <string>
#include <string_view>

namespace vireo {

/// The regional settings the program reads: separators and the formats of the
/// date-time text shown in messages. Read once from the process locale at
/// start-up; tests set their own.
struct RegionalSettings {
    char dateSeparator = '/';
    char timeSeparator = ':';
    char decimalSeparator = '.';
    /// strftime-style short date format, e.g. "%m/%d/%Y".
    std::string shortDateFormat = "%m/%d/%Y";
    /// strftime-style long time format, e.g. "%H:%M:%S".
    std::string longTimeFormat = "%H:%M:%S";
};

/// The settings in force. The first call reads them from the process locale
/// (falling back to '/', ':', '.', month/day/year and 24-hour time).
const RegionalSettings& Regional();

/// Replaces the settings in force and rebuilds everything derived from them
/// (the scanner's date and time sub-patterns). For start-up and tests.
void SetRegional(const RegionalSettings& settings);

/// The settings the process locale gives, with the fallbacks above.
RegionalSettings RegionalFromLocale();

/// The settings a locale's date format, time format and decimal point give
/// (nl_langinfo D_FMT, T_FMT, RADIXCHAR): composite directives such as %D, %T
/// and %r are spelled out, a two-digit year "%y" becomes "%Y", and a value that
/// is unusable falls back to the defaults above.
RegionalSettings RegionalFromFormats(std::string_view dateFormat, std::string_view timeFormat,
                                     std::string_view decimalPoint);

/// The platform's default date-time text: the short date, one blank and the
/// long time; the time is left out when it is exactly midnight.
std::string DateTimeText(int year, int month, int day, int hours, int minutes, int seconds);

/// The short date alone, and the long time alone (midnight as 00:00:00 in the
/// default format): the parts of a time tag that is always shown with its time.
std::string DateText(int year, int month, int day);
std::string TimeText(int hours, int minutes, int seconds);

/// A number in its shortest general form with up to 15 significant digits,
/// written with the regional decimal separator (the value text of messages).
std::string NumberText(double value);

}  // namespace vireo
