#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "support/ExitWatchdog.h"

namespace vireo::testing {

/// A throwaway PostgreSQL 15 server for one test program: a cluster made
/// with initdb in a temporary folder owned by the `postgres` user (the server
/// refuses to run as root), listening on a free port of 127.0.0.1, password
/// authentication over TCP. It starts on the first Instance() call and stops
/// when the program ends: at the end of the tests, at exit, and, should the
/// program die, through a watchdog process that notices it.
class PostgresServer {
public:
    /// The running server; throws std::runtime_error (with initdb's or the
    /// server's log) when it cannot be started.
    static PostgresServer& Instance();
    /// Stops and removes the server if one was started. Called at the end of
    /// the tests and at exit.
    static void Shutdown() noexcept;
    /// Makes the server keep its data on disk at every commit (fsync on).
    /// Only before the first Instance() call; for measurements.
    static void UseDurableStorage();

    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    int Port() const noexcept { return port_; }
    const std::string& User() const noexcept { return user_; }
    const std::string& Password() const noexcept { return password_; }
    /// The data source of the maintenance database "postgres".
    const std::string& AdminDataSource() const noexcept { return adminDsn_; }

    /// Fast shutdown: the server ends every session and stops.
    void Stop();
    /// Starts the stopped server again on the same port.
    void Start();
    bool Running() const noexcept { return running_; }

    /// A new, empty UTF-8 database; returns its name.
    std::string CreateDatabase();
    /// Drops a database, ending whatever sessions it still has.
    void DropDatabase(const std::string& name) noexcept;

    std::string ServerLog() const;

private:
    PostgresServer();
    void Cleanup() noexcept;
    void StartOnFreePort();
    void StartWatchdog();
    std::string AsServerUser(const std::string& command) const;
    std::string PgCtl(const std::string& arguments) const;

    pid_t owner_;
    std::string bin_;
    std::string base_;
    std::string data_;
    int port_ = 0;
    std::string user_ = "postgres";
    std::string password_ = "Vireo-test-1";
    std::string adminDsn_;
    bool running_ = false;
    std::unique_ptr<ExitWatchdog> watchdog_;
    int databases_ = 0;
};

}  // namespace vireo::testing
