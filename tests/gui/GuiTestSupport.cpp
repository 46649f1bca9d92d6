#include "gui/GuiTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QListWidget>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "scan/Regional.h"
#include "settings/Encrypt.h"
#include "settings/Registry.h"
#include "support/TestOdbc.h"

namespace vireo::testing {

namespace {

// One QApplication for the whole program, made before the first test.
class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        TestOdbc::Instance();  // the ODBC configuration comes before any ODBC call
        SetRegional(RegionalSettings{});
        static int argc = 1;
        static char name[] = "test_gui";
        static char* argv[] = {name, nullptr};
        application_ = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override { application_.reset(); }

private:
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] ::testing::Environment* const kGuiEnvironment =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

}  // namespace

GuiTest::GuiTest() { setenv(kRegistryVariable, RegistryFile().c_str(), 1); }

GuiTest::~GuiTest() {
    window.reset();
    unsetenv(kRegistryVariable);
}

gui::TfrmMain& GuiTest::StartWindow(bool show) {
    window = std::make_unique<gui::TfrmMain>(gui::MainWindowOptions{ExecutablePath(), &dialogs});
    window->CreateLoginForm();
    window->CreateAboutForm();
    if (show) {
        window->show();
        // The attempt comes from the event loop once the window is on screen.
        EXPECT_TRUE(ProcessUntil([this] { return window->StartAttemptMade(); })) << "no connection attempt at start";
    }
    return *window;
}

void GuiTest::WriteRegistry(const std::string& source, const std::string& user, const std::string& password) const {
    WriteFile(RegistryFile(), "[" + std::string(kTarnfoldSettingsKey) + "]\nODBC_Source=" + source +
                                  "\nODBC_User=" + user +
                                  "\nODBC_Pass=" + EscapeRegistryValue(TXEncrypt().EncryptPassword(password)) + "\n");
}

void WhenModalShown(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action = std::move(action)] {
        QWidget* modal = nullptr;
        ProcessUntil([&] {
            modal = QApplication::activeModalWidget();
            return modal != nullptr && modal->isActiveWindow();
        });
        ASSERT_NE(modal, nullptr) << "no modal dialog came up";
        action(modal);
        // A failed check inside the action must not leave the dialog waiting.
        if (::testing::Test::HasFailure() && modal->isVisible()) {
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        }
    });
}

std::string TempLines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "TEMP,06/%02d/2005,%02d:%02d:00,%d.5,G\r\n", 1 + i / 1440, i / 60 % 24, i % 60,
                      i);
        text += line;
    }
    return text;
}

bool ProcessUntil(const std::function<bool()>& done, int rounds) {
    // A round is 10 ms of wall time: processEvents returns at once when nothing
    // is pending, and a loaded machine may deliver the awaited event late.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(10) * rounds;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

std::vector<std::string> Items(const QWidget* listOrCombo) {
    std::vector<std::string> items;
    if (const auto* list = qobject_cast<const QListWidget*>(listOrCombo)) {
        for (int i = 0; i < list->count(); ++i) items.push_back(list->item(i)->text().toStdString());
    } else if (const auto* combo = qobject_cast<const QComboBox*>(listOrCombo)) {
        for (int i = 0; i < combo->count(); ++i) items.push_back(combo->itemText(i).toStdString());
    }
    return items;
}

bool SelectItem(QWidget* list, const std::string& text) {
    auto* widget = qobject_cast<QListWidget*>(list);
    if (widget == nullptr) return false;
    const auto found = widget->findItems(QString::fromStdString(text), Qt::MatchExactly);
    if (found.isEmpty()) return false;
    widget->clearSelection();
    found.first()->setSelected(true);
    widget->setCurrentItem(found.first());
    return true;
}

bool AnyLineEndsWith(const std::vector<std::string>& lines, const std::string& tail) {
    for (const std::string& line : lines) {
        if (line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0) return true;
    }
    return false;
}

}  // namespace vireo::testing
