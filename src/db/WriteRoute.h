#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace vireo {

class DataWriter;
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

/// The writer of a run's values on the route chosen for it: the one place
/// where the route is decided. The set writer is there on the two set routes.
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
    /// The set writer on DriverSets and EngineInterface; null otherwise.
    BulkWriter* Sets() const noexcept { return sets_.get(); }
    /// The route in words for the "Fast import route: " line.
    std::string RouteText() const;

private:
    DataWriter& writer_;
    RouteChoice choice_;
    std::unique_ptr<BulkWriter> sets_;
};

}  // namespace vireo
