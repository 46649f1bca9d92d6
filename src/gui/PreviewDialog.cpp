// The preview of log sensors and of what TF_DATA1 holds for them: a chart
// drawn from what the core gives (series split at their gaps and thinned per
// pixel column), the numbers of each series and the lists of refused values
// and gaps.
#include "gui/PreviewDialog.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "files/SafeOpen.h"
#include "gui/QtDialogs.h"
#include "gui/SeriesChart.h"
#include "logfile/LogLineReader.h"
#include "preview/SeriesPlot.h"
#include "preview/SeriesText.h"
#include "scan/Regional.h"
#include "status/UserDialogs.h"

namespace vireo::gui {
namespace {

/// How many gaps and refused values of one name are listed below the chart.
constexpr std::size_t kListedPerName = 200;

/// How many values Copy Values puts on the clipboard at most.
constexpr std::size_t kMostCopied = 200000;

/// Colours of the series, one per name in turn.
const QColor kSeriesColours[] = {QColor(0, 90, 170),   QColor(200, 110, 0), QColor(0, 140, 60),
                                 QColor(150, 40, 150), QColor(90, 90, 90),  QColor(0, 150, 160)};

QString TimeTagText(SecondStamp stamp) { return FromBytes(RegionalTimeTagText(stamp)); }

QString ValueText(double value) { return FromBytes(NumberText(value)); }

}  // namespace

TfrmPreview::TfrmPreview(QWidget* parent, UserDialogs* dialogs) : QDialog(parent), dialogs_(dialogs) {
    setObjectName(QStringLiteral("frmPreview"));
    setWindowTitle(QStringLiteral("Preview"));
    resize(960, 700);

    chartView = new TSeriesChart;
    chartView->setObjectName(QStringLiteral("chvPreview"));
    chartView->setMinimumHeight(220);

    progress = new QProgressBar;
    progress->setObjectName(QStringLiteral("pbPreview"));
    progress->setRange(0, 1000);
    btnCancel = new QPushButton(QStringLiteral("Cancel"));
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnCancel, &QPushButton::clicked, this, &TfrmPreview::Cancel);
    lblState = new QLabel;
    lblState->setObjectName(QStringLiteral("lblState"));
    lblState->setWordWrap(true);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(lblState, 1);
    progressRow->addWidget(progress, 1);
    progressRow->addWidget(btnCancel);

    tblStats = new QTableWidget(0, 9);
    tblStats->setObjectName(QStringLiteral("tblStats"));
    tblStats->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Count"), QStringLiteral("First"),
                                         QStringLiteral("Last"), QStringLiteral("Minimum"), QStringLiteral("Maximum"),
                                         QStringLiteral("Median interval"), QStringLiteral("Gaps"),
                                         QStringLiteral("Refused")});
    tblStats->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblStats->verticalHeader()->setVisible(false);
    tblStats->verticalHeader()->setDefaultSectionSize(tblStats->fontMetrics().height() + 6);
    tblStats->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tblStats->horizontalHeader()->setStretchLastSection(false);
    lbxNotes = new QListWidget;
    lbxNotes->setObjectName(QStringLiteral("lbxNotes"));

    // The table and the notes each take the whole width: the table's nine
    // columns and a note's line fit at the default size.
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(chartView);
    split->addWidget(tblStats);
    split->addWidget(lbxNotes);
    split->setStretchFactor(0, 4);
    split->setStretchFactor(1, 1);
    split->setStretchFactor(2, 1);
    split->setSizes({440, 110, 90});
    split->setChildrenCollapsible(false);

    auto* hint = new QLabel(QStringLiteral("Wheel or + and - zoom, a drag or the arrow keys move, Home shows all."));
    hint->setObjectName(QStringLiteral("lblChartKeys"));
    hint->setWordWrap(true);
    btnSavePicture = new QPushButton(QStringLiteral("Save &Picture..."));
    btnSavePicture->setObjectName(QStringLiteral("btnSavePicture"));
    connect(btnSavePicture, &QPushButton::clicked, this, &TfrmPreview::SavePicture);
    btnCopyValues = new QPushButton(QStringLiteral("Copy &Values"));
    btnCopyValues->setObjectName(QStringLiteral("btnCopyValues"));
    connect(btnCopyValues, &QPushButton::clicked, this, &TfrmPreview::CopyValues);
    btnSavePicture->setEnabled(false);
    btnCopyValues->setEnabled(false);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->setObjectName(QStringLiteral("buttonRow"));
    buttonRow->addWidget(hint, 1);
    buttonRow->addWidget(btnSavePicture);
    buttonRow->addWidget(btnCopyValues);

    auto* page = new QVBoxLayout(this);
    page->addLayout(progressRow);
    page->addWidget(split, 1);
    // Keyboard and screen reader: every part named, Tab leaves the table, and
    // a Close button besides Escape.
    progress->setAccessibleName(QStringLiteral("Reading progress"));
    btnCancel->setAccessibleName(QStringLiteral("Cancel reading"));
    lblState->setAccessibleName(QStringLiteral("State"));
    chartView->setAccessibleName(QStringLiteral("Chart of the values over time"));
    tblStats->setAccessibleName(QStringLiteral("Statistics"));
    tblStats->setTabKeyNavigation(false);
    lbxNotes->setAccessibleName(QStringLiteral("Gaps and refused values"));
    auto* btnClose = new QPushButton(QStringLiteral("Close"));
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setAutoDefault(false);
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    buttonRow->addWidget(btnClose);
    page->addLayout(buttonRow);
}

TfrmPreview::~TfrmPreview() {
    cancel_ = true;
    JoinWorker();
}

void TfrmPreview::JoinWorker() {
    if (worker_.joinable()) worker_.join();
}

void TfrmPreview::StartReading(const std::string& path, const std::vector<std::string>& names, StoredReader stored) {
    cancel_ = true;
    JoinWorker();
    cancel_ = false;
    reading_ = true;
    path_ = path;
    stored_ = std::move(stored);
    result_.reset();
    comparison_.reset();
    chartView->SetPanels({});
    btnSavePicture->setEnabled(false);
    btnCopyValues->setEnabled(false);
    progress->setValue(0);
    progress->setVisible(true);
    btnCancel->setVisible(true);
    btnCancel->setEnabled(true);
    lblState->setText(QStringLiteral("Reading ") + FromPath(path) + QStringLiteral(" ..."));

    // What an earlier reading posted and is still on its way is left aside.
    const unsigned generation = ++generation_;
    worker_ = std::thread([this, path, names, generation, zones = zones_] {
        SeriesReadControl control;
        control.zones = zones;
        control.cancel = &cancel_;
        control.progress = [this, generation](std::uint64_t bytes, std::uint64_t size) {
            QMetaObject::invokeMethod(
                this,
                [this, bytes, size, generation] {
                    if (generation == generation_) Progress(bytes, size);
                },
                Qt::QueuedConnection);
        };
        std::shared_ptr<LogSeriesReading> reading;
        std::string error;
        try {
            reading = std::make_shared<LogSeriesReading>(ReadLogSeries(path, names, control));
        } catch (const std::exception& failure) {
            error = failure.what();
        }
        QMetaObject::invokeMethod(
            this,
            [this, reading, error, generation] {
                if (generation == generation_) Finished(reading, error);
            },
            Qt::QueuedConnection);
    });
}

void TfrmPreview::Cancel() {
    cancel_ = true;
    btnCancel->setEnabled(false);
}

void TfrmPreview::Progress(std::uint64_t bytes, std::uint64_t size) {
    if (size > 0) progress->setValue(static_cast<int>(std::min<std::uint64_t>(bytes, size) * 1000 / size));
}

void TfrmPreview::Finished(std::shared_ptr<LogSeriesReading> reading, const std::string& error) {
    JoinWorker();
    reading_ = false;
    btnCancel->setVisible(false);
    progress->setVisible(false);
    result_ = std::move(reading);
    if (!result_) {
        lblState->setText(QStringLiteral("The log file cannot be read: ") + FromBytes(error));
        emit ReadingDone();
        return;
    }
    lblState->setText(result_->cancelled
                          ? QStringLiteral("Reading cancelled: the chart shows the first %1 of %2 bytes.")
                                .arg(result_->bytesRead)
                                .arg(result_->fileSize)
                          : FromPath(path_));
    if (stored_ && result_->series.size() == 1 && result_->series.front().points.empty()) {
        lblState->setText(QStringLiteral("The log holds no values of %1: there is no span to read TF_DATA1 over.")
                              .arg(FromBytes(result_->series.front().name)));
    } else if (stored_ && result_->series.size() == 1) {
        const NameSeries& series = result_->series.front();
        try {
            comparison_ = CompareWithStored(series.points, stored_(series.stats.first, series.stats.last));
        } catch (const std::exception& failure) {
            lblState->setText(QStringLiteral("TF_DATA1 cannot be read: ") + FromBytes(failure.what()));
        }
    }
    Draw();
    FillStats();
    FillNotes();
    emit ReadingDone();
}

void TfrmPreview::Draw() {
    std::vector<ChartPanel> panels;
    std::size_t colour = 0;
    for (const NameSeries& series : result_->series) {
        ChartPanel panel;
        panel.series = &series;
        panel.colour = kSeriesColours[colour++ % std::size(kSeriesColours)];
        panels.push_back(std::move(panel));
    }
    if (comparison_ && !panels.empty()) {
        using Kind = ChartLayer::Kind;
        using Shape = ChartLayer::Shape;
        auto& layers = panels.front().layers;
        layers.push_back({QStringLiteral("ORIG_VALUE"), &comparison_->original, QColor(120, 120, 120), Kind::Line,
                          Qt::DashLine, Shape::Circle});
        layers.push_back({QStringLiteral("ED_VALUE"), &comparison_->edited, QColor(220, 50, 50), Kind::Line,
                          Qt::DotLine, Shape::Circle});
        layers.push_back({QStringLiteral("Edited in the database"), &comparison_->editedRows, QColor(220, 50, 50),
                          Kind::Marks, Qt::SolidLine, Shape::Triangle});
        layers.push_back({QStringLiteral("Differs from the log"), &comparison_->differsFromLog, QColor(230, 140, 0),
                          Kind::Marks, Qt::SolidLine, Shape::Square});
        layers.push_back({QStringLiteral("Not in TF_DATA1"), &comparison_->missing, QColor(0, 0, 0), Kind::Marks,
                          Qt::SolidLine, Shape::Cross});
    }
    chartView->SetPanels(std::move(panels));
    btnSavePicture->setEnabled(true);
    btnCopyValues->setEnabled(true);
}

void TfrmPreview::SavePicture() {
    if (dialogs_ == nullptr) return;
    FileDialogRequest request;
    request.title = "Save Picture";
    request.filter = "PNG Pictures (*.png)|*.png|All Files|*.*";
    request.defaultExtension = "png";
    const std::optional<std::string> path = dialogs_->SaveFile(request);
    if (!path) return;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    chartView->grab().save(&buffer, "PNG");
    try {
        ReplacementFile file(*path, NewFile::Shared);
        file.Write(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        file.Finish();
        file.Commit();
    } catch (const std::exception& failure) {
        dialogs_->ShowMessage(MessageKind::Error, std::string("The picture cannot be saved: ") + failure.what(),
                              MessageButtons::Ok);
    }
}

void TfrmPreview::CopyValues() {
    if (!result_) return;
    std::vector<const NameSeries*> all;
    for (const NameSeries& series : result_->series) all.push_back(&series);
    const PlotFrame& view = chartView->View();
    const std::optional<std::string> text = SeriesCsv(all, view.from, view.to, kMostCopied);
    if (!text) {
        if (dialogs_ != nullptr) {
            dialogs_->ShowMessage(MessageKind::Information,
                                  "The chart shows more than 200000 values: zoom in to copy them.", MessageButtons::Ok);
        }
        return;
    }
    QApplication::clipboard()->setText(FromBytes(*text));
}

void TfrmPreview::FillStats() {
    tblStats->setRowCount(static_cast<int>(result_->series.size()));
    int row = 0;
    for (const NameSeries& series : result_->series) {
        const SeriesStats& stats = series.stats;
        const bool any = stats.count > 0;
        const QString none = QStringLiteral("-");
        const QString cells[] = {
            FromBytes(series.name),
            QString::number(stats.count),
            any ? TimeTagText(stats.first) : none,
            any ? TimeTagText(stats.last) : none,
            any ? ValueText(stats.minimum) : none,
            any ? ValueText(stats.maximum) : none,
            stats.medianInterval > 0 ? QString::fromStdString(DurationText(stats.medianInterval)) : none,
            QString::number(stats.gaps.size()),
            QString::number(stats.refusedCount),
        };
        for (int column = 0; column < 9; ++column) tblStats->setItem(row, column, new QTableWidgetItem(cells[column]));
        if (any && zones_.Converts()) {
            tblStats->item(row, 2)->setToolTip(QStringLiteral("In the log: ") + TimeTagText(stats.firstWritten));
            tblStats->item(row, 3)->setToolTip(QStringLiteral("In the log: ") + TimeTagText(stats.lastWritten));
        }
        ++row;
    }
}

void TfrmPreview::FillNotes() {
    lbxNotes->clear();
    for (const NameSeries& series : result_->series) {
        const QString name = FromBytes(series.name);
        const auto& gaps = series.stats.gaps;
        for (std::size_t i = 0; i < gaps.size() && i < kListedPerName; ++i) {
            lbxNotes->addItem(QStringLiteral("%1: gap from %2 to %3 (%4)")
                                  .arg(name, TimeTagText(gaps[i].from), TimeTagText(gaps[i].to),
                                       QString::fromStdString(DurationText(std::int64_t{gaps[i].to} - gaps[i].from))));
        }
        if (gaps.size() > kListedPerName) {
            lbxNotes->addItem(QStringLiteral("%1: %2 more gaps").arg(name).arg(gaps.size() - kListedPerName));
        }
        for (std::size_t i = 0; i < series.refused.size() && i < kListedPerName; ++i) {
            const RefusedValue& refused = series.refused[i];
            lbxNotes->addItem(QStringLiteral("%1: line %2: %3: '%4'")
                                  .arg(name)
                                  .arg(refused.line)
                                  .arg(QLatin1String(RefusalText(refused.reason)), FromBytes(refused.valueText)));
        }
        const std::size_t listed = std::min(series.refused.size(), kListedPerName);
        if (series.stats.refusedCount > listed) {
            lbxNotes->addItem(
                QStringLiteral("%1: %2 more refused values").arg(name).arg(series.stats.refusedCount - listed));
        }
    }
    if (comparison_) {
        lbxNotes->addItem(QStringLiteral("%1 values in TF_DATA1, %2 edited in the database, %3 differing from the log, "
                                         "%4 log values not in TF_DATA1")
                              .arg(comparison_->original.size())
                              .arg(comparison_->editedRows.size())
                              .arg(comparison_->differsFromLog.size())
                              .arg(comparison_->missing.size()));
    }
}

}  // namespace vireo::gui
