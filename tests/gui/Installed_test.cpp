// The window as installed: its program in bin/, its help in the data folder,
// its settings in the user's own folder, and its icon.
#include <QIcon>
#include <cstdlib>
#include <filesystem>

#include "Version.h"
#include "gui/GuiTestSupport.h"
#include "gui/Main.h"

namespace vireo::testing {
namespace {

namespace fs = std::filesystem;

TEST(InstalledWindow, FindsItsHelpInTheDataFolderAndKeepsItsSettingsInTheUsersFolder) {
    TempDir tree{"vireo-installed"};
    const fs::path bin = tree.path() / "bin";
    const fs::path data = (bin / VIREO_DATA_FROM_PROGRAM).lexically_normal();
    fs::create_directories(bin);
    fs::create_directories(data);
    WriteFile((data / "VireoImport.html").string(), "<html><body>Help</body></html>");
    ::setenv("XDG_CONFIG_HOME", (tree.path() / "config").c_str(), 1);
    ::setenv("TARNFOLD_REGISTRY", tree.File("registry.ini").c_str(), 1);
    AnsweringDialogs dialogs;
    const fs::path own = tree.path() / "config/VireoImport/VireoImport.VFG";
    {
        gui::TfrmMain window(gui::MainWindowOptions{(bin / "VireoImport").string(), &dialogs});
        EXPECT_EQ(window.FHelpFile, (data / "VireoImport.html").string());
        const QIcon icon = window.windowIcon();
        EXPECT_FALSE(icon.isNull());
        EXPECT_GE(icon.availableSizes().size(), 4) << "drawn for the sizes of the hicolor theme";
        EXPECT_EQ(fs::status(own.parent_path()).permissions(), fs::perms(0700));
        window.close();
    }
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("TARNFOLD_REGISTRY");
    EXPECT_FALSE(fs::exists(bin / "VireoImport.VFG")) << "nothing written into the program's folder";
    ASSERT_TRUE(fs::exists(own));
    EXPECT_EQ(fs::status(own).permissions(), fs::perms(0600));
    EXPECT_NE(ReadFile(own.string()).find("MaxDBFileSize=2097152"), std::string::npos);
}

}  // namespace
}  // namespace vireo::testing
