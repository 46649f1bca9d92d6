#include "cli/CliOptions.h"

namespace vireo::cli {

CliOptions& CliOptions::Value(std::string name, bool repeatable) {
    known_values_[std::move(name)] = repeatable;
    return *this;
}

CliOptions& CliOptions::Flag(std::string name) {
    known_flags_.insert(std::move(name));
    return *this;
}

bool CliOptions::Parse(const std::vector<std::string>& args, std::string& error) {
    bool onlyPositional = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyPositional || arg.size() < 2 || arg[0] != '-') {
            positional_.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPositional = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool inlineValue = false;
        if (auto eq = arg.find('='); eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        if (known_flags_.count(name) != 0 && !inlineValue) {
            flags_.insert(name);
            continue;
        }
        auto known = known_values_.find(name);
        if (known == known_values_.end()) {
            error = "unknown option '" + name + "'";
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                error = "option '" + name + "' needs a value";
                return false;
            }
            value = args[++i];
        }
        auto& slot = values_[name];
        if (!known->second) slot.clear();
        slot.push_back(std::move(value));
    }
    return true;
}

std::string CliOptions::Get(const std::string& name, const std::string& fallback) const {
    auto found = values_.find(name);
    return found == values_.end() || found->second.empty() ? fallback : found->second.back();
}

const std::vector<std::string>& CliOptions::All(const std::string& name) const {
    static const std::vector<std::string> none;
    auto found = values_.find(name);
    return found == values_.end() ? none : found->second;
}

}  // namespace vireo::cli
