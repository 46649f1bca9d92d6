#pragma once

#include <chrono>
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

class BulkWriter;

/// The ways the values of an import reach TF_DATA1, slowest first. Every
/// route gives the same rows, counts and messages; they differ in speed and
/// in what a kill -9 or a power loss costs.
///  - OneByOne: one statement a value, each committed on its own.
///  - Batched: one statement a value inside batches of one transaction each.
///  - DriverSets: batches written in sets, many rows a statement, through the
///    ODBC driver (SQLite, PostgreSQL).
///  - EngineInterface: batches written through the engine's own interface
///    (the SQLite library on the database file, libpq on the server) where it
///    reaches the database, else as DriverSets.
enum class WriteRoute { OneByOne, Batched, DriverSets, EngineInterface };

/// Whether the route commits in batches (the fast mode).
inline bool InBatches(WriteRoute route) noexcept { return route != WriteRoute::OneByOne; }

/// The route of the switches the settings file and the command line have
/// always spelt: fast mode (FastImport=, --fast), bulk (BulkImport=, --bulk
/// on|off) and bulk through the driver only (--bulk odbc).
WriteRoute RouteOfSwitches(bool fast, bool bulk, bool driverOnly) noexcept;

/// The route a run takes, chosen once from the route asked for and what the
/// connection can do, with the reason when it is not the one asked for.
struct RouteChoice {
    WriteRoute asked = WriteRoute::OneByOne;
    WriteRoute taken = WriteRoute::OneByOne;
    std::string why;  // empty when taken == asked
};

/// What the door says of a value handed to it.
struct Handed {
    /// The routes of one statement a value: what became of the value, known
    /// at once. The set routes give it when the batch is written (WriteKept).
    std::optional<WriteResult> result;
    /// The batch's values handed before this one are not in the database
    /// after all: the engine lost the batch's transaction (a full disk), or
    /// one of them, written again after a conflict, was refused. `lost` holds
    /// what each had become, in the order handed, and `lostError` why they are
    /// gone; this value begins the batch that goes on.
    std::optional<DbError> lostError;
    std::vector<WriteResult> lost;
};

/// The one door through which a run's values reach TF_DATA1: it takes the
/// route chosen for the run, holds the batch (its transaction, its values and
/// what became of each), writes the batch again after a deadlock or a
/// serialization failure, and gives back an outcome for every value:
/// inserted, updated, kept, or not written with the driver's error.
///
/// On OneByOne a value is written and committed when handed. On Batched it
/// is written when handed, inside the batch. On the set routes the values of
/// a batch wait for WriteKept, which writes them in sets. A batch is in the
/// database once CommitBatch has returned (through the engine's interface,
/// once WriteKept has: it commits there in a transaction of its own).
class ValueWriter {
public:
    /// Sets write as the data writer does without keeping edited values: with
    /// those kept, a set route goes one statement a value (Batched).
    ValueWriter(DataWriter& writer, WriteRoute asked, bool keepEdits);
    ~ValueWriter();
    ValueWriter(const ValueWriter&) = delete;
    ValueWriter& operator=(const ValueWriter&) = delete;

    const RouteChoice& Choice() const noexcept { return choice_; }
    WriteRoute Route() const noexcept { return choice_.taken; }
    /// The route in words for the "Fast import route: " line.
    std::string RouteText() const;

    /// Asked between the tries of a batch or a value: once it says to stop,
    /// nothing is tried again, and values not tried are not written.
    void SetStopCheck(StopCheck stop);

    /// The routes in batches: the values handed from here on are one
    /// transaction, which CommitBatch ends.
    void BeginBatch();
    /// Hands one value to the door; its names must outlive the batch.
    Handed Write(const BulkValue& value);
    /// Whether the batch is due to be committed: it holds kBatchValues
    /// values, or is half a second old, or a conflict wants its locks gone.
    bool BatchDue() const;
    /// The set routes: writes the values handed since the last call; Results()
    /// then says what became of each. Throws DbError when the connection
    /// cannot write: none of them is written then (Results() says so with the
    /// error). Nothing to do on the other routes.
    void WriteKept();
    /// What became of the batch's values so far, in the order handed.
    std::span<const WriteResult> Results() const noexcept { return results_; }
    /// Commits the batch. Throws DbError when it cannot: the batch's values
    /// are then not in the database. The batch is ended either way.
    void CommitBatch();
    bool InBatch() const noexcept { return batch_.has_value(); }

private:
    /// A value met a deadlock or a serialization failure inside the batch:
    /// the batch is rolled back, its values written again in key order, then
    /// this one, until it is written, fails otherwise, the tries run out or
    /// the run is to stop.
    WriteResult WriteAgain(const BulkValue& value, WriteResult written, Handed& handed);
    bool Conflict(const WriteResult& written) const;
    /// The batch's values so far are lost: they move to `handed`.
    void LoseBatch(const DbError& why, Handed& handed);
    WriteResult WriteOne(const BulkValue& value);

    // A batch is committed after kBatchValues values or half a second,
    // whichever comes first, and before the run ends for any reason.
    static constexpr std::size_t kBatchValues = 50000;
    static constexpr std::chrono::milliseconds kBatchTime{500};

    DataWriter& writer_;
    RouteChoice choice_;
    std::unique_ptr<BulkWriter> sets_;
    StopCheck stop_;
    std::optional<BatchGuard> batch_;
    // The batch's values, what became of each, and where WriteKept goes on from.
    std::vector<BulkValue> values_;
    std::vector<WriteResult> results_;
    std::size_t kept_ = 0;
    std::vector<WriteResult> written_;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace vireo
