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
    out << "\n'vireo-import COMMAND --help' describes one command.\n";
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
