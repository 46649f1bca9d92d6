// vireo-import watch: follows growing log files into TF_DATA1, unattended.
// Each pass imports what was appended to each file since its position, the
// same run as `import --incremental`; the core does the work (src/follow),
// this file parses the options and prints.

#include <signal.h>

#include <array>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>
#include <sstream>

#include "cli/Cli.h"
#include "cli/CliConnection.h"
#include "cli/FollowOptions.h"
#include "cli/ImportCommand.h"
#include "cli/ZoneOptions.h"
#include "db/Capacity.h"
#include "db/Catalogue.h"
#include "db/StoreFiles.h"
#include "files/SafeOpen.h"
#include "follow/FollowPass.h"
#include "import/ImportList.h"
#include "import/ImportSettingsFile.h"
#include "import/StartConnection.h"
#include "import/UnpairableEntries.h"
#include "logfile/LogLineReader.h"
#include "status/StatusMessages.h"

namespace vireo::cli {
namespace {

constexpr const char* kUsage =
    "usage: vireo-import watch (FOLDER | FILE...) --list FILE.sfg [--pattern '*.log'] [--jobs N]\n"
    "                         [--interval S] [--once] [--state FILE] [--from-start] [--station ID] [--details]\n"
    "                         [--status-log FILE] [--rejects FILE.csv] [--keep-edits | --no-keep-edits] [--yes]\n"
    "                         [--dsn NAME] [--user USER] [--password-env VAR]\n";

constexpr const char* kHelp =
    "Follows growing log files: every file of each FOLDER whose name matches the pattern,\n"
    "and each FILE named. A pass imports the lines appended to each file since its last\n"
    "pass (complete lines only), as 'import --incremental' does, and saves the file's\n"
    "position once its values are committed. A file that became shorter or whose first\n"
    "bytes changed (rotated, replaced) is read again from the start. A file that did not\n"
    "change costs one look at its size, nothing is read. A pass follows a change seen in\n"
    "the folders (inotify) or the interval, whichever comes first. Ctrl-C or SIGTERM\n"
    "end the watch: what was written is committed, the positions are saved, exit 0.\n"
    "A restart goes on from the positions: no value is imported twice, none is skipped.\n"
    "\n"
    "  --list FILE.sfg      the import list stored by the window (\"Store Import Settings\")\n"
    "  --pattern PATTERN    the files of a FOLDER to follow (default '*.log')\n"
    "  --jobs N             import up to N files at once, each on its own connection\n"
    "                       (default 1)\n"
    "  --interval S         seconds between passes when no change is seen (default 5)\n"
    "  --once               one pass, then exit (for cron and systemd timers)\n"
    "  --state FILE         where the positions are kept (default: the --list file with\n"
    "                       the extension .positions); one process at a time uses it\n"
    "  --from-start         the first pass reads every file again from its start (the\n"
    "                       values there update their rows); the passes after it go on\n"
    "                       from the positions\n"
    "  --station ID         the station chosen for the run (default: the first entry's)\n"
    "  --details            detail messages (\"Reading - \", \"Inserted timetag data - \"...)\n"
    "  --status-log FILE    also append every status line to FILE\n"
    "  --rejects FILE.csv   every line or value that was not written goes to a rejects\n"
    "                       file of its log file: FILE-NAME.csv for the log file NAME\n"
    "                       (rejects.csv and a.log give rejects-a.log.csv), beside FILE.\n"
    "                       The rows of each pass are added to it; it is made (readable\n"
    "                       by its owner only) when a file first has something to say.\n"
    "                       A value tried again at a later pass is added again then\n"
    "  --keep-edits         leave rows whose ED_VALUE was edited (differs from ORIG_VALUE);\n"
    "                       the default when the settings file holds KeepEdits=1\n"
    "  --no-keep-edits      overwrite edited rows, whatever the settings file holds\n"
    "  --yes                answer the questions that would cancel the run with No\n"
    "\n"
    "Values are committed in batches, at the latest at the end of each file's run.\n"
    "Status lines begin with their file's path; after each pass one summary line per\n"
    "file that was read. A file that fails is reported and tried again at the next pass,\n"
    "and so is a value that was not written: its file's position stays at its line.\n"
    "A position is kept with the import list it was reached with: when the list gained\n"
    "an entry since, the file is read again from the start (for every entry; the values\n"
    "written before update their rows), with a status line that says so.\n"
    "A file of a FOLDER that is a FIFO, a device or a symbolic link of another user is\n"
    "passed over with a status line, never read.\n"
    "\n"
    "Exit status (--once): 0 done, 1 an error ended a file's run, 2 bad arguments or a\n"
    "failed check, 3 values were not written. A watch ended by a signal exits 0.\n";

/// The checks' message boxes, on standard error; a question that would cancel
/// is answered Yes (cancel) unless --yes was given.
class WatchDialogs : public UserDialogs {
public:
    WatchDialogs(std::ostream& err, bool goOn) : err_(err), goOn_(goOn) {}
    MessageAnswer ShowMessage(MessageKind, const std::string& text, MessageButtons buttons) override {
        err_ << text << '\n';
        if (buttons == MessageButtons::YesNo) {
            if (!goOn_) err_ << "(answered Yes; give --yes to go on)\n";
            return goOn_ ? MessageAnswer::No : MessageAnswer::Yes;
        }
        return buttons == MessageButtons::Cancel ? MessageAnswer::Cancel : MessageAnswer::Ok;
    }
    std::optional<std::string> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<std::string> SaveFile(const FileDialogRequest&) override { return std::nullopt; }

private:
    std::ostream& err_;
    bool goOn_;
};

RunControl* g_watchControl = nullptr;

extern "C" void OnWatchStopSignal(int) {
    if (g_watchControl != nullptr) g_watchControl->stop = true;
}

/// While it lives, Ctrl-C, SIGTERM and SIGHUP end the watch (the runs stop
/// before their next line), and SIGPIPE is ignored.
class WatchSignals {
public:
    explicit WatchSignals(RunControl& control) {
        g_watchControl = &control;
        struct sigaction action {};
        action.sa_handler = OnWatchStopSignal;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &action, &previous_[i]);
    }
    ~WatchSignals() {
        for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
        g_watchControl = nullptr;
    }
    WatchSignals(const WatchSignals&) = delete;
    WatchSignals& operator=(const WatchSignals&) = delete;

private:
    static constexpr std::array<int, 4> kSignals{SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    std::array<struct sigaction, 4> previous_{};
};

bool ReadCount(const std::string& text, double least, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end != nullptr && *end == '\0' && value >= least;
}

/// An error of a file's run, named by its path (a file's own error names it already).
std::string FileErrorText(const std::string& path, const std::string& error) {
    return error.rfind(path + ": ", 0) == 0 ? error : path + ": " + error;
}

int RunWatchCommand(CommandContext& context) {
    CliOptions options;
    AddConnectionOptions(options);
    AddZoneOptions(options);
    options.Value("--list").Value("--pattern").Value("--jobs").Value("--interval").Value("--state");
    options.Value("--station").Value("--status-log").Value("--rejects");
    options.Flag("--once").Flag("--details").Flag("--yes").Flag("--help").Flag("-h");
    options.Flag("--keep-edits").Flag("--no-keep-edits").Flag("--from-start");
    std::string error;
    if (!options.Parse(context.args, error)) {
        context.err << "vireo-import watch: " << error << "\n" << kUsage;
        return 2;
    }
    if (options.Has("--help") || options.Has("-h")) {
        context.out << kUsage << "\n" << kHelp << kZoneHelp << "\n" << kConnectionHelp;
        return 0;
    }
    if (options.Positional().empty() || !options.Has("--list")) {
        context.err << kUsage;
        return 2;
    }
    double jobs = 1;
    double interval = 5;
    if (!ReadCount(options.Get("--jobs", "1"), 1, jobs) || jobs != static_cast<int>(jobs) || jobs > 64) {
        context.err << "vireo-import watch: --jobs takes a whole number from 1 to 64\n";
        return 2;
    }
    if (!ReadCount(options.Get("--interval", "5"), 0.1, interval)) {
        context.err << "vireo-import watch: --interval takes a number of seconds, at least 0.1\n";
        return 2;
    }
    FollowTargets targets;
    targets.pattern = options.Get("--pattern", "*.log");
    for (const std::string& target : options.Positional()) {
        (std::filesystem::is_directory(target) ? targets.folders : targets.files).push_back(target);
    }
    if (!CheckPasswordVariable(options, context.err)) return 2;
    if (options.Has("--keep-edits") && options.Has("--no-keep-edits")) {
        context.err << "vireo-import watch: --keep-edits and --no-keep-edits exclude each other\n" << kUsage;
        return 2;
    }
    if (!CheckZoneOptions(options, "vireo-import watch", context.err)) return 2;
    if (options.Has("--rejects")) {
        // Its files would be followed too, and their rows would be rejected into them.
        const std::filesystem::path rejectsFolder =
            std::filesystem::absolute(options.Get("--rejects")).parent_path().lexically_normal();
        for (const std::string& folder : FoldersToWatch(targets)) {
            std::error_code failed;
            if (std::filesystem::equivalent(rejectsFolder, folder, failed)) {
                context.err << "vireo-import watch: the rejects files would lie in a followed folder - "
                            << options.Get("--rejects") << '\n';
                return 2;
            }
        }
    }

    RunControl control;
    bool outputClosed = false;
    const std::unique_ptr<StatusMessenger> statusLines = RunStatusLines(context.out, options, control, outputClosed);
    StatusMessenger& sink = *statusLines;

    ImportRequest request;
    request.route = WriteRoute::EngineInterface;
    if (!LoadImportSettings(options.Get("--list"), request.importList, sink)) return 2;
    request.chosenStation = options.Has("--station") || request.importList.empty()
                                ? options.Get("--station")
                                : SplitImportEntry(request.importList.front()).stationId;
    const std::optional<std::string> positions = PositionsPath(options, "watch", context.err);
    if (!positions) return 2;

    auto connection = OpenCliConnection(options, context.err);
    if (!connection) return 1;
    request.keepEdits = KeepEditsOf(options, connection->settings);
    const std::optional<TimeZones> zones = ZonesOf(options, &connection->settings, "vireo-import watch", context.err);
    if (!zones) return 2;
    request.zones = *zones;
    for (const std::string& file : {options.Get("--status-log"), options.Get("--rejects")}) {
        if (IsFileOfDataSource(connection->alias, file)) {
            context.err << DataSourceFileRefused(file) << "\n";
            return 2;
        }
    }
    if (const std::optional<int> failed = CheckConnectedRun(*connection, request, "vireo-import watch", context.err))
        return *failed;
    // The log files are checked as each is followed; the list stands in for
    // them in the checks of the list, the data store and the station.
    ImportRequest checked = request;
    checked.logFile = options.Get("--list");
    WatchDialogs dialogs(context.err, options.Has("--yes"));
    if (!CheckImport(checked, dialogs)) return 2;

    // Each further job opens a connection of its own, as the first was opened.
    OpenFollowDatabase open = [&options]() -> std::shared_ptr<Database> {
        std::ostringstream why;
        std::shared_ptr<CliConnection> more = OpenCliConnection(options, why);
        if (!more) throw std::runtime_error(why.str().substr(0, why.str().find_last_not_of('\n') + 1));
        return std::shared_ptr<Database>(more, more->database.get());
    };
    std::optional<Follower> follower;
    try {
        follower.emplace(*positions, connection->alias, request, static_cast<int>(jobs), open, sink);
    } catch (const FollowStateError& failure) {
        context.err << "vireo-import watch: " << failure.what() << "\n";
        return 2;
    }
    if (options.Has("--rejects")) follower->SetRejects(options.Get("--rejects"));
    if (options.Has("--from-start")) follower->ReadFromStartNextPass();
    std::shared_ptr<CliConnection> first = std::move(connection);
    follower->AdoptConnection(std::shared_ptr<Database>(first, first->database.get()));

    WatchSignals signals(control);
    FollowWaiter waiter(FoldersToWatch(targets));
    int status = 0;
    std::set<std::string> skippedTold;
    while (!control.stop) {
        std::vector<std::string> files;
        std::vector<FileError> skipped;
        try {
            files = FilesToFollow(targets, &skipped);
        } catch (const LogFileError& failure) {
            context.err << "vireo-import watch: " << failure.what() << "\n";
            status = 1;
        }
        // A file of a folder that is passed over is told once, and again
        // should it be passed over after it was not.
        std::set<std::string> skippedNow;
        for (const FileError& refused : skipped) {
            skippedNow.insert(refused.path());
            if (skippedTold.count(refused.path()) == 0)
                sink.AddStatusMessage(refused.path() + ": " + std::string(kLogFileSkipped) + refused.reason());
        }
        skippedTold = std::move(skippedNow);
        for (const FollowReport& report : follower->Pass(files, control)) {
            const ImportResult& result = report.outcome.result;
            if (report.outcome.read) context.out << report.path << ": " << ImportSummaryLine(result) << '\n';
            if (!result.error.empty()) context.err << FileErrorText(report.path, result.error) << '\n';
            if (result.counts.failed > 0)
                status = 3;
            else if (!result.error.empty() && status != 3)
                status = 1;
        }
        context.out << std::flush;
        if (options.Has("--once")) {
            // Followed for good, a missing file is looked for again at every
            // pass; one pass cannot wait for it, so it is reported as wrong.
            for (const std::string& target : options.Positional()) {
                std::error_code ignored;
                if (std::filesystem::exists(target, ignored)) continue;
                context.err << "vireo-import watch: " << target << ": no such file or folder\n";
                if (status == 0) status = 2;
            }
            return status;
        }
        waiter.Wait(interval, control);
    }
    return 0;
}

const Registrar reg{"watch", "follow growing log files into TF_DATA1, unattended", &RunWatchCommand};

}  // namespace
}  // namespace vireo::cli
