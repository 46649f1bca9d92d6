#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/Main.h"
#include "support/AnsweringDialogs.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"

class QWidget;

namespace vireo::testing {

/// A main window in a folder of its own: its "executable" lies there, so the
/// settings file (VireoImport.VFG) and the help file do too. The installation's
/// registry file is the folder's registry.ini, missing unless a test writes it.
class GuiTest : public ::testing::Test {
protected:
    GuiTest();
    ~GuiTest() override;

    /// Creates the window as the program does (window, login dialog, About
    /// dialog) and shows it, which makes the connection attempt at start.
    gui::TfrmMain& StartWindow(bool show = true);

    std::string ExecutablePath() const { return dir.File("VireoImport"); }
    std::string SettingsPath() const { return dir.File("VireoImport.VFG"); }
    std::string RegistryFile() const { return dir.File("registry.ini"); }

    /// Writes the installation's default connection into the registry file.
    void WriteRegistry(const std::string& source, const std::string& user, const std::string& password) const;

    TempDir dir{"vireo-gui"};
    AnsweringDialogs dialogs;
    std::unique_ptr<gui::TfrmMain> window;
};

/// The catalogue most window tests need: station ST01 with its sensor TEMP.
inline constexpr const char* kSt01Temp =
    "INSERT INTO TF_SITES(STATION_ID, ENABLED) VALUES ('ST01', 'Y');\n"
    "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'TEMP', 'Y');\n";

/// A window test whose installation connects to an SQLite station database
/// holding `catalogue`.
class StationGuiTest : public GuiTest {
protected:
    explicit StationGuiTest(const char* catalogue = kSt01Temp) {
        source.Execute(catalogue);
        WriteRegistry(source.Name(), source.User(), source.Password());
    }

    TestDataSource source{Backend::Sqlite};
};

/// Runs `action` on the next modal dialog once it is up (and active, so that
/// what the action types is not replaced by the dialog's own refill).
void WhenModalShown(std::function<void(QWidget*)> action);

/// `count` one-value lines of TEMP, one minute apart, each ended by CR LF.
std::string TempLines(int count);

/// Lets events through until `done` holds, for at most `rounds` times 10 ms.
bool ProcessUntil(const std::function<bool()>& done, int rounds = 500);

/// The texts of a list widget's or combo box's items.
std::vector<std::string> Items(const QWidget* listOrCombo);

/// Selects the item `text` of a list widget; false when it is not there.
bool SelectItem(QWidget* list, const std::string& text);

/// True when some line of `lines` ends with `tail`.
bool AnyLineEndsWith(const std::vector<std::string>& lines, const std::string& tail);

}  // namespace vireo::testing
