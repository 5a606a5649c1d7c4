#pragma once
#include <cstddef>
#include <string>

namespace launch {
// The shell's buffers for a program path hold MAX_PATH (260) bytes with the terminating zero: a longer
// path cannot be started, and some shells overrun a fixed buffer on it. Windows' own value, spelled here
// so that the rule stays testable without <windows.h>.
constexpr size_t kShellPathBuffer = 260;

// True when the shell may be handed `file` to start: at most 259 characters.
inline bool ShellTakesProgramPath(const std::string &file) { return file.size() < kShellPathBuffer; }
} // namespace launch
