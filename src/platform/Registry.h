#pragma once
#include <windows.h>

#include <string>

// Reads a string value into a buffer of `bufferSize` bytes. Only REG_SZ and REG_EXPAND_SZ (unexpanded)
// count, and only when the text and its terminating zero fit the buffer; everything else reads as
// missing (false). Nothing is read past the buffer, whatever the stored data holds.
bool ReadRegString(HKEY root, const char *subKey, const char *name, size_t bufferSize, std::string &value);
bool RegKeyExists(HKEY root, const char *subKey);
