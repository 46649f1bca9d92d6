// Program entry of the window: the application, then the main window, the
// login dialog (it lists the aliases of the session the main window created)
// and the About dialog, then the message loop until the main window closes.
#include "gui/Main.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    vireo::gui::NameApplication();

    vireo::gui::TfrmMain frmMain;
    frmMain.CreateLoginForm();
    frmMain.CreateAboutForm();
    frmMain.show();
    return QApplication::exec();
}
