#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/CliConnection.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleProgress.h"
#include "db/Catalogue.h"
#include "import/ImportRun.h"
#include "import/RejectsFile.h"
#include "status/StatusMessages.h"

namespace vireo::cli {

/// The rejects file of a run, created before it starts; null (with the reason
/// on `err`) when it cannot be created or would overwrite the log file.
std::unique_ptr<RejectsFile> OpenRejectsFile(const std::string& path, const std::string& logFile, std::ostream& err);
/// Writes the rest of the rejects file and closes it; false (with the reason on `err`) when that fails.
bool FinishRejectsFile(RejectsFile& rejects, std::ostream& err);

/// The status lines of a run on `out`, with details and the status log as
/// --details and --status-log ask. A line that cannot be written (standard
/// output closed under the run) sets `outputClosed` and stops the run as
/// Ctrl-C does; nothing more is written to `out` then.
/// A progress bar, when given, is cleared before each line and drawn again after it.
std::unique_ptr<StatusMessenger> RunStatusLines(std::ostream& out, const CliOptions& options, RunControl& control,
                                                bool& outputClosed, ConsoleProgress* progress = nullptr);

/// The checks of a run once connected: the data store's free share goes into
/// the request, the tables of an import must be readable (else 1), and every
/// entry must be one the window could have paired (RefusedImportEntries: each
/// refused entry is named, and the status is 2). The exit status when one
/// fails (the reasons on `err`, each after `command`), else nothing.
std::optional<int> CheckConnectedRun(const CliConnection& connection, ImportRequest& request, std::string_view command,
                                     std::ostream& err);

/// "the data source NAME lacks what an import needs: table TF_DATA1 cannot be
/// read (driver's message)." with every table that cannot be read.
std::string UnreadableTablesText(std::string_view dataSource, const std::vector<UnreadableTable>& tables);

/// Why a run of `vireo-import import` was asked to stop before its end.
enum class StopCause { None, Interrupt, Terminate, HangUp, OutputClosed };

/// The summary line after a run: "Lines: ...  inserted: ...  updated: ...
/// not written: ...  without time tag: ...", then the counts of the other
/// values of the file when above 0 ("out of range: ", "kept: " also at 0 when
/// edits are kept, "not a number: ", "without a pair: "), and "  (stopped)"
/// for a stopped run. Every value the file yields is in one of its counts.
std::string ImportSummaryLine(const ImportResult& result);

/// Whether a run keeps edited values: --keep-edits, --no-keep-edits, else the
/// settings file's KeepEdits= (as the window does).
bool KeepEditsOf(const CliOptions& options, const AppSettings& settings);
/// The route an import takes by the command line's options; `bulk` is
/// --bulk's value (on, odbc, off) or empty.
WriteRoute RouteOfOptions(const CliOptions& options, const std::string& bulk, const AppSettings& settings);

/// The exit status of a run: 3 when values were not written (whatever else
/// happened), 1 when an error ended it, 130, 143 or 129 when Ctrl-C, SIGTERM
/// or SIGHUP stopped it, 141 when standard output was closed under it, else 0.
int ImportExitStatus(const ImportResult& result, StopCause cause);

}  // namespace vireo::cli
