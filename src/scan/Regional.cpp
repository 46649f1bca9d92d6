#include "scan/Regional.h"

#include <langinfo.h>
#include <locale.h>

#include <array>
#include <charconv>
#include <cmath>

#include "scan/Chronos.h"
#include "scan/PScan.h"

namespace vireo {

namespace {

bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

/// A separator must be a visible ASCII mark: a blank or a byte of a multi-byte
/// character would break the scanner's date and time fields.
bool IsUsableSeparator(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u > 32 && u < 127 && !IsAsciiAlnum(c) && c != '%';
}

/// The first character of `format` that is neither alphanumeric nor '%', when
/// it is a usable separator.
char FirstSeparator(std::string_view format, char fallback) {
    for (char c : format) {
        if (c == '%' || IsAsciiAlnum(c)) continue;
        return IsUsableSeparator(c) ? c : fallback;
    }
    return fallback;
}

std::string_view CompositeExpansion(char conversion) {
    switch (conversion) {
        case 'D':
            return "%m/%d/%y";
        case 'T':
            return "%H:%M:%S";
        case 'r':
            return "%I:%M:%S %p";
        case 'R':
            return "%H:%M";
        case 'F':
            return "%Y-%m-%d";
        default:
            return {};
    }
}

/// Spells out composite directives, drops flags and the E/O modifiers, and
/// widens the two-digit year.
void Normalize(std::string_view format, std::string& out, int depth = 0) {
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%') {
            out += c;
            continue;
        }
        std::size_t j = i + 1;
        while (j < format.size() && std::string_view("-_0^#").find(format[j]) != std::string_view::npos) ++j;
        if (j < format.size() && (format[j] == 'E' || format[j] == 'O')) ++j;
        if (j >= format.size()) break;  // a lone '%' at the end means nothing
        const char conversion = format[j];
        i = j;
        const std::string_view expansion = CompositeExpansion(conversion);
        if (!expansion.empty() && depth == 0) {
            Normalize(expansion, out, depth + 1);
        } else {
            out += '%';
            out += conversion == 'y' ? 'Y' : conversion;
        }
    }
}

bool HasConversion(const std::string& format, std::string_view conversions) {
    for (std::size_t i = 0; i + 1 < format.size(); ++i) {
        if (format[i] != '%') continue;
        if (format[i + 1] != '%' && conversions.find(format[i + 1]) != std::string_view::npos) return true;
        ++i;
    }
    return false;
}

RegionalSettings& Current() {
    static RegionalSettings settings = RegionalFromLocale();
    return settings;
}

void AppendNumber(std::string& out, long long value, int width, char pad) {
    std::array<char, 24> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    const auto length = static_cast<int>(result.ptr - buffer.data());
    if (value >= 0 && length < width) out.append(static_cast<std::size_t>(width - length), pad);
    out.append(buffer.data(), result.ptr);
}

long long FloorMod(long long value, long long divisor) {
    const long long rest = value % divisor;
    return rest < 0 ? rest + divisor : rest;
}

constexpr std::array<std::string_view, 12> kMonthNames = {"January",   "February", "March",    "April",
                                                          "May",       "June",     "July",     "August",
                                                          "September", "October",  "November", "December"};
constexpr std::array<std::string_view, 7> kDayNames = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                       "Friday", "Saturday", "Sunday"};

struct Fields {
    int year, month, day, hours, minutes, seconds;
};

void AppendConversion(std::string& out, char conversion, const Fields& f) {
    const long long hour12 = FloorMod(f.hours + 11, 12) + 1;
    const auto monthIndex = static_cast<std::size_t>(FloorMod(f.month - 1, 12));
    switch (conversion) {
        case 'd':
            return AppendNumber(out, f.day, 2, '0');
        case 'e':
            return AppendNumber(out, f.day, 2, ' ');
        case 'm':
            return AppendNumber(out, f.month, 2, '0');
        case 'Y':
            return AppendNumber(out, f.year, 4, '0');
        case 'y':
            return AppendNumber(out, FloorMod(f.year, 100), 2, '0');
        case 'H':
            return AppendNumber(out, f.hours, 2, '0');
        case 'k':
            return AppendNumber(out, f.hours, 2, ' ');
        case 'I':
            return AppendNumber(out, hour12, 2, '0');
        case 'l':
            return AppendNumber(out, hour12, 2, ' ');
        case 'M':
            return AppendNumber(out, f.minutes, 2, '0');
        case 'S':
            return AppendNumber(out, f.seconds, 2, '0');
        case 'p':
            out += FloorMod(f.hours, 24) < 12 ? "AM" : "PM";
            return;
        case 'P':
            out += FloorMod(f.hours, 24) < 12 ? "am" : "pm";
            return;
        case 'B':
            out += kMonthNames[monthIndex];
            return;
        case 'b':
        case 'h':
            out += kMonthNames[monthIndex].substr(0, 3);
            return;
        case 'A':
        case 'a': {
            const std::string_view name = kDayNames[static_cast<std::size_t>(WeekdayOf(f.year, f.month, f.day) - 1)];
            out += conversion == 'A' ? name : name.substr(0, 3);
            return;
        }
        case '%':
            out += '%';
            return;
        case 'n':
            out += '\n';
            return;
        case 't':
            out += '\t';
            return;
        default:
            return;  // directives that have no place in a date-time text
    }
}

void AppendFormatted(std::string& out, std::string_view format, const Fields& fields) {
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            out += format[i];
            continue;
        }
        AppendConversion(out, format[++i], fields);
    }
}

}  // namespace

RegionalSettings RegionalFromFormats(std::string_view dateFormat, std::string_view timeFormat,
                                     std::string_view decimalPoint) {
    RegionalSettings settings;
    std::string date;
    Normalize(dateFormat, date);
    if (HasConversion(date, "de") && HasConversion(date, "mbBh") && HasConversion(date, "Y")) {
        settings.shortDateFormat = date;
        settings.dateSeparator = FirstSeparator(date, settings.dateSeparator);
    }
    std::string time;
    Normalize(timeFormat, time);
    if (HasConversion(time, "HIkl") && HasConversion(time, "M")) {
        settings.longTimeFormat = time;
        settings.timeSeparator = FirstSeparator(time, settings.timeSeparator);
    }
    if (decimalPoint.size() == 1 && IsUsableSeparator(decimalPoint[0])) settings.decimalSeparator = decimalPoint[0];
    return settings;
}

RegionalSettings RegionalFromLocale() {
    // The user's locale is opened on its own rather than installed with
    // setlocale: the program's number reading and writing rely on the "C"
    // locale's decimal point whatever the regional settings say.
    locale_t locale = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) return RegionalFromFormats({}, {}, {});
    const auto text = [locale](nl_item item) -> std::string_view {
        const char* value = nl_langinfo_l(item, locale);
        return value != nullptr ? std::string_view(value) : std::string_view();
    };
    RegionalSettings settings = RegionalFromFormats(text(D_FMT), text(T_FMT), text(RADIXCHAR));
    freelocale(locale);
    return settings;
}

const RegionalSettings& Regional() { return Current(); }

void SetRegional(const RegionalSettings& settings) {
    Current() = settings;
    RebuildSubPatterns(settings.dateSeparator, settings.timeSeparator);
}

std::string DateTimeText(int year, int month, int day, int hours, int minutes, int seconds) {
    const RegionalSettings& settings = Regional();
    const Fields fields{year, month, day, hours, minutes, seconds};
    std::string text;
    AppendFormatted(text, settings.shortDateFormat, fields);
    if (hours != 0 || minutes != 0 || seconds != 0) {
        text += ' ';
        AppendFormatted(text, settings.longTimeFormat, fields);
    }
    return text;
}

std::string DateText(int year, int month, int day) {
    std::string text;
    AppendFormatted(text, Regional().shortDateFormat, Fields{year, month, day, 0, 0, 0});
    return text;
}

std::string TimeText(int hours, int minutes, int seconds) {
    std::string text;
    AppendFormatted(text, Regional().longTimeFormat, Fields{2000, 1, 1, hours, minutes, seconds});
    return text;
}

std::string NumberText(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    if (value == 0) return "0";  // also for a negative zero
    std::array<char, 64> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::general, 15);
    std::string text(buffer.data(), result.ptr);
    // The exponent is written as 1E20 and 1E-5: an upper-case E, a sign only
    // when negative, no leading zeros.
    const std::size_t e = text.find('e');
    if (e != std::string::npos) {
        const bool negative = e + 1 < text.size() && text[e + 1] == '-';
        std::size_t digits = e + 1;
        while (digits < text.size() && (text[digits] == '+' || text[digits] == '-' || text[digits] == '0')) ++digits;
        text = text.substr(0, e) + (negative ? "E-" : "E") + text.substr(digits);
    }
    const char separator = Regional().decimalSeparator;
    for (char& c : text) {
        if (c == '.') c = separator;
    }
    return text;
}

}  // namespace vireo
