#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/DbError.h"
#include "db/WriteRoute.h"
#include "logfile/LogValueReader.h"
#include "status/StatusSink.h"
#include "status/UserDialogs.h"

namespace vireo {

class DataWriter;
class RejectsFile;

/// The station and station sensor of one pair of the pairing table.
struct TDBSensor {
    std::string StationId;
    std::string SensorName;
};

/// The pairing table of a run: built once from the import list, looked up for
/// every value without parsing entries again. The first pair of a log sensor
/// name (compared without regard to case) wins.
class SensorPairs {
public:
    void ClearSensorPairs();
    void BuildSensorPairs(const std::vector<std::string>& importList);
    /// The pair of `logSensor`, or nullptr.
    const TDBSensor* FindSensorPair(std::string_view logSensor) const;
    std::size_t PairCount() const { return pairs_.size(); }
    /// The pairs, in import-list order: log sensor name and its station sensor.
    const std::vector<std::pair<std::string, TDBSensor>>& Pairs() const { return pairs_; }

private:
    std::vector<std::pair<std::string, TDBSensor>> pairs_;
    // Keyed by the upper-cased name: for these short names a copy and the
    // standard hash are quicker than hashing without regard to case.
    std::unordered_map<std::string, std::size_t> firstByUpperName_;
};

/// What the front end shows of the data store's free share when a run starts.
struct FreeShareShown {
    enum class State { NotShown, Unknown, Known };
    State state = State::NotShown;
    int percent = 0;  // when Known
};

struct ImportRequest {
    std::string logFile;
    std::vector<std::string> importList;
    std::string chosenStation;  // the station picked in the window (or --station)
    FreeShareShown freeShare;
    /// The way the values go to the database, as asked for; the run takes
    /// the nearest route the connection can do (ValueWriter) and says so.
    WriteRoute route = WriteRoute::OneByOne;
    bool keepEdits = false;  // leave rows whose ED_VALUE differs from their ORIG_VALUE
    /// Following a growing file: the reading starts here instead of at the
    /// top, and a last line without its line end is left for a later run.
    std::optional<LogReadStart> from;
    bool completeLinesOnly = false;
    /// The file `from` was decided for: the run reads nothing from another
    /// one that took its place since (a log renamed and a new one made).
    std::optional<FileIdentity> lookedAt;
    /// Where every line or value that is not written goes; none when null.
    /// The front end creates it before the run and finishes it after.
    RejectsFile* rejects = nullptr;
    /// The log's time zone and the database's time base (as written unless both are zones).
    TimeZones zones;
};

/// The four checks before a run, each asked or reported through `dialogs`.
/// True when the run may start.
bool CheckImport(const ImportRequest& request, UserDialogs& dialogs);

/// The front end's view of a running import.
class ImportObserver {
public:
    virtual ~ImportObserver() = default;
    virtual void RunStarted() {}
    virtual void ProgressChanged(int /*percent 0..100*/) {}
    virtual void LineCounted(std::int64_t /*count*/) {}
    /// Called after each written value: the window lets its events through here.
    virtual void ValueWritten() {}
    /// The values read up to `place` are committed (ImportResult::committed
    /// as it stands now); called each time it moves on.
    virtual void Committed(const LogReadStart& /*place*/) {}
    virtual void RunEnded() {}
};

/// Stop requests: `stop` is tested before each line (the Stop action, Ctrl-C);
/// `closing` also before each value (the window is closing).
struct RunControl {
    std::atomic<bool> stop{false};
    std::atomic<bool> closing{false};
};

struct ImportCounts {
    std::int64_t inserted = 0;
    std::int64_t updated = 0;
    std::int64_t failed = 0;
    std::int64_t kept = 0;              // rows left as they were edited (keepEdits)
    std::int64_t withoutTimeTag = 0;    // paired values not written for want of a usable time tag
    std::int64_t outOfRange = 0;        // paired values not written: numbers too large for a double
    std::int64_t notANumber = 0;        // paired values whose text is no number
    std::int64_t withoutPair = 0;       // values whose name (and column heading) no entry pairs
    std::int64_t lines = 0;             // lines classified
    std::int64_t timeDoesNotExist = 0;  // paired values at a time the log's zone does not have
};

struct ImportResult {
    bool stopped = false;
    bool keepEdits = false;  // the run kept edited values: its summary counts them
    std::string error;       // the text of the error that ended the run; empty when none
    /// The database's error (SQLSTATE and native code with the text) when
    /// that is what ended the run.
    std::optional<DbError> dbError;
    ImportCounts counts;
    /// How far the values read are in the database, whatever ended the run:
    /// the offset after the last line read through whose values are all
    /// committed, with the lines before it and the .PRN headings in force
    /// there. A value that could not be written holds it at the start of its
    /// line. A run that starts from `from` never gives less than that.
    LogReadStart committed;
};

/// Runs one import: the line loop, the writes, progress and counts, and the end
/// steps ("Import process completed." always). Never throws; an error that ends
/// the run is returned in ImportResult::error after the end steps.
ImportResult RunImport(const ImportRequest& request, SensorPairs& pairs, DataWriter& writer, StatusSink& sink,
                       ImportObserver& observer, const RunControl& control);

}  // namespace vireo
