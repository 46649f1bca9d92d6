#pragma once

#include <sql.h>

#include <stdexcept>
#include <string>

namespace vireo {

/// The one error of the database layer. Its text is the driver's own
/// diagnostic (every record SQLGetDiagRec gives, one per line); the SQLSTATE
/// and native code are those of the first record.
class DbError : public std::runtime_error {
public:
    explicit DbError(const std::string& message, std::string sqlState = "HY000", long nativeError = 0);

    const std::string& sqlState() const noexcept { return sqlState_; }
    long nativeError() const noexcept { return nativeError_; }

private:
    std::string sqlState_;
    long nativeError_;
};

/// How text from the driver reaches the caller: as it is, or converted from
/// UTF-8 to the program's single-byte text.
enum class DriverText { Bytes, Utf8 };

/// Throws the DbError that the diagnostics of `handle` describe when `rc` is
/// not a success (SQL_NO_DATA counts as success). `action` names the call for
/// the rare driver that fails without a diagnostic record.
void CheckOdbc(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char* action,
               DriverText text = DriverText::Bytes);

/// The DbError that the diagnostics of `handle` describe.
DbError DiagnosticError(SQLSMALLINT handleType, SQLHANDLE handle, const char* action,
                        DriverText text = DriverText::Bytes);

}  // namespace vireo
