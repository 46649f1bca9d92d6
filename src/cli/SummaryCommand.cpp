// vireo-import summary: the numbers of each sensor name of a log file (count,
// span, minimum, maximum, median interval, gaps, refused values), as a table
// or as JSON.

#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliOptions.h"
#include "cli/LogFileArgument.h"
#include "cli/ZoneOptions.h"
#include "db/TextEncoding.h"
#include "import/ImportList.h"
#include "preview/LogSeries.h"
#include "preview/SeriesText.h"
#include "scan/JsonText.h"

namespace vireo::cli {
namespace {

constexpr const char* kName = "vireo-import summary";
constexpr const char* kUsage =
    "usage: vireo-import summary LOGFILE [--pair \"LOG||STATION.SENSOR\" ...] [--format table|json]\n";
constexpr const char* kHelp =
    "Reads the log file as an import run does and prints, for each sensor name, the\n"
    "number of values with a time tag and a number, the first and last time tag,\n"
    "the smallest and largest value, the median interval between time tags, the\n"
    "gaps (intervals longer than three times the median) and the refused values\n"
    "(no usable time tag, not a number), with their line numbers below the table.\n"
    "\n"
    "  --pair ENTRY     only the log sensor of this import entry; repeatable\n"
    "  --format FORMAT  table (the default) or json\n"
    "\n"
    "Without --pair every name of the file is listed. Time tags are printed as\n"
    "YYYY-MM-DD HH:MM:SS, intervals as HH:MM:SS (JSON: in seconds). The table\n"
    "prints the log's names and texts as the file holds them (as 'sensors' does);\n"
    "JSON gives them in UTF-8, read as Windows-1252.\n"
    "With the two zones, time tags are those the database would store, and the\n"
    "first and last as the log writes them stand beside them (FIRST IN LOG,\n"
    "LAST IN LOG; JSON: firstInLog, lastInLog).\n";

/// How many gaps and refused values of one name the table lists below it.
constexpr std::size_t kListedPerName = 10;

std::string Padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

/// The log's first and last time tag, each after the stored one.
void InsertLogTimes(std::vector<std::string>& row, std::string first, std::string last) {
    row.insert(row.begin() + 4, std::move(last));
    row.insert(row.begin() + 3, std::move(first));
}

void PrintTable(const LogSeriesReading& reading, bool converted, std::ostream& out) {
    std::vector<std::string> heading = {"NAME", "COUNT",           "FIRST", "LAST",   "MIN",
                                        "MAX",  "MEDIAN INTERVAL", "GAPS",  "REFUSED"};
    if (converted) InsertLogTimes(heading, "FIRST IN LOG", "LAST IN LOG");
    std::vector<std::vector<std::string>> rows;
    for (const NameSeries& series : reading.series) {
        const SeriesStats& stats = series.stats;
        const bool any = stats.count > 0;
        rows.push_back({series.name, std::to_string(stats.count), any ? IsoTimeTagText(stats.first) : "-",
                        any ? IsoTimeTagText(stats.last) : "-", any ? ShortestNumberText(stats.minimum) : "-",
                        any ? ShortestNumberText(stats.maximum) : "-",
                        stats.medianInterval > 0 ? DurationText(stats.medianInterval) : "-",
                        std::to_string(stats.gaps.size()), std::to_string(stats.refusedCount)});
        if (converted) {
            InsertLogTimes(rows.back(), any ? IsoTimeTagText(stats.firstWritten) : "-",
                           any ? IsoTimeTagText(stats.lastWritten) : "-");
        }
    }
    std::vector<std::size_t> widths(heading.size());
    for (std::size_t c = 0; c < heading.size(); ++c) {
        widths[c] = heading[c].size();
        for (const auto& row : rows) widths[c] = std::max(widths[c], row[c].size());
    }
    const auto printRow = [&](const std::vector<std::string>& row) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? Padded(row[c], widths[c] + 2) : row[c];
        out << line << "\n";
    };
    printRow(heading);
    for (const auto& row : rows) printRow(row);

    for (const NameSeries& series : reading.series) {
        const std::string& name = series.name;
        for (std::size_t i = 0; i < series.stats.gaps.size() && i < kListedPerName; ++i) {
            const SeriesGap& gap = series.stats.gaps[i];
            out << name << ": gap from " << IsoTimeTagText(gap.from) << " to " << IsoTimeTagText(gap.to) << " ("
                << DurationText(std::int64_t{gap.to} - gap.from) << ")\n";
        }
        if (series.stats.gaps.size() > kListedPerName) {
            out << name << ": " << series.stats.gaps.size() - kListedPerName << " more gaps\n";
        }
        for (std::size_t i = 0; i < series.refused.size() && i < kListedPerName; ++i) {
            const RefusedValue& refused = series.refused[i];
            out << name << ": line " << refused.line << ": " << RefusalText(refused.reason) << ": '"
                << refused.valueText << "'\n";
        }
        if (series.stats.refusedCount > kListedPerName) {
            out << name << ": " << series.stats.refusedCount - kListedPerName << " more refused values\n";
        }
    }
    if (reading.series.empty()) out << "No sensor values in the log file.\n";
}

/// A JSON string of a text that is already UTF-8 (a file name, a text of ours).
std::string JsonText(std::string_view utf8) { return JsonString(utf8); }

/// A JSON string of a text of the log file (Windows-1252).
std::string JsonLogText(std::string_view text) { return JsonText(Windows1252ToUtf8(text)); }

std::string JsonNumber(double value) { return std::isfinite(value) ? ShortestNumberText(value) : "null"; }

void PrintJson(const std::string& path, const LogSeriesReading& reading, bool converted, std::ostream& out) {
    out << "{\"file\": " << JsonText(path) << ", \"size\": " << reading.fileSize << ", \"sensors\": [";
    bool firstSeries = true;
    for (const NameSeries& series : reading.series) {
        const SeriesStats& stats = series.stats;
        const bool any = stats.count > 0;
        out << (firstSeries ? "\n" : ",\n") << "  {\"name\": " << JsonLogText(series.name)
            << ", \"count\": " << stats.count
            << ", \"first\": " << (any ? JsonText(IsoTimeTagText(stats.first)) : "null")
            << ", \"last\": " << (any ? JsonText(IsoTimeTagText(stats.last)) : "null");
        if (converted) {
            out << ", \"firstInLog\": " << (any ? JsonText(IsoTimeTagText(stats.firstWritten)) : "null")
                << ", \"lastInLog\": " << (any ? JsonText(IsoTimeTagText(stats.lastWritten)) : "null");
        }
        out << ", \"min\": " << (any ? JsonNumber(stats.minimum) : "null")
            << ", \"max\": " << (any ? JsonNumber(stats.maximum) : "null")
            << ", \"medianInterval\": " << (stats.medianInterval > 0 ? std::to_string(stats.medianInterval) : "null")
            << ", \"stepsBack\": " << stats.stepsBack << ",\n   \"gaps\": [";
        firstSeries = false;
        bool first = true;
        for (const SeriesGap& gap : stats.gaps) {
            out << (first ? "" : ", ") << "{\"from\": " << JsonText(IsoTimeTagText(gap.from))
                << ", \"to\": " << JsonText(IsoTimeTagText(gap.to))
                << ", \"seconds\": " << std::int64_t{gap.to} - gap.from << "}";
            first = false;
        }
        out << "],\n   \"refusedCount\": " << stats.refusedCount << ", \"refused\": [";
        first = true;
        for (const RefusedValue& refused : series.refused) {
            out << (first ? "" : ", ") << "{\"line\": " << refused.line
                << ", \"reason\": " << JsonText(RefusalText(refused.reason))
                << ", \"text\": " << JsonLogText(refused.valueText)
                << ", \"timeTag\": " << (refused.hasTimeTag ? JsonText(IsoTimeTagText(refused.stamp)) : "null") << "}";
            first = false;
        }
        out << "]}";
    }
    out << (firstSeries ? "]}\n" : "\n]}\n");
}

int RunSummary(CommandContext& context) {
    CliOptions options;
    options.Value("--pair", true).Value("--format").Flag("--help").Flag("-h");
    AddZoneOptions(options);
    std::string error;
    if (!options.Parse(context.args, error)) {
        context.err << kName << ": " << error << "\n" << kUsage;
        return 2;
    }
    if (options.Has("--help") || options.Has("-h")) {
        context.out << kUsage << "\n" << kHelp << "\n" << kZoneHelp;
        return 0;
    }
    if (options.Positional().size() != 1) {
        context.err << kUsage;
        return 2;
    }
    const std::string format = options.Get("--format", "table");
    if (format != "table" && format != "json") {
        context.err << kName << ": unknown format '" << format << "' (table or json)\n";
        return 2;
    }
    std::vector<std::string> names;
    for (const std::string& entry : options.All("--pair")) {
        if (!IsImportEntry(entry)) {
            context.err << kName << ": '" << entry << "' is not an import entry (LOG||STATION.SENSOR)\n";
            return 2;
        }
        names.push_back(SplitImportEntry(entry).logSensor);
    }
    const std::string& path = options.Positional().front();
    const std::optional<TimeZones> zones = ZonesOf(options, nullptr, kName, context.err);
    if (!zones) return 2;
    if (!CheckLogFile(path, kName, context.err)) return 2;
    SeriesReadControl control;
    control.zones = *zones;
    // A file that cannot be read throws LogFileError; the dispatcher prints its text.
    const LogSeriesReading reading = ReadLogSeries(path, names, control);
    if (format == "json") {
        PrintJson(path, reading, zones->Converts(), context.out);
    } else {
        PrintTable(reading, zones->Converts(), context.out);
    }
    return 0;
}

const Registrar reg{"summary", "print count, span, minimum, maximum, intervals and gaps of each log sensor",
                    &RunSummary};

}  // namespace
}  // namespace vireo::cli
