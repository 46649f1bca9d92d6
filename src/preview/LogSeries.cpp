#include "preview/LogSeries.h"

#include <algorithm>
#include <unordered_map>

#include "logfile/LogValueReader.h"
#include "scan/AsciiCase.h"

namespace vireo {
namespace {

/// Collects the values of the names asked for (or of every name) while the
/// file is read.
class SeriesCollector : public LogValueVisitor {
public:
    SeriesCollector(const std::vector<std::string>& names, const SeriesReadControl& control, std::uint64_t fileSize)
        : everyName_(names.empty()), control_(control), fileSize_(fileSize) {
        for (const std::string& name : names) {
            if (index_.find(name) != index_.end()) continue;  // a name given twice gets one series
            index_.emplace(name, series_.size());
            series_.push_back({name, {}, {}, {}});
        }
    }

    bool GoOn() { return control_.cancel == nullptr || !control_.cancel->load(std::memory_order_relaxed); }

    void LineRead(const LogLine& line) {
        bytesRead_ = line.end;
        if (control_.progress && bytesRead_ - reported_ >= kProgressStep) {
            reported_ = bytesRead_;
            control_.progress(bytesRead_, fileSize_);
        }
    }

    bool Value(const LogRecord& value, const LogLine& line) {
        NameSeries* series = Find(value);
        if (series == nullptr) return true;
        if (value.HasTimeTag() && value.IsNumber()) {
            if (!series->points.empty() && value.stamp < series->points.back().stamp) ++series->stats.stepsBack;
            KeepWrittenEnds(*series, value);
            series->points.push_back({value.stamp, value.value, PointLine(line.number)});
            return true;
        }
        SeriesStats& stats = series->stats;
        ++stats.refusedCount;
        if (value.HasTimeTag()) {
            stats.refusedFirst = stats.refusedTimed ? std::min(stats.refusedFirst, value.stamp) : value.stamp;
            stats.refusedLast = stats.refusedTimed ? std::max(stats.refusedLast, value.stamp) : value.stamp;
            stats.refusedTimed = true;
        }
        if (series->refused.size() < kMaxRefusedKept) {
            RefusedValue refused;
            refused.line = line.number;
            refused.reason = value.timeTagState == TimeTagState::DoesNotExist   ? RefusalReason::TimeDoesNotExist
                             : !value.HasTimeTag()                              ? RefusalReason::NoUsableTimeTag
                             : value.valueState == ValueState::OutOfDoubleRange ? RefusalReason::NumberOutOfRange
                                                                                : RefusalReason::NotANumber;
            refused.valueText = std::string(value.valueText.substr(0, kRefusedTextLength));
            refused.hasTimeTag = value.HasTimeTag();
            refused.stamp = value.HasTimeTag() ? value.stamp : 0;
            series->refused.push_back(std::move(refused));
        }
        return true;
    }

    std::uint64_t BytesRead() const { return bytesRead_; }
    std::vector<NameSeries> TakeSeries() { return std::move(series_); }

private:
    /// The log's time tags of the earliest and the latest value (the first
    /// and last in file order among equal ones, as the stable sort leaves
    /// them); `first` and `last` run along until FinishSeries sets them.
    static void KeepWrittenEnds(NameSeries& series, const LogRecord& value) {
        SeriesStats& stats = series.stats;
        if (series.points.empty() || value.stamp < stats.first) {
            stats.first = value.stamp;
            stats.firstWritten = value.writtenStamp;
        }
        if (series.points.empty() || value.stamp >= stats.last) {
            stats.last = value.stamp;
            stats.lastWritten = value.writtenStamp;
        }
    }

    NameSeries* Find(const LogRecord& value) {
        // A pair made from the heading name applies before one made from the
        // value's own name, as in the import.
        if (!value.headingName.empty()) {
            if (auto found = index_.find(value.headingName); found != index_.end()) return &series_[found->second];
        }
        if (auto found = index_.find(value.name); found != index_.end()) return &series_[found->second];
        if (!everyName_) return nullptr;
        const std::string_view name = value.headingName.empty() ? value.name : value.headingName;
        index_.emplace(std::string(name), series_.size());
        series_.push_back({std::string(name), {}, {}, {}});
        return &series_.back();
    }

    bool everyName_;
    const SeriesReadControl& control_;
    std::uint64_t fileSize_;
    std::uint64_t bytesRead_ = 0;
    std::uint64_t reported_ = 0;
    std::vector<NameSeries> series_;
    std::unordered_map<std::string, std::size_t, NameHash, NameEqual> index_;
};

}  // namespace

const char* RefusalText(RefusalReason reason) {
    switch (reason) {
        case RefusalReason::NoUsableTimeTag:
            return "no usable time tag";
        case RefusalReason::NotANumber:
            return "not a number";
        case RefusalReason::NumberOutOfRange:
            return "number out of range";
        case RefusalReason::TimeDoesNotExist:
            return "time that does not exist in the log's time zone";
    }
    return "";
}

std::int64_t MedianInterval(const std::vector<SeriesPoint>& sortedPoints) {
    std::vector<std::int64_t> intervals;
    for (std::size_t i = 1; i < sortedPoints.size(); ++i) {
        const std::int64_t step = std::int64_t{sortedPoints[i].stamp} - sortedPoints[i - 1].stamp;
        if (step > 0) intervals.push_back(step);
    }
    if (intervals.empty()) return 0;
    const auto middle = intervals.begin() + static_cast<std::ptrdiff_t>((intervals.size() - 1) / 2);
    std::nth_element(intervals.begin(), middle, intervals.end());
    return *middle;
}

std::vector<SeriesGap> FindGaps(const std::vector<SeriesPoint>& sortedPoints, std::int64_t medianInterval) {
    std::vector<SeriesGap> gaps;
    if (medianInterval <= 0) return gaps;
    for (std::size_t i = 1; i < sortedPoints.size(); ++i) {
        const std::int64_t step = std::int64_t{sortedPoints[i].stamp} - sortedPoints[i - 1].stamp;
        if (step > 3 * medianInterval) gaps.push_back({sortedPoints[i - 1].stamp, sortedPoints[i].stamp});
    }
    return gaps;
}

void FinishSeries(NameSeries& series) {
    auto& points = series.points;
    const auto earlier = [](const SeriesPoint& a, const SeriesPoint& b) { return a.stamp < b.stamp; };
    if (!std::is_sorted(points.begin(), points.end(), earlier)) {
        std::stable_sort(points.begin(), points.end(), earlier);
    }
    SeriesStats& stats = series.stats;
    stats.count = points.size();
    stats.gaps.clear();
    if (points.empty()) {
        stats.first = stats.last = 0;
        stats.minimum = stats.maximum = 0;
        stats.medianInterval = 0;
        return;
    }
    stats.first = points.front().stamp;
    stats.last = points.back().stamp;
    const auto [low, high] = std::minmax_element(points.begin(), points.end(),
                                                 [](const auto& a, const auto& b) { return a.value < b.value; });
    stats.minimum = low->value;
    stats.maximum = high->value;
    stats.medianInterval = MedianInterval(points);
    stats.gaps = FindGaps(points, stats.medianInterval);
}

LogSeriesReading ReadLogSeries(const std::string& path, const std::vector<std::string>& names,
                               const SeriesReadControl& control) {
    LogValueReader reader(path);
    reader.SetTimeZones(control.zones);
    SeriesCollector collector(names, control, reader.FileSize());
    reader.Read(collector);

    LogSeriesReading reading;
    reading.fileSize = reader.FileSize();
    reading.bytesRead = collector.BytesRead();
    // Cancelled: stopped before the end (a Cancel after the last line changes nothing).
    reading.cancelled = !collector.GoOn() && reading.bytesRead < reading.fileSize;
    reading.series = collector.TakeSeries();
    if (names.empty()) {
        std::stable_sort(reading.series.begin(), reading.series.end(),
                         [](const NameSeries& a, const NameSeries& b) { return NameLess(a.name, b.name); });
    }
    for (NameSeries& series : reading.series) FinishSeries(series);
    if (control.progress) control.progress(reading.bytesRead, reading.fileSize);
    return reading;
}

}  // namespace vireo
