#pragma once

#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace vireo::cli {

/// Options of one subcommand: "--name VALUE" (repeatable ones collect every
/// value) and "--flag"; options may stand before or after the positional
/// arguments.
class CliOptions {
public:
    CliOptions& Value(std::string name, bool repeatable = false);
    CliOptions& Flag(std::string name);

    /// False (with the reason in `error`) on an unknown option or a missing value.
    bool Parse(const std::vector<std::string>& args, std::string& error);

    bool Has(const std::string& name) const { return values_.count(name) != 0 || flags_.count(name) != 0; }
    std::string Get(const std::string& name, const std::string& fallback = "") const;
    const std::vector<std::string>& All(const std::string& name) const;
    const std::vector<std::string>& Positional() const { return positional_; }

private:
    std::map<std::string, bool> known_values_;  // name -> repeatable
    std::set<std::string> known_flags_;
    std::map<std::string, std::vector<std::string>> values_;
    std::set<std::string> flags_;
    std::vector<std::string> positional_;
};

}  // namespace vireo::cli
