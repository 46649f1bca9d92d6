#include "db/Query.h"

#include <sqlext.h>

#include <algorithm>
#include <optional>

#include "db/Database.h"
#include "db/DbError.h"
#include "db/NamedParameters.h"
#include "db/TextEncoding.h"

namespace vireo {

Query::Query(Database& database) : database_(&database) { database.queries_.push_back(this); }

Query::~Query() {
    Detach();
    if (database_ != nullptr) std::erase(database_->queries_, this);
}

void Query::Check(SQLRETURN rc, const char* action) const {
    CheckOdbc(rc, SQL_HANDLE_STMT, stmt_.get(), action, database_ != nullptr ? database_->Text() : DriverText::Bytes);
}

void Query::Detach() noexcept {
    Close();
    stmt_.reset();
    prepared_ = false;
    parameters_.clear();
}

void Query::SetSql(std::string_view text) {
    Detach();
    sql_ = text;
}

void Query::Prepare() {
    if (database_ == nullptr || !database_->Connected()) throw DbError("Connection not open", "08003", 0);
    Close();
    prepared_ = false;
    if (stmt_) SQLFreeStmt(stmt_.get(), SQL_RESET_PARAMS);  // the driver must not keep addresses of old values
    parameters_.clear();
    if (!stmt_) stmt_ = OdbcHandle::Allocate(SQL_HANDLE_STMT, database_->Handle());

    MarkedStatement marked = MarkParameters(sql_);
    if (database_->Text() == DriverText::Utf8) marked.text = Windows1252ToUtf8(marked.text);
    Check(SQLPrepare(stmt_.get(), reinterpret_cast<SQLCHAR*>(marked.text.data()),
                     static_cast<SQLINTEGER>(marked.text.size())),
          "SQLPrepare");

    for (std::size_t i = 0; i < marked.markers.size(); ++i) {
        const auto position = static_cast<SQLUSMALLINT>(i + 1);
        auto known = std::find_if(parameters_.begin(), parameters_.end(),
                                  [&](const Parameter& p) { return SameName(p.name, marked.markers[i]); });
        if (known == parameters_.end()) {
            Parameter parameter;
            parameter.name = marked.markers[i];
            parameter.positions.push_back(position);
            parameters_.push_back(std::move(parameter));
        } else {
            known->positions.push_back(position);
        }
    }
    prepared_ = true;
}

Query::Parameter& Query::ParameterNamed(std::string_view name) {
    if (!prepared_) Prepare();
    // Names are unique without regard to case (Prepare joins them): the
    // spelling of the statement, the usual one, is found the quick way.
    auto found =
        std::find_if(parameters_.begin(), parameters_.end(), [&](const Parameter& p) { return p.name == name; });
    if (found == parameters_.end()) {
        found = std::find_if(parameters_.begin(), parameters_.end(),
                             [&](const Parameter& p) { return SameName(p.name, name); });
    }
    if (found == parameters_.end()) throw DbError("Parameter '" + std::string(name) + "' not found", "07009", 0);
    return *found;
}

void Query::BindPositions(Parameter& parameter, SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size, SQLPOINTER data,
                          SQLLEN length) {
    // The driver reads the buffers at each execution: a value written into
    // the buffer it already holds, with the same type and sizes, needs no
    // new binding.
    const Parameter::Binding binding{cType, sqlType, size, data, length};
    if (parameter.bound == binding) return;
    parameter.bound = Parameter::Binding{};
    for (SQLUSMALLINT position : parameter.positions) {
        Check(SQLBindParameter(stmt_.get(), position, SQL_PARAM_INPUT, cType, sqlType, size, 0, data, length,
                               &parameter.indicator),
              "SQLBindParameter");
    }
    parameter.bound = binding;
}

void Query::SetString(std::string_view name, std::string_view value) {
    Parameter& parameter = ParameterNamed(name);
    parameter.kind = Parameter::Kind::Text;
    if (database_->Text() == DriverText::Utf8) {
        parameter.text = Windows1252ToUtf8(value);
    } else {
        parameter.text.assign(value);  // keeps the buffer the driver holds when the value fits
    }
    parameter.indicator = static_cast<SQLLEN>(parameter.text.size());
    BindPositions(parameter, SQL_C_CHAR, SQL_VARCHAR, std::max<SQLULEN>(parameter.text.size(), 1),
                  parameter.text.data(), static_cast<SQLLEN>(parameter.text.size()));
}

SQL_TIMESTAMP_STRUCT OdbcTimestamp(DateTime timeTag) {
    const CalendarStamp second = SplitDateTime(timeTag);
    return SQL_TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(second.year),
                                static_cast<SQLUSMALLINT>(second.month),
                                static_cast<SQLUSMALLINT>(second.day),
                                static_cast<SQLUSMALLINT>(second.hours),
                                static_cast<SQLUSMALLINT>(second.minutes),
                                static_cast<SQLUSMALLINT>(second.seconds),
                                0};
}

void Query::SetDateTime(std::string_view name, DateTime value) {
    Parameter& parameter = ParameterNamed(name);
    parameter.kind = Parameter::Kind::Stamp;
    parameter.stamp = OdbcTimestamp(value);
    parameter.indicator = sizeof parameter.stamp;
    // 19 characters: "yyyy-mm-dd hh:mm:ss", no fraction of a second.
    BindPositions(parameter, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, &parameter.stamp, sizeof parameter.stamp);
}

void Query::SetDouble(std::string_view name, double value) {
    Parameter& parameter = ParameterNamed(name);
    parameter.kind = Parameter::Kind::Number;
    parameter.number = value;
    parameter.indicator = sizeof parameter.number;
    BindPositions(parameter, SQL_C_DOUBLE, SQL_DOUBLE, 15, &parameter.number, sizeof parameter.number);
}

void Query::ReadyToExecute() {
    if (!prepared_) Prepare();
    Close();
    for (const Parameter& parameter : parameters_) {
        if (parameter.kind == Parameter::Kind::None) {
            throw DbError("No value for parameter '" + parameter.name + "'", "07002", 0);
        }
    }
}

void Query::Execute() {
    ReadyToExecute();
    Check(SQLExecute(stmt_.get()), "SQLExecute");
}

void Query::TakeRowCount() {
    SQLLEN rows = 0;
    Check(SQLRowCount(stmt_.get(), &rows), "SQLRowCount");
    rowsAffected_ = rows < 0 ? 0 : rows;
    SQLFreeStmt(stmt_.get(), SQL_CLOSE);
}

void Query::ExecSql() {
    rowsAffected_ = 0;
    Execute();
    TakeRowCount();
}

bool Query::TryExecSql() {
    rowsAffected_ = 0;
    ReadyToExecute();
    refused_ = SQLExecute(stmt_.get());
    // No diagnostics are read here: a refusal is the expected case for some
    // callers, and ExecError() reads them only when someone asks.
    if (refused_ != SQL_SUCCESS && refused_ != SQL_SUCCESS_WITH_INFO && refused_ != SQL_NO_DATA) return false;
    refused_ = SQL_SUCCESS;
    TakeRowCount();
    return true;
}

DbError Query::ExecError() const {
    if (refused_ == SQL_INVALID_HANDLE) return DbError("SQLExecute failed: invalid handle", "HY000", 0);
    return DiagnosticError(SQL_HANDLE_STMT, stmt_.get(), "SQLExecute",
                           database_ != nullptr ? database_->Text() : DriverText::Bytes);
}

void Query::Open() {
    Execute();
    open_ = true;
    SQLSMALLINT columns = 0;
    Check(SQLNumResultCols(stmt_.get(), &columns), "SQLNumResultCols");
    fields_.assign(static_cast<std::size_t>(columns), QueryField{});
    for (SQLSMALLINT column = 1; column <= columns; ++column) {
        SQLCHAR name[256] = {};
        SQLSMALLINT length = 0;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        Check(SQLDescribeCol(stmt_.get(), column, name, sizeof name, &length, &type, &size, &digits, &nullable),
              "SQLDescribeCol");
        fields_[static_cast<std::size_t>(column - 1)].name = reinterpret_cast<const char*>(name);
    }
    FetchRow();
}

void Query::Next() {
    if (!open_ || eof_) return;
    FetchRow();
}

void Query::FetchRow() {
    for (QueryField& field : fields_) {
        field.null = true;
        field.text.clear();
        field.serverText.clear();
    }
    const SQLRETURN rc = SQLFetch(stmt_.get());
    if (rc == SQL_NO_DATA) {
        eof_ = true;
        return;
    }
    eof_ = false;
    try {
        Check(rc, "SQLFetch");
        if (buffer_.size() < 256) buffer_.resize(256);
        for (std::size_t i = 0; i < fields_.size(); ++i) {
            QueryField& field = fields_[i];
            std::string raw;
            for (;;) {
                SQLLEN indicator = 0;
                const SQLRETURN got = SQLGetData(stmt_.get(), static_cast<SQLUSMALLINT>(i + 1), SQL_C_CHAR,
                                                 buffer_.data(), static_cast<SQLLEN>(buffer_.size()), &indicator);
                if (got == SQL_NO_DATA) break;
                Check(got, "SQLGetData");
                if (indicator == SQL_NULL_DATA) break;
                field.null = false;
                const bool whole = indicator != SQL_NO_TOTAL && indicator < static_cast<SQLLEN>(buffer_.size());
                raw.append(buffer_.data(), whole ? static_cast<std::size_t>(indicator) : buffer_.size() - 1);
                if (whole) break;
            }
            if (database_->Text() != DriverText::Utf8) {
                field.text = std::move(raw);
            } else if (std::optional<std::string> exact = Utf8ToWindows1252Exact(raw)) {
                field.text = std::move(*exact);
            } else {
                field.text = Utf8ToWindows1252(raw);
                field.serverText = std::move(raw);
            }
        }
    } catch (...) {
        eof_ = true;
        throw;
    }
}

const QueryField& Query::FieldByName(std::string_view name) const {
    for (const QueryField& field : fields_) {
        if (SameName(field.name, name)) return field;
    }
    throw DbError("Field '" + std::string(name) + "' not found", "42S22", 0);
}

void Query::Close() noexcept {
    if (stmt_ && open_) SQLFreeStmt(stmt_.get(), SQL_CLOSE);
    open_ = false;
    eof_ = true;
    fields_.clear();
}

}  // namespace vireo
