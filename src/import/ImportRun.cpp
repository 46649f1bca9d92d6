#include "import/ImportRun.h"

#include <sys/stat.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "db/Catalogue.h"
#include "db/DataWriter.h"
#include "db/Database.h"
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
          prnFile_(IsPrnFile(request.logFile)) {}
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
        door_->SetStopCheck([this] { return StopAsked(); });
        fast_ = InBatches(door_->Route());
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
        const BulkValue toWrite{pair->StationId, pair->SensorName, value.timeTag, value.value};
        if (!fast_) {
            const WriteResult written = *door_->Write(toWrite).result;
            if (!written.Written()) RejectRefused(logLine.number, written.error, ShownName(value), line);
            ReportWrite(sink_, written, pair->StationId, pair->SensorName, value.timeTag, value.value);
            CountAtOnce(written.outcome, readThrough_);
            CountWritten(written);
            observer_.ValueWritten();
            return;
        }
        Handed handed = door_->Write(toWrite);
        if (handed.lostError) LoseValues(handed.lostError->what(), handed.lost);
        // Where its line starts: a value that turns out not written holds the
        // committed place there.
        batch_.push_back({pair, value.timeTag, value.value, logLine.number, logLine.start, logLine.end,
                          std::string(ShownName(value)), readThrough_});
        if (handed.result) {
            // Written already: a value written is shown once its batch is
            // committed; one not written, or kept, is shown at once.
            const WriteResult& written = *handed.result;
            if (!written.Written()) RejectRefused(logLine.number, written.error, ShownName(value), line);
            if (!written.Written() || written.outcome == WriteOutcome::Kept)
                ReportWrite(sink_, written, pair->StationId, pair->SensorName, value.timeTag, value.value);
            CountAtOnce(written.outcome, readThrough_);
            ++settled_;
        }
        observer_.ValueWritten();
        if (door_->BatchDue()) {
            CommitBatch();
            StartBatch();
        }
    }

    /// Fast mode: the way the batches go, and why not the engine's own
    /// interface when a bulk run cannot use it.
    void ReportRoute() {
        const RouteChoice& choice = door_->Choice();
        if (choice.asked == WriteRoute::EngineInterface && choice.taken == WriteRoute::DriverSets)
            sink_.AddStatusMessage("Fast import through the driver: " + choice.why);
        // Sets asked for, one statement a value taken: a run many times slower.
        if (choice.asked != choice.taken && choice.taken == WriteRoute::Batched)
            sink_.AddStatusMessage("Fast import one statement a value: " + choice.why);
        if (sink_.ShowDetails()) sink_.AddStatusMessage("Fast import route: " + door_->RouteText());
    }

    /// A value not written or kept is counted when its outcome is known; a
    /// written one in a batch once the batch is committed.
    void CountAtOnce(WriteOutcome outcome, const Place& place) {
        if (outcome == WriteOutcome::Failed) {
            ++result_.counts.failed;
            Hold(place);
        } else if (outcome == WriteOutcome::Kept) {
            ++result_.counts.kept;
        }
    }
    void CountWritten(const WriteResult& written) {
        if (written.outcome == WriteOutcome::Inserted) ++result_.counts.inserted;
        if (written.outcome == WriteOutcome::Updated) ++result_.counts.updated;
    }
    static bool WrittenInBatch(const WriteResult& result) {
        return result.outcome == WriteOutcome::Inserted || result.outcome == WriteOutcome::Updated;
    }

    void Reject(std::uint64_t lineNumber, std::string_view reason, std::string_view name, std::string_view text) {
        if (request_.rejects != nullptr) request_.rejects->Add(lineNumber, reason, name, text);
    }
    void RejectRefused(std::uint64_t lineNumber, const std::optional<DbError>& error, std::string_view name,
                       std::string_view text) {
        if (request_.rejects == nullptr) return;
        Reject(lineNumber, std::string(kRejectRefused) + " - " + (error ? error->what() : ""), name, text);
    }

    /// A value handed to the door in the batch: where its line lies, and the
    /// name as the log spells it, for the rejects file should it be lost.
    struct BatchValue {
        const TDBSensor* pair;
        DateTime timeTag;
        double value;
        std::uint64_t lineNumber;
        std::uint64_t lineStart;
        std::uint64_t lineEnd;
        std::string shownName;
        Place place;  // read through before its line
    };

    void StartBatch() {
        door_->BeginBatch();
        batchStart_ = readThrough_;
        batch_.clear();
        settled_ = 0;
    }

    /// The set routes: the values the door has just written, those not
    /// written reported as a failed write is.
    void SettleWritten() {
        const std::span<const WriteResult> results = door_->Results();
        for (; settled_ < batch_.size() && settled_ < results.size(); ++settled_) {
            const WriteResult& result = results[settled_];
            if (result.Written()) continue;
            const BatchValue& value = batch_[settled_];
            ReportWrite(sink_, result, value.pair->StationId, value.pair->SensorName, value.timeTag, value.value);
            CountAtOnce(WriteOutcome::Failed, value.place);
            // The line's text is read again: a batch keeps no texts.
            if (request_.rejects != nullptr)
                RejectRefused(value.lineNumber, result.error, value.shownName,
                              LineTextAt(request_.logFile, value.lineStart, value.lineEnd));
        }
    }

    /// The batch's first values, written as `results` say, are not in the
    /// database after all: each written one is counted and reported as a
    /// failed write is.
    void ReportBatchLost(const std::string& error, std::span<const WriteResult> results) {
        Hold(batchStart_);
        for (std::size_t i = 0; i < results.size() && i < batch_.size(); ++i) {
            if (!WrittenInBatch(results[i])) continue;
            const BatchValue& lost = batch_[i];
            ++result_.counts.failed;
            sink_.AddStatusMessage(NotWrittenText(error, lost.pair->StationId, lost.pair->SensorName, lost.timeTag));
            if (request_.rejects != nullptr) {
                Reject(lost.lineNumber, std::string(kRejectRefused) + " - " + error, lost.shownName,
                       LineTextAt(request_.logFile, lost.lineStart, lost.lineEnd));
            }
        }
    }

    /// The door lost the batch's values before the one being handed.
    void LoseValues(const std::string& error, std::span<const WriteResult> lost) {
        ReportBatchLost(error, lost);
        const std::size_t gone = std::min(lost.size(), batch_.size());
        batch_.erase(batch_.begin(), batch_.begin() + static_cast<std::ptrdiff_t>(gone));
        settled_ -= std::min(settled_, gone);
    }

    void CommitBatch() {
        if (!door_ || !door_->InBatch()) return;
        try {
            door_->WriteKept();
        } catch (const DbError& error) {
            // The connection cannot write: the batch is given up whole.
            SettleWritten();
            ReportBatchLost(error.what(), door_->Results());
            throw;
        }
        SettleWritten();
        try {
            door_->CommitBatch();
        } catch (const DbError& error) {
            // The batch is gone with its transaction.
            ReportBatchLost(error.what(), door_->Results());
            throw;
        }
        // Only now are the batch's values kept whatever happens to the run.
        MarkCommitted();
        const std::span<const WriteResult> results = door_->Results();
        for (std::size_t i = 0; i < results.size() && i < batch_.size(); ++i) {
            if (!WrittenInBatch(results[i])) continue;
            CountWritten(results[i]);
            if (sink_.ShowDetails()) {
                const BatchValue& kept = batch_[i];
                sink_.AddStatusMessage(WrittenValueText(results[i].outcome, kept.pair->StationId, kept.pair->SensorName,
                                                        kept.timeTag, kept.value));
            }
        }
        batch_.clear();
        settled_ = 0;
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
    // The door of the values, and the values handed to it in the batch (of
    // which the first `settled_` have had their outcome taken).
    std::optional<ValueWriter> door_;
    bool fast_ = false;  // the route commits in batches
    std::vector<BatchValue> batch_;
    std::size_t settled_ = 0;
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
