#include "gui/MyLogin.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/QtDialogs.h"
#include "status/UserDialogs.h"

namespace vireo::gui {

TMyLoginForm::TMyLoginForm(const std::vector<std::string>& aliases, UserDialogs& dialogs, QWidget* owner)
    : QDialog(owner), dialogs_(dialogs) {
    setObjectName(QStringLiteral("MyLoginForm"));
    setWindowTitle(QStringLiteral("Database Login"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("Arial"), 8));

    cboDBAlias = new QComboBox(this);
    cboDBAlias->setObjectName(QStringLiteral("cboDBAlias"));
    cboDBAlias->setEditable(false);
    for (const std::string& alias : aliases) cboDBAlias->addItem(FromBytes(alias));
    cboDBAlias->setCurrentIndex(-1);

    edtDBUserName = new QLineEdit(this);
    edtDBUserName->setObjectName(QStringLiteral("edtDBUserName"));
    edtDBPassword = new QLineEdit(this);
    edtDBPassword->setObjectName(QStringLiteral("edtDBPassword"));
    edtDBPassword->setEchoMode(QLineEdit::Password);
    edtDBPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // '*'

    auto* aliasLabel = new QLabel(QStringLiteral("&Database Alias:"), this);
    aliasLabel->setBuddy(cboDBAlias);
    auto* userLabel = new QLabel(QStringLiteral("&User Name:"), this);
    userLabel->setBuddy(edtDBUserName);
    auto* passwordLabel = new QLabel(QStringLiteral("&Password:"), this);
    passwordLabel->setBuddy(edtDBPassword);

    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &TMyLoginForm::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &TMyLoginForm::btnCancelClick);

    auto* grid = new QGridLayout;
    grid->addWidget(aliasLabel, 0, 0);
    grid->addWidget(cboDBAlias, 0, 1);
    grid->addWidget(userLabel, 1, 0);
    grid->addWidget(edtDBUserName, 1, 1);
    grid->addWidget(passwordLabel, 2, 0);
    grid->addWidget(edtDBPassword, 2, 1);
    grid->setColumnMinimumWidth(1, 180);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnOK);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(cboDBAlias, edtDBUserName);
    setTabOrder(edtDBUserName, edtDBPassword);
    setTabOrder(edtDBPassword, btnCancel);
    setTabOrder(btnCancel, btnOK);
}

bool TMyLoginForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return QDialog::event(event);
}

void TMyLoginForm::FormActivate() {
    const QString alias = FromBytes(DBAlias);
    int found = -1;
    for (int i = 0; i < cboDBAlias->count(); ++i) {
        if (cboDBAlias->itemText(i).compare(alias, Qt::CaseInsensitive) == 0) {
            found = i;
            break;
        }
    }
    cboDBAlias->setCurrentIndex(found);
    edtDBUserName->setText(FromBytes(DBUserName));
    edtDBPassword->setText(FromBytes(DBPassword));
}

void TMyLoginForm::btnOKClick() {
    if (cboDBAlias->currentIndex() < 0) {
        dialogs_.ShowMessage(MessageKind::Information, "Please select ODBC connection string", MessageButtons::Ok);
        // Back from the message the dialog is active again and shows the
        // window's values once more.
        FormActivate();
        cboDBAlias->setFocus();
        return;
    }
    DBAlias = ToBytes(cboDBAlias->currentText());
    DBUserName = ToBytes(edtDBUserName->text());
    DBPassword = ToBytes(edtDBPassword->text());
    accept();
}

void TMyLoginForm::btnCancelClick() { reject(); }

}  // namespace vireo::gui
