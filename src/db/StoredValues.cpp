#include "db/StoredValues.h"

#include <charconv>
#include <stdexcept>

#include "db/Query.h"
#include "db/TimeTagKey.h"
#include "scan/AsciiCase.h"

namespace vireo {
namespace {

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
