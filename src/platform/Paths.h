#pragma once
#include <string>

// The full path of the running executable, however long it is.
std::string GetLauncherPath();
// That path cut before its last backslash: "E:" for a launcher at the root of drive E.
std::string GetLauncherFolder();
// Folder and name joined with exactly one backslash added.
std::string JoinPath(const std::string &folder, const std::string &name);

// Whether a byte starts a double-byte character in the machine's ANSI code page (932, 936, 949, 950): the byte
// after it belongs to the same character, even when it is '\' or '|'.
bool IsAnsiLeadByte(unsigned char c);
// The position of the last of `separators` in the path that is a character of its own, not the second byte of a
// double-byte character; std::string::npos when there is none.
size_t LastSeparator(const std::string &path, const char *separators = "\\");
