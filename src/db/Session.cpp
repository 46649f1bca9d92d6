#include "db/Session.h"

#include <sqlext.h>

#include <algorithm>

#include "db/Database.h"
#include "db/DbError.h"
#include "db/NamedParameters.h"

namespace vireo {

Session::Session() {
    env_ = OdbcHandle::Allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    CheckOdbc(SQLSetEnvAttr(env_.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
              SQL_HANDLE_ENV, env_.get(), "SQLSetEnvAttr");
}

Session::~Session() {
    Close();
    for (Database* database : databases_) database->session_ = nullptr;
}

void Session::Close() noexcept {
    for (Database* database : databases_) database->Close();
    active_ = false;
}

std::vector<std::string> Session::DataSourceNames() const {
    std::vector<std::string> names;
    SQLCHAR name[SQL_MAX_DSN_LENGTH + 1];
    SQLCHAR description[256];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT descriptionLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        const SQLRETURN rc = SQLDataSources(env_.get(), direction, name, sizeof name, &nameLength, description,
                                            sizeof description, &descriptionLength);
        if (rc == SQL_NO_DATA) break;
        CheckOdbc(rc, SQL_HANDLE_ENV, env_.get(), "SQLDataSources");
        std::string found(reinterpret_cast<const char*>(name));
        const bool known =
            std::any_of(names.begin(), names.end(), [&](const std::string& other) { return SameName(other, found); });
        if (!known) names.push_back(std::move(found));
        direction = SQL_FETCH_NEXT;
    }
    return names;
}

}  // namespace vireo
