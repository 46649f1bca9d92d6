// The window as it stands after start: caption, actions, menus, toolbar,
// status panel and status bar, hints.
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "gui/GuiTestSupport.h"

namespace vireo::testing {
namespace {

using gui::TfrmMain;

struct ActionCase {
    const char* name;
    const char* category;
    const char* caption;
    const char* toolTip;  // the short part of the hint, or the caption without '&'
    const char* statusTip;
    bool enabled;
    bool checkable;
    int image;
};

const ActionCase kActionCases[] = {
    {"FileLogOpen1", "File", "&Open a Data Log File", "Open a Data Log File", "", true, false, 4},
    {"FileOpenSensors1", "File", "Open Sensor &Import file", "Load the import settings from a file",
     "Load the import settings from a file", true, false, -1},
    {"FileSaveSensors1", "File", "&Save Sensor Import settings", "Store the import settings into a file",
     "Store the import settings into a file", true, false, -1},
    {"FileExit1", "File", "E&xit", "Exit", "Exit|Quits the application", true, false, 8},
    {"DBConnect1", "Database", "&Connect", "Connect to database", "Connect to database", true, false, 1},
    {"DBDisconnect1", "Database", "&Disconnect", "Disconnect from database", "Disconnect from database", true, false,
     0},
    {"OptionsImport", "Options", "S&tart Importing", "Start importing process", "Start importing process", true, false,
     6},
    {"OptionsStop", "Options", "&Stop Importing", "Stop importing process", "Stop importing process", false, false, 7},
    {"OptionsShowDetails", "Options", "&Detail Messages", "Display detailed status messages",
     "Display detailed status messages", true, true, 2},
    {"OptionsFastImport", "Options", "&Fast Import", "Fast import",
     "Fast import|Commit the imported values in batches instead of one at a time", true, true, -1},
    {"OptionsKeepEdits", "Options", "&Keep Edited Values", "Keep edited values",
     "Keep edited values|Leave rows whose edited value differs from the original value when importing again", true,
     true, -1},
    {"OptionsCheckImport", "Options", "&Check Import", "Check import",
     "Check import|Show what an import would do, writing nothing", true, false, -1},
    {"OptionsSaveRejects", "Options", "Save &Rejected Lines...", "Save rejected lines",
     "Save rejected lines|Write every line or value that a run does not import into a CSV file", true, true, -1},
    {"OptionsLogMessages", "Options", "&Log Status Messages", "Save all detailed status messages into a log file",
     "Save all detailed status messages into a log file", true, true, 3},
    {"SelectAdd1", "Options", "", "Add Log sensor and database station/sensor pair to import list",
     "Add Log sensor and database station/sensor pair to import list", true, false, -1},
    {"SelectDelete1", "Options", "", "Delete Log sensor and database station/sensor pair from import list",
     "Delete Log sensor and database station/sensor pair from import list", true, false, -1},
    {"HelpContents1", "Help", "&Contents", "Contents", "", true, false, 5},
    {"HelpAbout1", "Help", "&About", "About", "", true, false, -1},
};

// The items of a menu or toolbar: captions, "-" for a separator.
std::vector<std::string> Entries(const QList<QAction*>& actions) {
    std::vector<std::string> entries;
    for (const QAction* action : actions) {
        entries.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    }
    return entries;
}

class MainWindowTest : public GuiTest {};

TEST_F(MainWindowTest, ActionsHaveTheirNamesCategoriesCaptionsHintsAndStates) {
    // Shown without a connection attempt: the states are those of creation.
    TfrmMain& w = StartWindow(false);
    for (const ActionCase& c : kActionCases) {
        SCOPED_TRACE(c.name);
        const auto* action = w.findChild<QAction*>(QString::fromLatin1(c.name));
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->property("category").toString().toStdString(), c.category);
        EXPECT_EQ(action->text().toStdString(), c.caption);
        if (*c.caption != '\0') {
            EXPECT_EQ(action->toolTip().toStdString(), c.toolTip);
        }
        EXPECT_EQ(action->statusTip().toStdString(), c.statusTip);
        EXPECT_EQ(action->isEnabled(), c.enabled);
        EXPECT_EQ(action->isCheckable(), c.checkable);
        EXPECT_FALSE(action->isChecked());
        EXPECT_EQ(action->property("imageIndex").toInt(), c.image);
        EXPECT_EQ(action->icon().isNull(), c.image < 0);
    }
}

TEST_F(MainWindowTest, MenusShowTheirOwnCaptionsAndHints) {
    TfrmMain& w = StartWindow(false);
    EXPECT_EQ(w.File1->title().toStdString(), "&File");
    EXPECT_EQ(Entries(w.File1->actions()),
              (std::vector<std::string>{"&Open a Data Log File", "-", "&Load Import Settings", "&Store Import Settings",
                                        "-", "E&xit"}));
    EXPECT_EQ(w.File1->actions()[0]->statusTip().toStdString(), "Open a Log Data File");
    EXPECT_EQ(w.File1->actions()[2]->statusTip().toStdString(), "Load the import settings from a file");

    EXPECT_EQ(w.Database1->title().toStdString(), "&Database");
    EXPECT_EQ(Entries(w.Database1->actions()),
              (std::vector<std::string>{"&Connect", "&Disconnect", "-", "S&tart Importing", "&Stop Importing"}));

    EXPECT_EQ(w.Options1->title().toStdString(), "&Options");
    EXPECT_EQ(Entries(w.Options1->actions()),
              (std::vector<std::string>{"S&how Detail Messages", "&Fast Import", "&Save Status Messages", "-",
                                        "&Keep Edited Values", "Time &Zones...", "&Check Import",
                                        "Save &Rejected Lines..."}));
    EXPECT_EQ(w.Options1->actions()[0]->statusTip().toStdString(), "Show detailed status messages");
    EXPECT_EQ(w.Options1->actions()[2]->statusTip().toStdString(), "Save all detailed status messages into a log file");

    EXPECT_EQ(w.Help1->title().toStdString(), "&Help");
    EXPECT_EQ(Entries(w.Help1->actions()), (std::vector<std::string>{"&Contents", "-", "&About"}));
}

TEST_F(MainWindowTest, MenuItemsFollowTheirActions) {
    TfrmMain& w = StartWindow(false);
    QAction* detailsItem = w.Options1->actions()[0];
    EXPECT_TRUE(detailsItem->isCheckable());

    detailsItem->trigger();  // the menu item runs the action, which inverts its state once
    EXPECT_TRUE(w.OptionsShowDetails->isChecked());
    EXPECT_TRUE(detailsItem->isChecked());
    EXPECT_TRUE(w.ShowDetails());
    w.OptionsShowDetails->trigger();  // the toolbar button
    EXPECT_FALSE(w.OptionsShowDetails->isChecked());
    EXPECT_FALSE(detailsItem->isChecked());
    EXPECT_FALSE(w.ShowDetails());

    QAction* loadItem = w.File1->actions()[2];
    w.FileOpenSensors1->setEnabled(false);
    EXPECT_FALSE(loadItem->isEnabled());
    w.FileOpenSensors1->setEnabled(true);
    EXPECT_TRUE(loadItem->isEnabled());
}

TEST_F(MainWindowTest, ToolBarHoldsTheActionsWithSeparatorsAndTooltips) {
    TfrmMain& w = StartWindow(false);
    const QList<QAction*> actions = w.ToolBar1->actions();
    std::vector<std::string> names;
    for (const QAction* action : actions)
        names.push_back(action->isSeparator() ? "-" : action->objectName().toStdString());
    EXPECT_EQ(names, (std::vector<std::string>{"FileLogOpen1", "-", "DBConnect1", "DBDisconnect1", "-", "OptionsImport",
                                               "OptionsStop", "-", "OptionsShowDetails", "OptionsLogMessages"}));
    auto* open = qobject_cast<QToolButton*>(w.ToolBar1->widgetForAction(w.FileLogOpen1));
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->toolTip().toStdString(), "Open a Data Log File");
    EXPECT_TRUE(qobject_cast<QToolButton*>(w.ToolBar1->widgetForAction(w.OptionsShowDetails))->isCheckable());
}

TEST_F(MainWindowTest, WindowLayoutAndStatusBar) {
    TfrmMain& w = StartWindow(false);
    EXPECT_EQ(w.windowTitle().toStdString(), "Vireo/4620 - Tarnfold Log Import");
    EXPECT_EQ(w.size(), QSize(611, 693));
    EXPECT_EQ(w.StatusPanel0->width(), 200);
    EXPECT_EQ(w.StatusPanel1->minimumWidth(), 50);
    EXPECT_EQ(w.lblDB->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    EXPECT_TRUE(w.lblDB->text().isEmpty());
    EXPECT_TRUE(w.DBAvailSizePecent->text().isEmpty());
    EXPECT_EQ(w.DBAvailSizePecent->font().pointSize(), 10);
    EXPECT_EQ(w.ProgressBar1->value(), 0);
    EXPECT_EQ(w.ProgressBar1->maximum(), 100);
    EXPECT_EQ(w.Timer1->interval(), 1000);
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_EQ(w.btnReadFile->text().toStdString(), "&Read File for Sensors");
    EXPECT_EQ(w.btnReadFile->toolTip().toStdString(), "Read log file");
    EXPECT_EQ(w.btnBrowse->text().toStdString(), "Browse...");
    EXPECT_EQ(w.btnImport->text().toStdString(), "S&tart Importing");
    EXPECT_EQ(w.btnSensorAdd->toolTip().toStdString(), "Add a user-defined sensor name");
    EXPECT_EQ(w.btnSensorDelete->toolTip().toStdString(), "Delete a sensor name from Log file list");
    EXPECT_EQ(w.BitBtnAdd->toolTip().toStdString(), "Add Log sensor and database station/sensor pair to import list");
    EXPECT_TRUE(w.Memo->isReadOnly()) << "the messages are read, not typed into";
}

TEST_F(MainWindowTest, ButtonsFollowTheirActions) {
    TfrmMain& w = StartWindow(false);
    EXPECT_TRUE(w.btnImport->isEnabled());
    w.OptionsImport->setEnabled(false);
    EXPECT_FALSE(w.btnImport->isEnabled());
    w.OptionsImport->setEnabled(true);

    // "Browse..." runs FileLogOpen1: the open dialog is asked for a log file.
    w.btnBrowse->click();
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].title, "Open Log File");
    EXPECT_EQ(dialogs.requests[0].filter, "Log Files (*.log;*.csv;*.prn)|*.log;*.csv;*.prn|All Files|*.*");
    EXPECT_EQ(dialogs.requests[0].defaultExtension, "log");
}

TEST_F(MainWindowTest, LongHintGoesToTheSecondPanelOnceShown) {
    TfrmMain& w = StartWindow(false);
    QStatusTipEvent before(QStringLiteral("Exit|Quits the application"));
    QApplication::sendEvent(&w, &before);
    EXPECT_TRUE(w.StatusPanel1->text().isEmpty()) << "no hint handler before the window is shown";

    w.show();  // connects (and fails: nothing is configured), then takes the hints
    const struct {
        const char* hint;
        const char* shown;
    } rows[] = {
        {"Exit|Quits the application", "Quits the application"},
        {"Connect to database", "Connect to database"},  // no "|": the whole hint
        {"a|b|c", "b|c"},
        {"", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.hint);
        QStatusTipEvent tip(QString::fromLatin1(row.hint));
        QApplication::sendEvent(w.btnReadFile, &tip);  // passed up to the window
        EXPECT_EQ(w.StatusPanel1->text().toStdString(), row.shown);
        EXPECT_TRUE(w.StatusBar1->currentMessage().isEmpty());
    }
}

TEST_F(MainWindowTest, TimerShowsTheImportTimeOnlyWhileARunIsGoingOn) {
    TfrmMain& w = StartWindow(false);
    w.Timer1Timer();
    EXPECT_TRUE(w.StatusPanel0->text().isEmpty());
    w.OptionsStop->setEnabled(true);  // as during a run
    w.FImportStart = std::chrono::steady_clock::now() - std::chrono::seconds(25 * 3600 + 2 * 60 + 3);
    w.Timer1Timer();
    EXPECT_EQ(w.StatusPanel0->text().toStdString(), "Import Time: 01:02:03");  // hours start again after 24
    w.OptionsStop->setEnabled(false);
    w.FImportStart = std::chrono::steady_clock::now();
    w.Timer1Timer();
    EXPECT_EQ(w.StatusPanel0->text().toStdString(), "Import Time: 01:02:03") << "the last time stays shown";
}

TEST_F(MainWindowTest, MenuItemsShowTheirHintsInTheStatusBarOnly) {
    TfrmMain& w = StartWindow();
    for (QMenu* menu : {w.File1, w.Database1, w.Options1, w.Help1}) {
        SCOPED_TRACE(menu->objectName().toStdString());
        EXPECT_FALSE(menu->toolTipsVisible());
    }
    // A hovered item sends its hint through the menu bar to the window, which
    // puts the long part into the status bar.
    QAction* exit = w.File1->actions().constLast();
    exit->showStatusText(w.menuBar());
    EXPECT_EQ(w.StatusPanel1->text().toStdString(), "Quits the application");
    // The toolbar keeps its tooltips.
    EXPECT_EQ(w.ToolBar1->widgetForAction(w.DBConnect1)->toolTip().toStdString(), "Connect to database");
}

TEST_F(MainWindowTest, EveryControlHasANameAScreenReaderSpeaks) {
    TfrmMain& w = StartWindow(false);
    const struct {
        QWidget* widget;
        const char* name;
    } named[] = {
        {w.edtLogfile, "Log File"},
        {w.btnBrowse, "Browse..."},
        {w.btnReadFile, "Read File for Sensors"},
        {w.lbxLogSensors, "Sensors in Log File"},
        {w.edtSensor, "Sensor"},
        {w.btnSensorAdd, "Add a user-defined sensor name"},
        {w.btnSensorDelete, "Delete a sensor name from Log file list"},
        {w.cbxStations, "Select a Station in Database"},
        {w.lbxSensors, "Sensors in Database"},
        {w.BitBtnAdd, "Add Log sensor and database station/sensor pair to import list"},
        {w.BitBtnDelete, "Delete Log sensor and database station/sensor pair from import list"},
        {w.lbxImport, "Import to Database"},
        {w.btnImport, "Start Importing"},
        {w.lblDBCaption, "Data Storage"},
        {w.lblAvailSizeCaption, "Available Size (%)"},
        {w.Memo, "Status"},
        {w.ProgressBar1, "Progress"},
    };
    for (const auto& row : named) {
        SCOPED_TRACE(row.widget->objectName().toStdString());
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(row.widget);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->text(QAccessible::Name).toStdString(), row.name);
    }
    // Nothing that takes the focus goes without a name, the toolbar's buttons included.
    for (QWidget* widget : w.findChildren<QWidget*>()) {
        if (widget->focusPolicy() == Qt::NoFocus || !widget->isVisibleTo(&w)) continue;
        if (qobject_cast<QAbstractScrollArea*>(widget->parentWidget()) != nullptr) continue;  // a viewport
        SCOPED_TRACE(widget->objectName().toStdString() + " " + widget->metaObject()->className());
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(accessible, nullptr);
        EXPECT_FALSE(accessible->text(QAccessible::Name).trimmed().isEmpty());
    }
}

TEST(ApplicationNames, NoDisplayNameIsAppendedToTheCaptions) {
    const QString saved = QCoreApplication::applicationName();
    gui::NameApplication();
    EXPECT_EQ(QCoreApplication::applicationName().toStdString(), "VireoImport");
    // Without a display name of its own, Qt adds nothing to the captions of
    // the dialogs and message boxes.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    QCoreApplication::setApplicationName(saved);
}

}  // namespace
}  // namespace vireo::testing
