// The window's controls, top to bottom: the log file panel, the sensor and
// import list panel, the status panel with the message list, the progress
// group and the two-panel status bar.
#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "gui/Main.h"
#include "gui/MainHints.h"

namespace vireo::gui {

namespace {

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// A push button that runs an action and follows its enabled state; it keeps
// its own caption when it has one.
void BindButton(QAbstractButton* button, QAction* action) {
    if (button->text().isEmpty()) button->setText(action->text());
    const auto follow = [button, action] { button->setEnabled(action->isEnabled()); };
    follow();
    QObject::connect(action, &QAction::changed, button, follow);
    QObject::connect(button, &QAbstractButton::clicked, action, [action] { action->trigger(); });
    SetHint(button, action->property(kHintProperty).toString());
}

QLabel* Caption(const QString& text, QWidget* buddy = nullptr) {
    auto* label = new QLabel(text);
    if (buddy != nullptr) label->setBuddy(buddy);
    return label;
}

}  // namespace

void TfrmMain::BuildControls() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("pnlMain"));
    setCentralWidget(central);
    auto* page = new QVBoxLayout(central);
    page->setContentsMargins(6, 4, 6, 2);
    page->setSpacing(6);

    // Top panel: the log file.
    auto* top = new QHBoxLayout;
    edtLogfile = Named(new QLineEdit, "edtLogfile");
    btnBrowse = Named(new QPushButton(QStringLiteral("Browse...")), "btnBrowse");
    BindButton(btnBrowse, FileLogOpen1);
    SetHint(btnBrowse, {});
    btnReadFile = Named(new QPushButton(QStringLiteral("&Read File for Sensors")), "btnReadFile");
    SetHint(btnReadFile, QStringLiteral("Read log file"));
    connect(btnReadFile, &QPushButton::clicked, this, &TfrmMain::btnReadFileClick);
    top->addWidget(Caption(QStringLiteral("Log  File"), edtLogfile));
    top->addWidget(edtLogfile, 1);
    top->addWidget(btnBrowse);
    top->addWidget(btnReadFile);
    page->addLayout(top);

    // Middle panel: the lists and the import list.
    auto* select = Named(new QGroupBox(QStringLiteral("Select Sensor Names from Log File and Database")), "gbSelect");
    auto* selectGrid = new QGridLayout(select);
    lbxLogSensors = Named(new QListWidget, "lbxLogSensors");
    // Several names may be chosen for a preview; a pair takes the first.
    lbxLogSensors->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbxLogSensors->setSortingEnabled(false);  // kept in order by AddLogSensor
    cbxStations = Named(new QComboBox, "cbxStations");
    cbxStations->setEditable(false);
    connect(cbxStations, &QComboBox::currentIndexChanged, this, [this] { cbxStationsChange(); });
    lbxSensors = Named(new QListWidget, "lbxSensors");
    lbxSensors->setSelectionMode(QAbstractItemView::SingleSelection);
    edtSensor = Named(new QLineEdit, "edtSensor");
    btnSensorAdd = Named(new QPushButton(QStringLiteral("+")), "btnSensorAdd");
    SetHint(btnSensorAdd, QStringLiteral("Add a user-defined sensor name"));
    connect(btnSensorAdd, &QPushButton::clicked, this, &TfrmMain::btnSensorAddClick);
    btnSensorDelete = Named(new QPushButton(QStringLiteral("-")), "btnSensorDelete");
    SetHint(btnSensorDelete, QStringLiteral("Delete a sensor name from Log file list"));
    connect(btnSensorDelete, &QPushButton::clicked, this, &TfrmMain::btnSensorDeleteClick);
    for (QPushButton* small : {btnSensorAdd, btnSensorDelete}) small->setFixedWidth(22);

    auto* sensorRow = new QHBoxLayout;
    sensorRow->setSpacing(3);
    sensorRow->addWidget(Caption(QStringLiteral("Sensor:"), edtSensor));
    sensorRow->addWidget(edtSensor, 1);
    sensorRow->addWidget(btnSensorAdd);
    sensorRow->addWidget(btnSensorDelete);

    selectGrid->addWidget(Caption(QStringLiteral("Sensors in Log File"), lbxLogSensors), 0, 0);
    selectGrid->addWidget(lbxLogSensors, 1, 0, 3, 1);
    selectGrid->addLayout(sensorRow, 4, 0);
    btnPreview = Named(new QPushButton, "btnPreview");
    BindButton(btnPreview, LogPreview1);
    selectGrid->addWidget(btnPreview, 5, 0);
    selectGrid->addWidget(Caption(QStringLiteral("Select a Station in Database"), cbxStations), 0, 1);
    selectGrid->addWidget(cbxStations, 1, 1);
    selectGrid->addWidget(Caption(QStringLiteral("Sensors in Database"), lbxSensors), 2, 1);
    selectGrid->addWidget(lbxSensors, 3, 1, 2, 1);
    selectGrid->setRowStretch(3, 1);

    BitBtnAdd = Named(new QToolButton, "BitBtnAdd");
    BitBtnAdd->setArrowType(Qt::RightArrow);
    BindButton(BitBtnAdd, SelectAdd1);
    BitBtnDelete = Named(new QToolButton, "BitBtnDelete");
    BitBtnDelete->setArrowType(Qt::LeftArrow);
    BindButton(BitBtnDelete, SelectDelete1);
    auto* arrows = new QVBoxLayout;
    arrows->addStretch();
    arrows->addWidget(BitBtnAdd);
    arrows->addWidget(BitBtnDelete);
    arrows->addStretch();

    auto* import = Named(new QGroupBox(QStringLiteral("Import to Database")), "gbImport");
    auto* importColumn = new QVBoxLayout(import);
    lbxImport = Named(new QListWidget, "lbxImport");
    lbxImport->setSelectionMode(QAbstractItemView::SingleSelection);
    btnImport = Named(new QPushButton, "btnImport");
    BindButton(btnImport, OptionsImport);
    importColumn->addWidget(lbxImport, 1);
    btnShowImported = Named(new QPushButton, "btnShowImported");
    BindButton(btnShowImported, ShowImported1);
    importColumn->addWidget(btnShowImported);
    importColumn->addWidget(btnImport);

    auto* middle = new QHBoxLayout;
    middle->addWidget(select, 3);
    middle->addLayout(arrows);
    middle->addWidget(import, 2);
    page->addLayout(middle, 5);

    // Status panel and the message list.
    auto* status = Named(new QFrame, "pnlStatus");
    status->setFrameShape(QFrame::StyledPanel);
    auto* statusRow = new QHBoxLayout(status);
    statusRow->setContentsMargins(6, 2, 6, 2);
    auto* statusCaption = new QLabel(QStringLiteral("Status"));
    QFont bold = statusCaption->font();
    bold.setBold(true);
    statusCaption->setFont(bold);
    lblDB = Named(new QLabel, "lblDB");
    QPalette navy = lblDB->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    lblDB->setPalette(navy);
    lblDB->setMinimumWidth(120);
    DBAvailSizePecent = Named(new QLabel, "DBAvailSizePecent");
    DBAvailSizePecent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    DBAvailSizePecent->setFont(QFont(QStringLiteral("Arial"), 10));
    QPalette black = DBAvailSizePecent->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    DBAvailSizePecent->setPalette(black);
    DBAvailSizePecent->setMinimumWidth(36);
    statusRow->addWidget(statusCaption);
    statusRow->addStretch();
    // A screen reader reads the value labels' texts; the captions beside them
    // are their labels.
    lblDBCaption = Named(Caption(QStringLiteral("Data Storage: "), lblDB), "lblDBCaption");
    lblAvailSizeCaption =
        Named(Caption(QStringLiteral("Available Size (%):"), DBAvailSizePecent), "lblAvailSizeCaption");
    statusRow->addWidget(lblDBCaption);
    statusRow->addWidget(lblDB);
    statusRow->addSpacing(12);
    statusRow->addWidget(lblAvailSizeCaption);
    statusRow->addWidget(DBAvailSizePecent);
    page->addWidget(status);

    // The message list is read, not typed into: Tab moves on to the next control.
    Memo = Named(new QPlainTextEdit, "Memo");
    Memo->setReadOnly(true);
    Memo->setTabChangesFocus(true);
    Memo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    page->addWidget(Memo, 4);

    auto* progress = Named(new QGroupBox(QStringLiteral("Progress")), "gbProgress");
    auto* progressRow = new QHBoxLayout(progress);
    progressRow->setContentsMargins(6, 2, 6, 4);
    ProgressBar1 = Named(new QProgressBar, "ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    progressRow->addWidget(ProgressBar1);
    page->addWidget(progress);

    // The status bar: the import time (200 pixels), then the line count and
    // the long hints.
    StatusBar1 = Named(new QStatusBar, "StatusBar1");
    StatusBar1->setSizeGripEnabled(true);
    StatusPanel0 = Named(new QLabel, "StatusPanel0");
    StatusPanel0->setFixedWidth(200);
    StatusPanel1 = Named(new QLabel, "StatusPanel1");
    StatusPanel1->setMinimumWidth(50);
    StatusBar1->addWidget(StatusPanel0);
    StatusBar1->addWidget(StatusPanel1, 1);
    setStatusBar(StatusBar1);

    NameControls();
}

void TfrmMain::NameControls() {
    // What a screen reader speaks for each control: the caption it stands
    // under or beside, or the hint of a button without words.
    const struct {
        QWidget* widget;
        const char* name;
    } names[] = {
        {edtLogfile, "Log File"},
        {btnBrowse, "Browse..."},
        {btnReadFile, "Read File for Sensors"},
        {lbxLogSensors, "Sensors in Log File"},
        {edtSensor, "Sensor"},
        {btnSensorAdd, "Add a user-defined sensor name"},
        {btnSensorDelete, "Delete a sensor name from Log file list"},
        {cbxStations, "Select a Station in Database"},
        {lbxSensors, "Sensors in Database"},
        {BitBtnAdd, "Add Log sensor and database station/sensor pair to import list"},
        {BitBtnDelete, "Delete Log sensor and database station/sensor pair from import list"},
        {lbxImport, "Import to Database"},
        {btnImport, "Start Importing"},
        {btnPreview, "Preview"},
        {btnShowImported, "Show Imported Data"},
        {lblDBCaption, "Data Storage"},
        {lblAvailSizeCaption, "Available Size (%)"},
        {Memo, "Status"},
        {ProgressBar1, "Progress"},
    };
    for (const auto& row : names) row.widget->setAccessibleName(QString::fromLatin1(row.name));
    // The value labels keep their texts as what is read, and are described by their captions.
    lblDB->setAccessibleDescription(QStringLiteral("Data Storage"));
    DBAvailSizePecent->setAccessibleDescription(QStringLiteral("Available Size (%)"));
}

}  // namespace vireo::gui
