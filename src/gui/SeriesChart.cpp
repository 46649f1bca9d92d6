// The preview's chart: one panel per log series under a shared time axis,
// drawn with QPainter from what the core works out for the span in view
// (thinned lines, gaps, refused values, round ticks).
#include "gui/SeriesChart.h"

#include <QFocusEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
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

void DrawMark(QPainter& painter, ChartLayer::Shape shape, QPointF at, double size) {
    const double half = size / 2;
    switch (shape) {
        case ChartLayer::Shape::Circle:
            painter.drawEllipse(at, half, half);
            break;
        case ChartLayer::Shape::Triangle: {
            const QPointF corners[] = {
                {at.x(), at.y() - half}, {at.x() - half, at.y() + half}, {at.x() + half, at.y() + half}};
            painter.drawPolygon(corners, 3);
            break;
        }
        case ChartLayer::Shape::Square:
            painter.drawRect(QRectF(at.x() - half, at.y() - half, size, size));
            break;
        case ChartLayer::Shape::Cross:
            painter.drawLine(QPointF(at.x() - half, at.y() - half), QPointF(at.x() + half, at.y() + half));
            painter.drawLine(QPointF(at.x() - half, at.y() + half), QPointF(at.x() + half, at.y() - half));
            break;
    }
}

bool Inside(const PlotFrame& frame, SecondStamp stamp) { return stamp >= frame.from && stamp <= frame.to; }

}  // namespace

TSeriesChart::TSeriesChart(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 160);
    setCursor(Qt::OpenHandCursor);
}

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
    SetView(view_);
}

void TSeriesChart::SetView(const PlotFrame& view) {
    view_ = view;
    view_.columns = Columns();
    Rethin();
    update();
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
    Rethin();
}

void TSeriesChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics = painter.fontMetrics();
    const bool anything = hasSpan_;
    if (!anything && !panels_.empty()) {
        painter.setPen(Qt::darkGray);
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("No value of the selection has a time tag."));
    }

    for (std::size_t i = 0; i < panels_.size() && anything; ++i) {
        const ChartPanel& panel = panels_[i];
        const DrawnPanel& drawn = drawn_[i];
        const QRectF area = PlotArea(i);

        // The name, and the legend of what else the panel shows.
        double x = area.left();
        const double titleY = area.top() - 5;
        QFont bold = painter.font();
        bold.setBold(true);
        painter.setFont(bold);
        painter.setPen(panel.colour);
        const QString name = Text(panel.series->name);
        painter.drawText(QPointF(x, titleY), name);
        x += QFontMetrics(bold).horizontalAdvance(name) + 14;
        painter.setFont(font());
        const auto legend = [&](const QString& text, const std::function<void(QPointF)>& sample) {
            sample(QPointF(x + 6, titleY - metrics.ascent() / 2.0 + 1));
            painter.setPen(Qt::black);
            painter.drawText(QPointF(x + 16, titleY), text);
            x += 16 + metrics.horizontalAdvance(text) + 14;
        };
        for (const ChartLayer& layer : panel.layers) {
            if (layer.points->empty()) continue;
            legend(layer.name, [&](QPointF at) {
                QPen pen(layer.colour, 2, layer.style);
                painter.setPen(pen);
                painter.setBrush(layer.colour);
                if (layer.kind == ChartLayer::Kind::Line) {
                    painter.drawLine(at - QPointF(6, 0), at + QPointF(6, 0));
                } else {
                    DrawMark(painter, layer.shape, at, 8);
                }
                painter.setBrush(Qt::NoBrush);
            });
        }
        if (!panel.series->stats.gaps.empty()) {
            legend(QStringLiteral("Gaps"),
                   [&](QPointF at) { painter.fillRect(QRectF(at.x() - 5, at.y() - 5, 10, 10), kGapShade); });
        }
        if (panel.series->stats.refusedCount > 0) {
            legend(QStringLiteral("Refused values"), [&](QPointF at) {
                painter.setPen(kRefusedColour);
                painter.setBrush(kRefusedColour);
                DrawMark(painter, ChartLayer::Shape::Triangle, at, 8);
                painter.setBrush(Qt::NoBrush);
            });
        }

        // Grid and value labels.
        painter.setPen(kGrid);
        for (const TimeTick& tick : timeTicks_) {
            painter.drawLine(QPointF(XOf(tick.stamp), area.top()), QPointF(XOf(tick.stamp), area.bottom()));
        }
        for (const double value : drawn.ticks.values) {
            const double y = YOf(drawn, area, value);
            painter.setPen(kGrid);
            painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
            painter.setPen(Qt::black);
            painter.drawText(QRectF(0, y - 8, kLeft - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                             Text(ValueTickText(value, drawn.ticks.step)));
        }
        painter.setPen(Qt::gray);
        painter.drawRect(area);

        painter.save();
        painter.setClipRect(area.adjusted(-1, -1, 1, 1).toAlignedRect());  // whole pixels: the fast clip
        for (const SeriesGap& gap : drawn.gaps) {
            const double left = XOf(std::max(gap.from, view_.from));
            const double right = XOf(std::min(gap.to, view_.to));
            const double wide = std::max(right - left, 2.0);
            painter.fillRect(QRectF((left + right - wide) / 2, area.top(), wide, area.height()), kGapShade);
        }
        const auto drawLine = [&](const std::vector<SeriesPoint>& points, const QPen& pen, bool dots) {
            painter.setPen(pen);
            if (points.size() == 1 || dots) {
                painter.setBrush(pen.color());
                for (const SeriesPoint& point : points) {
                    painter.drawEllipse(QPointF(XOf(point.stamp), YOf(drawn, area, point.value)), 2.5, 2.5);
                }
                painter.setBrush(Qt::NoBrush);
            }
            if (points.size() < 2) return;
            QPolygonF polyline;
            polyline.reserve(static_cast<qsizetype>(points.size()));
            for (const SeriesPoint& point : points) {
                polyline.append(QPointF(XOf(point.stamp), YOf(drawn, area, point.value)));
            }
            // A dense line (more than a point in three pixels: a thinned one
            // zig-zags between each column's lowest and highest) is drawn one
            // pixel wide without smoothing: the smoothed wide stroke of such a
            // zig-zag costs about half a millisecond a point and shows nothing more.
            const double extent = polyline.back().x() - polyline.front().x();
            if (static_cast<double>(points.size()) * 3 > extent) {
                QPen thin = pen;
                thin.setWidth(1);
                thin.setCosmetic(true);
                painter.setPen(thin);
                painter.setRenderHint(QPainter::Antialiasing, false);
            }
            // In pieces: the cost of stroking one long polyline grows faster
            // than its length.
            constexpr qsizetype kPiece = 64;
            for (qsizetype at = 0; at + 1 < polyline.size(); at += kPiece) {
                painter.drawPolyline(polyline.constData() + at,
                                     static_cast<int>(std::min(kPiece + 1, polyline.size() - at)));
            }
            painter.setRenderHint(QPainter::Antialiasing, true);
        };
        std::size_t shown = 0;
        for (const auto& line : drawn.lines) shown += line.size();
        // Values far enough apart to be told apart get a dot each.
        const bool dots = shown > 0 && static_cast<double>(shown) * 6 < area.width();
        for (const auto& line : drawn.lines) drawLine(line, QPen(panel.colour, 1.5), dots);
        for (std::size_t k = 0; k < panel.layers.size(); ++k) {
            const ChartLayer& layer = panel.layers[k];
            if (layer.kind == ChartLayer::Kind::Line) {
                drawLine(drawn.layers[k], QPen(layer.colour, 2, layer.style), false);
                continue;
            }
            painter.setPen(QPen(layer.colour, 1.5));
            painter.setBrush(layer.shape == ChartLayer::Shape::Cross ? Qt::NoBrush : QBrush(layer.colour));
            for (const SeriesPoint& point : drawn.layers[k]) {
                DrawMark(painter, layer.shape, QPointF(XOf(point.stamp), YOf(drawn, area, point.value)), 9);
            }
            painter.setBrush(Qt::NoBrush);
        }
        // Refused values stand at the foot of the plot, at their time.
        painter.setPen(kRefusedColour);
        painter.setBrush(kRefusedColour);
        for (const RefusedValue* refused : drawn.refused) {
            DrawMark(painter, ChartLayer::Shape::Triangle, QPointF(XOf(refused->stamp), area.bottom() - 5), 8);
        }
        painter.setBrush(Qt::NoBrush);
        painter.restore();
    }

    // The shared time axis.
    if (anything && !panels_.empty()) {
        painter.setPen(Qt::black);
        const double y = height() - kBottom + 4;
        for (const TimeTick& tick : timeTicks_) {
            const double x = XOf(tick.stamp);
            painter.drawLine(QPointF(x, y - 4), QPointF(x, y));
            painter.drawText(QRectF(x - 70, y, 140, 15), Qt::AlignHCenter | Qt::AlignTop, Text(tick.text));
            if (!tick.date.empty()) {
                painter.drawText(QRectF(x - 70, y + 15, 140, 15), Qt::AlignHCenter | Qt::AlignTop, Text(tick.date));
            }
        }
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
        painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
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
    update();
}

void TSeriesChart::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

}  // namespace vireo::gui
