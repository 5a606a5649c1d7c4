#pragma once
#include <string>
#include <string_view>

// Whole-file reads and writes for the commands. Both print "suidtool: cannot read|write PATH: reason" to
// stderr themselves when they fail, so a command only has to return kExitFailure.

bool ReadWholeFile(const std::string &path, std::string &bytes);

// The first `max` bytes of a file (all of it when max is 0), silently: false with errno set.
bool ReadFileHead(const std::string &path, size_t max, std::string &bytes);

// Writes into a new file beside `path` and renames it over `path` only when every byte is on disk, so an
// interrupted or failed write leaves the old file (or no file) rather than a half-written one.
bool WriteFileAtomically(const std::string &path, std::string_view bytes);
