#pragma once
#include <string>
#include <vector>

#include "DiscRules.h"

// How the commands that refuse (write, make-disc, iso) show the findings of the rules on stderr: each problem as
// "suidtool: refused: ..." (or, with --force, "suidtool: warning: ..."), with up to kItemsShown of its items
// indented below. Returns true when something is refused: a problem without --force, or a blocking one.
bool ReportProblems(const Findings &findings, bool force);

// "suidtool: refused: <reason>" lines of a command's own, then "suidtool: nothing written"; returns kExitFailure.
int Refuse(const std::vector<std::string> &reasons);

// Items of a finding as lines, at most `max` of them (0: all) and "... and N more".
std::vector<std::string> ShownItems(const std::vector<std::string> &items, size_t max);

constexpr size_t kItemsShown = 10;
constexpr char kNothingWritten[] = "nothing written";
