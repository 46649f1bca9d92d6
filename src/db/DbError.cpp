#include "db/DbError.h"

#include <sqlext.h>

#include <algorithm>
#include <utility>

#include "db/TextEncoding.h"

namespace vireo {

DbError::DbError(const std::string& message, std::string sqlState, long nativeError)
    : std::runtime_error(message), sqlState_(std::move(sqlState)), nativeError_(nativeError) {}

DbError DiagnosticError(SQLSMALLINT handleType, SQLHANDLE handle, const char* action, DriverText text) {
    std::string message;
    std::string firstState;
    long firstNative = 0;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        std::string buffer(512, '\0');
        SQLRETURN rc =
            SQLGetDiagRec(handleType, handle, record, state, &native, reinterpret_cast<SQLCHAR*>(buffer.data()),
                          static_cast<SQLSMALLINT>(buffer.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(buffer.size())) {
            buffer.assign(static_cast<std::size_t>(length) + 1, '\0');
            rc = SQLGetDiagRec(handleType, handle, record, state, &native, reinterpret_cast<SQLCHAR*>(buffer.data()),
                               static_cast<SQLSMALLINT>(buffer.size()), &length);
        }
        if (!SQL_SUCCEEDED(rc)) break;
        const auto used = std::min(static_cast<std::size_t>(length < 0 ? 0 : length), buffer.size() - 1);
        buffer.resize(used);
        if (record == 1) {
            firstState = reinterpret_cast<const char*>(state);
            firstNative = native;
        } else {
            message += '\n';
        }
        message += text == DriverText::Utf8 ? Utf8ToWindows1252(buffer) : buffer;
    }
    if (firstState.empty()) return DbError(std::string(action) + " failed", "HY000", 0);
    return DbError(message, firstState, firstNative);
}

void CheckOdbc(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char* action, DriverText text) {
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA) return;
    if (rc == SQL_INVALID_HANDLE) throw DbError(std::string(action) + " failed: invalid handle", "HY000", 0);
    throw DiagnosticError(handleType, handle, action, text);
}

}  // namespace vireo
