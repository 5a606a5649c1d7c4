#pragma once
#include <string>

// Copies `source` over `target` without ever destroying a good copy: the data goes into a temporary
// file in the target's folder first and replaces the target only when the whole source was read. On
// failure the target is as it was and no temporary file remains. The target's attributes are reset
// first, so a read-only copy left by an earlier disc is replaced.
bool ReplaceWithCopy(const std::string &source, const std::string &target);

// The debug line of every attempted copy.
void ReportCopy(const std::string &source, const std::string &target, bool ok);
