#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliRun.h"
#include "settings/Base64.h"
#include "settings/Encrypt.h"
#include "settings/Registry.h"

namespace vireo::cli {
namespace {

using testing::CliRun;

CliRun ProtectPassword(const std::vector<std::string>& args, const std::string& input) {
    return testing::RunCommand("protect-password", args, input);
}

TEST(ProtectPasswordCommandTest, PrintsBothFormsThatReadBackAsThePassword) {
    // The line is UTF-8; the stored forms hold the Windows-1252 bytes.
    const struct {
        std::string typed;
        std::string password;
    } cases[] = {
        {"secret", "secret"},
        {"", ""},
        {"29 characters long password..", "29 characters long password.."},
        {"caf\xC3\xA9 = \\ ;", "caf\xE9 = \\ ;"},
        {"\xE2\x82\xAC" + std::string(28, 'x'), "\x80" + std::string(28, 'x')},  // 29 characters, 31 bytes typed
    };
    for (const auto& [typed, password] : cases) {
        SCOPED_TRACE(password);
        for (const std::string lineEnd : {"\n", "\r\n", ""}) {
            if (lineEnd.empty() && password.empty()) continue;  // no input at all is refused
            const std::string input = lineEnd.empty() ? typed : typed + lineEnd + "ignored second line\n";
            const CliRun run = ProtectPassword({}, input);
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(run.err, "");

            std::istringstream lines(run.out);
            std::string registryLine, settingsLine, extra;
            std::getline(lines, registryLine);
            std::getline(lines, settingsLine);
            EXPECT_FALSE(std::getline(lines, extra));

            ASSERT_EQ(registryLine.rfind("ODBC_Pass=", 0), 0u) << registryLine;
            const std::optional<std::string> stored = UnescapeRegistryValue(registryLine.substr(10));
            ASSERT_TRUE(stored.has_value());
            EXPECT_EQ(stored->size(), 30u);
            EXPECT_EQ(ClearFromRegistry(*stored), password);

            ASSERT_EQ(settingsLine.rfind("Password=", 0), 0u) << settingsLine;
            EXPECT_EQ(settingsLine.size(), 9u + 40u);
            EXPECT_EQ(Base64Decode(settingsLine.substr(9)), stored);
            EXPECT_EQ(ClearFromSettings(settingsLine.substr(9)), password);
        }
    }
}

TEST(ProtectPasswordCommandTest, RefusesWhatCannotBeStoredOrRead) {
    struct Row {
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string errStart;
    };
    const Row rows[] = {
        {{"extra"}, "secret\n", 2, "vireo-import protect-password: unexpected argument 'extra'\nusage: "},
        {{}, "", 2, "vireo-import protect-password: no password on standard input\n"},
        {{},
         std::string(30, 'p') + "\n",
         2,
         "vireo-import protect-password: the password is too long (30 characters; at most 29 can be stored)\n"},
        {{},
         "pass:word\n",
         2,
         "vireo-import protect-password: the password cannot hold ':' (it would be read back only up to it)\n"},
        {{},
         "T\xCE\xA9\n",  // TΩ
         2,
         "vireo-import protect-password: the password holds a character that Windows-1252 cannot hold (the line is "
         "read as UTF-8)\n"},
        {{},
         "caf\xE9\n",  // Windows-1252 bytes are no UTF-8
         2,
         "vireo-import protect-password: the password holds a character that Windows-1252 cannot hold (the line is "
         "read as UTF-8)\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        const CliRun run = ProtectPassword(row.args, row.input);
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.substr(0, row.errStart.size()), row.errStart);
    }
}

TEST(ProtectPasswordCommandTest, HelpDescribesTheCommand) {
    const CliRun run = ProtectPassword({"--help"}, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("usage: vireo-import protect-password [--help]\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("HKEY_LOCAL_MACHINE\\Software\\Quenta Corporation\\Tarnfold\\Settings"), std::string::npos);

    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(RunCli({"--help"}, in, out, err), 0);
    EXPECT_NE(out.str().find("protect-password"), std::string::npos);
}

}  // namespace
}  // namespace vireo::cli
