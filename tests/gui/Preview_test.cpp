// The looks at the data in the window: the preview of log sensors (chart,
// numbers, refused values and gaps, reading off the window's thread with
// Cancel) and what TF_DATA1 holds for a pair.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QWheelEvent>
#include <algorithm>
#include <set>

#include "gui/GuiTestSupport.h"
#include "gui/PreviewDialog.h"
#include "gui/SeriesChart.h"
#include "support/TestDataSource.h"

namespace vireo::testing {
namespace {

using gui::DrawnPanel;
using gui::TfrmMain;
using gui::TfrmPreview;

/// One line of a one-value record at 06/15/2005 plus `minutes`.
std::string Line(const char* name, int minutes, const std::string& value) {
    char text[96];
    std::snprintf(text, sizeof text, "%s,%02d/%02d/2005,%02d:%02d:00,%s,G\r\n", name, 6, 15 + minutes / 1440,
                  minutes % 1440 / 60, minutes % 60, value.c_str());
    return text;
}

/// TEMP a minute apart from 12:00, an hour missing after 13:39, one value not
/// a number (line 41); BATT ten values ten minutes apart.
std::string DayLog() {
    std::string log;
    for (int i = 0; i < 100; ++i) log += Line("TEMP", 12 * 60 + i, i == 40 ? "n/a" : std::to_string(20 + i % 5));
    for (int i = 0; i < 50; ++i) log += Line("TEMP", 14 * 60 + 40 + i, "30");
    for (int i = 0; i < 10; ++i) log += Line("BATT", 12 * 60 + 10 * i, "13.5");
    return log;
}

class PreviewTest : public GuiTest {
protected:
    TfrmMain& StartWithLog(const std::string& text) {
        TfrmMain& w = StartWindow();
        dialogs.shown.clear();  // the connection attempt at start, where there is no data source
        const std::string path = dir.File("day.log");
        WriteFile(path, text);
        w.edtLogfile->setText(QString::fromStdString(path));
        w.btnReadFileClick();
        return w;
    }

    /// The preview the last action opened, once it has read the log.
    TfrmPreview* ReadPreview(TfrmMain& w) {
        const auto previews = w.findChildren<TfrmPreview*>();
        if (previews.isEmpty()) return nullptr;
        TfrmPreview* preview = previews.last();
        EXPECT_TRUE(ProcessUntil([preview] { return !preview->Reading(); }, 3000));
        return preview;
    }

    static const std::vector<DrawnPanel>& Drawn(TfrmPreview* preview) { return preview->chartView->Drawn(); }

    /// Whether a drawn line of the panel holds the point.
    static bool Shows(const DrawnPanel& panel, SeriesPoint point) {
        for (const auto& line : panel.lines) {
            if (std::find(line.begin(), line.end(), point) != line.end()) return true;
        }
        return false;
    }
};

/// A key pressed and released on the widget, as the keyboard sends it.
void Press(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
}

SecondStamp At(int hours, int minutes) { return StampOf(2005, 6, 15, hours, minutes, 0); }

TEST_F(PreviewTest, DrawsEverySelectedNameWithItsGapsRefusedValuesAndNumbers) {
    TfrmMain& w = StartWithLog(DayLog());
    ASSERT_EQ(Items(w.lbxLogSensors), (std::vector<std::string>{"BATT", "TEMP"}));
    w.lbxLogSensors->item(0)->setSelected(true);
    w.lbxLogSensors->item(1)->setSelected(true);
    w.LogPreview1->trigger();
    TfrmPreview* preview = ReadPreview(w);
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(dialogs.shown.empty());

    // One chart each: BATT is one line; TEMP is broken at its gap and its
    // gap shaded; the refused value is marked.
    const auto& drawn = Drawn(preview);
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(preview->chartView->Panels()[0].series->name, "BATT");
    ASSERT_EQ(drawn[0].lines.size(), 1u);
    EXPECT_EQ(drawn[0].lines[0].size(), 10u);
    ASSERT_EQ(drawn[1].lines.size(), 2u);
    EXPECT_EQ(drawn[1].lines[0].size(), 99u);
    EXPECT_EQ(drawn[1].lines[1].size(), 50u);
    EXPECT_EQ(drawn[1].lines[0].back().stamp, At(13, 39));
    EXPECT_EQ(drawn[1].lines[1].front().stamp, At(14, 40));
    EXPECT_EQ(drawn[1].gaps, (std::vector<SeriesGap>{{At(13, 39), At(14, 40)}}));
    ASSERT_EQ(drawn[1].refused.size(), 1u);
    EXPECT_EQ(drawn[1].refused[0]->stamp, At(12, 40));
    EXPECT_TRUE(drawn[0].refused.empty());

    // One time axis over everything, a value axis each around its own values.
    EXPECT_EQ(preview->chartView->Full().from, At(12, 0));
    EXPECT_EQ(preview->chartView->Full().to, At(15, 29));
    EXPECT_EQ(preview->chartView->View().from, At(12, 0));
    EXPECT_LT(drawn[0].low, 13.5);
    EXPECT_GT(drawn[0].high, 13.5);
    EXPECT_GT(drawn[0].low, 12);
    EXPECT_LE(drawn[1].low, 20);
    EXPECT_GE(drawn[1].high, 30);
    EXPECT_LT(drawn[1].high, 32);
    ASSERT_FALSE(preview->chartView->TimeTicks().empty());
    for (const TimeTick& tick : preview->chartView->TimeTicks()) EXPECT_EQ(tick.stamp % 1800, 0);

    std::vector<std::string> notes = Items(preview->lbxNotes);
    EXPECT_EQ(notes, (std::vector<std::string>{"TEMP: gap from 06/15/2005 13:39:00 to 06/15/2005 14:40:00 (01:01:00)",
                                               "TEMP: line 41: not a number: 'n/a'"}));

    ASSERT_EQ(preview->tblStats->rowCount(), 2);
    std::vector<std::string> temp;
    for (int column = 0; column < preview->tblStats->columnCount(); ++column) {
        temp.push_back(preview->tblStats->item(1, column)->text().toStdString());
    }
    EXPECT_EQ(temp, (std::vector<std::string>{"TEMP", "149", "06/15/2005 12:00:00", "06/15/2005 15:29:00", "20", "30",
                                              "00:01:00", "1", "1"}));
}

TEST_F(PreviewTest, ALongSeriesIsThinnedButKeepsItsSpike) {
    std::string log;
    for (int i = 0; i < 20000; ++i) log += Line("TEMP", i, i == 12345 ? "999" : "1");
    TfrmMain& w = StartWithLog(log);
    ASSERT_TRUE(SelectItem(w.lbxLogSensors, "TEMP"));
    w.LogPreview1Execute();
    TfrmPreview* preview = ReadPreview(w);
    ASSERT_NE(preview, nullptr);
    const SeriesPoint spike{StampOf(2005, 6, 15, 0, 0, 0) + 12345 * 60, 999};
    ASSERT_EQ(Drawn(preview).size(), 1u);
    ASSERT_EQ(Drawn(preview)[0].lines.size(), 1u);
    EXPECT_LE(Drawn(preview)[0].lines[0].size(), 2 * preview->chartView->View().columns);
    EXPECT_TRUE(Shows(Drawn(preview)[0], spike));
    EXPECT_EQ(preview->tblStats->item(0, 1)->text(), "20000");

    // A narrower chart is thinned again for its own columns, and still shows the spike.
    const std::size_t wide = preview->chartView->View().columns;
    preview->resize(600, preview->height());
    ASSERT_TRUE(ProcessUntil([&] { return preview->chartView->View().columns < wide; }));
    EXPECT_LE(Drawn(preview)[0].lines[0].size(), 2 * preview->chartView->View().columns);
    EXPECT_TRUE(Shows(Drawn(preview)[0], spike));
}

TEST_F(PreviewTest, TheKeysZoomAndMoveAndTheSpikeAndGapStayInView) {
    // A value every minute for 14 days, a spike one minute wide on day 8,
    // six hours without values on day 11, a refused value on day 9.
    std::string log;
    const int spikeAt = 8 * 1440 + 700;
    for (int i = 0; i < 14 * 1440; ++i) {
        if (i >= 11 * 1440 && i < 11 * 1440 + 360) continue;
        log += Line("TEMP", i, i == spikeAt ? "999" : i == 9 * 1440 ? "err" : std::to_string(i % 13));
    }
    TfrmMain& w = StartWithLog(log);
    ASSERT_TRUE(SelectItem(w.lbxLogSensors, "TEMP"));
    w.LogPreview1Execute();
    TfrmPreview* preview = ReadPreview(w);
    ASSERT_NE(preview, nullptr);
    gui::TSeriesChart* chart = preview->chartView;
    const SecondStamp start = StampOf(2005, 6, 15, 0, 0, 0);
    const SeriesPoint spike{start + spikeAt * 60, 999};
    const PlotFrame whole = chart->View();
    EXPECT_EQ(std::int64_t{whole.to} - whole.from, (14 * 1440 - 1) * 60);

    // The mouse over the spike (the wheel there) zooms about it; + goes on
    // nearer about the middle, the arrows move it back into view.
    chart->ZoomBy(0.25, chart->XOf(spike.stamp));
    chart->setFocus();
    std::vector<std::int64_t> spans;
    for (int step = 0; step < 16; ++step) {
        Press(chart, Qt::Key_Plus);
        while (chart->View().to < spike.stamp) Press(chart, Qt::Key_Right);
        while (chart->View().from > spike.stamp) Press(chart, Qt::Key_Left);
        spans.push_back(std::int64_t{chart->View().to} - chart->View().from);
        EXPECT_TRUE(Shows(Drawn(preview)[0], spike)) << "span " << spans.back();
    }
    EXPECT_EQ(spans.back(), kShortestSpan);
    // Out again with -, the gap and the refused value come back into view.
    for (int step = 0; step < 20; ++step) {
        Press(chart, Qt::Key_Minus);
        EXPECT_TRUE(Shows(Drawn(preview)[0], spike));
        const PlotFrame view = chart->View();
        const bool gapInView = view.to >= start + (11 * 1440 - 1) * 60 && view.from <= start + (11 * 1440 + 360) * 60;
        EXPECT_EQ(Drawn(preview)[0].gaps.size(), gapInView ? 1u : 0u);
        const bool refusedInView = view.from <= start + 9 * 1440 * 60 && view.to >= start + 9 * 1440 * 60;
        EXPECT_EQ(Drawn(preview)[0].refused.size(), refusedInView ? 1u : 0u);
    }
    EXPECT_EQ(chart->View().from, whole.from);
    EXPECT_EQ(chart->View().to, whole.to);
    Press(chart, Qt::Key_Plus);
    Press(chart, Qt::Key_Home);
    EXPECT_EQ(chart->View().from, whole.from);
    EXPECT_EQ(chart->View().to, whole.to);

    // The wheel zooms about the mouse: the time under it stays under it;
    // a drag to the left moves the span later by as much.
    const double x = chart->XOf(spike.stamp);
    QWheelEvent wheel(QPointF(x, 50), chart->mapToGlobal(QPointF(x, 50)), QPoint(), QPoint(0, 240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart, &wheel);
    const PlotFrame wheeled = chart->View();
    EXPECT_NEAR(static_cast<double>(std::int64_t{wheeled.to} - wheeled.from),
                0.64 * (std::int64_t{whole.to} - whole.from), 2);
    EXPECT_NEAR(chart->XOf(spike.stamp), x, 1);
    const auto mouse = [&](QEvent::Type type, double at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at, 50), chart->mapToGlobal(QPointF(at, 50)), Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(chart, &event);
    };
    mouse(QEvent::MouseButtonPress, 400, Qt::LeftButton);
    mouse(QEvent::MouseMove, 300, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, 300, Qt::NoButton);
    const double perPixel = static_cast<double>(std::int64_t{wheeled.to} - wheeled.from) / wheeled.columns;
    EXPECT_NEAR(chart->View().from - wheeled.from, 100 * perPixel, 2);
    Press(chart, Qt::Key_Home);

    // The mouse over a point tells its time tag, value and line.
    chart->ZoomBy(1e-6, chart->XOf(spike.stamp));
    const DrawnPanel& near = Drawn(preview)[0];
    const QRectF area = chart->PlotArea(0);
    const double y = area.bottom() - (999 - near.low) / (near.high - near.low) * area.height();
    const QPoint over(static_cast<int>(std::lround(chart->XOf(spike.stamp))) + 2, static_cast<int>(std::lround(y)) - 2);
    const QString tip = chart->TipAt(over);
    EXPECT_EQ(tip, QStringLiteral("TEMP\n06/23/2005 11:40:00\nValue: 999\nLine %1").arg(spikeAt + 1))
        << tip.toStdString();
    EXPECT_EQ(chart->TipAt(QPoint(2, 2)), QString());
}

TEST_F(PreviewTest, ANameWhoseValuesAreAllRefusedIsDrawnAroundThem) {
    std::string log = Line("BATT", 600, "12.5");
    for (int i = 0; i < 5; ++i) log += Line("TEMP", 10 * i, "n/a");
    TfrmMain& w = StartWithLog(log);
    ASSERT_TRUE(SelectItem(w.lbxLogSensors, "TEMP"));
    w.LogPreview1Execute();
    TfrmPreview* preview = ReadPreview(w);
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->chartView->Full().from, StampOf(2005, 6, 15, 0, 0, 0));
    EXPECT_EQ(preview->chartView->Full().to, StampOf(2005, 6, 15, 0, 40, 0));
    ASSERT_EQ(Drawn(preview).size(), 1u);
    EXPECT_EQ(Drawn(preview)[0].refused.size(), 5u);
    EXPECT_TRUE(Drawn(preview)[0].lines.empty());
    EXPECT_EQ(preview->tblStats->item(0, 2)->text(), "-");

    // With BATT beside it, the time axis runs from TEMP's first refused value to BATT's value.
    preview->StartReading(w.FLastLogFile, {"TEMP", "BATT"});
    ASSERT_TRUE(ProcessUntil([preview] { return !preview->Reading(); }, 3000));
    EXPECT_EQ(preview->chartView->Full().from, StampOf(2005, 6, 15, 0, 0, 0));
    EXPECT_EQ(preview->chartView->Full().to, StampOf(2005, 6, 15, 10, 0, 0));
    EXPECT_EQ(Drawn(preview)[0].refused.size(), 5u);
    EXPECT_EQ(preview->tblStats->item(1, 2)->text(), "06/15/2005 10:00:00");
}

TEST_F(PreviewTest, ThePictureAndTheValuesGoOutForAReport) {
    std::string log;
    for (int i = 0; i < 30; ++i) log += Line("TEMP", i, std::to_string(i));
    log += Line("TEMP", 40, "bad");
    TfrmMain& w = StartWithLog(log);
    ASSERT_TRUE(SelectItem(w.lbxLogSensors, "TEMP"));
    w.LogPreview1Execute();
    TfrmPreview* preview = ReadPreview(w);
    ASSERT_NE(preview, nullptr);
    ProcessUntil([] { return false; }, 10);

    // Midnight stands in the table with its time; the table's columns fit.
    EXPECT_EQ(preview->tblStats->item(0, 2)->text(), "06/15/2005 00:00:00");
    EXPECT_LE(preview->tblStats->horizontalHeader()->length(), preview->tblStats->viewport()->width());

    const std::string target = dir.File("chart.png");
    dialogs.saveAnswers.push_back(target);
    preview->btnSavePicture->click();
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].defaultExtension, "png");
    const QImage image(QString::fromStdString(target));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), preview->chartView->size() * preview->chartView->devicePixelRatio());
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
    }
    EXPECT_GT(colours.size(), 10u);

    // A place that cannot be written is said with the system's words, and nothing is lost.
    dialogs.saveAnswers.push_back(dir.File("no-such-folder/chart.png"));
    preview->btnSavePicture->click();
    ASSERT_EQ(dialogs.Texts().size(), 1u);
    EXPECT_TRUE(dialogs.Texts()[0].starts_with("The picture cannot be saved: ")) << dialogs.Texts()[0];
    EXPECT_TRUE(dialogs.Texts()[0].find("No such file or directory") != std::string::npos) << dialogs.Texts()[0];
    EXPECT_FALSE(QImage(QString::fromStdString(target)).isNull());
    dialogs.saveAnswers.push_back(std::nullopt);  // cancelled: nothing happens
    preview->btnSavePicture->click();
    EXPECT_EQ(dialogs.Texts().size(), 1u);

    // The values in view, with the refused one.
    preview->chartView->ZoomBy(0.5, preview->chartView->XOf(StampOf(2005, 6, 15, 0, 40, 0)));
    const PlotFrame view = preview->chartView->View();
    preview->btnCopyValues->click();
    const QStringList lines = QApplication::clipboard()->text().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.front(), "Name,Time tag,Value,Line,Refused");
    EXPECT_EQ(lines.back(), "TEMP,2005-06-15 00:40:00,bad,31,not a number");
    EXPECT_EQ(lines.size(),
              1 + 1 + std::max(0, 29 - static_cast<int>((view.from - StampOf(2005, 6, 15, 0, 0, 0) + 59) / 60) + 1));
}

TEST_F(PreviewTest, CancelStopsTheReadingAndShowsWhatWasRead) {
    std::string log;
    for (int i = 0; i < 400000; ++i) log += Line("TEMP", i % 1440, "1");
    TfrmMain& w = StartWithLog(log);
    ASSERT_TRUE(SelectItem(w.lbxLogSensors, "TEMP"));
    w.LogPreview1Execute();
    const auto previews = w.findChildren<TfrmPreview*>();
    ASSERT_EQ(previews.size(), 1);
    TfrmPreview* preview = previews.front();
    EXPECT_TRUE(preview->Reading());
    EXPECT_TRUE(preview->btnCancel->isVisible());
    preview->btnCancel->click();
    ASSERT_TRUE(ProcessUntil([preview] { return !preview->Reading(); }, 3000));
    ASSERT_NE(preview->Result(), nullptr);
    EXPECT_TRUE(preview->Result()->cancelled);
    EXPECT_TRUE(preview->lblState->text().startsWith("Reading cancelled: the chart shows the first "))
        << preview->lblState->text().toStdString();
    EXPECT_FALSE(preview->btnCancel->isVisible());
}

TEST_F(PreviewTest, ASecondReadingReplacesTheFirst) {
    std::string log;
    for (int i = 0; i < 200000; ++i) log += Line("TEMP", i % 1440, "1");
    log += Line("BATT", 0, "12.5");
    TfrmMain& w = StartWithLog(log);
    ASSERT_TRUE(SelectItem(w.lbxLogSensors, "TEMP"));
    w.LogPreview1Execute();
    TfrmPreview* preview = w.findChildren<TfrmPreview*>().front();
    int done = 0;
    QObject::connect(preview, &TfrmPreview::ReadingDone, [&done] { ++done; });
    preview->StartReading(w.FLastLogFile, {"BATT"});
    ASSERT_TRUE(ProcessUntil([preview] { return !preview->Reading(); }, 3000));
    ProcessUntil([] { return false; }, 20);  // whatever the first reading posted has come
    EXPECT_EQ(done, 1);                      // the first reading's end is not taken for the second's
    ASSERT_NE(preview->Result(), nullptr);
    EXPECT_FALSE(preview->Result()->cancelled);
    ASSERT_EQ(preview->Result()->series.size(), 1u);
    EXPECT_EQ(preview->Result()->series[0].name, "BATT");
    EXPECT_EQ(Items(preview->lbxNotes), std::vector<std::string>{});
    EXPECT_EQ(preview->tblStats->item(0, 0)->text(), "BATT");
}

TEST_F(PreviewTest, ClosingThePreviewWhileItReadsStopsTheReading) {
    std::string log;
    for (int i = 0; i < 200000; ++i) log += Line("TEMP", i % 1440, "1");
    TfrmMain& w = StartWithLog(log);
    ASSERT_TRUE(SelectItem(w.lbxLogSensors, "TEMP"));
    w.LogPreview1Execute();
    auto previews = w.findChildren<TfrmPreview*>();
    ASSERT_EQ(previews.size(), 1);
    previews.front()->close();  // deleted on close: the reading thread is stopped and joined
    ASSERT_TRUE(ProcessUntil([&w] { return w.findChildren<TfrmPreview*>().isEmpty(); }));
}

TEST_F(PreviewTest, WithoutASelectionOrAFileAMessageIsShown) {
    TfrmMain& w = StartWindow();
    dialogs.shown.clear();
    w.LogPreview1Execute();
    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"Please select one or more log sensors."}));
    w.AddLogSensor("TEMP");
    ASSERT_TRUE(SelectItem(w.lbxLogSensors, "TEMP"));
    w.edtLogfile->setText(QString::fromStdString(dir.File("missing.log")));
    w.LogPreview1Execute();
    EXPECT_EQ(dialogs.Texts().back(), "Error 106: Please enter a file name");
    EXPECT_TRUE(w.findChildren<TfrmPreview*>().isEmpty());
    w.ShowImported1Execute();
    EXPECT_EQ(dialogs.Texts().back(), "Please select a pair in the import list.");
}

class ShowImportedTest : public PreviewTest {
protected:
    ShowImportedTest() {
        source.Execute(
            "INSERT INTO TF_SITES(STATION_ID, ENABLED) VALUES ('ST01', 'Y');\n"
            "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'TEMP', 'Y');\n");
        WriteRegistry(source.Name(), source.User(), source.Password());
    }
    TestDataSource source{Backend::Sqlite};
};

TEST_F(ShowImportedTest, DrawsTheStoredValuesBesideTheLogsAndMarksWhereTheyDiffer) {
    std::string log;
    for (int i = 0; i < 6; ++i) log += Line("TEMP", 12 * 60 + i, std::to_string(20 + i));
    TfrmMain& w = StartWithLog(log);
    ASSERT_TRUE(dialogs.shown.empty());
    // Imported, then 12:02 edited in the database, 12:03 overwritten with
    // another value and 12:05 deleted.
    w.lbxImport->addItem(QStringLiteral("TEMP||ST01.TEMP"));
    w.OptionsImportExecute();
    ASSERT_TRUE(dialogs.shown.empty());
    source.Execute(
        "UPDATE TF_DATA1 SET ED_VALUE = 25.5 WHERE ORIG_VALUE = 22;\n"
        "UPDATE TF_DATA1 SET ORIG_VALUE = 4, ED_VALUE = 4 WHERE ORIG_VALUE = 23;\n"
        "DELETE FROM TF_DATA1 WHERE ORIG_VALUE = 25;\n");
    w.lbxImport->setCurrentRow(0);
    w.ShowImported1->trigger();
    TfrmPreview* preview = ReadPreview(w);
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(preview->windowTitle(), "Show Imported Data - TEMP||ST01.TEMP");

    ASSERT_TRUE(preview->Comparison().has_value());
    const auto& panels = preview->chartView->Panels();
    ASSERT_EQ(panels.size(), 1u);
    std::vector<std::string> names;
    for (const gui::ChartLayer& layer : panels[0].layers) names.push_back(layer.name.toStdString());
    EXPECT_EQ(names, (std::vector<std::string>{"ORIG_VALUE", "ED_VALUE", "Edited in the database",
                                               "Differs from the log", "Not in TF_DATA1"}));
    const auto& layers = Drawn(preview)[0].layers;
    ASSERT_EQ(layers.size(), 5u);
    EXPECT_EQ(layers[0].size(), 5u);
    EXPECT_EQ(layers[1][2], (SeriesPoint{At(12, 2), 25.5}));
    EXPECT_EQ(layers[2].size(), 1u);
    EXPECT_EQ(layers[3], (std::vector<SeriesPoint>{{At(12, 3), 4}}));
    EXPECT_EQ(layers[4], (std::vector<SeriesPoint>{{At(12, 5), 25}}));
    EXPECT_EQ(layers[4][0].line, 6u);  // the log's value that has no row, with its line
    EXPECT_EQ(Items(preview->lbxNotes).back(),
              "5 values in TF_DATA1, 1 edited in the database, 1 differing from the log, 1 log values not in "
              "TF_DATA1");
}

TEST_F(ShowImportedTest, ALogWithoutValuesOfThePairGivesNoSpanToRead) {
    TfrmMain& w = StartWithLog(Line("TEMP", 0, "n/a"));
    w.lbxImport->addItem(QStringLiteral("TEMP||ST01.TEMP"));
    w.lbxImport->setCurrentRow(0);
    w.ShowImported1Execute();
    TfrmPreview* preview = ReadPreview(w);
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(preview->Comparison().has_value());
    EXPECT_EQ(preview->lblState->text(), "The log holds no values of TEMP: there is no span to read TF_DATA1 over.");
    EXPECT_EQ(Items(preview->lbxNotes), (std::vector<std::string>{"TEMP: line 1: not a number: 'n/a'"}));
}

TEST_F(ShowImportedTest, ATableThatCannotBeReadIsShownWithTheDriversWords) {
    TfrmMain& w = StartWithLog(Line("TEMP", 0, "1"));
    source.Execute("DROP TABLE TF_DATA1");
    w.lbxImport->addItem(QStringLiteral("TEMP||ST01.TEMP"));
    w.lbxImport->setCurrentRow(0);
    w.ShowImported1Execute();
    TfrmPreview* preview = ReadPreview(w);
    ASSERT_NE(preview, nullptr);
    EXPECT_FALSE(preview->Comparison().has_value());
    EXPECT_TRUE(preview->lblState->text().startsWith("TF_DATA1 cannot be read: "));
    EXPECT_TRUE(preview->lblState->text().contains("no such table")) << preview->lblState->text().toStdString();
    // The log's one value is still drawn, as a point of its own.
    ASSERT_EQ(Drawn(preview).size(), 1u);
    ASSERT_EQ(Drawn(preview)[0].lines.size(), 1u);
    EXPECT_EQ(Drawn(preview)[0].lines[0].size(), 1u);
}

TEST_F(PreviewTest, AFolderIsNoLogFile) {
    TfrmMain& w = StartWithLog(Line("TEMP", 0, "1"));
    ASSERT_TRUE(SelectItem(w.lbxLogSensors, "TEMP"));
    // A folder exists but is no file: refused before any reading.
    w.edtLogfile->setText(QString::fromStdString(dir.path().string()));
    w.FLastLogFile.clear();
    w.LogPreview1Execute();
    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"Error 106: Please enter a file name"}));
}

TEST_F(ShowImportedTest, WithoutAConnectionAMessageIsShown) {
    TfrmMain& w = StartWithLog(Line("TEMP", 0, "1"));
    w.DBDisconnect1Execute();
    w.lbxImport->addItem(QStringLiteral("TEMP||ST01.TEMP"));
    w.lbxImport->setCurrentRow(0);
    dialogs.shown.clear();
    w.ShowImported1Execute();
    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"Please connect to the database first."}));
    EXPECT_TRUE(w.findChildren<TfrmPreview*>().isEmpty());
}

}  // namespace
}  // namespace vireo::testing
