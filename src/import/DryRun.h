#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "import/ImportRun.h"
#include "scan/Chronos.h"

namespace vireo {

class Database;

/// What an import would do with the values of one import entry.
struct EntryForecast {
    std::string entry;  // log sensor "||" station "." station sensor
    std::int64_t insert = 0;
    std::int64_t update = 0;
    std::int64_t unchanged = 0;  // an update to the very row that is there (value and source "T")
    std::int64_t kept = 0;       // rows left as edited (keepEdits)
    std::int64_t noTimeTag = 0;
    std::int64_t notANumber = 0;
    std::int64_t outOfRange = 0;
    std::int64_t timeDoesNotExist = 0;  // refused: a time the log's zone does not have
    std::int64_t repeatedHour = 0;      // would be written from an hour the log's clock writes twice
    std::optional<DateTime> first;      // time span of the values that would be written
    std::optional<DateTime> last;
};

/// Values of a log sensor name that no entry pairs.
struct UnpairedForecast {
    std::string name;
    std::int64_t values = 0;
};

/// What an import of the same file, list and options would do, found without
/// writing: an entry per pair of the pairing table (in import-list order), the
/// unpaired names (sorted), the line counts. Its counts are what the import
/// then counts: inserted = insert, updated = update + unchanged, kept = kept,
/// and the same values without time tag and out of range.
struct DryRunReport {
    std::string logFile;
    bool keepEdits = false;
    bool partial = false;  // stopped (or ended by an error) before the end of the file
    std::string error;     // the error that ended it; empty when none
    std::vector<EntryForecast> entries;
    std::vector<UnpairedForecast> unpaired;
    std::int64_t lines = 0;  // lines classified, as the import counts them
    std::int64_t linesTooLong = 0;
    std::int64_t notARecord = 0;
};

/// A dry run: the import's line loop and pairing, with the database only read
/// (one query per station sensor and batch of values). Rejected lines and
/// values go to request.rejects as in an import (a value the database would
/// refuse cannot be known). Stops before the next line when `control` asks;
/// the report is then partial. Never throws.
DryRunReport RunDryRun(const ImportRequest& request, Database& database, ImportObserver& observer,
                       const RunControl& control);

/// The counts an import of the same file would give, summed over the report:
/// inserted, updated (update and unchanged), kept, without time tag, not a
/// number, out of range, without a pair and the lines. What the database would
/// refuse cannot be known: "not written" stays 0.
ImportCounts ForecastCounts(const DryRunReport& report);

/// The report as a table of text lines, for a terminal and the window; the
/// time tags as `timeTagText` writes them (ISO 8601 without it).
std::string DryRunTable(const DryRunReport& report);
std::string DryRunTable(const DryRunReport& report, std::string (*timeTagText)(DateTime));
/// The report as one JSON object (UTF-8).
std::string DryRunJson(const DryRunReport& report);

}  // namespace vireo
