#include "db/ExistingRows.h"

#include <charconv>
#include <cstdlib>

#include "db/Database.h"
#include "scan/AsciiCase.h"

namespace vireo {
namespace {

std::optional<double> Number(const QueryField& field) {
    if (field.IsNull()) return std::nullopt;
    const std::string& text = field.AsString();
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc()) return std::nullopt;
    return value;
}

}  // namespace

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
