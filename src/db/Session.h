#pragma once

#include <string>
#include <vector>

#include "db/OdbcHandle.h"

namespace vireo {

class Database;

/// The data-access session: the ODBC environment in which the program's
/// connections live. A session outlives nothing it
/// does not own: when it goes, its databases are closed and cut loose.
class Session {
public:
    /// Allocates the ODBC environment; throws DbError when the driver
    /// manager cannot give one.
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool Active() const noexcept { return active_; }
    void Open() noexcept { active_ = true; }
    /// Closes every database of the session and makes it inactive; harmless
    /// when already closed.
    void Close() noexcept;

    /// The data source names (aliases) the session knows, user and system
    /// data sources alike, each once, in the driver manager's order.
    std::vector<std::string> DataSourceNames() const;

    SQLHENV Handle() const noexcept { return env_.get(); }

private:
    friend class Database;
    OdbcHandle env_;
    bool active_ = false;
    std::vector<Database*> databases_;
};

}  // namespace vireo
