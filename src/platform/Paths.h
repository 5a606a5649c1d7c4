#pragma once
#include <string>

// The full path of the running executable, however long it is.
std::string GetLauncherPath();
// That path cut before its last backslash: "E:" for a launcher at the root of drive E.
std::string GetLauncherFolder();
// Folder and name joined with exactly one backslash added.
std::string JoinPath(const std::string &folder, const std::string &name);
