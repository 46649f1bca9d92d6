#include "import/ImportRun.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <optional>

#include "db/BulkWriter.h"
#include "db/Catalogue.h"
#include "db/ConflictRetry.h"
#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/ExistingRows.h"
#include "db/WriteRoute.h"
#include "files/SafeOpen.h"
#include "import/ImportList.h"
#include "import/ImportMessages.h"
#include "import/RejectsFile.h"
#include "import/ValueFate.h"
#include "logfile/LogValueReader.h"
#include "logfile/SensorDiscovery.h"

namespace vireo {
namespace {

/// A file that is there and is no folder. A link refused by the rules of
/// files/SafeOpen counts as there: the run's reading then says why.
bool IsExistingFile(const std::string& path) {
    try {
        const std::optional<struct stat> info = LookAtPath(path);
        return info && !S_ISDIR(info->st_mode);
    } catch (const FileError& error) {
        return error.error() == 0;
    }
}

}  // namespace

void SensorPairs::ClearSensorPairs() {
    pairs_.clear();
    firstByUpperName_.clear();
}

void SensorPairs::BuildSensorPairs(const std::vector<std::string>& importList) {
    ClearSensorPairs();
    for (const std::string& entry : importList) {
        ImportEntryParts parts = SplitImportEntry(entry);
        if (parts.stationId.empty() || parts.sensorName.empty()) continue;
        firstByUpperName_.emplace(UpperCaseName(parts.logSensor), pairs_.size());
        pairs_.emplace_back(std::move(parts.logSensor),
                            TDBSensor{std::move(parts.stationId), std::move(parts.sensorName)});
    }
}

const TDBSensor* SensorPairs::FindSensorPair(std::string_view logSensor) const {
    auto found = firstByUpperName_.find(UpperCaseName(logSensor));
    return found == firstByUpperName_.end() ? nullptr : &pairs_[found->second].second;
}

bool CheckImport(const ImportRequest& request, UserDialogs& dialogs) {
    if (!IsExistingFile(request.logFile)) {
        dialogs.ShowMessage(MessageKind::Error, "Error 106: Please enter a file name", MessageButtons::Ok);
        return false;
    }
    switch (request.freeShare.state) {
        case FreeShareShown::State::NotShown:
            // Nothing has been shown since no connection was tried.
            dialogs.ShowMessage(MessageKind::Error, "'' is not a valid integer value", MessageButtons::Ok);
            return false;
        case FreeShareShown::State::Known:
            if (request.freeShare.percent < 10 &&
                dialogs.ShowMessage(MessageKind::Warning, "The available database size is less than 10%, cancel?",
                                    MessageButtons::YesNo) == MessageAnswer::Yes)
                return false;
            break;
        case FreeShareShown::State::Unknown:  // a server database: nothing to ask
            break;
    }
    if (request.importList.empty()) {
        dialogs.ShowMessage(MessageKind::Error, "The import list is empty!", MessageButtons::Cancel);
        return false;
    }
    if (!SameName(SplitImportEntry(request.importList.front()).stationId, request.chosenStation) &&
        dialogs.ShowMessage(MessageKind::Warning, "The station name does not matching with the database, cancel?",
                            MessageButtons::YesNo) == MessageAnswer::Yes)
        return false;
    return true;
}

namespace {

/// The line loop of one run.
class ImportLoop {
public:
    ImportLoop(const ImportRequest& request, const SensorPairs& pairs, DataWriter& writer, StatusSink& sink,
               ImportObserver& observer, const RunControl& control, ImportResult& result)
        : request_(request),
          pairs_(pairs),
          writer_(writer),
          sink_(sink),
          observer_(observer),
          control_(control),
          result_(result),
          prnFile_(IsPrnFile(request.logFile)) {
        writer_.SetStopCheck([this] { return StopAsked(); });
    }
    ~ImportLoop() { writer_.SetStopCheck(nullptr); }
    ImportLoop(const ImportLoop&) = delete;
    ImportLoop& operator=(const ImportLoop&) = delete;

    void Run() {
        // Whatever ends the run, what was written is committed first. A
        // failing commit was reported; the first error is the one that ends
        // the run.
        std::exception_ptr ended;
        try {
            ReadLines();
        } catch (...) {
            ended = std::current_exception();
        }
        try {
            CommitBatch();
        } catch (...) {
            if (!ended) ended = std::current_exception();
        }
        if (ended) std::rethrow_exception(ended);
    }

private:
    bool StopAsked() const { return control_.stop || control_.closing; }

    /// The import's view of a reading: the line events it reports, and each value to the write step.
    class LineEvents : public LogValueVisitor {
    public:
        explicit LineEvents(ImportLoop& loop) : loop_(loop) {}

        bool GoOn() { return !loop_.control_.stop && !loop_.control_.closing; }
        void LineRead(const LogLine& line) {
            loop_.ReadThrough(line.start, line.number - 1);
            if (loop_.sink_.ShowDetails()) loop_.sink_.AddStatusMessage("Reading - " + std::string(line.text));
        }
        void LineTooLong(const LogLine& line) {
            // Longer than any record: its text was not kept, so its values cannot be read.
            loop_.sink_.AddStatusMessage("Line too long, not imported - line " + std::to_string(line.number));
            loop_.Reject(line.number, kRejectLineTooLong, {}, {});
        }
        // Comment lines are passed over; in a .PRN file the reader keeps the
        // column headings, which name the blank-separated values after them.
        CommentAction CommentLine(const LogLine&, const std::vector<std::string>* headings) {
            if (headings != nullptr) loop_.headings_ = std::make_shared<const std::vector<std::string>>(*headings);
            return CommentAction::Skip;
        }
        bool Value(const LogRecord& value, const LogLine& line) {
            if (line.number != valuesOfLine_) {  // the first value of the line
                valuesOfLine_ = line.number;
                loop_.lineReported_ = loop_.rangeReported_ = false;
            }
            loop_.ImportValue(value, line);
            return !loop_.control_.closing;
        }
        bool LineDone(const LogLine& line) {
            if (loop_.control_.closing) return false;
            if (line.kind == LogLineKind::NotARecord) loop_.Reject(line.number, kRejectNotARecord, {}, line.text);
            loop_.ShowProgress(line.end, loop_.size_);
            loop_.observer_.LineCounted(++loop_.result_.counts.lines);
            return true;
        }
        void FileShrank() {
            // A file cut short while it was read has lost lines that were there at the start.
            loop_.sink_.AddStatusMessage("The log file became shorter during the import, its end was not read - " +
                                         loop_.request_.logFile);
        }

    private:
        ImportLoop& loop_;
        std::uint64_t valuesOfLine_ = 0;  // number of the line whose values are being written
    };

    void ReadLines() {
        door_.emplace(writer_, request_.route, request_.keepEdits);
        fast_ = InBatches(door_->Route());
        bulk_ = door_->Sets();
        if (bulk_) bulk_->SetStopCheck([this] { return StopAsked(); });
        if (fast_) ReportRoute();
        if (request_.from) {
            headings_ = std::make_shared<const std::vector<std::string>>(request_.from->headings);
            readThrough_ = {request_.from->offset, request_.from->linesBefore, headings_, request_.from->clock};
            result_.committed = *request_.from;
        }
        if (fast_) StartBatch();
        LogValueReader reader(request_.logFile, prnFile_);
        reader.SetTimeZones(request_.zones);
        if (request_.lookedAt && reader.Identity() != *request_.lookedAt)
            throw LogFileError(request_.logFile, kFileReplacedSinceLook);
        if (request_.from) reader.StartAt(*request_.from);
        reader.SetCompleteLinesOnly(request_.completeLinesOnly);
        size_ = reader.FileSize();
        LineEvents events(*this);
        reader_ = &reader;
        reader.Read(events);
        // A run ended in the middle of a line has read through the lines before it only.
        if (!control_.closing) ReadThrough(reader.BytesConsumed(), reader.LinesRead());
        reader_ = nullptr;
    }

    // How far the file is read, and how far its values are in the database.
    struct Place {
        std::uint64_t offset = 0;
        std::uint64_t lines = 0;
        std::shared_ptr<const std::vector<std::string>> headings;
        ConversionState clock;  // of the time tags before `offset`
    };

    /// Every line before `offset` has had all its values written (or passed over).
    void ReadThrough(std::uint64_t offset, std::uint64_t lines) {
        readThrough_ = {offset, lines, headings_, reader_->Clock()};
        // Without batches every statement is committed on its own.
        if (!fast_) MarkCommitted();
    }

    /// A value was not written: what follows may be read through, but the
    /// committed place stays before `place` for a later run to try again.
    void Hold(const Place& place) {
        if (!held_ || place.offset < held_->offset) held_ = place;
    }

    void MarkCommitted() {
        const Place& place = held_ ? *held_ : readThrough_;
        if (place.offset <= result_.committed.offset) return;
        result_.committed.offset = place.offset;
        result_.committed.linesBefore = place.lines;
        result_.committed.clock = place.clock;
        if (place.headings != committedHeadings_) {
            committedHeadings_ = place.headings;
            result_.committed.headings = place.headings ? *place.headings : std::vector<std::string>{};
        }
        observer_.Committed(result_.committed);
    }

    /// One value of a line reaches the write step. Every paired numeric value
    /// of a line is written; a value that is no number or has no pair is passed
    /// over, not the rest of the line. A value text that is no number is passed
    /// over silently, one written as a number too large for a double is reported;
    /// each is counted.
    void ImportValue(const LogRecord& value, const LogLine& logLine) {
        const std::string_view line = logLine.text;
        const auto [pair, fate] = FateOfValue(value, pairs_);
        if (fate != ValueFate::Write) Reject(logLine.number, RejectReasonText(fate, value), ShownName(value), line);
        if (fate == ValueFate::NoPair) {
            ++result_.counts.withoutPair;
            return;
        }
        if (fate == ValueFate::NotANumber) {
            ++result_.counts.notANumber;
            return;
        }
        if (fate == ValueFate::NoTimeTag) {
            ++result_.counts.withoutTimeTag;
            if (!lineReported_) {
                sink_.AddStatusMessage("No valid date and time, line not imported - " + std::string(line));
                lineReported_ = true;
            }
            return;
        }
        if (fate == ValueFate::TimeDoesNotExist) {
            ++result_.counts.timeDoesNotExist;
            return;
        }
        if (fate == ValueFate::OutOfRange) {
            ++result_.counts.outOfRange;
            if (!rangeReported_) {
                sink_.AddStatusMessage("Number out of range, value not imported - " + std::string(line));
                rangeReported_ = true;
            }
            return;
        }
        if (bulk_) {
            // Written in sets when the batch is committed.
            pending_.push_back({pair, value.timeTag, value.value, WriteOutcome::Failed, logLine.number, logLine.start,
                                logLine.end, std::string(ShownName(value))});
            // Where its line starts: a value that turns out not written holds
            // the committed place there.
            pendingPlaces_.push_back(readThrough_);
            observer_.ValueWritten();
            if (BatchFull(pending_.size())) {
                CommitBatch();
                StartBatch();
            }
            return;
        }
        WriteResult written = writer_.WriteValue(pair->StationId, pair->SensorName, "T", value.timeTag, value.value);
        if (fast_ && Conflict(written)) written = WriteAgain(pair, value, std::move(written));
        if (!written.Written()) RejectRefused(logLine.number, written.error, ShownName(value), line);
        if (fast_) {
            // A written value is shown once its batch is committed; a kept
            // one changed nothing and is shown at once.
            if (!written.Written() || written.outcome == WriteOutcome::Kept)
                ReportWrite(sink_, written, pair->StationId, pair->SensorName, value.timeTag, value.value);
            Count(written.outcome);
            NextInBatch(pair, value, logLine, written.outcome);
        } else {
            ReportWrite(sink_, written, pair->StationId, pair->SensorName, value.timeTag, value.value);
            Count(written.outcome);
        }
        observer_.ValueWritten();
    }

    /// Fast mode: the way the batches go, and why not the engine's own
    /// interface when a bulk run cannot use it.
    void ReportRoute() {
        const RouteChoice& choice = door_->Choice();
        if (choice.asked == WriteRoute::EngineInterface && choice.taken == WriteRoute::DriverSets)
            sink_.AddStatusMessage("Fast import through the driver: " + choice.why);
        if (sink_.ShowDetails()) sink_.AddStatusMessage("Fast import route: " + door_->RouteText());
    }

    bool Conflict(const WriteResult& written) const {
        return !written.Written() && written.error && IsConflict(*written.error, writer_.Connection().Engine());
    }

    /// Fast mode, one statement a value: the value met a deadlock or a
    /// serialization failure. The batch is rolled back whole and its values
    /// written again, then this one, until it is written, fails otherwise,
    /// the tries run out or the run is to stop. The counts follow what the
    /// values written again became.
    WriteResult WriteAgain(const TDBSensor* pair, const LogRecord& value, WriteResult written) {
        for (int tried = 1; tried < kConflictTries && Conflict(written); ++tried) {
            if (!PauseBeforeRetry(tried, [this] { return StopAsked(); })) break;
            writer_.RollbackBatch();
            writer_.BeginBatch();
            // Written again in key order, and committed at once after this
            // value: the sooner the locks go, the sooner the other writer can go on.
            batch_.started = {};
            std::vector<BulkValue> keys;
            for (const BatchValue& again : batch_.values)
                keys.push_back({again.pair->StationId, again.pair->SensorName, again.timeTag, again.value});
            std::vector<std::size_t> order;
            KeyOrder(keys, order);
            std::optional<WriteResult> refused;
            for (const std::size_t at : order) {
                BatchValue& again = batch_.values[at];
                const WriteResult rewritten =
                    writer_.WriteValue(again.pair->StationId, again.pair->SensorName, "T", again.timeTag, again.value);
                if (!rewritten.Written()) {
                    refused = rewritten;
                    break;
                }
                if (rewritten.outcome != again.outcome) {
                    UncountLast(again.outcome);
                    Count(rewritten.outcome);
                    again.outcome = rewritten.outcome;
                }
            }
            if (refused && Conflict(*refused)) {
                written = *refused;
                continue;
            }
            if (refused) {
                // A value written before is refused now: the batch is lost as a whole.
                writer_.RollbackBatch();
                writer_.BeginBatch();
                ReportBatchLost(refused->error ? refused->error->what() : "");
            }
            written = writer_.WriteValue(pair->StationId, pair->SensorName, "T", value.timeTag, value.value);
        }
        return written;
    }

    void Count(WriteOutcome outcome) {
        switch (outcome) {
            case WriteOutcome::Inserted:
                ++result_.counts.inserted, ++batch_.inserted;
                break;
            case WriteOutcome::Updated:
                ++result_.counts.updated, ++batch_.updated;
                break;
            case WriteOutcome::Failed:
                ++result_.counts.failed;
                Hold(readThrough_);
                break;
            case WriteOutcome::Kept:
                ++result_.counts.kept;
                break;
        }
    }

    void Reject(std::uint64_t lineNumber, std::string_view reason, std::string_view name, std::string_view text) {
        if (request_.rejects != nullptr) request_.rejects->Add(lineNumber, reason, name, text);
    }
    void RejectRefused(std::uint64_t lineNumber, const std::optional<DbError>& error, std::string_view name,
                       std::string_view text) {
        if (request_.rejects == nullptr) return;
        Reject(lineNumber, std::string(kRejectRefused) + " - " + (error ? error->what() : ""), name, text);
    }

    // Fast mode: the values go in batches, each one transaction, committed
    // after kBatchValues values or half a second, whichever comes first, and
    // before the run ends for any reason.
    static constexpr std::size_t kBatchValues = 50000;
    static constexpr std::chrono::milliseconds kBatchTime{500};

    struct BatchValue {
        const TDBSensor* pair;
        DateTime timeTag;
        double value;
        WriteOutcome outcome;
        // Where the value's line lies, and the name as the log spells it, for
        // the rejects file should the batch be lost.
        std::uint64_t lineNumber;
        std::uint64_t lineStart;
        std::uint64_t lineEnd;
        std::string shownName;
    };
    struct Batch {
        // Ends the batch's transaction on every path: committed by
        // CommitBatch, rolled back should the run leave it otherwise.
        std::optional<BatchGuard> guard;
        // Written in this batch: reported as written once the commit has
        // kept them, as not written should the batch be lost.
        std::vector<BatchValue> values;
        std::int64_t inserted = 0;
        std::int64_t updated = 0;
        std::chrono::steady_clock::time_point started;
    };

    void StartBatch() {
        batch_.guard.emplace(writer_);
        batchStart_ = readThrough_;
        ForgetBatch();
        batch_.started = std::chrono::steady_clock::now();
    }

    void ForgetBatch() {
        batch_.values.clear();
        batch_.inserted = batch_.updated = 0;
    }

    void NextInBatch(const TDBSensor* pair, const LogRecord& record, const LogLine& line, WriteOutcome outcome) {
        const bool written = outcome == WriteOutcome::Inserted || outcome == WriteOutcome::Updated;
        if (auto lost = writer_.TakeLostBatch()) {
            // The engine rolled the batch back before this value: the values
            // before it are gone, this one went into the batch that follows.
            if (written) UncountLast(outcome);
            ReportBatchLost(lost->what());
            if (written) Count(outcome);
        }
        if (written)
            batch_.values.push_back({pair, record.timeTag, record.value, outcome, line.number, line.start, line.end,
                                     std::string(ShownName(record))});
        if (BatchFull(batch_.values.size())) {
            CommitBatch();
            StartBatch();
        }
    }

    bool BatchFull(std::size_t values) const {
        return values >= kBatchValues || std::chrono::steady_clock::now() - batch_.started >= kBatchTime;
    }

    /// Bulk mode: the batch's values go to the database in sets, then each
    /// is counted and reported as a value written on its own is.
    void WritePending() {
        if (pending_.empty()) return;
        sets_.clear();
        for (const BatchValue& value : pending_) {
            sets_.push_back({value.pair->StationId, value.pair->SensorName, value.timeTag, value.value});
        }
        try {
            bulk_->Write(sets_, "T", results_);
        } catch (const DbError& error) {
            // The connection cannot write: the batch is given up whole.
            batch_.guard.reset();
            results_.assign(pending_.size(), WriteResult{WriteOutcome::Failed, error});
            TakeResults();
            ReportBatchLost(error.what());
            throw;
        }
        TakeResults();
    }

    void TakeResults() {
        for (std::size_t i = 0; i < pending_.size(); ++i) {
            BatchValue& value = pending_[i];
            value.outcome = results_[i].outcome;
            if (!results_[i].Written()) {
                ReportWrite(sink_, results_[i], value.pair->StationId, value.pair->SensorName, value.timeTag,
                            value.value);
                Hold(pendingPlaces_[i]);
                if (request_.rejects != nullptr) {
                    // The line's text is read again: a batch keeps no texts.
                    RejectRefused(value.lineNumber, results_[i].error, value.shownName,
                                  LineTextAt(request_.logFile, value.lineStart, value.lineEnd));
                }
            } else {
                batch_.values.push_back(value);
            }
            Count(value.outcome);
        }
        pending_.clear();
        pendingPlaces_.clear();
    }

    void UncountLast(WriteOutcome outcome) {
        if (outcome == WriteOutcome::Inserted) --result_.counts.inserted, --batch_.inserted;
        if (outcome == WriteOutcome::Updated) --result_.counts.updated, --batch_.updated;
    }

    /// The batch's values were not written after all: each is counted and
    /// reported as a failed write is.
    void ReportBatchLost(const std::string& error) {
        Hold(batchStart_);
        result_.counts.inserted -= batch_.inserted;
        result_.counts.updated -= batch_.updated;
        result_.counts.failed += batch_.inserted + batch_.updated;
        for (const BatchValue& lost : batch_.values) {
            sink_.AddStatusMessage(NotWrittenText(error, lost.pair->StationId, lost.pair->SensorName, lost.timeTag));
            if (request_.rejects != nullptr) {
                Reject(lost.lineNumber, std::string(kRejectRefused) + " - " + error, lost.shownName,
                       LineTextAt(request_.logFile, lost.lineStart, lost.lineEnd));
            }
        }
        ForgetBatch();
    }

    void CommitBatch() {
        if (!batch_.guard) return;
        if (bulk_) WritePending();
        std::optional<DbError> failed;
        try {
            batch_.guard->Commit();
        } catch (const DbError& error) {
            failed = error;
        }
        batch_.guard.reset();  // a batch whose commit failed is rolled back
        if (failed) {
            // The batch is gone with its transaction.
            ReportBatchLost(failed->what());
            throw *failed;
        }
        // Only now are the batch's values kept whatever happens to the run.
        MarkCommitted();
        if (sink_.ShowDetails()) {
            for (const BatchValue& kept : batch_.values) {
                sink_.AddStatusMessage(WrittenValueText(kept.outcome, kept.pair->StationId, kept.pair->SensorName,
                                                        kept.timeTag, kept.value));
            }
        }
        ForgetBatch();
    }

    void ShowProgress(std::uint64_t consumed, std::uint64_t size) {
        const int percent = size == 0 ? 100 : static_cast<int>(std::min<std::uint64_t>(100, consumed * 100 / size));
        if (percent != lastPercent_) {
            lastPercent_ = percent;
            observer_.ProgressChanged(percent);
        }
    }

    const ImportRequest& request_;
    const SensorPairs& pairs_;
    DataWriter& writer_;
    StatusSink& sink_;
    ImportObserver& observer_;
    const RunControl& control_;
    ImportResult& result_;
    const bool prnFile_;
    std::uint64_t size_ = 0;  // of the log file when it was opened
    // The line's "No valid date and time" and "Number out of range" reports, each made once a line.
    bool lineReported_ = false;
    bool rangeReported_ = false;
    int lastPercent_ = -1;
    Batch batch_;
    // Bulk mode: the set writer, the values of the batch not yet written, and the writer's in- and output.
    std::optional<ValueWriter> door_;
    bool fast_ = false;  // the route commits in batches
    BulkWriter* bulk_ = nullptr;
    std::vector<BatchValue> pending_;
    std::vector<Place> pendingPlaces_;
    std::vector<BulkValue> sets_;
    std::vector<WriteResult> results_;
    std::shared_ptr<const std::vector<std::string>> headings_;  // the .PRN headings in force
    std::shared_ptr<const std::vector<std::string>> committedHeadings_;
    Place readThrough_;
    const LogValueReader* reader_ = nullptr;  // the reading under way
    Place batchStart_;
    std::optional<Place> held_;
};

}  // namespace

ImportResult RunImport(const ImportRequest& request, SensorPairs& pairs, DataWriter& writer, StatusSink& sink,
                       ImportObserver& observer, const RunControl& control) {
    ImportResult result;
    result.keepEdits = request.keepEdits;
    observer.RunStarted();
    try {
        pairs.BuildSensorPairs(request.importList);
        writer.SetKeepEdits(request.keepEdits);
        ImportLoop(request, pairs, writer, sink, observer, control, result).Run();
    } catch (const DbError& error) {
        result.error = error.what();
        result.dbError = error;
    } catch (const std::exception& error) {
        result.error = error.what();
    } catch (...) {
        result.error = "Unknown error";
    }
    result.stopped = result.error.empty() && (control.stop || control.closing);
    sink.AddStatusMessage("Import process completed.");
    observer.RunEnded();
    return result;
}

}  // namespace vireo
