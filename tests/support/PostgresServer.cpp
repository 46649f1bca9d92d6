#include "support/PostgresServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

#include "db/Database.h"
#include "db/Query.h"
#include "db/Session.h"
#include "support/ExitWatchdog.h"
#include "support/TempDir.h"
#include "support/TestOdbc.h"

namespace vireo::testing {
namespace {

std::unique_ptr<PostgresServer> g_server;  // destroyed at exit at the latest
bool g_durable = false;

class PostgresEnvironment : public ::testing::Environment {
public:
    void TearDown() override { PostgresServer::Shutdown(); }
};
[[maybe_unused]] ::testing::Environment* const kPostgresEnvironment =
    ::testing::AddGlobalTestEnvironment(new PostgresEnvironment);

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(fd);
    if (!ok) throw std::runtime_error(std::string("Cannot find a free port: ") + std::strerror(errno));
    return ntohs(address.sin_port);
}

std::string FindBinaries() {
    if (const char* dir = std::getenv("VIREO_PG_BINDIR")) return dir;
    return "/usr/lib/postgresql/15/bin";
}

void Run(const std::string& command, const std::string& what, const std::string& log) {
    const int status = std::system(command.c_str());
    if (status != 0) {
        std::string text;
        try {
            text = ReadFile(log);
        } catch (const std::exception&) {
        }
        throw std::runtime_error(what + " failed (status " + std::to_string(status) + "):\n" + text);
    }
}

void Execute(const std::string& dsn, const std::string& user, const std::string& password, const std::string& sql) {
    Session session;
    Database database(session);
    database.SetDatabaseName(dsn);
    database.AddParam("USER NAME=" + user);
    database.AddParam("PASSWORD=" + password);
    database.Open();
    Query query(database);
    query.SetSql(sql);
    query.ExecSql();
}

}  // namespace

PostgresServer& PostgresServer::Instance() {
    if (!g_server) {
        const char* shared = std::getenv(kSharedVariable);
        if (shared != nullptr && *shared != '\0') {
            g_server.reset(new PostgresServer(std::string(shared)));
        } else {
            g_server.reset(new PostgresServer());
        }
    }
    return *g_server;
}

void PostgresServer::Shutdown() noexcept { g_server.reset(); }

void PostgresServer::UseDurableStorage() { g_durable = true; }

PostgresServer::PostgresServer() : owner_(::getpid()), bin_(FindBinaries()) {
    TestOdbc::Instance();
    std::string pattern = "/tmp/vireo-pg-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
    base_ = pattern;
    data_ = base_ + "/data";
    try {
        if (::getuid() == 0) {
            const passwd* account = ::getpwnam("postgres");
            if (account == nullptr) throw std::runtime_error("There is no user 'postgres' to run the server");
            if (::chown(base_.c_str(), account->pw_uid, account->pw_gid) != 0) {
                throw std::runtime_error(std::string("chown: ") + std::strerror(errno));
            }
        }
        ::chmod(base_.c_str(), 0700);
        StartWatchdog();
        const std::string passwordFile = base_ + "/password";
        WriteFile(passwordFile, password_ + "\n");
        if (::getuid() == 0) {
            const passwd* account = ::getpwnam("postgres");
            if (::chown(passwordFile.c_str(), account->pw_uid, account->pw_gid) != 0) {
                throw std::runtime_error(std::string("chown: ") + std::strerror(errno));
            }
        }
        const std::string log = base_ + "/initdb.log";
        Run(AsServerUser(bin_ + "/initdb -D " + Quoted(data_) + " -U " + user_ +
                         " -E UTF8 --locale=C --auth-local=trust --auth-host=scram-sha-256 --pwfile=" +
                         Quoted(passwordFile) + " -N") +
                " > " + Quoted(log) + " 2>&1",
            "initdb", log);
        StartOnFreePort();
        DefineAdminDataSource();
    } catch (...) {
        Cleanup();
        throw;
    }
}

PostgresServer::PostgresServer(const std::string& sharedFile) : owner_(::getpid()), bin_(FindBinaries()) {
    TestOdbc::Instance();
    std::ifstream in(sharedFile);
    if (!(in >> port_) || !std::getline(in >> std::ws, base_) || base_.empty()) {
        throw std::runtime_error("No shared PostgreSQL server is described in " + sharedFile);
    }
    data_ = base_ + "/data";
    shared_ = true;
    running_ = true;
    DefineAdminDataSource();
}

void PostgresServer::DefineAdminDataSource() {
    adminDsn_ = "vireo_pg_admin";
    TestOdbc::Instance().DefineDataSource(adminDsn_, {{"Driver", "PostgreSQL ANSI"},
                                                      {"Servername", "127.0.0.1"},
                                                      {"Port", std::to_string(port_)},
                                                      {"Database", "postgres"}});
}

void PostgresServer::HandOver(const std::string& file, pid_t watched) {
    if (shared_) throw std::logic_error("A shared server belongs to the program that started it");
    WriteFile(file, std::to_string(port_) + "\n" + base_ + "\n");
    // A process of its own, in a session of its own, waits for `watched` to
    // end or for the folder to go, then stops whatever is left.
    const std::string command = "while kill -0 " + std::to_string(watched) + " 2>/dev/null && [ -d " + Quoted(base_) +
                                " ]; do sleep 1; done; if [ -f " + Quoted(data_ + "/postmaster.pid") + " ]; then " +
                                PgCtl("-m immediate -w stop") + "; fi >/dev/null 2>&1; rm -rf " + Quoted(base_);
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        ::setsid();
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::close_range(3, ~0U, 0);
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // From here on this program neither stops the server nor removes its folder.
    shared_ = true;
    if (watchdog_) watchdog_->Disarm();
    watchdog_.reset();
}

void PostgresServer::EndShared(const std::string& file) {
    if (!std::filesystem::exists(file)) return;  // ended already
    PostgresServer server(file);
    server.shared_ = false;
    server.Cleanup();
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
}

PostgresServer::~PostgresServer() { Cleanup(); }

void PostgresServer::Cleanup() noexcept {
    if (::getpid() != owner_) return;  // a forked child leaves the server to its parent
    if (shared_) return;               // a shared server outlives the programs that use it
    if (running_) {
        try {
            Stop();
        } catch (const std::exception&) {
        }
    }
    if (base_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(base_, ignored);
    base_.clear();
    watchdog_.reset();
}

std::string PostgresServer::AsServerUser(const std::string& command) const {
    // The server user may not enter the current folder: run from the cluster's.
    const std::string prefix = "cd " + Quoted(base_) + " && ";
    if (::getuid() == 0) return prefix + "runuser -u postgres -- " + command;
    return prefix + command;
}

std::string PostgresServer::PgCtl(const std::string& arguments) const {
    return AsServerUser(bin_ + "/pg_ctl -D " + Quoted(data_) + " " + arguments);
}

void PostgresServer::StartWatchdog() {
    // Should the test program die, the watchdog stops the server and removes
    // the cluster; after an orderly Cleanup() it finds nothing left to do.
    watchdog_ =
        std::make_unique<ExitWatchdog>("if [ -f " + Quoted(data_ + "/postmaster.pid") + " ]; then " +
                                       PgCtl("-m immediate -w stop") + "; fi >/dev/null 2>&1; rm -rf " + Quoted(base_));
}

void PostgresServer::StartOnFreePort() {
    std::string lastError;
    for (int attempt = 0; attempt < 5; ++attempt) {
        port_ = FreePort();
        try {
            Start();
            return;
        } catch (const std::runtime_error& error) {
            lastError = error.what();
        }
    }
    throw std::runtime_error(lastError);
}

void PostgresServer::Start() {
    if (shared_) throw std::logic_error("A shared server is not started or stopped by one test");
    std::string options = "-p " + std::to_string(port_) + " -k " + base_ + " -c listen_addresses=127.0.0.1";
    if (!g_durable) options += " -c fsync=off -c synchronous_commit=off -c full_page_writes=off";
    const std::string log = base_ + "/server.log";
    Run(PgCtl("-l " + Quoted(log) + " -w -t 60 -o \"" + options + "\" start") + " > /dev/null 2>&1",
        "Starting PostgreSQL", log);
    running_ = true;
}

void PostgresServer::Stop() {
    if (shared_) throw std::logic_error("A shared server is not started or stopped by one test");
    if (!running_) return;
    const std::string log = base_ + "/server.log";
    running_ = false;
    Run(PgCtl("-m fast -w -t 60 stop") + " > /dev/null 2>&1", "Stopping PostgreSQL", log);
}

std::string PostgresServer::ServerLog() const { return ReadFile(base_ + "/server.log"); }

std::string PostgresServer::CreateDatabase() {
    // Programs sharing one server run at the same time: the name is theirs alone.
    const std::string name = "vireo_" + std::to_string(::getpid()) + "_" + std::to_string(++databases_);
    Execute(adminDsn_, user_, password_,
            "CREATE DATABASE " + name + " ENCODING 'UTF8' LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0");
    return name;
}

void PostgresServer::DropDatabase(const std::string& name) noexcept {
    if (!running_) return;
    try {
        Execute(adminDsn_, user_, password_, "DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
    } catch (const std::exception&) {
    }
}

void PostgresServer::DropRole(const std::string& name) noexcept {
    if (!running_) return;
    try {
        Execute(adminDsn_, user_, password_, "DROP ROLE IF EXISTS " + name);
    } catch (const std::exception&) {
    }
}

}  // namespace vireo::testing
