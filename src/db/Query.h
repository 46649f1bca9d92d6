#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/DbError.h"
#include "db/OdbcHandle.h"
#include "scan/Chronos.h"

namespace vireo {

class Database;

/// The timestamp the database layer binds for a time tag: the calendar
/// second nearest to it, no fraction.
SQL_TIMESTAMP_STRUCT OdbcTimestamp(DateTime timeTag);

/// One column of the current row.
struct QueryField {
    std::string name;
    bool null = true;
    std::string text;
    /// The server's own UTF-8 text, kept only when Windows-1252 cannot hold
    /// all of it (then `text` has '?' in those places); empty otherwise.
    std::string serverText;

    bool IsNull() const noexcept { return null; }
    /// The value as text; empty when null.
    const std::string& AsString() const noexcept { return text; }
    /// False when `text` lost characters on the way from the server.
    bool Representable() const noexcept { return serverText.empty(); }
};

/// A statement on one database. Parameters are named in the statement text
/// as a colon and a name (":STATION_ID"); each name gets one value, which
/// every occurrence of the name receives. Every failure throws DbError.
class Query {
public:
    explicit Query(Database& database);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    /// Closes the query and replaces its statement text; it is prepared again
    /// before the next run.
    void SetSql(std::string_view text);

    /// Prepares the statement on the database, which must be open. Parameter
    /// values bound before are dropped.
    void Prepare();
    bool Prepared() const noexcept { return prepared_; }

    /// Binds the value of one parameter (name without the colon, any case).
    void SetString(std::string_view name, std::string_view value);
    /// A timestamp exact to the second: the calendar second nearest to `value`.
    void SetDateTime(std::string_view name, DateTime value);
    void SetDouble(std::string_view name, double value);

    /// Runs a statement without a result set (preparing it first if needed).
    void ExecSql();
    /// The same for a statement that may well be refused (an insert of a row
    /// that exists): false when the driver refuses it, with no exception
    /// thrown; ExecError() then tells why. Other failures throw DbError as
    /// ExecSql does.
    bool TryExecSql();
    /// Why the last TryExecSql was refused, from the statement's diagnostics.
    /// Ask before the next call on this query, which clears them.
    DbError ExecError() const;
    /// Rows the last ExecSql inserted, updated or deleted.
    std::int64_t RowsAffected() const noexcept { return rowsAffected_; }

    /// Runs a statement with a result set and moves to its first row.
    void Open();
    bool Eof() const noexcept { return eof_; }
    void Next();
    /// The column of the current row named `name`, compared without regard to case.
    const QueryField& FieldByName(std::string_view name) const;
    /// The columns of the current row, in the statement's order.
    const std::vector<QueryField>& Fields() const noexcept { return fields_; }

    /// Closes the result set; the preparation and the bound values stay.
    void Close() noexcept;

private:
    friend class Database;
    struct Parameter {
        std::string name;
        std::vector<SQLUSMALLINT> positions;
        enum class Kind { None, Text, Stamp, Number } kind = Kind::None;
        std::string text;
        SQL_TIMESTAMP_STRUCT stamp{};
        double number = 0;
        SQLLEN indicator = 0;
        /// What the driver holds for the positions of the parameter: binding
        /// the same again is left out (cType 0: nothing bound yet).
        struct Binding {
            SQLSMALLINT cType = 0;
            SQLSMALLINT sqlType = 0;
            SQLULEN size = 0;
            SQLPOINTER data = nullptr;
            SQLLEN length = 0;
            bool operator==(const Binding&) const = default;
        } bound;
    };
    SQLHSTMT Statement() const noexcept { return stmt_.get(); }
    Parameter& ParameterNamed(std::string_view name);
    void BindPositions(Parameter& parameter, SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size, SQLPOINTER data,
                       SQLLEN length);
    void Execute();
    /// Everything Execute does before SQLExecute.
    void ReadyToExecute();
    void TakeRowCount();
    void FetchRow();
    void Detach() noexcept;
    void Check(SQLRETURN rc, const char* action) const;

    Database* database_;
    std::string sql_;
    OdbcHandle stmt_;
    bool prepared_ = false;
    std::vector<Parameter> parameters_;  // fixed from Prepare on: the driver holds their addresses
    std::int64_t rowsAffected_ = 0;
    SQLRETURN refused_ = SQL_SUCCESS;  // what SQLExecute gave in the last TryExecSql
    bool open_ = false;
    bool eof_ = true;
    std::vector<QueryField> fields_;
    std::string buffer_;
};

}  // namespace vireo
