// The window and the preview as a keyboard user and a screen reader meet
// them: what is read for each part, Tab leaving every list and table, and the
// View menu with its keys.
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include "gui/GuiTestSupport.h"
#include "gui/PreviewDialog.h"
#include "gui/SeriesChart.h"
#include "support/TestDataSource.h"

namespace vireo::testing {
namespace {

using gui::TfrmMain;
using gui::TfrmPreview;

/// Presses Tab on `widget` once it has the focus; false when it could not
/// take the focus. The focus afterwards is in `window`'s focusWidget().
bool TabFrom(QWidget* window, QWidget* widget) {
    window->activateWindow();
    ProcessUntil([window] { return window->isActiveWindow(); }, 100);
    widget->setFocus(Qt::TabFocusReason);
    if (window->focusWidget() != widget) return false;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
    QApplication::sendEvent(widget, &release);
    return true;
}

QString AccessibleName(QObject* object) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    return accessible == nullptr ? QString() : accessible->text(QAccessible::Name);
}

class KeyboardTest : public GuiTest {
protected:
    KeyboardTest() { WriteRegistry(source.Name(), source.User(), source.Password()); }

    TfrmMain& StartWithLog() {
        TfrmMain& w = StartWindow();
        const std::string path = dir.File("day.log");
        WriteFile(path, TempLines(120));
        w.edtLogfile->setText(QString::fromStdString(path));
        w.btnReadFileClick();
        EXPECT_TRUE(SelectItem(w.lbxLogSensors, "TEMP"));
        return w;
    }

    TfrmPreview* OpenPreview(TfrmMain& w) {
        w.LogPreview1Execute();
        const auto previews = w.findChildren<TfrmPreview*>();
        if (previews.isEmpty()) return nullptr;
        TfrmPreview* preview = previews.last();
        EXPECT_TRUE(ProcessUntil([preview] { return !preview->Reading(); }, 3000));
        return preview;
    }

    TestDataSource source{Backend::Sqlite};
};

TEST_F(KeyboardTest, TheValueLabelsAreReadAsTheirTextsAndLabelledByTheirCaptions) {
    TfrmMain& w = StartWindow();
    ASSERT_EQ(w.lblDB->text().toStdString(), source.Name());
    ASSERT_FALSE(w.DBAvailSizePecent->text().isEmpty());
    const struct {
        QLabel* value;
        const char* caption;
    } rows[] = {{w.lblDB, "Data Storage"}, {w.DBAvailSizePecent, "Available Size (%)"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.caption);
        QAccessibleInterface* value = QAccessible::queryAccessibleInterface(row.value);
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->text(QAccessible::Name), row.value->text()) << "the value is what is read";
        EXPECT_EQ(value->text(QAccessible::Description).toStdString(), row.caption);
        const auto labels = value->relations(QAccessible::Label);
        ASSERT_EQ(labels.size(), 1);
        EXPECT_EQ(labels.front().first->text(QAccessible::Name).toStdString(), row.caption);
    }
}

TEST_F(KeyboardTest, TabLeavesEveryListOfTheWindowAndTypesNothing) {
    TfrmMain& w = StartWithLog();
    w.AddStatusMessage("a line");
    const std::string memo = w.Memo->toPlainText().toStdString();
    for (QWidget* list : std::initializer_list<QWidget*>{w.lbxLogSensors, w.lbxSensors, w.lbxImport, w.Memo}) {
        SCOPED_TRACE(list->objectName().toStdString());
        ASSERT_TRUE(TabFrom(&w, list));
        EXPECT_NE(w.focusWidget(), list);
    }
    EXPECT_EQ(w.Memo->toPlainText().toStdString(), memo);
    EXPECT_TRUE(w.Memo->isReadOnly());
}

TEST_F(KeyboardTest, ThePreviewIsNamedPartByPartTabLeavesItsTablesAndCloseClosesIt) {
    TfrmMain& w = StartWithLog();
    TfrmPreview* preview = OpenPreview(w);
    ASSERT_NE(preview, nullptr);
    ASSERT_GT(preview->tblStats->rowCount(), 0);
    ASSERT_GT(preview->tblStats->columnCount(), 1);
    const struct {
        QWidget* widget;
        const char* name;
    } named[] = {
        {preview->progress, "Reading progress"},
        {preview->tblStats, "Statistics"},
        {preview->lbxNotes, "Gaps and refused values"},
        {preview->chartView, "Chart of the values over time"},
    };
    for (const auto& row : named) EXPECT_EQ(AccessibleName(row.widget).toStdString(), row.name);

    for (QWidget* list : std::initializer_list<QWidget*>{preview->tblStats, preview->lbxNotes}) {
        SCOPED_TRACE(list->objectName().toStdString());
        ASSERT_TRUE(TabFrom(preview, list));
        EXPECT_NE(preview->focusWidget(), list);
    }

    auto* close = preview->findChild<QPushButton*>(QStringLiteral("btnClose"));
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text().toStdString(), "Close");
    QPointer<TfrmPreview> watched(preview);
    close->click();
    EXPECT_TRUE(ProcessUntil([&watched] { return watched.isNull(); }));
}

TEST_F(KeyboardTest, TheViewMenuOpensPreviewAndShowImportedDataByTheirKeys) {
    TfrmMain& w = StartWithLog();
    ASSERT_NE(w.View1, nullptr);
    EXPECT_EQ(w.View1->title().toStdString(), "&View");
    const QList<QAction*> items = w.View1->actions();
    ASSERT_EQ(items.size(), 2);
    const struct {
        const char* text;
        const char* keys;
        QAction* action;
    } rows[] = {{"&Preview", "Ctrl+P", w.LogPreview1}, {"Show &Imported Data", "Ctrl+D", w.ShowImported1}};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(rows[i].text);
        EXPECT_EQ(items[i]->text().toStdString(), rows[i].text);
        EXPECT_EQ(items[i]->shortcut().toString().toStdString(), rows[i].keys);
        // No other item of the window answers the same keys.
        for (QAction* other : w.findChildren<QAction*>()) {
            if (other == items[i]) continue;
            EXPECT_NE(other->shortcut(), items[i]->shortcut()) << other->objectName().toStdString();
        }
        // The item follows its action.
        rows[i].action->setEnabled(false);
        EXPECT_FALSE(items[i]->isEnabled());
        rows[i].action->setEnabled(true);
        EXPECT_TRUE(items[i]->isEnabled());
    }
    items[0]->trigger();
    EXPECT_EQ(w.findChildren<TfrmPreview*>().size(), 1);
}

}  // namespace
}  // namespace vireo::testing
