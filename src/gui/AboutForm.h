#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace vireo::gui {

/// The About dialog: the picture, the program's name, the part number, the
/// version line of this build and the maker's notice.
class TfmAbout : public QDialog {
    Q_OBJECT

public:
    explicit TfmAbout(QWidget* owner);

    QLabel* Image1 = nullptr;
    QLabel* AppNameLabel = nullptr;
    QLabel* PartNumberLabel = nullptr;
    QLabel* lblVersion = nullptr;
    QPushButton* btnOK = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
};

/// The picture of the About dialog, decoded from the JPEG in the program's
/// resources; a null image when it cannot be read.
QImage AboutPicture();

}  // namespace vireo::gui
