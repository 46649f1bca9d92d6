// The preview's chart: one Qt Charts chart per log series under a shared
// time axis, showing what the core works out for the span in view (thinned
// lines, gaps, refused values, round ticks).
#include "gui/SeriesChart.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QFocusEvent>
#include <QGraphicsLayout>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QScatterSeries>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "gui/QtDialogs.h"
#include "preview/SeriesText.h"
#include "scan/Regional.h"

namespace vireo::gui {
namespace {

constexpr int kLeft = 64;  // room for the value labels
constexpr int kRight = 16;
constexpr int kTop = 4;
constexpr int kTitle = 18;   // the panel's name and legend above its plot
constexpr int kBetween = 8;  // below each plot
constexpr int kBottom = 36;  // the time labels, and the dates under them
constexpr double kNear = 8;  // how near the mouse must be to a point, in pixels

const QColor kGapShade(255, 190, 90, 90);
const QColor kRefusedColour(200, 0, 0);
const QColor kGrid(225, 225, 225);

QString Text(const std::string& bytes) { return FromBytes(bytes); }

// A mark the chart library has no shape for, drawn once as a picture.
QImage CrossMark(const QColor& colour) {
    QImage image(18, 18, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, 3));
    painter.drawLine(QPointF(2, 2), QPointF(16, 16));
    painter.drawLine(QPointF(2, 16), QPointF(16, 2));
    return image;
}

QList<QPointF> ChartPoints(const std::vector<SeriesPoint>& points) {
    QList<QPointF> out;
    out.reserve(static_cast<qsizetype>(points.size()));
    for (const SeriesPoint& point : points) out.append(QPointF(static_cast<double>(point.stamp), point.value));
    return out;
}

// The value labels' decimal separator is the regional one.
QLocale ValueLocale() {
    QLocale locale = Regional().decimalSeparator == ',' ? QLocale(QLocale::German) : QLocale::c();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

bool Inside(const PlotFrame& frame, SecondStamp stamp) { return stamp >= frame.from && stamp <= frame.to; }

}  // namespace

/// The charts of one panel and their series, kept from one span to the next
/// (a zoom step replaces their points).
struct TSeriesChart::PanelChart {
    QChart* chart = nullptr;
    QValueAxis* values = nullptr;
    QCategoryAxis* times = nullptr;
    std::vector<QLineSeries*> lines;  // one per part between gaps; more are added when needed
    std::vector<QXYSeries*> layers;
    QLineSeries* gapTops = nullptr;  // high over each gap, low elsewhere: the area below is shaded
    QLineSeries* gapFoot = nullptr;
    QScatterSeries* refused = nullptr;
    QGraphicsRectItem* frame = nullptr;
};

TSeriesChart::TSeriesChart(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setMinimumSize(320, 160);
    setCursor(Qt::OpenHandCursor);
    scene_ = new QGraphicsScene(this);
    scene_->setBackgroundBrush(Qt::white);
    sceneView_ = new QGraphicsView(scene_, this);
    sceneView_->setFrameShape(QFrame::NoFrame);
    sceneView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sceneView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sceneView_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    sceneView_->setRenderHint(QPainter::Antialiasing);
    sceneView_->setFocusPolicy(Qt::NoFocus);
    // The wheel, the mouse and the tips are the widget's own.
    sceneView_->setAttribute(Qt::WA_TransparentForMouseEvents);
    sceneView_->viewport()->setAttribute(Qt::WA_TransparentForMouseEvents);
    nothing_ = scene_->addSimpleText(QStringLiteral("No value of the selection has a time tag."));
    nothing_->setBrush(Qt::darkGray);
    nothing_->setVisible(false);
    focusFrame_ = scene_->addRect(QRectF(), QPen(palette().highlight().color(), 1, Qt::DotLine));
    focusFrame_->setZValue(1);
    focusFrame_->setVisible(false);
}

TSeriesChart::~TSeriesChart() = default;

std::size_t TSeriesChart::Columns() const { return static_cast<std::size_t>(std::max(width() - kLeft - kRight, 1)); }

QRectF TSeriesChart::PlotArea(std::size_t index) const {
    const double count = static_cast<double>(std::max<std::size_t>(panels_.size(), 1));
    const double each = (height() - kTop - kBottom) / count;
    const double top = kTop + static_cast<double>(index) * each;
    return {static_cast<double>(kLeft), top + kTitle, static_cast<double>(Columns()),
            std::max(each - kTitle - kBetween, 10.0)};
}

double TSeriesChart::XOf(SecondStamp stamp) const {
    const double span = std::max<double>(static_cast<double>(std::int64_t{view_.to} - view_.from), 1);
    return kLeft + (static_cast<double>(stamp) - view_.from) / span * static_cast<double>(Columns());
}

SecondStamp TSeriesChart::StampAt(double x) const {
    const double span = static_cast<double>(std::int64_t{view_.to} - view_.from);
    return static_cast<SecondStamp>(std::llround(view_.from + (x - kLeft) / static_cast<double>(Columns()) * span));
}

double TSeriesChart::YOf(const DrawnPanel& drawn, const QRectF& area, double value) const {
    return area.bottom() - (value - drawn.low) / (drawn.high - drawn.low) * area.height();
}

void TSeriesChart::SetPanels(std::vector<ChartPanel> panels) {
    panels_ = std::move(panels);
    std::vector<const NameSeries*> series;
    for (const ChartPanel& panel : panels_) series.push_back(panel.series);
    full_ = FrameOf(series, Columns());
    hasSpan_ = std::any_of(panels_.begin(), panels_.end(), [](const ChartPanel& panel) {
        const NameSeries& one = *panel.series;
        return !one.points.empty() || one.stats.refusedTimed ||
               std::any_of(one.refused.begin(), one.refused.end(), [](const auto& r) { return r.hasTimeTag; });
    });
    view_ = FitFrame(full_);
    BuildCharts();
    SetView(view_);
}

void TSeriesChart::BuildCharts() {
    for (const auto& panel : charts_) {
        delete panel->chart;  // with its axes and series
        delete panel->frame;
    }
    charts_.clear();
    if (!hasSpan_) return;
    const QLocale locale = ValueLocale();
    const bool localize = locale.decimalPoint() != QLatin1Char('.');
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        const ChartPanel& panel = panels_[i];
        auto shown = std::make_unique<PanelChart>();
        QChart* chart = shown->chart = new QChart;
        chart->setBackgroundRoundness(0);
        chart->setDropShadowEnabled(false);
        chart->setMargins(QMargins());
        chart->layout()->setContentsMargins(0, 0, 0, 0);
        chart->setBackgroundBrush(Qt::white);
        chart->setBackgroundPen(Qt::NoPen);
        chart->setPlotAreaBackgroundVisible(false);
        chart->setLocale(locale);
        chart->setLocalizeNumbers(localize);

        auto* values = shown->values = new QValueAxis;
        values->setTickType(QValueAxis::TicksDynamic);
        values->setTickAnchor(0);
        values->setGridLineColor(kGrid);
        values->setLineVisible(false);
        values->setLabelsFont(font());
        values->setMinorTickCount(0);
        chart->addAxis(values, Qt::AlignLeft);
        // The time axis is the same in every panel; only the lowest writes its times.
        auto* times = shown->times = new QCategoryAxis;
        times->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
        times->setGridLineColor(kGrid);
        times->setLineVisible(false);
        times->setLabelsFont(font());
        times->setLabelsVisible(i + 1 == panels_.size());
        chart->addAxis(times, Qt::AlignBottom);
        const auto attach = [&](QAbstractSeries* series) {
            chart->addSeries(series);
            series->attachAxis(times);
            series->attachAxis(values);
        };

        // In the legend's order: the name, the layers, the gaps, the refused values.
        auto* line = new QLineSeries;
        line->setName(Text(panel.series->name));
        line->setPen(QPen(panel.colour, 1.5));
        attach(line);
        shown->lines.push_back(line);
        for (const ChartLayer& layer : panel.layers) {
            QXYSeries* series = nullptr;
            if (layer.kind == ChartLayer::Kind::Line) {
                series = new QLineSeries;
                series->setPen(QPen(layer.colour, 2, layer.style));
            } else {
                auto* marks = new QScatterSeries;
                marks->setMarkerSize(9);
                marks->setColor(layer.colour);
                marks->setBorderColor(layer.colour);
                switch (layer.shape) {
                    case ChartLayer::Shape::Circle:
                        marks->setMarkerShape(QScatterSeries::MarkerShapeCircle);
                        break;
                    case ChartLayer::Shape::Triangle:
                        marks->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
                        break;
                    case ChartLayer::Shape::Square:
                        marks->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
                        break;
                    case ChartLayer::Shape::Cross:
                        marks->setLightMarker(CrossMark(layer.colour));
                        break;
                }
                series = marks;
            }
            series->setName(layer.name);
            attach(series);
            shown->layers.push_back(series);
        }
        shown->gapTops = new QLineSeries(chart);
        shown->gapFoot = new QLineSeries(chart);
        auto* gaps = new QAreaSeries(shown->gapTops, shown->gapFoot);
        gaps->setName(QStringLiteral("Gaps"));
        gaps->setBrush(kGapShade);
        gaps->setPen(QPen(kGapShade, 1));  // its legend's square is filled without a dark border
        attach(gaps);
        auto* refused = shown->refused = new QScatterSeries;
        refused->setName(QStringLiteral("Refused values"));
        refused->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
        refused->setMarkerSize(8);
        refused->setColor(kRefusedColour);
        refused->setBorderColor(kRefusedColour);
        attach(refused);

        QLegend* legend = chart->legend();
        legend->detachFromChart();
        legend->setAlignment(Qt::AlignTop);
        legend->setMarkerShape(QLegend::MarkerShapeFromSeries);
        legend->setFont(font());
        legend->setBackgroundVisible(false);
        legend->setContentsMargins(0, 0, 0, 0);
        legend->setBorderColor(Qt::transparent);
        QFont bold = font();
        bold.setBold(true);
        for (QLegendMarker* marker : legend->markers(line)) {
            marker->setFont(bold);
            marker->setLabelBrush(panel.colour);
        }
        for (std::size_t k = 0; k < panel.layers.size(); ++k) {
            for (QLegendMarker* marker : legend->markers(shown->layers[k])) {
                marker->setVisible(!panel.layers[k].points->empty());
            }
        }
        for (QLegendMarker* marker : legend->markers(gaps)) {
            marker->setShape(QLegend::MarkerShapeRectangle);
            marker->setVisible(!panel.series->stats.gaps.empty());
        }
        for (QLegendMarker* marker : legend->markers(refused)) {
            marker->setVisible(panel.series->stats.refusedCount > 0);
        }
        scene_->addItem(chart);
        // The plot's frame, over the shaded gaps as before.
        shown->frame = scene_->addRect(QRectF(), QPen(Qt::gray));
        shown->frame->setZValue(0.5);
        charts_.push_back(std::move(shown));
    }
    PlaceCharts();
}

void TSeriesChart::PlaceCharts() {
    sceneView_->setGeometry(rect());
    scene_->setSceneRect(QRectF(rect()));
    focusFrame_->setRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    nothing_->setVisible(!hasSpan_ && !panels_.empty());
    const QRectF text = nothing_->boundingRect();
    nothing_->setPos((width() - text.width()) / 2, (height() - text.height()) / 2);
    for (std::size_t i = 0; i < charts_.size(); ++i) {
        const QRectF area = PlotArea(i);
        const double top = area.top() - kTitle;
        const double bottom = i + 1 == charts_.size() ? height() : area.bottom() + kBetween;
        QChart* chart = charts_[i]->chart;
        chart->setGeometry(QRectF(0, top, width(), bottom - top));
        chart->setPlotArea(area.translated(0, -top));
        // The legend lies in the title's room above the plot, however high
        // it wants to be.
        QLegend* legend = chart->legend();
        const double high = std::max<double>(kTitle, legend->effectiveSizeHint(Qt::MinimumSize).height());
        legend->setGeometry(QRectF(area.left() - 6, kTitle / 2.0 - 1 - high / 2, area.width() + 6, high));
        charts_[i]->frame->setRect(area);
    }
}

void TSeriesChart::ShowDrawn() {
    for (std::size_t i = 0; i < charts_.size() && i < drawn_.size(); ++i) {
        PanelChart& shown = *charts_[i];
        const ChartPanel& panel = panels_[i];
        const DrawnPanel& drawn = drawn_[i];
        const QRectF area = PlotArea(i);

        // The axis makes a label for every tick of its range at its interval
        // of the moment: it gets one wide enough for both ranges before the
        // new range, and only then the step of the new ticks.
        const double wide = std::max(shown.values->max() - shown.values->min(), drawn.high - drawn.low);
        shown.values->setTickInterval(std::max(wide, drawn.ticks.step));
        shown.values->setRange(drawn.low, drawn.high);
        shown.values->setTickInterval(drawn.ticks.step);
        const int decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(drawn.ticks.step) - 1e-9)));
        shown.values->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
        for (const QString& label : shown.times->categoriesLabels()) shown.times->remove(label);
        const double from = static_cast<double>(view_.from);
        const double to = static_cast<double>(std::max<std::int64_t>(view_.to, std::int64_t{view_.from} + 1));
        shown.times->setStartValue(from - 1);
        // The axis knows its ticks by their labels: a comment keeps two
        // alike (six o'clock on two days) apart.
        for (std::size_t k = 0; k < timeTicks_.size(); ++k) {
            const TimeTick& tick = timeTicks_[k];
            QString label = QStringLiteral("<div align=\"center\">") + Text(tick.text).toHtmlEscaped();
            if (!tick.date.empty()) label += QStringLiteral("<br>") + Text(tick.date).toHtmlEscaped();
            label += QStringLiteral("</div><!--%1-->").arg(k);
            shown.times->append(label, static_cast<double>(tick.stamp));
        }
        shown.times->setRange(from, to);

        // The series' parts: a dense line (more than a point in three
        // pixels: a thinned one zig-zags between each column's lowest and
        // highest) is drawn one pixel wide; values far enough apart to be
        // told apart get a dot each.
        std::size_t count = 0;
        for (const auto& line : drawn.lines) count += line.size();
        const bool dots = count > 0 && static_cast<double>(count) * 6 < area.width();
        while (shown.lines.size() < drawn.lines.size()) {
            auto* line = new QLineSeries;
            shown.chart->addSeries(line);
            line->attachAxis(shown.times);
            line->attachAxis(shown.values);
            for (QLegendMarker* marker : shown.chart->legend()->markers(line)) marker->setVisible(false);
            shown.lines.push_back(line);
        }
        for (std::size_t k = 0; k < shown.lines.size(); ++k) {
            QLineSeries* line = shown.lines[k];
            if (k >= drawn.lines.size()) {
                if (line->count() > 0) line->clear();
                continue;
            }
            const std::vector<SeriesPoint>& points = drawn.lines[k];
            const double extent = points.size() < 2 ? 0 : XOf(points.back().stamp) - XOf(points.front().stamp);
            const bool dense = static_cast<double>(points.size()) * 3 > extent;
            line->setPen(QPen(panel.colour, dense && !dots ? 1 : 1.5));
            line->setPointsVisible(dots || points.size() == 1);
            line->replace(ChartPoints(points));
        }
        for (std::size_t k = 0; k < shown.layers.size(); ++k) shown.layers[k]->replace(ChartPoints(drawn.layers[k]));

        // Each gap is shaded at least two pixels wide.
        const double perPixel = (to - from) / std::max(area.width(), 1.0);
        QList<QPointF> tops;
        QList<QPointF> foot;
        for (const SeriesGap& gap : drawn.gaps) {
            double left = static_cast<double>(std::max(gap.from, view_.from));
            double right = static_cast<double>(std::min(gap.to, view_.to));
            const double wide = std::max(right - left, 2 * perPixel);
            left = (left + right - wide) / 2;
            right = left + wide;
            tops << QPointF(left, drawn.low) << QPointF(left, drawn.high) << QPointF(right, drawn.high)
                 << QPointF(right, drawn.low);
        }
        if (!tops.isEmpty()) foot << QPointF(tops.front().x(), drawn.low) << QPointF(tops.back().x(), drawn.low);
        shown.gapTops->replace(tops);
        shown.gapFoot->replace(foot);

        // Refused values stand at the foot of the plot, at their time.
        const double foot5 = drawn.low + 5 / std::max(area.height(), 1.0) * (drawn.high - drawn.low);
        QList<QPointF> refused;
        refused.reserve(static_cast<qsizetype>(drawn.refused.size()));
        for (const RefusedValue* value : drawn.refused) refused << QPointF(static_cast<double>(value->stamp), foot5);
        shown.refused->replace(refused);
    }
}

void TSeriesChart::SetView(const PlotFrame& view) {
    view_ = view;
    view_.columns = Columns();
    Rethin();
    ShowDrawn();
    emit ViewChanged();
}

void TSeriesChart::Fit() { SetView(FitFrame(full_)); }

void TSeriesChart::ZoomBy(double factor, double x) {
    const SecondStamp anchor =
        x < 0 ? static_cast<SecondStamp>(view_.from + (std::int64_t{view_.to} - view_.from) / 2) : StampAt(x);
    SetView(ZoomFrame(view_, full_, factor, anchor));
}

void TSeriesChart::PanBy(double fraction) {
    const double span = static_cast<double>(std::int64_t{view_.to} - view_.from);
    std::int64_t seconds = std::llround(span * fraction);
    if (seconds == 0 && fraction != 0) seconds = fraction > 0 ? 1 : -1;
    SetView(PanFrame(view_, full_, seconds));
}

void TSeriesChart::Rethin() {
    drawn_.assign(panels_.size(), {});
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        const ChartPanel& panel = panels_[i];
        DrawnPanel& drawn = drawn_[i];
        drawn.lines = PlotLines(*panel.series, view_);
        for (const ChartLayer& layer : panel.layers) drawn.layers.push_back(Decimate(*layer.points, view_));
        drawn.gaps = GapsInFrame(*panel.series, view_);
        for (const RefusedValue& refused : panel.series->refused) {
            if (refused.hasTimeTag && Inside(view_, refused.stamp)) drawn.refused.push_back(&refused);
        }
        // The value axis fits the values in view: thinning keeps each
        // column's lowest and highest, so these are all of them.
        bool any = false;
        const auto widen = [&](const std::vector<SeriesPoint>& points) {
            for (const SeriesPoint& point : points) {
                if (!Inside(view_, point.stamp)) continue;
                drawn.low = any ? std::min(drawn.low, point.value) : point.value;
                drawn.high = any ? std::max(drawn.high, point.value) : point.value;
                any = true;
            }
        };
        for (const auto& line : drawn.lines) widen(line);
        for (const auto& layer : drawn.layers) widen(layer);
        if (!any) {
            drawn.low = 0;
            drawn.high = 1;
        } else if (drawn.low == drawn.high) {
            const double room = drawn.low != 0 ? std::fabs(drawn.low) * 0.1 : 1;
            drawn.low -= room;
            drawn.high += room;
        } else {
            const double margin = (drawn.high - drawn.low) * 0.06;
            drawn.low -= margin;
            drawn.high += margin;
        }
        const QRectF area = PlotArea(i);
        drawn.ticks = NiceValueTicks(drawn.low, drawn.high, std::max(2, static_cast<int>(area.height() / 28)));
    }
    timeTicks_ = NiceTimeTicks(view_.from, view_.to, std::max(2, static_cast<int>(Columns() / 100)));
}

void TSeriesChart::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    view_.columns = Columns();
    PlaceCharts();
    Rethin();
    ShowDrawn();
}

QString TSeriesChart::TipAt(QPoint at) const {
    const QPointF mouse(at);
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        const QRectF area = PlotArea(i);
        if (!area.adjusted(-kNear, -kNear, kNear, kNear).contains(mouse)) continue;
        const ChartPanel& panel = panels_[i];
        const DrawnPanel& drawn = drawn_[i];
        const QString name = Text(panel.series->name);
        double best = kNear * kNear;
        QString tip;
        const auto consider = [&](QPointF place, const std::function<QString()>& text) {
            const double dx = place.x() - mouse.x();
            const double dy = place.y() - mouse.y();
            if (dx * dx + dy * dy <= best) {
                best = dx * dx + dy * dy;
                tip = text();
            }
        };
        const auto pointText = [](const QString& title, const SeriesPoint& point) {
            QString text = QStringLiteral("%1\n%2\nValue: %3")
                               .arg(title, Text(RegionalTimeTagText(point.stamp)), Text(NumberText(point.value)));
            if (point.line > 0) text += QStringLiteral("\nLine %1").arg(point.line);
            return text;
        };
        for (const auto& line : drawn.lines) {
            for (const SeriesPoint& point : line) {
                if (!Inside(view_, point.stamp)) continue;
                consider(QPointF(XOf(point.stamp), YOf(drawn, area, point.value)),
                         [&] { return pointText(name, point); });
            }
        }
        for (std::size_t k = 0; k < panel.layers.size(); ++k) {
            for (const SeriesPoint& point : drawn.layers[k]) {
                if (!Inside(view_, point.stamp)) continue;
                consider(QPointF(XOf(point.stamp), YOf(drawn, area, point.value)),
                         [&] { return pointText(panel.layers[k].name, point); });
            }
        }
        for (const RefusedValue* refused : drawn.refused) {
            consider(QPointF(XOf(refused->stamp), area.bottom() - 5), [&] {
                return QStringLiteral("%1\n%2\nRefused: %3: '%4'\nLine %5")
                    .arg(name, Text(RegionalTimeTagText(refused->stamp)), QLatin1String(RefusalText(refused->reason)),
                         Text(refused->valueText))
                    .arg(refused->line);
            });
        }
        if (!tip.isEmpty()) return tip;
        for (const SeriesGap& gap : drawn.gaps) {
            const double left = XOf(std::max(gap.from, view_.from));
            const double right = XOf(std::min(gap.to, view_.to));
            const double middle = (left + right) / 2;
            const double half = std::max((right - left) / 2, 1.0) + 2;
            if (std::fabs(mouse.x() - middle) <= half && area.contains(mouse)) {
                return QStringLiteral("%1: gap from %2 to %3 (%4)")
                    .arg(name, Text(RegionalTimeTagText(gap.from)), Text(RegionalTimeTagText(gap.to)),
                         QString::fromStdString(DurationText(std::int64_t{gap.to} - gap.from)));
            }
        }
    }
    return {};
}

bool TSeriesChart::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = TipAt(help->pos());
        if (tip.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), tip, this);
        }
        return true;
    }
    return QWidget::event(event);
}

void TSeriesChart::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0) {
        event->ignore();
        return;
    }
    ZoomBy(std::pow(0.8, steps), event->position().x());
    event->accept();
}

void TSeriesChart::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    dragging_ = true;
    dragX_ = event->position().x();
    dragView_ = view_;
    setCursor(Qt::ClosedHandCursor);
}

void TSeriesChart::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return QWidget::mouseMoveEvent(event);
    const double span = static_cast<double>(std::int64_t{dragView_.to} - dragView_.from);
    const double moved = (event->position().x() - dragX_) / static_cast<double>(Columns()) * span;
    SetView(PanFrame(dragView_, full_, -std::llround(moved)));
}

void TSeriesChart::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    dragging_ = false;
    setCursor(Qt::OpenHandCursor);
}

void TSeriesChart::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            ZoomBy(0.5);
            break;
        case Qt::Key_Minus:
            ZoomBy(2);
            break;
        case Qt::Key_Left:
            PanBy(-0.1);
            break;
        case Qt::Key_Right:
            PanBy(0.1);
            break;
        case Qt::Key_Home:
            Fit();
            break;
        default:
            QWidget::keyPressEvent(event);
    }
}

void TSeriesChart::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    focusFrame_->setVisible(true);
}

void TSeriesChart::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    focusFrame_->setVisible(false);
}

}  // namespace vireo::gui
