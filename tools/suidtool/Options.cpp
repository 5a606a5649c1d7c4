#include "Options.h"

#include <algorithm>

std::string ParsedOptions::Parse(const std::vector<std::string> &args, std::initializer_list<OptionSpec> specs)
{
    m_given.clear();
    m_positionals.clear();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        // A lone "-" is a positional argument, as usual; anything else starting with '-' must be an option.
        if (arg.size() < 2 || arg[0] != '-') {
            m_positionals.push_back(arg);
            continue;
        }
        const OptionSpec *option =
            std::find_if(specs.begin(), specs.end(), [&arg](const OptionSpec &s) { return arg == s.name; });
        if (option == specs.end())
            return "unknown option " + arg;
        if (m_given.count(arg))
            return arg + " given twice";
        if (!option->takesValue) {
            m_given[arg];
            continue;
        }
        if (i + 1 == args.size())
            return arg + " needs a value";
        m_given[arg] = args[++i];
    }
    return std::string();
}

const std::string *ParsedOptions::Value(const char *name) const
{
    const auto found = m_given.find(name);
    return found == m_given.end() ? nullptr : &found->second;
}
