// The preview of log sensors and of what TF_DATA1 holds for them: a chart
// drawn from what the core gives (series split at their gaps and thinned per
// pixel column), the numbers of each series and the lists of refused values
// and gaps.
#include "gui/PreviewDialog.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScatterSeries>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "gui/QtDialogs.h"
#include "logfile/LogLineReader.h"
#include "preview/SeriesPlot.h"
#include "preview/SeriesText.h"
#include "scan/Regional.h"

namespace vireo::gui {
namespace {

/// How many gaps and refused values of one name are listed below the chart.
constexpr std::size_t kListedPerName = 200;

/// Colours of the series, one per name in turn.
const QColor kSeriesColours[] = {QColor(0, 90, 170),   QColor(200, 110, 0), QColor(0, 140, 60),
                                 QColor(150, 40, 150), QColor(90, 90, 90),  QColor(0, 150, 160)};

/// A time tag on the chart's time axis: the log's date and time as the
/// window's clock reads them.
qreal AxisTime(SecondStamp stamp) {
    const CalendarStamp at = SplitStamp(stamp);
    return static_cast<qreal>(
        QDateTime(QDate(at.year, at.month, at.day), QTime(at.hours, at.minutes, at.seconds)).toMSecsSinceEpoch());
}

QString TimeTagText(SecondStamp stamp) {
    const CalendarStamp at = SplitStamp(stamp);
    return FromBytes(DateTimeText(at.year, at.month, at.day, at.hours, at.minutes, at.seconds));
}

QString ValueText(double value) { return FromBytes(NumberText(value)); }

/// A series of markers without a line, kept out of the legend unless named.
QScatterSeries* Markers(const QString& name, QColor colour, QScatterSeries::MarkerShape shape, qreal size) {
    auto* markers = new QScatterSeries;
    markers->setName(name);
    markers->setColor(colour);
    markers->setBorderColor(colour);
    markers->setMarkerShape(shape);
    markers->setMarkerSize(size);
    return markers;
}

void Append(QXYSeries* series, const std::vector<SeriesPoint>& points) {
    QList<QPointF> shown;
    shown.reserve(static_cast<qsizetype>(points.size()));
    for (const SeriesPoint& point : points) shown.append(QPointF(AxisTime(point.stamp), point.value));
    series->append(shown);
}

/// strftime directive -> Qt date-time format.
QString QtFormatOf(const std::string& format) {
    QString qt;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            const QChar c = QChar::fromLatin1(format[i]);
            qt += c.isLetter() ? QStringLiteral("'") + c + QStringLiteral("'") : QString(c);
            continue;
        }
        switch (format[++i]) {
            case 'd':
                qt += QStringLiteral("dd");
                break;
            case 'e':
                qt += QStringLiteral("d");
                break;
            case 'm':
                qt += QStringLiteral("MM");
                break;
            case 'b':
                qt += QStringLiteral("MMM");
                break;
            case 'Y':
                qt += QStringLiteral("yyyy");
                break;
            case 'y':
                qt += QStringLiteral("yy");
                break;
            case 'H':
                qt += QStringLiteral("HH");
                break;
            case 'I':
                qt += QStringLiteral("hh");
                break;
            case 'M':
                qt += QStringLiteral("mm");
                break;
            case 'S':
                qt += QStringLiteral("ss");
                break;
            case 'p':
                qt += QStringLiteral("AP");
                break;
            case '%':
                qt += QStringLiteral("%");
                break;
            default:
                break;
        }
    }
    return qt;
}

}  // namespace

QString RegionalChartFormat() {
    const RegionalSettings& regional = Regional();
    return QtFormatOf(regional.shortDateFormat) + QStringLiteral(" ") + QtFormatOf(regional.longTimeFormat);
}

TfrmPreview::TfrmPreview(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmPreview"));
    setWindowTitle(QStringLiteral("Preview"));
    resize(900, 640);

    chart = new QChart;
    chart->setObjectName(QStringLiteral("chtPreview"));
    chart->legend()->setAlignment(Qt::AlignBottom);
    chartView = new QChartView(chart);
    chartView->setObjectName(QStringLiteral("chvPreview"));
    chartView->setRenderHint(QPainter::Antialiasing);
    chartView->setMinimumHeight(260);

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
    tblStats->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lbxNotes = new QListWidget;
    lbxNotes->setObjectName(QStringLiteral("lbxNotes"));

    auto* below = new QSplitter(Qt::Horizontal);
    below->addWidget(tblStats);
    below->addWidget(lbxNotes);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(chartView);
    split->addWidget(below);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    split->setSizes({440, 150});
    below->setSizes({560, 340});

    redraw_ = new QTimer(this);
    redraw_->setSingleShot(true);
    redraw_->setInterval(200);
    connect(redraw_, &QTimer::timeout, this, [this] {
        if (result_ && !reading_ && chartView->width() != drawnWidth_) Draw();
    });

    auto* page = new QVBoxLayout(this);
    page->addLayout(progressRow);
    page->addWidget(split, 1);
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

void TfrmPreview::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    redraw_->start();
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
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    std::vector<const NameSeries*> all;
    for (const NameSeries& series : result_->series) all.push_back(&series);
    drawnWidth_ = chartView->width();
    const auto columns = static_cast<std::size_t>(std::max(drawnWidth_, 200));
    const PlotFrame frame = FrameOf(all, columns);

    auto* timeAxis = new QDateTimeAxis;
    timeAxis->setObjectName(QStringLiteral("axTime"));
    timeAxis->setFormat(RegionalChartFormat());
    timeAxis->setTickCount(5);
    auto* valueAxis = new QValueAxis;
    valueAxis->setObjectName(QStringLiteral("axValue"));
    chart->addAxis(timeAxis, Qt::AlignBottom);
    chart->addAxis(valueAxis, Qt::AlignLeft);

    double low = 0;
    double high = 0;
    bool any = false;
    const auto widen = [&](double value) {
        low = any ? std::min(low, value) : value;
        high = any ? std::max(high, value) : value;
        any = true;
    };
    const auto add = [&](QAbstractSeries* series, bool inLegend) {
        chart->addSeries(series);
        series->attachAxis(timeAxis);
        series->attachAxis(valueAxis);
        if (!inLegend) {
            for (QLegendMarker* marker : chart->legend()->markers(series)) marker->setVisible(false);
        }
    };

    std::size_t colour = 0;
    for (const NameSeries& series : result_->series) {
        const QColor shade = kSeriesColours[colour++ % std::size(kSeriesColours)];
        if (series.points.empty()) continue;
        widen(series.stats.minimum);
        widen(series.stats.maximum);
        bool first = true;
        auto* lone = Markers(FromBytes(series.name), shade, QScatterSeries::MarkerShapeCircle, 6);
        for (const std::vector<SeriesPoint>& line : PlotLines(series, frame)) {
            if (line.size() == 1) {
                Append(lone, line);
                continue;
            }
            auto* drawn = new QLineSeries;
            drawn->setName(FromBytes(series.name));
            drawn->setColor(shade);
            Append(drawn, line);
            add(drawn, first);
            first = false;
        }
        if (lone->count() > 0) {
            add(lone, first);
        } else {
            delete lone;
        }
    }

    if (comparison_) {
        const auto addLine = [&](const QString& name, const std::vector<SeriesPoint>& points, QColor shade,
                                 Qt::PenStyle style) {
            if (points.empty()) return;
            auto* drawn = new QLineSeries;
            drawn->setName(name);
            QPen pen(shade);
            pen.setStyle(style);
            pen.setWidth(2);
            drawn->setPen(pen);
            const std::vector<SeriesPoint> thinned = Decimate(points, frame);
            for (const SeriesPoint& point : thinned) widen(point.value);
            Append(drawn, thinned);
            add(drawn, true);
        };
        const auto addMarkers = [&](const QString& name, const std::vector<SeriesPoint>& points, QColor shade,
                                    QScatterSeries::MarkerShape shape) {
            if (points.empty()) return;
            auto* markers = Markers(name, shade, shape, 9);
            const std::vector<SeriesPoint> thinned = Decimate(points, frame);
            for (const SeriesPoint& point : thinned) widen(point.value);
            Append(markers, thinned);
            add(markers, true);
        };
        addLine(QStringLiteral("ORIG_VALUE"), comparison_->original, QColor(120, 120, 120), Qt::DashLine);
        addLine(QStringLiteral("ED_VALUE"), comparison_->edited, QColor(220, 50, 50), Qt::DotLine);
        addMarkers(QStringLiteral("Edited in the database"), comparison_->editedRows, QColor(220, 50, 50),
                   QScatterSeries::MarkerShapeTriangle);
        addMarkers(QStringLiteral("Differs from the log"), comparison_->differsFromLog, QColor(230, 140, 0),
                   QScatterSeries::MarkerShapeRectangle);
        addMarkers(QStringLiteral("Not in TF_DATA1"), comparison_->missing, QColor(0, 0, 0),
                   QScatterSeries::MarkerShapeStar);
    }

    if (!any) {
        low = 0;
        high = 1;
    } else if (low == high) {
        low -= 1;
        high += 1;
    } else {
        const double margin = (high - low) * 0.05;
        low -= margin;
        high += margin;
    }

    // Refused values with a time tag stand at the foot of the chart, at their time.
    auto* refused =
        Markers(QStringLiteral("Refused values"), QColor(200, 0, 0), QScatterSeries::MarkerShapeTriangle, 8);
    for (const NameSeries& series : result_->series) {
        for (const RefusedValue& value : series.refused) {
            if (value.hasTimeTag) refused->append(AxisTime(value.stamp), low);
        }
    }
    if (refused->count() > 0) {
        add(refused, true);
    } else {
        delete refused;
    }

    valueAxis->setRange(low, high);
    SecondStamp from = frame.from;
    SecondStamp to = frame.to;
    if (from == to) {
        from -= 1800;
        to += 1800;
    }
    timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(AxisTime(from))),
                       QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(AxisTime(to))));
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
