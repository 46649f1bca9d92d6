#include "db/ExistingRows.h"

#include <charconv>
#include <cstdlib>

#include "db/Database.h"
#include "scan/AsciiCase.h"

namespace vireo {
namespace {

/// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

bool ReadDigits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

std::optional<double> Number(const QueryField& field) {
    if (field.IsNull()) return std::nullopt;
    const std::string& text = field.AsString();
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc()) return std::nullopt;
    return value;
}

}  // namespace

std::int64_t TimeTagKey(const CalendarStamp& s) {
    static const std::int64_t kEpoch = DaysFromCivil(1899, 12, 30);
    return (DaysFromCivil(s.year, static_cast<unsigned>(s.month), static_cast<unsigned>(s.day)) - kEpoch) * 86400 +
           s.hours * 3600 + s.minutes * 60 + s.seconds;
}

std::optional<CalendarStamp> ParseTimestampText(std::string_view text) {
    CalendarStamp s;
    if (text.size() < 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    if (!ReadDigits(text, 0, 4, s.year) || !ReadDigits(text, 5, 2, s.month) || !ReadDigits(text, 8, 2, s.day) ||
        !ReadDigits(text, 11, 2, s.hours) || !ReadDigits(text, 14, 2, s.minutes) || !ReadDigits(text, 17, 2, s.seconds))
        return std::nullopt;
    std::string_view rest = text.substr(19);
    if (!rest.empty()) {
        if (rest[0] != '.' || rest.find_first_not_of('0', 1) != std::string_view::npos) return std::nullopt;
    }
    return s;
}

ExistingRows::ExistingRows(Database& database) : database_(database), query_(database) {}

std::unordered_map<std::int64_t, ExistingRow> ExistingRows::Read(const std::string& station, const std::string& sensor,
                                                                 DateTime first, DateTime last) {
    if (!query_.Prepared()) {
        query_.SetSql(database_.Engine() == DbEngine::SQLite ? kSqliteExistingRowsSql : kExistingRowsSql);
        query_.Prepare();
    }
    query_.SetString("STATION_ID", UpperCaseName(station));
    query_.SetString("SENSORNAME", UpperCaseName(sensor));
    if (database_.Engine() == DbEngine::SQLite) {
        // SQLite compares the texts: from the first second's shortest
        // spelling on, which a row stored without ".000" has.
        query_.SetString("FIRST_TAG", IsoDateTimeText(SplitDateTime(first)));
    } else {
        query_.SetDateTime("FIRST_TAG", first);
    }
    query_.SetDateTime("LAST_TAG", last);
    std::unordered_map<std::int64_t, ExistingRow> rows;
    query_.Open();
    for (; !query_.Eof(); query_.Next()) {
        const auto& fields = query_.Fields();
        const std::optional<CalendarStamp> second = ParseTimestampText(fields[0].AsString());
        if (!second) continue;
        ExistingRow row;
        row.sourceIsT = !fields[1].IsNull() && fields[1].AsString() == "T";
        row.orig = Number(fields[2]);
        row.ed = Number(fields[3]);
        row.edited = fields[4].AsString() != "0";
        rows.emplace(TimeTagKey(*second), row);
    }
    query_.Close();
    return rows;
}

}  // namespace vireo
