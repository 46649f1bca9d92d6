#include "db/OdbcHandle.h"

#include "db/DbError.h"

namespace vireo {

OdbcHandle OdbcHandle::Allocate(SQLSMALLINT type, SQLHANDLE parent) {
    SQLHANDLE handle = SQL_NULL_HANDLE;
    const SQLRETURN rc = SQLAllocHandle(type, parent, &handle);
    if (!SQL_SUCCEEDED(rc)) {
        if (parent == SQL_NULL_HANDLE) throw DbError("Unable to allocate the ODBC environment", "HY001", 0);
        const SQLSMALLINT parentType = type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV;
        throw DiagnosticError(parentType, parent, "SQLAllocHandle");
    }
    return OdbcHandle(type, handle);
}

}  // namespace vireo
