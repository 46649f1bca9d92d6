// vireo-import protect-password: the two stored forms of a database password,
// ready to paste into the installation's registry file and into the
// application settings file.

#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <optional>
#include <string>

#include "cli/Cli.h"
#include "db/TextEncoding.h"
#include "settings/Base64.h"
#include "settings/Encrypt.h"
#include "settings/Registry.h"

namespace vireo::cli {
namespace {

constexpr const char* kName = "vireo-import protect-password";

void PrintUsage(std::ostream& out) {
    out << "usage: " << kName
        << " [--help]\n"
           "\n"
           "Reads one password line from standard input and prints its protected forms:\n"
           "  ODBC_Pass=...  for the key ["
        << kTarnfoldSettingsKey
        << "]\n"
           "                 of the registry file ("
        << kDefaultRegistryPath << " or $" << kRegistryVariable
        << ")\n"
           "  Password=...   for the section [DataBase] of the settings file (.VFG)\n"
           "The password can have up to 29 characters and no ':'.\n";
}

/// Keeps a password typed at a terminal off the screen while it is read.
class HiddenTyping {
public:
    explicit HiddenTyping(bool fromTerminal) {
        if (!fromTerminal || ::tcgetattr(STDIN_FILENO, &saved_) != 0) return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        active_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    HiddenTyping(const HiddenTyping&) = delete;
    HiddenTyping& operator=(const HiddenTyping&) = delete;
    ~HiddenTyping() {
        if (active_) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
    }
    bool Active() const { return active_; }

private:
    termios saved_{};
    bool active_ = false;
};

int RunProtectPassword(CommandContext& context) {
    for (const std::string& arg : context.args) {
        if (arg == "--help" || arg == "-h") {
            PrintUsage(context.out);
            return 0;
        }
    }
    if (!context.args.empty()) {
        context.err << kName << ": unexpected argument '" << context.args.front() << "'\n";
        PrintUsage(context.err);
        return 2;
    }

    std::string password;
    bool read = false;
    {
        const HiddenTyping hidden(&context.in == &std::cin && ::isatty(STDIN_FILENO));
        if (hidden.Active()) context.err << "Password: " << std::flush;
        read = static_cast<bool>(std::getline(context.in, password));
        if (hidden.Active()) context.err << "\n";
    }
    if (!read) {
        context.err << kName << ": no password on standard input\n";
        return 2;
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();

    // The line is UTF-8 text; the protected form holds the Windows-1252 bytes
    // the window stores for the same password.
    std::optional<std::string> converted = Utf8ToWindows1252Exact(password);
    if (!converted) {
        context.err << kName
                    << ": the password holds a character that Windows-1252 cannot hold (the line is read as UTF-8)\n";
        return 2;
    }
    password = std::move(*converted);

    // The protected form holds the password, ':' and a time stamp in 30 bytes;
    // anything that does not fit would read back as another password.
    if (password.size() >= TXEncrypt::kProtectedSize) {
        context.err << kName << ": the password is too long (" << password.size()
                    << " characters; at most 29 can be stored)\n";
        return 2;
    }
    if (password.find(':') != std::string::npos) {
        context.err << kName << ": the password cannot hold ':' (it would be read back only up to it)\n";
        return 2;
    }

    const std::string stored = TXEncrypt().EncryptPassword(password);
    context.out << "ODBC_Pass=" << EscapeRegistryValue(stored) << "\n";
    context.out << "Password=" << Base64Encode(stored) << "\n";
    return 0;
}

const Registrar reg{"protect-password", "print the stored forms of a password read from standard input",
                    &RunProtectPassword};

}  // namespace
}  // namespace vireo::cli
