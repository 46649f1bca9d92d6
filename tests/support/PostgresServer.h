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
///
/// A whole test run may share one server instead: a program started before
/// the run hands its server over (HandOver) and writes its port and folder to
/// a file; every test program that finds that file named by the environment
/// variable VIREO_TEST_PG uses the server without starting or stopping it.
/// Each test still gets databases of its own; a program started after the run
/// ends the server (EndShared).
class PostgresServer {
public:
    /// The environment variable naming the file of a shared server.
    static constexpr const char* kSharedVariable = "VIREO_TEST_PG";

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
    /// Drops a role that owns nothing and has no grants left (its databases dropped).
    void DropRole(const std::string& name) noexcept;

    std::string ServerLog() const;

    /// Leaves the running server to outlive this program: writes its port and
    /// folder to `file`. The server stops and its folder goes when EndShared()
    /// is called or, at the latest, once process `watched` has ended.
    void HandOver(const std::string& file, pid_t watched);
    /// Stops and removes the server a HandOver() wrote to `file`; nothing when
    /// the file is gone (the server was ended before).
    static void EndShared(const std::string& file);
    /// True when this program uses a server handed over by another.
    bool Shared() const noexcept { return shared_; }

private:
    PostgresServer();
    explicit PostgresServer(const std::string& sharedFile);
    void DefineAdminDataSource();
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
    bool shared_ = false;
};

}  // namespace vireo::testing
