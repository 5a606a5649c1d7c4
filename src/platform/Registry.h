#pragma once
#include <windows.h>

#include <string>

// The registry view of a 32-bit program's keys. On 64-bit Windows a 32-bit installer writes HKLM\SOFTWARE below
// WOW6432Node, which a 32-bit reader reaches by redirection and a 64-bit one only through this flag; 32-bit
// Windows XP SP3 and later ignore it.
constexpr REGSAM kRegView32 = KEY_WOW64_32KEY;

// Reads a string value into a buffer of `bufferSize` bytes. Only REG_SZ and REG_EXPAND_SZ (unexpanded)
// count, and only when the text and its terminating zero fit the buffer; everything else reads as
// missing (false). Nothing is read past the buffer, whatever the stored data holds.
// `view` is added to the access asked for (kRegView32, or 0 for the program's own view).
bool ReadRegString(HKEY root, const char *subKey, const char *name, size_t bufferSize, std::string &value,
                   REGSAM view = 0);
