#include "import/ImportRun.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <exception>

#include "db/Catalogue.h"
#include "db/DataWriter.h"
#include "import/ImportList.h"
#include "logfile/LogLineKind.h"
#include "logfile/LogLineReader.h"
#include "logfile/LogNumber.h"
#include "logfile/LogRecord.h"
#include "logfile/SensorDiscovery.h"

namespace vireo {
namespace {

bool IsExistingFile(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
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

    void Run() {
        try {
            ReadLines();
        } catch (...) {
            // What was written before the error is committed before the error
            // ends the run; a failing commit was reported, and the first
            // error is the one that ends it.
            try {
                CommitBatch();
            } catch (...) {
            }
            throw;
        }
        CommitBatch();
    }

private:
    void ReadLines() {
        if (request_.fastMode) StartBatch();
        LogLineReader reader(request_.logFile);
        const std::uint64_t size = reader.FileSize();
        std::string_view line;
        while (!control_.stop && !control_.closing && reader.ReadLine(line)) {
            if (sink_.ShowDetails()) sink_.AddStatusMessage("Reading - " + std::string(line));
            if (reader.LineCut()) {
                // Longer than any record: its text was not kept, so its values cannot be read.
                sink_.AddStatusMessage("Line too long, not imported - line " + std::to_string(reader.LinesRead()));
                continue;
            }
            if (line.empty()) continue;
            if (IsCommentLine(line)) {
                // In a .PRN file a column heading line names the values of the
                // blank-separated lines after it.
                if (prnFile_) {
                    if (auto names = ParseColumnHeadings(line)) headings_ = std::move(*names);
                }
                continue;
            }
            ImportLine(ClassifyLogLine(line), line);
            if (control_.closing) break;
            ShowProgress(reader.BytesConsumed(), size);
            observer_.LineCounted(++result_.counts.lines);
        }
        // A file cut short while it was read has lost lines that were there at the start.
        if (!control_.stop && !control_.closing && reader.BytesConsumed() < size && reader.CurrentFileSize() < size)
            sink_.AddStatusMessage("The log file became shorter during the import, its end was not read - " +
                                   request_.logFile);
    }

    void ImportLine(LogLineKind kind, std::string_view line) {
        bool lineReported = false;
        bool rangeReported = false;
        // `isNumber` false: a value text that is no number is passed over
        // silently, one written as a number too large for a double is reported.
        auto write = [&](const LogRecord& record, bool isNumber) {
            if (!isNumber && !IsLogNumberOutOfRange(record.valueText)) return;
            const TDBSensor* pair = nullptr;
            if (!record.headingName.empty()) pair = pairs_.FindSensorPair(record.headingName);
            if (pair == nullptr) pair = pairs_.FindSensorPair(record.name);
            if (pair == nullptr) return;
            if (!record.hasTimeTag) {
                ++result_.counts.withoutTimeTag;
                if (!lineReported) {
                    sink_.AddStatusMessage("No valid date and time, line not imported - " + std::string(line));
                    lineReported = true;
                }
                return;
            }
            if (!isNumber) {
                ++result_.counts.outOfRange;
                if (!rangeReported) {
                    sink_.AddStatusMessage("Number out of range, value not imported - " + std::string(line));
                    rangeReported = true;
                }
                return;
            }
            const WriteOutcome outcome =
                writer_.WriteValue(pair->StationId, pair->SensorName, "T", record.timeTag, record.value);
            Count(outcome);
            if (request_.fastMode) {
                NextInBatch(pair, record, outcome);
            } else if (outcome != WriteOutcome::Failed && sink_.ShowDetails()) {
                sink_.AddStatusMessage(
                    WrittenValueText(outcome, pair->StationId, pair->SensorName, record.timeTag, record.value));
            }
            observer_.ValueWritten();
        };

        if (IsOneValueKind(kind)) {
            const bool isNumber = ParseLogRecord(kind, line, record_);
            write(record_, isNumber);
        } else if (IsMultiValueKind(kind)) {
            // Every paired numeric value of the line is written; a value that is
            // no number or has no pair is passed over, not the rest of the line.
            cursor_.started = false;
            cursor_.headings = headings_.empty() ? nullptr : &headings_;
            for (;;) {
                const bool isNumber = NextLogValue(kind, line, cursor_, record_);
                if (!cursor_.started) break;
                write(record_, isNumber);
                if (control_.closing) break;
            }
        }
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
                break;
        }
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
    };
    struct Batch {
        bool open = false;
        // Written in this batch: reported as written once the commit has
        // kept them, as not written should the batch be lost.
        std::vector<BatchValue> values;
        std::int64_t inserted = 0;
        std::int64_t updated = 0;
        std::chrono::steady_clock::time_point started;
    };

    void StartBatch() {
        writer_.BeginBatch();
        batch_.open = true;
        ForgetBatch();
        batch_.started = std::chrono::steady_clock::now();
    }

    void ForgetBatch() {
        batch_.values.clear();
        batch_.inserted = batch_.updated = 0;
    }

    void NextInBatch(const TDBSensor* pair, const LogRecord& record, WriteOutcome outcome) {
        if (auto lost = writer_.TakeLostBatch()) {
            // The engine rolled the batch back before this value: the values
            // before it are gone, this one went into the batch that follows.
            const bool kept = outcome != WriteOutcome::Failed;
            if (kept) UncountLast(outcome);
            ReportBatchLost(*lost);
            if (kept) Count(outcome);
        }
        if (outcome != WriteOutcome::Failed) batch_.values.push_back({pair, record.timeTag, record.value, outcome});
        if (batch_.values.size() >= kBatchValues || std::chrono::steady_clock::now() - batch_.started >= kBatchTime) {
            CommitBatch();
            StartBatch();
        }
    }

    void UncountLast(WriteOutcome outcome) {
        if (outcome == WriteOutcome::Inserted) --result_.counts.inserted, --batch_.inserted;
        if (outcome == WriteOutcome::Updated) --result_.counts.updated, --batch_.updated;
    }

    /// The batch's values were not written after all: each is counted and
    /// reported as a failed write is.
    void ReportBatchLost(const std::string& error) {
        result_.counts.inserted -= batch_.inserted;
        result_.counts.updated -= batch_.updated;
        result_.counts.failed += batch_.inserted + batch_.updated;
        for (const BatchValue& lost : batch_.values) {
            sink_.AddStatusMessage(error + " - " + lost.pair->StationId + "." + lost.pair->SensorName + " @ " +
                                   TimeTagText(lost.timeTag));
        }
        ForgetBatch();
    }

    void CommitBatch() {
        if (!batch_.open) return;
        batch_.open = false;
        try {
            writer_.CommitBatch();
        } catch (const std::exception& error) {
            // The batch is gone with its transaction.
            ReportBatchLost(error.what());
            throw;
        }
        // Only now are the batch's values kept whatever happens to the run.
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
    std::vector<std::string> headings_;
    LogRecord record_;
    ValueCursor cursor_;
    int lastPercent_ = -1;
    Batch batch_;
};

}  // namespace

ImportResult RunImport(const ImportRequest& request, SensorPairs& pairs, DataWriter& writer, StatusSink& sink,
                       ImportObserver& observer, const RunControl& control) {
    ImportResult result;
    observer.RunStarted();
    try {
        pairs.BuildSensorPairs(request.importList);
        ImportLoop(request, pairs, writer, sink, observer, control, result).Run();
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
