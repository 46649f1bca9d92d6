// vireo-import import: a whole import without the window. The same checks,
// pairing table, line loop, writes and messages as the window's "Start
// Importing"; status lines go to standard output.

#include "cli/ImportCommand.h"

#include <signal.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>

#include "cli/Cli.h"
#include "cli/CliConnection.h"
#include "cli/ConsoleProgress.h"
#include "cli/FollowOptions.h"
#include "cli/LogFileArgument.h"
#include "cli/ZoneOptions.h"
#include "db/Capacity.h"
#include "db/Catalogue.h"
#include "db/DataWriter.h"
#include "db/DbError.h"
#include "db/StoreFiles.h"
#include "follow/FollowFile.h"
#include "import/DryRun.h"
#include "import/ImportList.h"
#include "import/ImportRun.h"
#include "import/ImportSettingsFile.h"
#include "import/RejectsFile.h"
#include "import/StartConnection.h"
#include "import/UnpairableEntries.h"
#include "status/StatusMessages.h"

namespace vireo::cli {
namespace {

constexpr const char* kUsage =
    "usage: vireo-import import LOGFILE (--list FILE.sfg | --pair \"LOG||STATION.SENSOR\" [--pair ...])\n"
    "                          [--station ID] [--details] [--status-log FILE] [--fast] [--bulk on|odbc|off | "
    "--one-by-one] [--yes]\n"
    "                          [--incremental [--state FILE] [--from-start]]\n"
    "                          [--rejects FILE.csv] [--keep-edits | --no-keep-edits] [--dry-run [--format "
    "table|json]]\n"
    "                          [--dsn NAME] [--user USER] [--password-env VAR]\n";

constexpr const char* kHelp =
    "Imports the values of the paired sensors of LOGFILE into TF_DATA1: each value is\n"
    "inserted, or its row updated when it exists. Status lines go to standard output;\n"
    "a progress bar goes to standard error when it is a terminal. Ctrl-C, SIGTERM or\n"
    "SIGHUP stop the run before its next line, as does a closed standard output;\n"
    "values already written stay.\n"
    "\n"
    "  --list FILE.sfg      the import list stored by the window (\"Store Import Settings\")\n"
    "  --pair ENTRY         one import entry, LOG||STATION.SENSOR; repeatable\n"
    "  --station ID         the station chosen for the run (default: the first entry's)\n"
    "  --details            detail messages (\"Reading - \", \"Inserted timetag data - \"...)\n"
    "  --status-log FILE    also append every status line to FILE\n"
    "  --fast               commit in batches (the default; much faster; a stop or an error\n"
    "                       commits what was written first, lines are shown once committed)\n"
    "  --bulk on|odbc|off   write each batch in bulk (SQLite, PostgreSQL; default: on, or the\n"
    "                       settings file's BulkImport). on: through the SQLite library on the\n"
    "                       database file or libpq on the server where they reach it, else in\n"
    "                       sets of many rows a statement through the driver; odbc: in sets\n"
    "                       through the driver only; off: one statement a value in batches\n"
    "  --one-by-one         one statement a value, each committed on its own (no batches)\n"
    "  --rejects FILE.csv   write every line or value that was not written to FILE.csv\n"
    "                       (line number, reason, name, the line's text), as the run goes\n"
    "  --keep-edits         leave rows whose ED_VALUE was edited (differs from ORIG_VALUE);\n"
    "                       the default when the settings file holds KeepEdits=1\n"
    "  --no-keep-edits      overwrite edited rows, whatever the settings file holds\n"
    "  --dry-run            write nothing: show per import entry how many values would be\n"
    "                       inserted, would update a row, would leave it unchanged (or kept),\n"
    "                       have no time tag, are not numbers, have no pair, and the time span\n"
    "  --format FORMAT      output of a dry run: table (default) or json\n"
    "  --yes                answer the questions that would cancel the run with No\n"
    "                       (a nearly full data store, a station that differs from the list)\n"
    "  --incremental        only the lines appended since the last incremental import of\n"
    "                       LOGFILE into this data source; a last line without its line\n"
    "                       end waits for the next run. A file that became shorter or\n"
    "                       whose first bytes changed is read again from the start\n"
    "  --state FILE         where the positions are kept (default: the --list file with\n"
    "                       the extension .positions); one process at a time uses it\n"
    "  --from-start         with --incremental, read LOGFILE again from its start (the\n"
    "                       values there update their rows); the position is kept as usual\n"
    "\n"
    "A position is kept with the import list it was reached with: when the list gained\n"
    "an entry since, the file is read again from the start (for every entry; the values\n"
    "written before update their rows).\n"
    "\n"
    "Exit status: 0 done, 1 an error ended the run, 2 bad arguments or a failed check,\n"
    "3 values were not written, 130/143/129 stopped by Ctrl-C/SIGTERM/SIGHUP,\n"
    "141 standard output was closed.\n";

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

RunControl* g_control = nullptr;
volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void OnStopSignal(int signal) {
    if (g_stopSignal == 0) g_stopSignal = signal;
    if (g_control != nullptr) g_control->stop = true;
}

/// While this object lives, Ctrl-C, SIGTERM and SIGHUP ask the run to stop
/// before its next line (what was written is committed first), and SIGPIPE
/// is ignored: a closed standard output shows as a failed write instead.
class SignalsToStop {
public:
    explicit SignalsToStop(RunControl& control) {
        g_control = &control;
        g_stopSignal = 0;
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < kStopSignals.size(); ++i) sigaction(kStopSignals[i], &action, &previous_[i]);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGPIPE, &ignore, &previousPipe_);
    }
    ~SignalsToStop() {
        for (std::size_t i = 0; i < kStopSignals.size(); ++i) sigaction(kStopSignals[i], &previous_[i], nullptr);
        sigaction(SIGPIPE, &previousPipe_, nullptr);
        g_control = nullptr;
    }
    SignalsToStop(const SignalsToStop&) = delete;
    SignalsToStop& operator=(const SignalsToStop&) = delete;

    /// What stopped the run, if a signal did.
    static StopCause Cause() {
        switch (g_stopSignal) {
            case SIGINT:
                return StopCause::Interrupt;
            case SIGTERM:
                return StopCause::Terminate;
            case SIGHUP:
                return StopCause::HangUp;
            default:
                return StopCause::None;
        }
    }

private:
    static constexpr std::array<int, 3> kStopSignals{SIGINT, SIGTERM, SIGHUP};
    std::array<struct sigaction, 3> previous_{};
    struct sigaction previousPipe_ {};
};

}  // namespace

std::unique_ptr<RejectsFile> OpenRejectsFile(const std::string& path, const std::string& logFile, std::ostream& err) {
    if (IsSameFile(path, logFile)) {
        err << "vireo-import import: the rejects file is the log file itself - " << path << '\n';
        return nullptr;
    }
    try {
        return std::make_unique<RejectsFile>(path);
    } catch (const RejectsFileError& failure) {
        err << "vireo-import import: " << failure.what() << '\n';
        return nullptr;
    }
}

bool FinishRejectsFile(RejectsFile& rejects, std::ostream& err) {
    try {
        rejects.Finish();
        return true;
    } catch (const RejectsFileError& failure) {
        err << failure.what() << '\n';
        return false;
    }
}

std::string ImportSummaryLine(const ImportResult& result) {
    const ImportCounts& counts = result.counts;
    std::ostringstream line;
    line << "Lines: " << counts.lines << "  inserted: " << counts.inserted << "  updated: " << counts.updated
         << "  not written: " << counts.failed << "  without time tag: " << counts.withoutTimeTag;
    if (counts.outOfRange != 0) line << "  out of range: " << counts.outOfRange;
    if (counts.timeDoesNotExist != 0) line << "  time that does not exist: " << counts.timeDoesNotExist;
    if (result.keepEdits || counts.kept != 0) line << "  kept: " << counts.kept;
    if (counts.notANumber != 0) line << "  not a number: " << counts.notANumber;
    if (counts.withoutPair != 0) line << "  without a pair: " << counts.withoutPair;
    line << (result.stopped ? "  (stopped)" : "");
    return line.str();
}

bool KeepEditsOf(const CliOptions& options, const AppSettings& settings) {
    if (options.Has("--no-keep-edits")) return false;
    return options.Has("--keep-edits") || settings.FKeepEdits;
}

/// The route of the command line: batches unless --one-by-one (the fast
/// mode keeps every promise of a run value by value: lines are shown once
/// committed, a stop commits first), in bulk as --bulk (checked: on, odbc or
/// off) or the settings file's BulkImport= say.
WriteRoute RouteOfOptions(const CliOptions& options, const std::string& bulk, const AppSettings& settings) {
    if (options.Has("--one-by-one")) return WriteRoute::OneByOne;
    return RouteOfSwitches(true, bulk.empty() ? settings.FBulkImport : bulk != "off", bulk == "odbc");
}

int ImportExitStatus(const ImportResult& result, StopCause cause) {
    if (result.counts.failed > 0) return 3;
    if (!result.error.empty()) return 1;
    if (!result.stopped) return 0;
    switch (cause) {
        case StopCause::Terminate:
            return 143;
        case StopCause::HangUp:
            return 129;
        case StopCause::OutputClosed:
            return 141;
        case StopCause::None:
        case StopCause::Interrupt:
            break;
    }
    return 130;
}

std::optional<int> CheckConnectedRun(const CliConnection& connection, ImportRequest& request, std::string_view command,
                                     std::ostream& err) {
    try {
        request.freeShare = FreeShareOf(GetDataStoreUsage(connection.alias, connection.settings.FMaxDBFileSize));
    } catch (const std::exception& failure) {
        err << ConnectFailureText(connection.alias, failure.what()) << "\n";
        return 1;
    }
    try {
        // Checked once here rather than failing once a value.
        const std::vector<UnreadableTable> unreadable = UnreadableTables(*connection.database);
        if (!unreadable.empty()) {
            err << command << ": " << UnreadableTablesText(connection.alias, unreadable) << "\n";
            return 1;
        }
        // Only what the window could have paired may be written.
        const std::vector<RefusedEntry> refused = RefusedImportEntries(*connection.database, request.importList);
        for (const RefusedEntry& entry : refused) err << command << ": " << entry.text << "\n";
        if (!refused.empty()) return 2;
    } catch (const DbError& failure) {
        err << command << ": " << failure.what() << "\n";
        return 1;
    }
    return std::nullopt;
}

std::string UnreadableTablesText(std::string_view dataSource, const std::vector<UnreadableTable>& tables) {
    std::string text = "the data source " + std::string(dataSource) + " lacks what an import needs:";
    for (const UnreadableTable& table : tables)
        text += " table " + table.name + " cannot be read (" + table.error + ");";
    text.back() = '.';
    return text;
}

std::unique_ptr<StatusMessenger> RunStatusLines(std::ostream& out, const CliOptions& options, RunControl& control,
                                                bool& outputClosed, ConsoleProgress* progress) {
    auto sink = std::make_unique<StatusMessenger>([&out, &control, &outputClosed, progress](const std::string& line) {
        if (outputClosed) return;
        if (progress != nullptr) progress->BeforeStatusLine();
        out << line << '\n' << std::flush;
        if (progress != nullptr) progress->AfterStatusLine();
        if (!out) {
            outputClosed = true;
            control.stop = true;
        }
    });
    sink->SetShowDetails(options.Has("--details"));
    if (options.Has("--status-log")) {
        sink->SetLogFileName(options.Get("--status-log"));
        sink->SetLogToFile(true);
    }
    return sink;
}

namespace {

int RunImportCommand(CommandContext& context) {
    CliOptions options;
    AddConnectionOptions(options);
    AddZoneOptions(options);
    options.Value("--list")
        .Value("--pair", true)
        .Value("--station")
        .Value("--status-log")
        .Value("--bulk")
        .Value("--state")
        .Value("--rejects")
        .Value("--format");
    options.Flag("--details")
        .Flag("--fast")
        .Flag("--one-by-one")
        .Flag("--yes")
        .Flag("--incremental")
        .Flag("--keep-edits")
        .Flag("--no-keep-edits")
        .Flag("--from-start")
        .Flag("--dry-run")
        .Flag("--help")
        .Flag("-h");
    std::string error;
    if (!options.Parse(context.args, error)) {
        context.err << "vireo-import import: " << error << "\n" << kUsage;
        return 2;
    }
    if (options.Has("--help") || options.Has("-h")) {
        context.out << kUsage << "\n" << kHelp << kZoneHelp << "\n" << kConnectionHelp;
        return 0;
    }
    if (options.Positional().size() != 1 || options.Has("--list") == !options.All("--pair").empty()) {
        context.err << kUsage;
        return 2;
    }

    const std::string format = options.Get("--format", "table");
    if (format != "table" && format != "json") {
        context.err << "vireo-import import: --format is table or json, not '" << format << "'\n" << kUsage;
        return 2;
    }
    // Options that would do nothing here are refused, as --state without --incremental is.
    if (options.Has("--format") && !options.Has("--dry-run")) {
        context.err << "vireo-import import: --format goes with --dry-run\n" << kUsage;
        return 2;
    }
    if (options.Has("--one-by-one") && (options.Has("--fast") || options.Has("--bulk"))) {
        context.err << "vireo-import import: --one-by-one excludes --fast and --bulk\n" << kUsage;
        return 2;
    }
    if (options.Has("--rejects") && options.Get("--rejects") == "-") {
        context.err << "vireo-import import: --rejects takes a file name; standard output holds the status lines\n"
                    << kUsage;
        return 2;
    }
    if (!CheckPasswordVariable(options, context.err)) return 2;
    const std::string bulk = options.Has("--bulk") ? options.Get("--bulk") : "";
    if (!bulk.empty() && bulk != "on" && bulk != "odbc" && bulk != "off") {
        context.err << "vireo-import import: --bulk takes on, odbc or off, not \"" << bulk << "\"\n" << kUsage;
        return 2;
    }

    // A status line that cannot be written (standard output closed under the
    // run) stops the run as Ctrl-C does.
    RunControl control;
    bool outputClosed = false;
    ConsoleProgress progress(context.err, &context.err == &std::cerr && isatty(STDERR_FILENO) != 0);
    const std::unique_ptr<StatusMessenger> statusLines =
        RunStatusLines(context.out, options, control, outputClosed, &progress);
    StatusMessenger& sink = *statusLines;

    ImportRequest request;
    request.logFile = options.Positional().front();
    if (options.Has("--list")) {
        if (!LoadImportSettings(options.Get("--list"), request.importList, sink)) return 2;
    } else {
        request.importList = options.All("--pair");
    }
    // The positions are held from here to the end of the run.
    std::optional<FollowSession> follow;
    if (options.Has("--dry-run") && options.Has("--incremental")) {
        context.err << "vireo-import import: --dry-run reads the whole file and goes without --incremental\n" << kUsage;
        return 2;
    }
    if (options.Has("--state") && !options.Has("--incremental")) {
        context.err << "vireo-import import: --state goes with --incremental\n" << kUsage;
        return 2;
    }
    if (options.Has("--from-start") && !options.Has("--incremental")) {
        context.err << "vireo-import import: --from-start goes with --incremental\n" << kUsage;
        return 2;
    }
    if (options.Has("--keep-edits") && options.Has("--no-keep-edits")) {
        context.err << "vireo-import import: --keep-edits and --no-keep-edits exclude each other\n" << kUsage;
        return 2;
    }
    if (!CheckZoneOptions(options, "vireo-import import", context.err)) return 2;
    if (options.Has("--incremental")) {
        const std::optional<std::string> positions = PositionsPath(options, "import", context.err);
        if (!positions) return 2;
        try {
            follow.emplace(*positions);
        } catch (const FollowStateError& error) {
            context.err << "vireo-import import: " << error.what() << "\n";
            return 2;
        }
    }
    request.chosenStation = options.Has("--station") || request.importList.empty()
                                ? options.Get("--station")
                                : SplitImportEntry(request.importList.front()).stationId;

    if (!CheckLogFile(request.logFile, "vireo-import import", context.err)) return 2;
    auto connection = OpenCliConnection(options, context.err);
    if (!connection) return 1;
    request.route = RouteOfOptions(options, bulk, connection->settings);
    request.keepEdits = KeepEditsOf(options, connection->settings);
    const std::optional<TimeZones> zones = ZonesOf(options, &connection->settings, "vireo-import import", context.err);
    if (!zones) return 2;
    request.zones = *zones;
    // Opening and closing a file of the connected database would drop the
    // locks the SQLite library holds for the connection.
    for (const std::string& file : {request.logFile, options.Get("--status-log"), options.Get("--rejects")}) {
        if (IsFileOfDataSource(connection->alias, file)) {
            context.err << DataSourceFileRefused(file) << "\n";
            return 2;
        }
    }
    if (const std::optional<int> failed = CheckConnectedRun(*connection, request, "vireo-import import", context.err))
        return *failed;

    ConsoleDialogs dialogs(context.err, options.Has("--yes"));
    if (!CheckImport(request, dialogs)) return 2;

    std::unique_ptr<RejectsFile> rejects;
    if (options.Has("--rejects")) {
        rejects = OpenRejectsFile(options.Get("--rejects"), request.logFile, context.err);
        if (!rejects) return 2;
        request.rejects = rejects.get();
    }

    // Also over the summary: a standard output closed at the very end must
    // not kill the program before it gives its status.
    SignalsToStop signals(control);
    if (options.Has("--dry-run")) {
        const DryRunReport report = RunDryRun(request, *connection->database, progress, control);
        context.out << (format == "json" ? DryRunJson(report) : DryRunTable(report)) << std::flush;
        if (!report.error.empty()) context.err << report.error << '\n';
        std::ostringstream rejectsErr;
        if (rejects && !FinishRejectsFile(*rejects, rejectsErr) && report.error.empty()) {
            context.err << rejectsErr.str();
            return 1;
        }
        ImportResult asRun;
        asRun.error = report.error;
        asRun.stopped = report.partial && report.error.empty();
        return ImportExitStatus(asRun, SignalsToStop::Cause());
    }
    DataWriter writer(*connection->database);
    SensorPairs pairs;
    const ImportResult result = follow ? follow->Import(request, connection->alias, pairs, writer, sink, progress,
                                                        control, options.Has("--from-start"))
                                       : RunImport(request, pairs, writer, sink, progress, control);
    if (!outputClosed) context.out << ImportSummaryLine(result) << '\n' << std::flush;
    if (!result.error.empty()) context.err << result.error << '\n';
    // A rejects file that failed under the run has said so as the run's error.
    std::ostringstream rejectsErr;
    if (rejects && !FinishRejectsFile(*rejects, rejectsErr) && result.error.empty()) {
        context.err << rejectsErr.str();
        return 1;
    }
    StopCause cause = SignalsToStop::Cause();
    if (cause == StopCause::None && outputClosed) cause = StopCause::OutputClosed;
    return ImportExitStatus(result, cause);
}

const Registrar reg{"import", "import the paired values of a log file into TF_DATA1", &RunImportCommand};

}  // namespace
}  // namespace vireo::cli
