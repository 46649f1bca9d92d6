#include "db/WriteRoute.h"

#include "db/BulkWriter.h"
#include "db/DataWriter.h"
#include "db/Database.h"

namespace vireo {

WriteRoute RouteOfSwitches(bool fast, bool bulk, bool driverOnly) noexcept {
    if (!fast) return WriteRoute::OneByOne;
    if (!bulk) return WriteRoute::Batched;
    return driverOnly ? WriteRoute::DriverSets : WriteRoute::EngineInterface;
}

ValueWriter::ValueWriter(DataWriter& writer, WriteRoute asked, bool keepEdits) : writer_(writer) {
    choice_.asked = choice_.taken = asked;
    if (asked != WriteRoute::DriverSets && asked != WriteRoute::EngineInterface) return;
    if (keepEdits) {
        choice_.taken = WriteRoute::Batched;
        choice_.why = "edited values are kept";
        return;
    }
    if (!BulkWriter::Supports(writer.Connection())) {
        choice_.taken = WriteRoute::Batched;
        choice_.why = "no set path for this database engine";
        return;
    }
    sets_ = std::make_unique<BulkWriter>(
        writer, asked == WriteRoute::DriverSets ? BulkWriter::Route::DriverSets : BulkWriter::Route::EngineInterface);
    if (asked == WriteRoute::EngineInterface && !sets_->Direct()) {
        choice_.taken = WriteRoute::DriverSets;
        choice_.why = sets_->WhyNotDirect();
    }
}

ValueWriter::~ValueWriter() = default;

std::string ValueWriter::RouteText() const {
    const bool postgres = writer_.Connection().Engine() == DbEngine::PostgreSQL;
    switch (choice_.taken) {
        case WriteRoute::EngineInterface:
            return postgres ? "COPY through libpq" : "the SQLite library on the database file";
        case WriteRoute::DriverSets:
            return "sets through the driver";
        case WriteRoute::Batched:
        case WriteRoute::OneByOne:
            break;
    }
    return "one statement a value through the driver";
}

}  // namespace vireo
