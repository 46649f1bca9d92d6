// The window's actions, its menus and its toolbar.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include "gui/ImageList.h"
#include "gui/Main.h"
#include "gui/MainHints.h"

namespace vireo::gui {

namespace {

struct ActionRow {
    QAction* TfrmMain::*field;
    const char* name;
    const char* category;
    const char* caption;
    const char* hint;
    int image;  // -1: none
    bool checkable;
    void (TfrmMain::*execute)();
};

// Every action starts enabled but the Stop action; the two check actions start unchecked.
const ActionRow kActions[] = {
    {&TfrmMain::FileLogOpen1, "FileLogOpen1", "File", "&Open a Data Log File", "", 4, false,
     &TfrmMain::FileLogOpen1Execute},
    {&TfrmMain::FileOpenSensors1, "FileOpenSensors1", "File", "Open Sensor &Import file",
     "Load the import settings from a file", -1, false, &TfrmMain::FileOpenSensors1Execute},
    {&TfrmMain::FileSaveSensors1, "FileSaveSensors1", "File", "&Save Sensor Import settings",
     "Store the import settings into a file", -1, false, &TfrmMain::FileSaveSensors1Execute},
    {&TfrmMain::FileExit1, "FileExit1", "File", "E&xit", "Exit|Quits the application", 8, false, nullptr},
    {&TfrmMain::DBConnect1, "DBConnect1", "Database", "&Connect", "Connect to database", 1, false,
     &TfrmMain::DBConnect1Execute},
    {&TfrmMain::DBDisconnect1, "DBDisconnect1", "Database", "&Disconnect", "Disconnect from database", 0, false,
     &TfrmMain::DBDisconnect1Execute},
    {&TfrmMain::OptionsImport, "OptionsImport", "Options", "S&tart Importing", "Start importing process", 6, false,
     &TfrmMain::OptionsImportExecute},
    {&TfrmMain::OptionsStop, "OptionsStop", "Options", "&Stop Importing", "Stop importing process", 7, false,
     &TfrmMain::OptionsStopExecute},
    {&TfrmMain::OptionsShowDetails, "OptionsShowDetails", "Options", "&Detail Messages",
     "Display detailed status messages", 2, true, &TfrmMain::OptionsShowDetailsExecute},
    {&TfrmMain::OptionsFastImport, "OptionsFastImport", "Options", "&Fast Import",
     "Fast import|Commit the imported values in batches instead of one at a time", -1, true,
     &TfrmMain::OptionsFastImportExecute},
    {&TfrmMain::OptionsKeepEdits, "OptionsKeepEdits", "Options", "&Keep Edited Values",
     "Keep edited values|Leave rows whose edited value differs from the original value when importing again", -1, true,
     &TfrmMain::OptionsKeepEditsExecute},
    {&TfrmMain::OptionsTimeZones, "OptionsTimeZones", "Options", "Time &Zones...",
     "Time zones|The log's time zone and the database's time base", -1, false, &TfrmMain::OptionsTimeZonesExecute},
    {&TfrmMain::OptionsCheckImport, "OptionsCheckImport", "Options", "&Check Import",
     "Check import|Show what an import would do, writing nothing", -1, false, &TfrmMain::OptionsCheckImportExecute},
    {&TfrmMain::OptionsSaveRejects, "OptionsSaveRejects", "Options", "Save &Rejected Lines...",
     "Save rejected lines|Write every line or value that a run does not import into a CSV file", -1, true,
     &TfrmMain::OptionsSaveRejectsExecute},
    {&TfrmMain::OptionsLogMessages, "OptionsLogMessages", "Options", "&Log Status Messages",
     "Save all detailed status messages into a log file", 3, true, &TfrmMain::OptionsLogMessagesExecute},
    {&TfrmMain::SelectAdd1, "SelectAdd1", "Options", "",
     "Add Log sensor and database station/sensor pair to import list", -1, false, &TfrmMain::SelectAdd1Execute},
    {&TfrmMain::SelectDelete1, "SelectDelete1", "Options", "",
     "Delete Log sensor and database station/sensor pair from import list", -1, false, &TfrmMain::SelectDelete1Execute},
    {&TfrmMain::HelpContents1, "HelpContents1", "Help", "&Contents", "", 5, false, &TfrmMain::HelpContents1Execute},
    {&TfrmMain::HelpAbout1, "HelpAbout1", "Help", "&About", "", -1, false, &TfrmMain::HelpAbout1Execute},
    {&TfrmMain::LogPreview1, "LogPreview1", "File", "Preview",
     "Preview|Show the values of the selected log sensors over time", -1, false, &TfrmMain::LogPreview1Execute},
    {&TfrmMain::ShowImported1, "ShowImported1", "Database", "Show Imported Data",
     "Show imported data|Show what TF_DATA1 holds for the selected pair beside the log's values", -1, false,
     &TfrmMain::ShowImported1Execute},
};

// A menu item with its own caption or hint: an item of its own that runs the
// action and mirrors its enabled and checked states.
QAction* MenuItemFor(QAction* action, const QString& caption, const QString& hint, QObject* owner) {
    auto* item = new QAction(action->icon(), caption.isEmpty() ? action->text() : caption, owner);
    item->setObjectName(action->objectName() + QStringLiteral("Item"));
    item->setCheckable(action->isCheckable());
    SetHint(item, hint.isEmpty() ? action->property(kHintProperty).toString() : hint);
    const auto mirror = [item, action] {
        item->setEnabled(action->isEnabled());
        item->setChecked(action->isChecked());
    };
    mirror();
    QObject::connect(action, &QAction::changed, item, mirror);
    QObject::connect(item, &QAction::triggered, action, [item, action] {
        item->setChecked(action->isChecked());  // the action itself decides its check state
        action->trigger();
    });
    return item;
}

}  // namespace

void TfrmMain::BuildActions() {
    for (const ActionRow& row : kActions) {
        auto* action = new QAction(QString::fromLatin1(row.caption), this);
        action->setObjectName(QLatin1String(row.name));
        action->setProperty("category", QLatin1String(row.category));
        action->setProperty("imageIndex", row.image);
        if (row.image >= 0) action->setIcon(ActionIcon(row.image));
        SetHint(action, QString::fromLatin1(row.hint));
        action->setCheckable(row.checkable);
        if (row.execute != nullptr) {
            const auto execute = row.execute;
            connect(action, &QAction::triggered, this, [this, action, execute] {
                // A check action inverts its own state in its handler.
                if (action->isCheckable()) action->setChecked(!action->isChecked());
                (this->*execute)();
            });
        }
        this->*row.field = action;
    }
    connect(FileExit1, &QAction::triggered, this, &QWidget::close);
    OptionsStop->setEnabled(false);
}

void TfrmMain::BuildMenus() {
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));

    File1 = menuBar()->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    File1->addAction(MenuItemFor(FileLogOpen1, {}, QStringLiteral("Open a Log Data File"), this));
    File1->addSeparator();
    File1->addAction(MenuItemFor(FileOpenSensors1, QStringLiteral("&Load Import Settings"), {}, this));
    File1->addAction(MenuItemFor(FileSaveSensors1, QStringLiteral("&Store Import Settings"), {}, this));
    File1->addSeparator();
    File1->addAction(FileExit1);

    Database1 = menuBar()->addMenu(QStringLiteral("&Database"));
    Database1->setObjectName(QStringLiteral("Database1"));
    Database1->addAction(DBConnect1);
    Database1->addAction(DBDisconnect1);
    Database1->addSeparator();
    Database1->addAction(OptionsImport);
    Database1->addAction(OptionsStop);

    Options1 = menuBar()->addMenu(QStringLiteral("&Options"));
    Options1->setObjectName(QStringLiteral("Options1"));
    Options1->addAction(MenuItemFor(OptionsShowDetails, QStringLiteral("S&how Detail Messages"),
                                    QStringLiteral("Show detailed status messages"), this));
    Options1->addAction(MenuItemFor(OptionsFastImport, {}, {}, this));
    Options1->addAction(MenuItemFor(OptionsLogMessages, QStringLiteral("&Save Status Messages"), {}, this));
    Options1->addSeparator();
    Options1->addAction(MenuItemFor(OptionsKeepEdits, {}, {}, this));
    Options1->addAction(MenuItemFor(OptionsTimeZones, {}, {}, this));
    Options1->addAction(MenuItemFor(OptionsCheckImport, {}, {}, this));
    Options1->addAction(MenuItemFor(OptionsSaveRejects, {}, {}, this));

    // The looks at the data, each with a key of its own.
    View1 = menuBar()->addMenu(QStringLiteral("&View"));
    View1->setObjectName(QStringLiteral("View1"));
    QAction* previewItem = MenuItemFor(LogPreview1, QStringLiteral("&Preview"), {}, this);
    previewItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    View1->addAction(previewItem);
    QAction* importedItem = MenuItemFor(ShowImported1, QStringLiteral("Show &Imported Data"), {}, this);
    importedItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    View1->addAction(importedItem);

    Help1 = menuBar()->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Help1->addAction(HelpContents1);
    Help1->addSeparator();
    Help1->addAction(HelpAbout1);

    // Menu items show no tooltips (one would repeat the caption and cover the
    // next item): their hints go to the status bar only.
    for (QMenu* menu : {File1, Database1, Options1, View1, Help1}) menu->setToolTipsVisible(false);
}

void TfrmMain::BuildToolBar() {
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(24, 24));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->addAction(FileLogOpen1);
    ToolBar1->addSeparator();
    ToolBar1->addAction(DBConnect1);
    ToolBar1->addAction(DBDisconnect1);
    ToolBar1->addSeparator();
    ToolBar1->addAction(OptionsImport);
    ToolBar1->addAction(OptionsStop);
    ToolBar1->addSeparator();
    ToolBar1->addAction(OptionsShowDetails);
    ToolBar1->addAction(OptionsLogMessages);
}

}  // namespace vireo::gui
