#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/ConflictRetry.h"
#include "db/DataWriter.h"
#include "db/DirectWriter.h"

namespace vireo {

class Database;

/// The order in which a batch is written: by station, sensor (without regard
/// to case, as they are written) and the second of the time tag; values of one
/// key keep their order. order[k] is the place in `values` of the k-th value.
/// Two writers that keep it take their row locks in the same order.
void KeyOrder(std::span<const BulkValue> values, std::vector<std::size_t>& order);

/// Writes the values of a fast import in sets, many rows a statement, inside
/// the data writer's batch. Each value means what it means to the data writer:
/// its row is inserted, or, when a row with its station, sensor and time tag
/// exists, that row gets the new edited value and source while its original
/// value stays. Every value gets its own outcome, Inserted or Updated exactly
/// as one statement a value would have said, or Failed with the driver's
/// words. A set that the engine refuses is written again value by value
/// through the data writer, so that exactly the refused values fail.
///
/// SQLite: sets of 100 rows, one INSERT ... ON CONFLICT DO UPDATE each; which
/// rows exist is read first, one range of time tags per station sensor.
/// PostgreSQL: sets of up to 10,000 rows sent as one JSON text, expanded by the
/// server into one INSERT ... ON CONFLICT DO UPDATE that returns which rows it
/// inserted; a set ends before a row whose key it already holds.
///
/// Where the engine's own interface can reach the database (see
/// DirectWriter), a whole batch goes that way first, in one transaction of its
/// own; should it fail, nothing of it is written and it goes the ways above.
///
/// A batch is written in the order of its keys (station, sensor, time tag; a
/// key met twice keeps its order), so that two writers take their row locks
/// in the same order and wait for each other instead of deadlocking. Inside
/// the data writer's batch, a batch that meets a deadlock or serialization
/// failure on any way is rolled back whole (the data writer's batch with it)
/// and tried again, up to kConflictTries times with a growing pause, before
/// its values are given as not written.
class BulkWriter {
public:
    /// True when the engine of the open database has a set path here.
    static bool Supports(const Database& database);

    /// How a batch may go: through the engine's own interface where it can,
    /// else through the driver in sets; or through the driver in sets only.
    enum class Route { EngineInterface, DriverSets };

    /// On the data writer's database, which must be open and of a supported engine.
    explicit BulkWriter(DataWriter& writer, Route route = Route::EngineInterface);
    ~BulkWriter();
    BulkWriter(const BulkWriter&) = delete;
    BulkWriter& operator=(const BulkWriter&) = delete;

    /// Writes `values` in their order with the source mark (empty: "T");
    /// results[i] becomes what became of values[i]. When the engine loses the
    /// batch's transaction on the way, the values written before in this call
    /// are given as Failed too (they are gone); once the connection is lost,
    /// every value left is Failed without being tried.
    void Write(std::span<const BulkValue> values, std::string_view source, std::vector<WriteResult>& results);

    /// Asked between tries of a batch and between values written one by one:
    /// once it says to stop, a batch is not tried again, and the values not
    /// yet tried one by one are given as not written (kStoppedBeforeWrite).
    void SetStopCheck(StopCheck stop) { stop_ = std::move(stop); }
    /// Tries of a batch that met a deadlock or serialization failure.
    std::size_t Conflicts() const noexcept { return conflicts_; }

    /// Sets written as sets so far, and sets written again value by value.
    std::size_t SetsWritten() const noexcept { return setsWritten_; }
    std::size_t SetsRefused() const noexcept { return setsRefused_; }
    /// Batches written through the engine's own interface, and batches it
    /// refused (written the other ways instead).
    std::size_t BatchesDirect() const noexcept { return batchesDirect_; }
    std::size_t BatchesDirectRefused() const noexcept { return batchesDirectRefused_; }
    /// Whether batches go through the engine's own interface; when not, why.
    bool Direct() const noexcept { return direct_ != nullptr; }
    const std::string& WhyNotDirect() const noexcept { return whyNotDirect_; }

    class Path;

private:
    /// Writes `values` (in key order) until a try ends without a conflict,
    /// the tries run out, or the stop check says to stop.
    void WriteTries(std::span<const BulkValue> values, std::string_view source, std::vector<WriteResult>& results);
    /// One try of the batch; false when it met a conflict (kept in conflict_)
    /// and nothing of it is written.
    bool WriteOnce(std::span<const BulkValue> values, std::string_view source, std::vector<WriteResult>& results);
    /// Whether `error` is a conflict after which the batch is tried again;
    /// when it is, the data writer's batch is rolled back and begun again.
    bool RolledBackFor(const DbError& error);

    /// Values written one by one through the data writer: those of a set the
    /// engine refused (`refusal`), or all that are left when sets do not suit
    /// (null). False when the connection is gone and nothing further can be
    /// written, or the batch met a conflict and was rolled back.
    bool WriteOneByOne(std::span<const BulkValue> values, std::size_t first, std::size_t count, std::string_view source,
                       const DbError* refusal, std::vector<WriteResult>& results);

    /// Writes the batch through the engine's own interface; false when it
    /// cannot (nothing written then; conflict_ set when it met a conflict).
    bool WriteDirect(std::span<const BulkValue> values, std::string_view source, std::vector<WriteResult>& results);

    DataWriter& writer_;
    StopCheck stop_;
    std::optional<DbError> conflict_;
    std::size_t conflicts_ = 0;
    // The batch in key order: where each value came from, and the values and results so.
    std::vector<std::size_t> order_;
    std::vector<BulkValue> ordered_;
    std::vector<WriteResult> orderedResults_;
    std::unique_ptr<Path> path_;
    std::unique_ptr<DirectWriter> direct_;
    std::string whyNotDirect_;

    /// A set was refused although each of its values could be written (the
    /// set statement does not suit this database), or the engine lost a
    /// transaction: the rest of the run goes value by value.
    bool setsUnsuitable_ = false;
    std::size_t setsWritten_ = 0;
    std::size_t setsRefused_ = 0;
    std::size_t batchesDirect_ = 0;
    std::size_t batchesDirectRefused_ = 0;
};

}  // namespace vireo
