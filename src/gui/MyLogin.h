#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace vireo {
class UserDialogs;
}

namespace vireo::gui {

/// The "Database Login" dialog. The main window fills DBAlias, DBUserName and
/// DBPassword (the password in clear) before showing it and reads them back
/// after OK. Every time the dialog becomes the active window it shows these
/// fields again, replacing whatever had been typed.
class TMyLoginForm : public QDialog {
    Q_OBJECT

public:
    /// `aliases`: the data source names of the session, listed once.
    TMyLoginForm(const std::vector<std::string>& aliases, UserDialogs& dialogs, QWidget* owner);

    std::string DBAlias;
    std::string DBUserName;
    std::string DBPassword;

    QComboBox* cboDBAlias = nullptr;
    QLineEdit* edtDBUserName = nullptr;
    QLineEdit* edtDBPassword = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnOK = nullptr;

    /// Selects the first alias equal to DBAlias without regard to case (none
    /// when there is none) and puts DBUserName and DBPassword into the boxes.
    void FormActivate();
    void btnOKClick();
    void btnCancelClick();

protected:
    bool event(QEvent* event) override;

private:
    UserDialogs& dialogs_;
};

}  // namespace vireo::gui
