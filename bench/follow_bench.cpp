// Following growing log files with `vireo-import watch`, on SQLite (WAL,
// NORMAL) and PostgreSQL (fsync on):
//
//   - latency: a line is appended to a followed file, and the time until its
//     row is committed (seen by another connection) is taken, for each of
//     LINES lines appended one at a time (median and 99th percentile);
//   - throughput: `watch --once` over 40 files of LINES2 lines each, with
//     --jobs 1 and --jobs 4, into a fresh database each time;
//   - one pass over 1,000 files that did not change since the last pass
//     (in-process, Follower::Pass): its time and the bytes it read
//     (/proc/self/io rchar), which should be none: a stat per file.
//
//   follow_bench [--lines N] [--files-lines N] [--skip-pg]
//
// The machine these run on is shared: the figures are indicative.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "db/Database.h"
#include "db/Query.h"
#include "db/Session.h"
#include "follow/FollowPass.h"
#include "status/StatusSink.h"
#include "support/ChildProgram.h"
#include "support/PostgresServer.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"

namespace {

using vireo::testing::AppendFile;
using vireo::testing::Backend;
using vireo::testing::StartProgram;
using vireo::testing::TempDir;
using vireo::testing::TestDataSource;
using vireo::testing::VireoImportProgram;
using vireo::testing::WaitFor;
using Clock = std::chrono::steady_clock;

std::string ValueLine(int k) {
    char text[80];
    std::snprintf(text, sizeof text, "TEMP,06/%02d/2005,%02d:%02d:%02d,%d,G\r\n", 1 + k / 86400, k / 3600 % 24,
                  k / 60 % 60, k % 60, k);
    return text;
}

std::vector<std::string> WatchArgs(const TestDataSource& source, const TempDir& dir, std::vector<std::string> more) {
    std::vector<std::string> args{"watch",          dir.File("logs"),      "--list", dir.File("list.sfg"),
                                  "--dsn",          source.Name(),         "--user", source.User(),
                                  "--password-env", "VIREO_BENCH_PASSWORD"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

/// Counts the rows through one open connection.
class RowCounter {
public:
    explicit RowCounter(const TestDataSource& source) : database_(session_), query_(database_) {
        source.Connect(database_);
        query_.SetSql("SELECT COUNT(*) AS N FROM TF_DATA1");
    }
    long Count() {
        query_.Open();
        const long count = std::stol(query_.FieldByName("N").AsString());
        query_.Close();
        return count;
    }

private:
    vireo::Session session_;
    vireo::Database database_;
    vireo::Query query_;
};

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const std::size_t at = std::min(values.size() - 1, static_cast<std::size_t>(share * values.size()));
    return values[at];
}

void Latency(Backend backend, const char* name, int lines) {
    TestDataSource source(backend);
    source.ListInCatalogue({"ST01.TEMP"});
    ::setenv("VIREO_BENCH_PASSWORD", source.Password().c_str(), 1);
    TempDir dir("vireo-bench");
    std::filesystem::create_directory(dir.File("logs"));
    vireo::testing::WriteFile(dir.File("list.sfg"), "[Import]\nSensors=TEMP||ST01.TEMP\n");
    const std::string log = dir.File("logs/a.log");
    AppendFile(log, ValueLine(0));
    RowCounter rows(source);
    const pid_t watcher = StartProgram(VireoImportProgram(), WatchArgs(source, dir, {"--interval", "5"}), "/dev/null");
    while (rows.Count() < 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::vector<double> ms;
    for (int k = 1; k <= lines; ++k) {
        AppendFile(log, ValueLine(k));
        const auto start = Clock::now();
        while (rows.Count() < k + 1) {
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(watcher, SIGTERM);
    WaitFor(watcher);
    std::printf("%-11s latency from append to committed row, %d lines: median %.1f ms, 99th percentile %.1f ms\n", name,
                lines, Percentile(ms, 0.5), Percentile(ms, 0.99));
}

void Throughput(Backend backend, const char* name, int linesPerFile) {
    for (const char* jobs : {"1", "4"}) {
        TestDataSource source(backend);
        source.ListInCatalogue({"ST01.TEMP"});
        ::setenv("VIREO_BENCH_PASSWORD", source.Password().c_str(), 1);
        TempDir dir("vireo-bench");
        std::filesystem::create_directory(dir.File("logs"));
        vireo::testing::WriteFile(dir.File("list.sfg"), "[Import]\nSensors=TEMP||ST01.TEMP\n");
        for (int file = 0; file < 40; ++file) {
            std::string text;
            for (int k = 0; k < linesPerFile; ++k) text += ValueLine(file * linesPerFile + k);
            AppendFile(dir.File("logs/f" + std::to_string(file) + ".log"), text);
        }
        const auto start = Clock::now();
        const int status = WaitFor(
            StartProgram(VireoImportProgram(), WatchArgs(source, dir, {"--once", "--jobs", jobs}), "/dev/null"));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        RowCounter rows(source);
        std::printf(
            "%-11s watch --once --jobs %s over 40 files of %d lines: %.2f s, %.0f values/s (exit %d, %ld rows)\n", name,
            jobs, linesPerFile, seconds, 40.0 * linesPerFile / seconds, status, rows.Count());
    }
}

long long BytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value) {
        if (key == "rchar:") return value;
    }
    return -1;
}

class QuietSink : public vireo::StatusSink {
public:
    void AddStatusMessage(const std::string&) override {}
    bool ShowDetails() const override { return false; }
};

void UnchangedPass() {
    TestDataSource source(Backend::Sqlite);
    source.ListInCatalogue({"ST01.TEMP"});
    TempDir dir("vireo-bench");
    std::filesystem::create_directory(dir.File("logs"));
    for (int file = 0; file < 1000; ++file)
        AppendFile(dir.File("logs/f" + std::to_string(file) + ".log"), ValueLine(file));
    vireo::ImportRequest request;
    request.importList = {"TEMP||ST01.TEMP"};
    request.chosenStation = "ST01";
    request.route = vireo::WriteRoute::EngineInterface;
    QuietSink sink;
    vireo::Follower follower(
        dir.File("state.positions"), source.Name(), request, 1,
        [&source]() {
            auto session = std::make_shared<vireo::Session>();
            auto database = std::shared_ptr<vireo::Database>(new vireo::Database(*session),
                                                             [session](vireo::Database* d) { delete d; });
            source.Connect(*database);
            return database;
        },
        sink);
    vireo::FollowTargets targets;
    targets.folders = {dir.File("logs")};
    vireo::RunControl control;
    follower.Pass(vireo::FilesToFollow(targets), control);  // imports them all
    std::vector<double> ms;
    long long read = 0;
    for (int round = 0; round < 5; ++round) {
        const auto start = Clock::now();
        const long long before = BytesRead();
        const std::vector<std::string> files = vireo::FilesToFollow(targets);
        const std::size_t told = follower.Pass(files, control).size();
        read = BytesRead() - before;
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (told != 0) std::printf("unexpected: %zu files read\n", told);
    }
    std::printf("pass over 1,000 unchanged files (listing the folder included): median %.1f ms, %lld bytes read\n",
                Percentile(ms, 0.5), read);
}

}  // namespace

int main(int argc, char** argv) {
    int lines = 200;
    int filesLines = 2000;
    bool pg = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--lines") == 0 && i + 1 < argc) {
            lines = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--files-lines") == 0 && i + 1 < argc) {
            filesLines = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--skip-pg") == 0) {
            pg = false;
        } else {
            std::fprintf(stderr, "usage: follow_bench [--lines N] [--files-lines N] [--skip-pg]\n");
            return 2;
        }
    }
    try {
        vireo::testing::PostgresServer::UseDurableStorage();
        UnchangedPass();
        Latency(Backend::Sqlite, "SQLite", lines);
        if (pg) Latency(Backend::PostgresAnsi, "PostgreSQL", lines);
        Throughput(Backend::Sqlite, "SQLite", filesLines);
        if (pg) Throughput(Backend::PostgresAnsi, "PostgreSQL", filesLines);
        vireo::testing::PostgresServer::Shutdown();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "follow_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
