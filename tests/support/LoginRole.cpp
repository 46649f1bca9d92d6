#include "support/LoginRole.h"

#include <unistd.h>

#include "support/TestDataSource.h"
#include "support/TestOdbc.h"

namespace vireo::testing {

LoginRole::LoginRole(const TestDataSource& source, const std::string& windows1252Password)
    // Roles belong to the whole server, which test programs may share: the
    // name carries the program's process id.
    : source_(source), name_(TestOdbc::Instance().UniqueName("vireo_login_" + std::to_string(::getpid()) + "_")) {
    std::string quoted;
    for (const char c : windows1252Password) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    // The statement's text goes to the server converted like every other text.
    source_.Execute("CREATE ROLE " + name_ + " LOGIN PASSWORD '" + quoted + "';\n" +
                    "GRANT ALL ON ALL TABLES IN SCHEMA public TO " + name_ + ";\n");
}

LoginRole::~LoginRole() {
    try {
        source_.Execute("DROP OWNED BY " + name_ + ";\nDROP ROLE IF EXISTS " + name_ + ";\n");
    } catch (...) {
        // The server goes at the end of the program anyway.
    }
}

}  // namespace vireo::testing
