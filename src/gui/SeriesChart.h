#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "preview/LogSeries.h"
#include "preview/PlotTicks.h"
#include "preview/SeriesPlot.h"

class QGraphicsRectItem;
class QGraphicsScene;
class QGraphicsSimpleTextItem;
class QGraphicsView;

namespace vireo::gui {

/// Values drawn over a series' own line: a line or marks, with their name in
/// the panel's legend (TF_DATA1's values beside the log's, and where they differ).
struct ChartLayer {
    enum class Kind { Line, Marks };
    enum class Shape { Circle, Triangle, Square, Cross };
    QString name;
    const std::vector<SeriesPoint>* points = nullptr;  ///< in time order; owned by whoever sets the panels
    QColor colour;
    Kind kind = Kind::Line;
    Qt::PenStyle style = Qt::SolidLine;
    Shape shape = Shape::Circle;
};

/// One chart of the stack: a log series (its line broken at its gaps, the
/// gaps shaded, its refused values marked at the foot), and layers over it.
struct ChartPanel {
    const NameSeries* series = nullptr;  ///< owned by whoever sets the panels
    QColor colour;
    std::vector<ChartLayer> layers;
};

/// What a panel shows of the span in view: worked out by the core each time
/// the span or the width changes, drawn as it is.
struct DrawnPanel {
    std::vector<std::vector<SeriesPoint>> lines;   ///< the series, split at gaps and thinned
    std::vector<std::vector<SeriesPoint>> layers;  ///< each layer's points, thinned
    std::vector<SeriesGap> gaps;                   ///< the gaps that reach into the span
    std::vector<const RefusedValue*> refused;      ///< refused values with a time tag in the span
    double low = 0;                                ///< the value axis's range
    double high = 1;
    ValueTicks ticks;
};

/// Small multiples: one chart per log series, stacked, each with a value axis
/// of its own and all under one time axis. The wheel zooms about the mouse,
/// a drag moves the span, + and - zoom, the arrow keys move, Home shows all;
/// at each step the points are thinned again for the span in view. The
/// mouse over a point tells its time tag, value and log line.
///
/// Each panel is a Qt Charts chart with a plot area set by the widget, so
/// that XOf, StampAt and PlotArea tell where the charts draw; the charts sit
/// in a view that lets the mouse through to the widget.
class TSeriesChart : public QWidget {
    Q_OBJECT

public:
    explicit TSeriesChart(QWidget* parent = nullptr);
    ~TSeriesChart() override;

    /// Shows the panels over the span of all their values, good or refused.
    void SetPanels(std::vector<ChartPanel> panels);
    const std::vector<ChartPanel>& Panels() const { return panels_; }

    /// The span in view, and the span of everything the panels hold.
    const PlotFrame& View() const { return view_; }
    const PlotFrame& Full() const { return full_; }
    const std::vector<DrawnPanel>& Drawn() const { return drawn_; }
    const std::vector<TimeTick>& TimeTicks() const { return timeTicks_; }

    /// Zooms by `factor` (below 1 nearer) about the time at x (the middle when negative).
    void ZoomBy(double factor, double x = -1);
    /// Moves the span by `fraction` of its length (later when positive).
    void PanBy(double fraction);
    /// Shows everything.
    void Fit();

    /// The text the mouse at `at` shows: the point, refused value or gap
    /// nearest to it (within a few pixels); empty when there is none.
    QString TipAt(QPoint at) const;

    /// The horizontal place of a time tag, and the time tag at a place.
    double XOf(SecondStamp stamp) const;
    SecondStamp StampAt(double x) const;
    /// The area of panel `index`'s plot.
    QRectF PlotArea(std::size_t index) const;

signals:
    /// The span in view has changed (zoom, move, fit, new panels).
    void ViewChanged();

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct PanelChart;

    void SetView(const PlotFrame& view);
    void Rethin();
    void BuildCharts();
    void PlaceCharts();
    void ShowDrawn();
    double YOf(const DrawnPanel& drawn, const QRectF& area, double value) const;
    std::size_t Columns() const;

    std::vector<ChartPanel> panels_;
    std::vector<DrawnPanel> drawn_;
    std::vector<TimeTick> timeTicks_;
    PlotFrame full_;
    bool hasSpan_ = false;  // some value of the panels has a time tag
    PlotFrame view_;
    bool dragging_ = false;
    double dragX_ = 0;
    PlotFrame dragView_;
    QGraphicsScene* scene_ = nullptr;
    QGraphicsView* sceneView_ = nullptr;
    QGraphicsSimpleTextItem* nothing_ = nullptr;  // "no value has a time tag"
    QGraphicsRectItem* focusFrame_ = nullptr;
    std::vector<std::unique_ptr<PanelChart>> charts_;
};

}  // namespace vireo::gui
