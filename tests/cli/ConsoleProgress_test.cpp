// The progress bar and the status lines on one terminal.
#include "cli/ConsoleProgress.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/CliOptions.h"
#include "cli/ImportCommand.h"

namespace vireo::cli {
namespace {

TEST(ConsoleProgress, TheBarIsClearedBeforeAStatusLineAndDrawnAgainAfterIt) {
    std::ostringstream terminal;  // standard output and standard error on one screen
    ConsoleProgress bar(terminal, true);
    CliOptions options;
    RunControl control;
    bool outputClosed = false;
    const auto lines = RunStatusLines(terminal, options, control, outputClosed, &bar);

    lines->AddStatusMessage("before the run");
    bar.RunStarted();
    bar.ProgressChanged(50);
    lines->AddStatusMessage("No valid date and time, line not imported - X.");
    bar.RunEnded();
    lines->AddStatusMessage("Import process completed..");

    const std::string text = terminal.str();
    const std::string erase = "\r\x1b[K";
    const std::size_t drawn = text.find("\r[###############...............]  50%");
    const std::size_t cleared = text.find(erase);
    const std::size_t line = text.find("No valid date and time");
    ASSERT_NE(drawn, std::string::npos) << text;
    EXPECT_LT(text.find("before the run"), drawn) << "no bar was there to clear";
    EXPECT_LT(drawn, cleared);
    // The status line stands alone from the erase to its line end.
    EXPECT_EQ(text.rfind(erase, line), cleared);
    EXPECT_EQ(text.find_first_of("\r\n", cleared + erase.size()), text.find('\n', line)) << text;
    EXPECT_LT(line, text.find("\r[###############...............]  50%", line)) << "drawn again";
    // After the run the bar stays on its own line and is not cleared again.
    EXPECT_EQ(text.find(erase, cleared + 1), std::string::npos) << text;
}

}  // namespace
}  // namespace vireo::cli
