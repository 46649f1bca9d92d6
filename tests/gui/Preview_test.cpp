// The looks at the data in the window: the preview of log sensors (chart,
// numbers, refused values and gaps, reading off the window's thread with
// Cancel) and what TF_DATA1 holds for a pair.
#include <QAction>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QScatterSeries>
#include <QTableWidget>
#include <QValueAxis>

#include "gui/GuiTestSupport.h"
#include "gui/PreviewDialog.h"
#include "support/TestDataSource.h"

namespace vireo::testing {
namespace {

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

    static std::vector<QLineSeries*> Lines(QChart* chart) {
        std::vector<QLineSeries*> lines;
        for (QAbstractSeries* series : chart->series()) {
            if (auto* line = qobject_cast<QLineSeries*>(series)) lines.push_back(line);
        }
        return lines;
    }

    static QAbstractSeries* Named(QChart* chart, const QString& name) {
        for (QAbstractSeries* series : chart->series()) {
            if (series->name() == name) return series;
        }
        return nullptr;
    }
};

QDateTime At(int hours, int minutes) { return QDateTime(QDate(2005, 6, 15), QTime(hours, minutes)); }

TEST_F(PreviewTest, DrawsEverySelectedNameWithItsGapsRefusedValuesAndNumbers) {
    TfrmMain& w = StartWithLog(DayLog());
    ASSERT_EQ(Items(w.lbxLogSensors), (std::vector<std::string>{"BATT", "TEMP"}));
    w.lbxLogSensors->item(0)->setSelected(true);
    w.lbxLogSensors->item(1)->setSelected(true);
    w.LogPreview1->trigger();
    TfrmPreview* preview = ReadPreview(w);
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(dialogs.shown.empty());

    // BATT is one line; TEMP is broken at its gap; the refused value is marked.
    const auto lines = Lines(preview->chart);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]->name(), "BATT");
    EXPECT_EQ(lines[0]->count(), 10);
    EXPECT_EQ(lines[1]->name(), "TEMP");
    EXPECT_EQ(lines[1]->count(), 99);
    EXPECT_EQ(lines[2]->name(), "TEMP");
    EXPECT_EQ(lines[2]->count(), 50);
    EXPECT_EQ(lines[1]->at(98).x(), static_cast<qreal>(At(13, 39).toMSecsSinceEpoch()));
    EXPECT_EQ(lines[2]->at(0).x(), static_cast<qreal>(At(14, 40).toMSecsSinceEpoch()));
    auto* refused = qobject_cast<QScatterSeries*>(Named(preview->chart, "Refused values"));
    ASSERT_NE(refused, nullptr);
    ASSERT_EQ(refused->count(), 1);
    EXPECT_EQ(refused->at(0).x(), static_cast<qreal>(At(12, 40).toMSecsSinceEpoch()));
    EXPECT_EQ(preview->chart->series().size(), 4);

    ASSERT_EQ(preview->chart->axes(Qt::Horizontal).size(), 1);
    auto* time = qobject_cast<QDateTimeAxis*>(preview->chart->axes(Qt::Horizontal).front());
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->min(), At(12, 0));
    EXPECT_EQ(time->max(), At(15, 29));
    EXPECT_EQ(time->format(), "MM/dd/yyyy HH:mm:ss");
    auto* value = qobject_cast<QValueAxis*>(preview->chart->axes(Qt::Vertical).front());
    ASSERT_NE(value, nullptr);
    EXPECT_LE(value->min(), 13.5);
    EXPECT_GE(value->max(), 30);

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
    const auto lines = Lines(preview->chart);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_LE(lines[0]->count(), 2 * preview->chartView->width());
    bool spike = false;
    for (int i = 0; i < lines[0]->count(); ++i) spike = spike || lines[0]->at(i).y() == 999;
    EXPECT_TRUE(spike);
    EXPECT_EQ(preview->tblStats->item(0, 1)->text(), "20000");

    // A narrower chart is thinned again for its own columns, and still shows the spike.
    preview->resize(500, preview->height());
    ASSERT_TRUE(
        ProcessUntil([&] { return Lines(preview->chart).front()->count() <= 2 * preview->chartView->width(); }));
    const QLineSeries* narrow = Lines(preview->chart).front();
    spike = false;
    for (int i = 0; i < narrow->count(); ++i) spike = spike || narrow->at(i).y() == 999;
    EXPECT_TRUE(spike);
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
    const auto* original = qobject_cast<QLineSeries*>(Named(preview->chart, "ORIG_VALUE"));
    const auto* edited = qobject_cast<QLineSeries*>(Named(preview->chart, "ED_VALUE"));
    ASSERT_NE(original, nullptr);
    ASSERT_NE(edited, nullptr);
    EXPECT_EQ(original->count(), 5);
    EXPECT_EQ(edited->at(2), QPointF(static_cast<qreal>(At(12, 2).toMSecsSinceEpoch()), 25.5));
    const auto* editedMarks = qobject_cast<QScatterSeries*>(Named(preview->chart, "Edited in the database"));
    const auto* differs = qobject_cast<QScatterSeries*>(Named(preview->chart, "Differs from the log"));
    const auto* missing = qobject_cast<QScatterSeries*>(Named(preview->chart, "Not in TF_DATA1"));
    ASSERT_NE(editedMarks, nullptr);
    ASSERT_NE(differs, nullptr);
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(editedMarks->count(), 1);
    EXPECT_EQ(differs->points(), QList<QPointF>{QPointF(static_cast<qreal>(At(12, 3).toMSecsSinceEpoch()), 4)});
    EXPECT_EQ(missing->points(), QList<QPointF>{QPointF(static_cast<qreal>(At(12, 5).toMSecsSinceEpoch()), 25)});
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
    const auto* lone = qobject_cast<QScatterSeries*>(Named(preview->chart, "TEMP"));
    ASSERT_NE(lone, nullptr);
    EXPECT_EQ(lone->count(), 1);
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
