#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/DataWriter.h"
#include "scan/Chronos.h"

namespace vireo {

class Database;

/// One value for the bulk writer. The names are those of the pairing, as the
/// data writer takes them (written in upper case); they must outlive the write.
struct BulkValue {
    std::string_view station;
    std::string_view sensor;
    DateTime timeTag = 0;
    double value = 0;
};

/// Writes whole batches of a fast import through the engine's own interface
/// (the SQLite library on the data source's file, libpq on its server), on a
/// connection of its own beside the ODBC one, each batch in a transaction of
/// its own. A value means what it means to the data writer: its row is
/// inserted, or the row of its station, sensor and time tag gets the new
/// edited value and source while its original value stays; the stored form
/// is the ODBC driver's own, so that either path finds and updates the rows of
/// the other.
///
/// The ODBC connection must hold no lock and no open statement of the table
/// while a batch is written (its batch transaction has written nothing yet).
class DirectWriter {
public:
    virtual ~DirectWriter() = default;

    /// Writes `values` in their order with the source mark (empty: "T") and
    /// commits them; results[i] becomes Inserted or Updated for values[i],
    /// exactly as one statement a value would have said (a key met again in
    /// the batch is Updated). Throws DbError when anything fails: the batch's
    /// transaction is then rolled back, nothing of the batch is written, and
    /// the caller writes it another way.
    virtual void WriteBatch(std::span<const BulkValue> values, std::string_view source,
                            std::vector<WriteResult>& results) = 0;

    /// False once the own connection is gone: no batch is tried on it again.
    virtual bool Usable() const noexcept = 0;
};

}  // namespace vireo
