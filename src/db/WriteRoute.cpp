#include "db/WriteRoute.h"

#include <string>

#include "db/BulkWriter.h"
#include "db/DataWriter.h"
#include "db/Database.h"

namespace vireo {

WriteRoute RouteOfSwitches(bool fast, bool bulk, bool driverOnly) noexcept {
    if (!fast) return WriteRoute::OneByOne;
    if (!bulk) return WriteRoute::Batched;
    return driverOnly ? WriteRoute::DriverSets : WriteRoute::EngineInterface;
}

ValueWriter::ValueWriter(DataWriter& writer, WriteRoute asked, bool keepEdits) : writer_(writer) {
    choice_.asked = choice_.taken = asked;
    if (asked != WriteRoute::DriverSets && asked != WriteRoute::EngineInterface) return;
    if (keepEdits) {
        choice_.taken = WriteRoute::Batched;
        choice_.why = "edited values are kept";
        return;
    }
    if (!BulkWriter::Supports(writer.Connection())) {
        choice_.taken = WriteRoute::Batched;
        choice_.why = "no set path for this database engine";
        return;
    }
    sets_ = std::make_unique<BulkWriter>(
        writer, asked == WriteRoute::DriverSets ? BulkWriter::Route::DriverSets : BulkWriter::Route::EngineInterface);
    if (asked == WriteRoute::EngineInterface && !sets_->Direct()) {
        choice_.taken = WriteRoute::DriverSets;
        choice_.why = sets_->WhyNotDirect();
    }
}

ValueWriter::~ValueWriter() { writer_.SetStopCheck(nullptr); }

void ValueWriter::SetStopCheck(StopCheck stop) {
    stop_ = stop;
    writer_.SetStopCheck(stop);
    if (sets_) sets_->SetStopCheck(std::move(stop));
}

void ValueWriter::BeginBatch() {
    batch_.reset();
    batch_.emplace(writer_);
    values_.clear();
    results_.clear();
    kept_ = 0;
    started_ = std::chrono::steady_clock::now();
}

bool ValueWriter::BatchDue() const {
    return values_.size() >= kBatchValues || std::chrono::steady_clock::now() - started_ >= kBatchTime;
}

WriteResult ValueWriter::WriteOne(const BulkValue& value) {
    return writer_.WriteValue(std::string(value.station), std::string(value.sensor), "T", value.timeTag, value.value);
}

Handed ValueWriter::Write(const BulkValue& value) {
    Handed handed;
    if (sets_ && batch_) {
        // Written in sets when the batch is.
        values_.push_back(value);
        results_.emplace_back();
        return handed;
    }
    WriteResult written = WriteOne(value);
    if (batch_) {
        if (Conflict(written)) written = WriteAgain(value, std::move(written), handed);
        // The engine rolled the batch back before this value: the values
        // before it are gone, this one went into the transaction that follows.
        if (std::optional<DbError> lost = writer_.TakeLostBatch()) LoseBatch(*lost, handed);
        values_.push_back(value);
        results_.push_back(written);
    }
    handed.result = std::move(written);
    return handed;
}

bool ValueWriter::Conflict(const WriteResult& written) const {
    return !written.Written() && written.error && IsConflict(*written.error, writer_.Connection().Engine());
}

WriteResult ValueWriter::WriteAgain(const BulkValue& value, WriteResult written, Handed& handed) {
    for (int tried = 1; tried < kConflictTries && Conflict(written); ++tried) {
        if (!PauseBeforeRetry(tried, stop_)) break;
        writer_.RollbackBatch();
        writer_.BeginBatch();
        // Written again in key order, and committed at once after this value:
        // the sooner the locks go, the sooner the other writer can go on.
        started_ = {};
        std::vector<std::size_t> again;
        std::vector<BulkValue> keys;
        for (std::size_t i = 0; i < values_.size(); ++i) {
            if (!results_[i].Written() || results_[i].outcome == WriteOutcome::Kept) continue;
            again.push_back(i);
            keys.push_back(values_[i]);
        }
        std::vector<std::size_t> order;
        KeyOrder(keys, order);
        std::optional<WriteResult> refused;
        for (const std::size_t at : order) {
            const std::size_t i = again[at];
            WriteResult rewritten = WriteOne(values_[i]);
            if (!rewritten.Written()) {
                refused = std::move(rewritten);
                break;
            }
            results_[i] = std::move(rewritten);
        }
        if (refused && Conflict(*refused)) {
            written = std::move(*refused);
            continue;
        }
        if (refused) {
            // A value written before is refused now: the batch is lost as a whole.
            writer_.RollbackBatch();
            writer_.BeginBatch();
            LoseBatch(refused->error ? *refused->error : DbError(""), handed);
        }
        written = WriteOne(value);
    }
    return written;
}

void ValueWriter::LoseBatch(const DbError& why, Handed& handed) {
    handed.lostError = why;
    for (WriteResult& result : results_) handed.lost.push_back(std::move(result));
    values_.clear();
    results_.clear();
    kept_ = 0;
}

void ValueWriter::WriteKept() {
    if (!sets_ || kept_ == values_.size()) return;
    const std::span<const BulkValue> waiting(values_.data() + kept_, values_.size() - kept_);
    try {
        sets_->Write(waiting, "T", written_);
    } catch (const DbError& error) {
        // The connection cannot write: the batch is given up whole.
        batch_.reset();
        for (std::size_t i = kept_; i < values_.size(); ++i) results_[i] = WriteResult{WriteOutcome::Failed, error};
        kept_ = values_.size();
        throw;
    }
    for (std::size_t i = 0; i < written_.size(); ++i) results_[kept_ + i] = std::move(written_[i]);
    kept_ = values_.size();
}

void ValueWriter::CommitBatch() {
    if (!batch_) return;
    std::optional<DbError> failed;
    try {
        batch_->Commit();
    } catch (const DbError& error) {
        failed = error;
    }
    batch_.reset();  // a batch whose commit failed is rolled back
    if (failed) throw *failed;
}

std::string ValueWriter::RouteText() const {
    const bool postgres = writer_.Connection().Engine() == DbEngine::PostgreSQL;
    switch (choice_.taken) {
        case WriteRoute::EngineInterface:
            return postgres ? "COPY through libpq" : "the SQLite library on the database file";
        case WriteRoute::DriverSets:
            return "sets through the driver";
        case WriteRoute::Batched:
        case WriteRoute::OneByOne:
            break;
    }
    return "one statement a value through the driver";
}

}  // namespace vireo
