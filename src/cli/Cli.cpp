#include "cli/Cli.h"

#include <algorithm>
#include <iostream>
#include <map>

#include "settings/VersionInfo.h"

namespace vireo::cli {
namespace {

std::map<std::string, Command>& Commands() {
    static std::map<std::string, Command> commands;
    return commands;
}

void PrintUsage(std::ostream& out) {
    out << "usage: vireo-import COMMAND [ARGS...]\n"
           "       vireo-import --version | --help\n\ncommands:\n";
    for (const auto& [name, command] : Commands()) out << "  " << name << "  " << command.summary << "\n";
    out << "\n'vireo-import COMMAND --help' describes one command.\n"
           "\nexit status:\n"
           "  0    the work was done\n"
           "  1    an error ended it (a file could not be read, the connection failed)\n"
           "  2    bad arguments or a failed check (missing file, empty import list, a\n"
           "       question answered \"cancel\", --password-env naming a variable not set)\n"
           "  3    an import ended with values not written\n"
           "  130  an import stopped by Ctrl-C; 143 by SIGTERM; 129 by SIGHUP\n"
           "  141  an import stopped because standard output was closed\n";
}

}  // namespace

Registrar::Registrar(std::string name, std::string summary, CommandFunction run) {
    Command command{name, std::move(summary), std::move(run)};
    Commands().insert_or_assign(std::move(name), std::move(command));
}

int RunCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        PrintUsage(err);
        return 2;
    }
    const std::string& first = args.front();
    if (first == "--version") {
        out << "vireo-import " << ThisVersionLine() << "\n";
        return 0;
    }
    if (first == "--help" || first == "-h") {
        PrintUsage(out);
        return 0;
    }
    auto found = Commands().find(first);
    if (found == Commands().end()) {
        err << "vireo-import: unknown command '" << first << "'\n";
        PrintUsage(err);
        return 2;
    }
    CommandContext context{std::vector<std::string>(args.begin() + 1, args.end()), in, out, err};
    try {
        return found->second.run(context);
    } catch (const std::exception& e) {
        err << "vireo-import " << first << ": " << e.what() << "\n";
        return 1;
    }
}

}  // namespace vireo::cli
