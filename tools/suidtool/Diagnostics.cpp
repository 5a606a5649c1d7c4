#include "Diagnostics.h"

#include <cstdio>

#include "Command.h"

void Complain(const std::string &text)
{
    std::fprintf(stderr, "%s: %s\n", kToolName, text.c_str());
}

void Warn(const std::string &text)
{
    std::fprintf(stderr, "%s: warning: %s\n", kToolName, text.c_str());
}

std::vector<std::string> ShownItems(const std::vector<std::string> &items, size_t max)
{
    const size_t shown = max == 0 ? items.size() : std::min(items.size(), max);
    std::vector<std::string> lines(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(shown));
    if (shown < items.size())
        lines.push_back("... and " + std::to_string(items.size() - shown) + " more");
    return lines;
}

bool ReportProblems(const Findings &findings, bool force)
{
    bool refused = false;
    for (const Finding &finding : findings.List()) {
        if (finding.rule->severity != Severity::Problem)
            continue;
        const bool refuses = !force || finding.rule->blocking;
        refused |= refuses;
        std::string text = finding.rule->text;
        for (const std::string &item : ShownItems(finding.items, kItemsShown))
            text += "\n    " + item;
        if (refuses)
            Complain("refused: " + text);
        else
            Warn(text);
    }
    return refused;
}

int Refuse(const std::vector<std::string> &reasons)
{
    for (const std::string &reason : reasons)
        Complain("refused: " + reason);
    Complain(kNothingWritten);
    return kExitFailure;
}
