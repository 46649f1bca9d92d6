// vireo-import import: a whole import without the window. The same checks,
// pairing table, line loop, writes and messages as the window's "Start
// Importing"; status lines go to standard output.

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#include "app/StatusMessages.h"
#include "cli/Cli.h"
#include "cli/CliConnection.h"
#include "db/Capacity.h"
#include "db/DataWriter.h"
#include "db/StoreFiles.h"
#include "import/ImportList.h"
#include "import/ImportRun.h"
#include "import/ImportSettingsFile.h"

namespace vireo::cli {
namespace {

constexpr const char* kUsage =
    "usage: vireo-import import LOGFILE (--list FILE.sfg | --pair \"LOG||STATION.SENSOR\" [--pair ...])\n"
    "                          [--station ID] [--details] [--status-log FILE] [--fast] [--yes]\n"
    "                          [--dsn NAME] [--user USER] [--password-env VAR]\n";

constexpr const char* kHelp =
    "Imports the values of the paired sensors of LOGFILE into TF_DATA1: each value is\n"
    "inserted, or its row updated when it exists. Status lines go to standard output;\n"
    "a progress bar goes to standard error when it is a terminal. Ctrl-C stops the run\n"
    "before its next line; values already written stay.\n"
    "\n"
    "  --list FILE.sfg      the import list stored by the window (\"Store Import Settings\")\n"
    "  --pair ENTRY         one import entry, LOG||STATION.SENSOR; repeatable\n"
    "  --station ID         the station chosen for the run (default: the first entry's)\n"
    "  --details            detail messages (\"Reading - \", \"Inserted timetag data - \"...)\n"
    "  --status-log FILE    also append every status line to FILE\n"
    "  --fast               commit in batches (much faster; nothing is lost on stop or error)\n"
    "  --yes                answer the questions that would cancel the run with No\n"
    "                       (a nearly full data store, a station that differs from the list)\n";

/// Message boxes of the checks, on standard error. A question that would
/// cancel the run is answered Yes (cancel) unless --yes was given.
class ConsoleDialogs : public UserDialogs {
public:
    ConsoleDialogs(std::ostream& err, bool goOn) : err_(err), goOn_(goOn) {}
    MessageAnswer ShowMessage(MessageKind, const std::string& text, MessageButtons buttons) override {
        err_ << text << '\n';
        switch (buttons) {
            case MessageButtons::YesNo:
                if (!goOn_) err_ << "(answered Yes; give --yes to go on)\n";
                return goOn_ ? MessageAnswer::No : MessageAnswer::Yes;
            case MessageButtons::Cancel:
                return MessageAnswer::Cancel;
            case MessageButtons::Ok:
                break;
        }
        return MessageAnswer::Ok;
    }
    std::optional<std::string> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<std::string> SaveFile(const FileDialogRequest&) override { return std::nullopt; }

private:
    std::ostream& err_;
    bool goOn_;
};

/// A progress bar with the elapsed time, redrawn at most five times a second.
class ConsoleProgress : public ImportObserver {
public:
    explicit ConsoleProgress(bool enabled) : enabled_(enabled) {}
    void RunStarted() override { start_ = std::chrono::steady_clock::now(); }
    void ProgressChanged(int percent) override {
        percent_ = percent;
        Draw(false);
    }
    void LineCounted(std::int32_t count) override {
        lines_ = count;
        Draw(false);
    }
    void RunEnded() override {
        Draw(true);
        if (enabled_) std::fputc('\n', stderr);
    }

private:
    void Draw(bool force) {
        if (!enabled_) return;
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - lastDraw_ < std::chrono::milliseconds(200)) return;
        lastDraw_ = now;
        const long seconds = static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(now - start_).count());
        char bar[31];
        const int filled = percent_ * 30 / 100;
        for (int i = 0; i < 30; ++i) bar[i] = i < filled ? '#' : '.';
        bar[30] = '\0';
        std::fprintf(stderr, "\r[%s] %3d%%  Import Time: %02ld:%02ld:%02ld  Imported Record Count: %d", bar, percent_,
                     seconds / 3600, seconds / 60 % 60, seconds % 60, lines_);
        std::fflush(stderr);
    }

    bool enabled_;
    int percent_ = 0;
    std::int32_t lines_ = 0;
    std::chrono::steady_clock::time_point start_{};
    std::chrono::steady_clock::time_point lastDraw_{};
};

RunControl* g_control = nullptr;

extern "C" void OnInterrupt(int) {
    if (g_control != nullptr) g_control->stop = true;
}

/// Ctrl-C asks the run to stop before its next line while this object lives.
class InterruptToStop {
public:
    explicit InterruptToStop(RunControl& control) {
        g_control = &control;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_);
    }
    ~InterruptToStop() {
        sigaction(SIGINT, &previous_, nullptr);
        g_control = nullptr;
    }
    InterruptToStop(const InterruptToStop&) = delete;
    InterruptToStop& operator=(const InterruptToStop&) = delete;

private:
    struct sigaction previous_ {};
};

int RunImportCommand(CommandContext& context) {
    CliOptions options;
    AddConnectionOptions(options);
    options.Value("--list").Value("--pair", true).Value("--station").Value("--status-log");
    options.Flag("--details").Flag("--fast").Flag("--yes").Flag("--help").Flag("-h");
    std::string error;
    if (!options.Parse(context.args, error)) {
        context.err << "vireo-import import: " << error << "\n" << kUsage;
        return 2;
    }
    if (options.Has("--help") || options.Has("-h")) {
        context.out << kUsage << "\n" << kHelp << "\n" << kConnectionHelp;
        return 0;
    }
    if (options.Positional().size() != 1 || options.Has("--list") == !options.All("--pair").empty()) {
        context.err << kUsage;
        return 2;
    }

    StatusMessenger sink([&context](const std::string& line) { context.out << line << '\n' << std::flush; });
    sink.SetShowDetails(options.Has("--details"));
    if (options.Has("--status-log")) {
        sink.SetLogFileName(options.Get("--status-log"));
        sink.SetLogToFile(true);
    }

    ImportRequest request;
    request.logFile = options.Positional().front();
    request.fastMode = options.Has("--fast");
    if (options.Has("--list")) {
        if (!LoadImportSettings(options.Get("--list"), request.importList, sink)) return 2;
    } else {
        request.importList = options.All("--pair");
    }
    request.chosenStation = options.Has("--station") || request.importList.empty()
                                ? options.Get("--station")
                                : SplitImportEntry(request.importList.front()).stationId;

    auto connection = OpenCliConnection(options, context.err);
    if (!connection) return 1;
    // Opening and closing a file of the connected database would drop the
    // locks the SQLite library holds for the connection.
    for (const std::string& file : {request.logFile, options.Get("--status-log")}) {
        if (IsFileOfDataSource(connection->alias, file)) {
            context.err << DataSourceFileRefused(file) << "\n";
            return 2;
        }
    }
    try {
        DataStoreUsage usage = GetDataStoreUsage(connection->alias, connection->settings.FMaxDBFileSize);
        request.freeShare.state = usage.known ? FreeShareShown::State::Known : FreeShareShown::State::Unknown;
        request.freeShare.percent = 100 - usage.usedPercent;
    } catch (const std::exception& failure) {
        context.err << "Unable to connect to " << connection->alias << "\n" << failure.what() << "\n";
        return 1;
    }

    ConsoleDialogs dialogs(context.err, options.Has("--yes"));
    if (!CheckImport(request, dialogs)) return 2;

    RunControl control;
    ConsoleProgress progress(&context.err == &std::cerr && isatty(STDERR_FILENO) != 0);
    ImportResult result;
    {
        DataWriter writer(*connection->database, sink);
        SensorPairs pairs;
        InterruptToStop interrupt(control);
        result = RunImport(request, pairs, writer, sink, progress, control);
    }
    const ImportCounts& counts = result.counts;
    context.out << "Lines: " << counts.lines << "  inserted: " << counts.inserted << "  updated: " << counts.updated
                << "  not written: " << counts.failed << "  without time tag: " << counts.withoutTimeTag
                << (result.stopped ? "  (stopped)" : "") << '\n';
    if (!result.error.empty()) {
        context.err << result.error << '\n';
        return 1;
    }
    return result.stopped ? 130 : 0;
}

const Registrar reg{"import", "import the paired values of a log file into TF_DATA1", &RunImportCommand};

}  // namespace
}  // namespace vireo::cli
