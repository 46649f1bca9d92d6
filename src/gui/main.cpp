// Program entry of the window: the application, then the main window, the
// login dialog (it lists the aliases of the session the main window created)
// and the About dialog, then the message loop until the main window closes.
// --help and --version answer on standard output without a window.
#include "gui/Main.h"

#include <QApplication>
#include <cstring>
#include <iostream>

#include "gui/Resources.h"
#include "settings/VersionInfo.h"

namespace {

constexpr const char* kUsage =
    "usage: VireoImport [--help | --version] [Qt options]\n"
    "\n"
    "The window of VireoImport: open a Vireo or 4620 log file, connect to the\n"
    "Tarnfold database through an ODBC data source, pair log sensors with station\n"
    "sensors and import their values into TF_DATA1. Help, Contents describes it.\n"
    "\n"
    "  --help      this text\n"
    "  --version   the version\n"
    "\n"
    "Settings: VireoImport.VFG beside the program when it is there or the program's\n"
    "folder may be written, else $XDG_CONFIG_HOME/VireoImport/VireoImport.VFG\n"
    "(~/.config/VireoImport/VireoImport.VFG). The command line twin is vireo-import.\n";

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << kUsage;
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "VireoImport " << vireo::ThisVersionLine() << "\n";
            return 0;
        }
    }
    QApplication application(argc, argv);
    vireo::gui::NameApplication();
    QApplication::setWindowIcon(vireo::gui::ProgramIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("vireoimport"));

    vireo::gui::TfrmMain frmMain;
    frmMain.CreateLoginForm();
    frmMain.CreateAboutForm();
    frmMain.show();
    return QApplication::exec();
}
