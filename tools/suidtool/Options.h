#pragma once
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

// The command line of one command: "--name value" options, "--name" flags and positional arguments, in any
// order. Each option may be given once.
struct OptionSpec {
    const char *name;
    bool takesValue;
};

class ParsedOptions {
public:
    // Returns "" when the arguments fit the specs, else what is wrong, for UsageError.
    std::string Parse(const std::vector<std::string> &args, std::initializer_list<OptionSpec> specs);

    // nullptr when the option was not given.
    const std::string *Value(const char *name) const;
    bool Has(const char *name) const { return m_given.count(name) != 0; }
    const std::vector<std::string> &Positionals() const { return m_positionals; }

private:
    std::map<std::string, std::string> m_given;
    std::vector<std::string> m_positionals;
};
