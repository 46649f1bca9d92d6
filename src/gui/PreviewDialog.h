#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "db/StoredValues.h"
#include "preview/LogSeries.h"
#include "preview/StoredComparison.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace vireo {
class UserDialogs;
}

namespace vireo::gui {

class TSeriesChart;

/// The preview of log sensors: their values over time, one chart per name
/// under a shared time axis, with their numbers, refused values and gaps
/// listed below. The log is read off the window's thread, with a progress bar
/// and a Cancel button; the chart only draws what the core worked out
/// (statistics, gaps, points thinned for the span in view). The picture can
/// be saved and the values in view copied, through the window's dialogs.
class TfrmPreview : public QDialog {
    Q_OBJECT

public:
    /// Reads TF_DATA1 for the span of the log's values (on the window's thread).
    using StoredReader = std::function<std::vector<StoredValue>(SecondStamp from, SecondStamp to)>;

    explicit TfrmPreview(QWidget* parent = nullptr, UserDialogs* dialogs = nullptr);
    ~TfrmPreview() override;

    /// Starts reading `path` for the series of `names`. With `stored` set (one
    /// name only), the rows TF_DATA1 holds over the span of the log's values
    /// are read once the log is, and drawn beside them.
    void StartReading(const std::string& path, const std::vector<std::string>& names, StoredReader stored = {});
    /// The log's time zone and the database's time base of the next reading:
    /// its times are those an import would store, and the first and last
    /// time tags show the log's own in a tooltip.
    void SetTimeZones(const TimeZones& zones) { zones_ = zones; }
    /// True while the log is being read.
    bool Reading() const noexcept { return reading_; }
    /// Stops the reading; what was read until then is drawn.
    void Cancel();

    const LogSeriesReading* Result() const { return result_.get(); }
    const std::optional<StoredComparison>& Comparison() const { return comparison_; }

    /// Saves the chart as a PNG file of its size, asking where; a file that
    /// cannot be written is said with the system's words.
    void SavePicture();
    /// Puts the values in view on the clipboard as comma-separated text.
    void CopyValues();

    TSeriesChart* chartView = nullptr;
    QPushButton* btnSavePicture = nullptr;
    QPushButton* btnCopyValues = nullptr;
    QProgressBar* progress = nullptr;
    QPushButton* btnCancel = nullptr;
    QLabel* lblState = nullptr;
    QTableWidget* tblStats = nullptr;
    QListWidget* lbxNotes = nullptr;

signals:
    /// The reading has ended (done, cancelled or failed) and the chart is drawn.
    void ReadingDone();

private:
    void Progress(std::uint64_t bytes, std::uint64_t size);
    void Finished(std::shared_ptr<LogSeriesReading> reading, const std::string& error);
    void Draw();
    void FillStats();
    void FillNotes();
    void JoinWorker();

    UserDialogs* dialogs_;
    unsigned generation_ = 0;  // counts the readings started
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    TimeZones zones_;
    bool reading_ = false;
    std::string path_;
    StoredReader stored_;
    std::shared_ptr<LogSeriesReading> result_;
    std::optional<StoredComparison> comparison_;
};

}  // namespace vireo::gui
