#pragma once
#include <string>

// printf-style formatting into a std::string of any length.
std::string Format(const char *format, ...) __attribute__((format(printf, 1, 2)));
// One line on the platform's debug output (and in the run's log, see RunLog.h).
void DebugLine(const char *format, ...) __attribute__((format(printf, 1, 2)));
