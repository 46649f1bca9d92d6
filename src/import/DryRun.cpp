#include "import/DryRun.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <sstream>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "db/Database.h"
#include "db/ExistingRows.h"
#include "db/RowPlan.h"
#include "db/TextEncoding.h"
#include "db/TimeTagKey.h"
#include "import/RejectsFile.h"
#include "import/ValueFate.h"
#include "logfile/LogValueReader.h"
#include "logfile/SensorDiscovery.h"
#include "scan/AsciiCase.h"
#include "scan/JsonText.h"

namespace vireo {
namespace {

/// The line loop of a dry run: values that would be written wait in a batch,
/// which is then told apart against the rows the database holds for its
/// keys and against the keys that the run itself would have written before.
class DryRunLoop {
public:
    DryRunLoop(const ImportRequest& request, Database& database, ImportObserver& observer, const RunControl& control,
               DryRunReport& report)
        : request_(request), existing_(database), observer_(observer), control_(control), report_(report) {}

    void Run() {
        pairs_.BuildSensorPairs(request_.importList);
        std::map<std::string, std::uint32_t> targetIds;
        for (const auto& [logSensor, sensor] : pairs_.Pairs()) {
            EntryForecast entry;
            entry.entry = logSensor + "||" + sensor.StationId + "." + sensor.SensorName;
            report_.entries.push_back(std::move(entry));
            const std::string target = UpperCaseName(sensor.StationId) + '\0' + UpperCaseName(sensor.SensorName);
            const auto id = targetIds.emplace(target, static_cast<std::uint32_t>(targetIds.size())).first->second;
            entryOf_.emplace(&sensor, Entry{report_.entries.size() - 1, id, &sensor});
        }
        LogValueReader reader(request_.logFile, IsPrnFile(request_.logFile));
        reader.SetTimeZones(request_.zones);
        size_ = reader.FileSize();
        Events events(*this);
        reader.Read(events);
        Resolve();
        for (const auto& [name, values] : unpaired_) report_.unpaired.push_back({name, values});
    }

private:
    struct Entry {
        std::size_t index;
        std::uint32_t target;
        const TDBSensor* sensor;
    };
    struct Pending {
        const Entry* entry;
        std::int64_t key;
        DateTime timeTag;
        double value;
    };
    static constexpr std::size_t kBatchValues = 4096;

    class Events : public LogValueVisitor {
    public:
        explicit Events(DryRunLoop& loop) : loop_(loop) {}
        bool GoOn() { return !loop_.control_.stop && !loop_.control_.closing; }
        void LineTooLong(const LogLine& line) {
            ++loop_.report_.linesTooLong;
            loop_.Reject(line.number, kRejectLineTooLong, {}, {});
        }
        bool Value(const LogRecord& value, const LogLine& line) {
            loop_.TakeValue(value, line);
            return true;
        }
        bool LineDone(const LogLine& line) {
            if (line.kind == LogLineKind::NotARecord) {
                ++loop_.report_.notARecord;
                loop_.Reject(line.number, kRejectNotARecord, {}, line.text);
            }
            loop_.ShowProgress(line.end);
            loop_.observer_.LineCounted(++loop_.report_.lines);
            loop_.observer_.ValueWritten();  // lets the window's events through
            return true;
        }

    private:
        DryRunLoop& loop_;
    };

    void Reject(std::uint64_t line, std::string_view reason, std::string_view name, std::string_view text) {
        if (request_.rejects != nullptr) request_.rejects->Add(line, reason, name, text);
    }

    void TakeValue(const LogRecord& value, const LogLine& line) {
        const auto [pair, fate] = FateOfValue(value, pairs_);
        if (fate != ValueFate::Write) Reject(line.number, RejectReasonText(fate, value), ShownName(value), line.text);
        if (fate == ValueFate::NoPair) {
            ++unpaired_[std::string(ShownName(value))];
            return;
        }
        const Entry& entry = entryOf_.at(pair);
        EntryForecast& forecast = report_.entries[entry.index];
        switch (fate) {
            case ValueFate::NotANumber:
                ++forecast.notANumber;
                return;
            case ValueFate::NoTimeTag:
                ++forecast.noTimeTag;
                return;
            case ValueFate::OutOfRange:
                ++forecast.outOfRange;
                return;
            case ValueFate::TimeDoesNotExist:
                ++forecast.timeDoesNotExist;
                return;
            case ValueFate::NoPair:
            case ValueFate::Write:
                break;
        }
        if (value.repeatedHour) ++forecast.repeatedHour;
        forecast.first = std::min(forecast.first.value_or(value.timeTag), value.timeTag);
        forecast.last = std::max(forecast.last.value_or(value.timeTag), value.timeTag);
        pending_.push_back({&entry, TimeTagKey(value.timeTag), value.timeTag, value.value});
        if (pending_.size() >= kBatchValues) Resolve();
    }

    static std::uint64_t RowKey(std::uint32_t target, std::int64_t key) {
        return (static_cast<std::uint64_t>(target) << 40) ^ static_cast<std::uint64_t>(key);
    }

    /// What became of each waiting value, in the order the import writes them.
    void Resolve() {
        if (pending_.empty()) return;
        // The station sensors of the batch, numbered for its plan. A key the
        // run has met has its own row; for the others the rows the database
        // holds: one query per station sensor over the span of their values.
        struct Group {
            std::uint32_t target;
            const Entry* entry;
            std::optional<std::pair<DateTime, DateTime>> span;  // of the keys the run has not met
        };
        std::vector<Group> groups;
        std::unordered_map<std::uint32_t, std::size_t> groupOf;
        std::unordered_set<std::uint64_t> keys;
        plan_.Start();
        for (const Pending& value : pending_) {
            const auto [at, added] = groupOf.try_emplace(value.entry->target, groups.size());
            if (added) groups.push_back({value.entry->target, value.entry, std::nullopt});
            plan_.Add(at->second, value.key);
            const std::uint64_t rowKey = RowKey(value.entry->target, value.key);
            if (written_.count(rowKey) != 0) {
                plan_.AddStored(at->second, value.key);  // the run's own row decides
                continue;
            }
            keys.insert(rowKey);
            auto& span = groups[at->second].span;
            span = span ? std::pair{std::min(span->first, value.timeTag), std::max(span->second, value.timeTag)}
                        : std::pair{value.timeTag, value.timeTag};
        }
        std::unordered_map<std::uint64_t, ExistingRow> found;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            if (!groups[g].span) continue;
            const TDBSensor& sensor = *groups[g].entry->sensor;
            for (const auto& [key, row] :
                 existing_.Read(sensor.StationId, sensor.SensorName, groups[g].span->first, groups[g].span->second)) {
                if (keys.count(RowKey(groups[g].target, key)) == 0) continue;
                found.emplace(RowKey(groups[g].target, key), row);
                plan_.AddStored(g, key);
            }
        }
        plan_.Decide();
        for (std::size_t i = 0; i < pending_.size(); ++i) Decide(pending_[i], found, plan_.Outcome(i));
        pending_.clear();
    }

    void Decide(const Pending& value, const std::unordered_map<std::uint64_t, ExistingRow>& found,
                WriteOutcome outcome) {
        const std::uint64_t rowKey = RowKey(value.entry->target, value.key);
        EntryForecast& forecast = report_.entries[value.entry->index];
        if (outcome == WriteOutcome::Inserted) {
            ++forecast.insert;
            written_[rowKey] = ExistingRow{true, false, value.value, value.value};
            return;
        }
        // A key that has a row: the run's own, or the one the database holds.
        const auto own = written_.find(rowKey);
        const ExistingRow row = own != written_.end() ? own->second : found.at(rowKey);
        if (request_.keepEdits && row.edited) {
            ++forecast.kept;
            written_[rowKey] = row;
            return;
        }
        if (row.sourceIsT && row.ed == value.value) {
            ++forecast.unchanged;
        } else {
            ++forecast.update;
        }
        // The update leaves ORIG_VALUE: the row is edited from now on when
        // the new value differs from it.
        written_[rowKey] = ExistingRow{true, row.orig != value.value, row.orig, value.value};
    }

    void ShowProgress(std::uint64_t consumed) {
        const int percent = size_ == 0 ? 100 : static_cast<int>(std::min<std::uint64_t>(100, consumed * 100 / size_));
        if (percent != lastPercent_) {
            lastPercent_ = percent;
            observer_.ProgressChanged(percent);
        }
    }

    const ImportRequest& request_;
    ExistingRows existing_;
    ImportObserver& observer_;
    const RunControl& control_;
    DryRunReport& report_;
    SensorPairs pairs_;
    std::unordered_map<const TDBSensor*, Entry> entryOf_;
    std::map<std::string, std::int64_t> unpaired_;
    std::vector<Pending> pending_;
    RowPlan plan_;
    // Every key the run would have written, as it would leave the row.
    std::unordered_map<std::uint64_t, ExistingRow> written_;
    std::uint64_t size_ = 0;
    int lastPercent_ = -1;
};

std::string IsoText(DateTime timeTag) { return IsoDateTimeText(SplitDateTime(timeTag)); }

std::string JsonText(std::string_view bytes) { return JsonString(Windows1252ToUtf8(bytes)); }

}  // namespace

DryRunReport RunDryRun(const ImportRequest& request, Database& database, ImportObserver& observer,
                       const RunControl& control) {
    DryRunReport report;
    report.logFile = request.logFile;
    report.keepEdits = request.keepEdits;
    observer.RunStarted();
    try {
        DryRunLoop(request, database, observer, control, report).Run();
    } catch (const std::exception& error) {
        report.error = error.what();
    } catch (...) {
        report.error = "Unknown error";
    }
    report.partial = !report.error.empty() || control.stop || control.closing;
    observer.RunEnded();
    return report;
}

ImportCounts ForecastCounts(const DryRunReport& report) {
    ImportCounts counts;
    for (const EntryForecast& e : report.entries) {
        counts.inserted += e.insert;
        counts.updated += e.update + e.unchanged;
        counts.kept += e.kept;
        counts.withoutTimeTag += e.noTimeTag;
        counts.notANumber += e.notANumber;
        counts.outOfRange += e.outOfRange;
        counts.timeDoesNotExist += e.timeDoesNotExist;
    }
    for (const UnpairedForecast& u : report.unpaired) counts.withoutPair += u.values;
    counts.lines = report.lines;
    return counts;
}

std::string DryRunTable(const DryRunReport& report) { return DryRunTable(report, &IsoText); }

std::string DryRunTable(const DryRunReport& report, std::string (*timeTagText)(DateTime)) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> heading{"Entry", "Insert", "Update", "Unchanged"};
    if (report.keepEdits) heading.push_back("Kept");
    for (const char* column : {"No time tag", "Not a number", "Out of range", "No pair", "First", "Last"})
        heading.push_back(column);
    rows.push_back(heading);
    EntryForecast total;
    std::int64_t noPair = 0;
    for (const EntryForecast& e : report.entries) {
        std::vector<std::string> row{e.entry, std::to_string(e.insert), std::to_string(e.update),
                                     std::to_string(e.unchanged)};
        if (report.keepEdits) row.push_back(std::to_string(e.kept));
        for (std::int64_t n : {e.noTimeTag, e.notANumber, e.outOfRange}) row.push_back(std::to_string(n));
        row.push_back("");
        row.push_back(e.first ? timeTagText(*e.first) : "");
        row.push_back(e.last ? timeTagText(*e.last) : "");
        rows.push_back(std::move(row));
        total.insert += e.insert, total.update += e.update, total.unchanged += e.unchanged, total.kept += e.kept;
        total.noTimeTag += e.noTimeTag, total.notANumber += e.notANumber, total.outOfRange += e.outOfRange;
        total.timeDoesNotExist += e.timeDoesNotExist, total.repeatedHour += e.repeatedHour;
    }
    for (const UnpairedForecast& u : report.unpaired) {
        std::vector<std::string> row{u.name + " (no pair)", "", "", ""};
        if (report.keepEdits) row.push_back("");
        for (int i = 0; i < 3; ++i) row.push_back("");
        row.push_back(std::to_string(u.values));
        row.push_back("");
        row.push_back("");
        rows.push_back(std::move(row));
        noPair += u.values;
    }
    std::vector<std::string> totals{"Total", std::to_string(total.insert), std::to_string(total.update),
                                    std::to_string(total.unchanged)};
    if (report.keepEdits) totals.push_back(std::to_string(total.kept));
    for (std::int64_t n : {total.noTimeTag, total.notANumber, total.outOfRange, noPair})
        totals.push_back(std::to_string(n));
    totals.push_back("");
    totals.push_back("");
    rows.push_back(std::move(totals));

    std::vector<std::size_t> widths(heading.size(), 0);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
    std::ostringstream table;
    table << "Dry run of " << report.logFile << ": nothing was written\n";
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::string pad(widths[i] - row[i].size(), ' ');
            const bool left = i == 0 || i + 2 >= row.size();  // names and times to the left, counts to the right
            line += (i == 0 ? "" : "  ") + (left ? row[i] + pad : pad + row[i]);
        }
        line.erase(line.find_last_not_of(' ') + 1);
        table << line << '\n';
    }
    table << "Lines: " << report.lines << "  not a record: " << report.notARecord
          << "  too long: " << report.linesTooLong << '\n';
    if (total.repeatedHour != 0 || total.timeDoesNotExist != 0)
        table << "Repeated hour: " << total.repeatedHour
              << " values  time that does not exist: " << total.timeDoesNotExist << " values\n";
    if (report.partial) table << "(partial: the dry run ended before the end of the file)\n";
    return table.str();
}

std::string DryRunJson(const DryRunReport& report) {
    std::ostringstream json;
    json << "{\"logFile\":" << JsonText(report.logFile) << ",\"partial\":" << (report.partial ? "true" : "false")
         << ",\"keepEdits\":" << (report.keepEdits ? "true" : "false");
    if (!report.error.empty()) json << ",\"error\":" << JsonText(report.error);
    json << ",\"lines\":" << report.lines << ",\"notARecord\":" << report.notARecord
         << ",\"linesTooLong\":" << report.linesTooLong << ",\"entries\":[";
    for (std::size_t i = 0; i < report.entries.size(); ++i) {
        const EntryForecast& e = report.entries[i];
        json << (i == 0 ? "" : ",") << "{\"entry\":" << JsonText(e.entry) << ",\"insert\":" << e.insert
             << ",\"update\":" << e.update << ",\"unchanged\":" << e.unchanged;
        if (report.keepEdits) json << ",\"kept\":" << e.kept;
        json << ",\"noTimeTag\":" << e.noTimeTag << ",\"notANumber\":" << e.notANumber
             << ",\"outOfRange\":" << e.outOfRange;
        if (e.repeatedHour != 0 || e.timeDoesNotExist != 0)
            json << ",\"repeatedHour\":" << e.repeatedHour << ",\"timeDoesNotExist\":" << e.timeDoesNotExist;
        json << ",\"first\":" << (e.first ? JsonText(IsoText(*e.first)) : "null")
             << ",\"last\":" << (e.last ? JsonText(IsoText(*e.last)) : "null") << "}";
    }
    json << "],\"noPair\":[";
    for (std::size_t i = 0; i < report.unpaired.size(); ++i) {
        json << (i == 0 ? "" : ",") << "{\"name\":" << JsonText(report.unpaired[i].name)
             << ",\"values\":" << report.unpaired[i].values << "}";
    }
    json << "]}\n";
    return json.str();
}

}  // namespace vireo
