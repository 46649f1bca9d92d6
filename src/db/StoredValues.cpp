#include "db/StoredValues.h"

#include <charconv>
#include <stdexcept>

#include "db/Query.h"
#include "scan/AsciiCase.h"

namespace vireo {
namespace {

bool ReadDigits(std::string_view text, std::size_t at, std::size_t count, int& number) {
    if (at + count > text.size()) return false;
    const char* const begin = text.data() + at;
    const auto [end, error] = std::from_chars(begin, begin + count, number);
    return error == std::errc() && end == begin + count;
}

std::optional<double> NumberOf(const QueryField& field) {
    if (field.IsNull()) return std::nullopt;
    const std::string& text = field.AsString();
    double number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw std::runtime_error("The database gave " + field.name + " '" + text + "', which is not a number.");
    }
    return number;
}

}  // namespace

std::optional<SecondStamp> StampOfTimestampText(std::string_view text) {
    int year = 0, month = 0, day = 0, hours = 0, minutes = 0, seconds = 0;
    if (text.size() < 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    if (!ReadDigits(text, 0, 4, year) || !ReadDigits(text, 5, 2, month) || !ReadDigits(text, 8, 2, day) ||
        !ReadDigits(text, 11, 2, hours) || !ReadDigits(text, 14, 2, minutes) || !ReadDigits(text, 17, 2, seconds)) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hours > 23 || minutes > 59 || seconds > 59) {
        return std::nullopt;
    }
    return StampOf(year, month, day, hours, minutes, seconds);
}

std::vector<StoredValue> ReadStoredValues(Database& database, std::string_view stationId, std::string_view sensorName,
                                          SecondStamp from, SecondStamp to) {
    Query query(database);
    query.SetSql(kStoredValuesSql);
    query.Prepare();
    query.SetString("STATION_ID", UpperCaseName(stationId));
    query.SetString("SENSORNAME", UpperCaseName(sensorName));
    query.SetDateTime("FROM_TAG", SecondsToDateTime(from));
    query.SetDateTime("TO_TAG", SecondsToDateTime(to));
    query.Open();
    std::vector<StoredValue> rows;
    for (; !query.Eof(); query.Next()) {
        const QueryField& timeTag = query.FieldByName("TIME_TAG");
        const std::optional<SecondStamp> stamp = StampOfTimestampText(timeTag.AsString());
        if (!stamp) {
            throw std::runtime_error("The database gave TIME_TAG '" + timeTag.AsString() +
                                     "', which is not a time tag.");
        }
        rows.push_back({*stamp, NumberOf(query.FieldByName("ORIG_VALUE")), NumberOf(query.FieldByName("ED_VALUE"))});
    }
    query.Close();
    return rows;
}

}  // namespace vireo
