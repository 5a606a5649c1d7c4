#pragma once
#include <cstdint>
#include <string>

// What the copy worker knows about one file of the patient folder and its copy in the destination.
struct CopyFacts {
    bool targetReadable = false; // the target exists and opens for reading
    uint32_t sourceSize = 0;     // low 32 bits, as the sizes are compared
    uint32_t targetSize = 0;
    std::string sourcePath;  // for the extension
    bool timesKnown = false; // both last-write times could be read
    uint64_t sourceTime = 0;
    uint64_t targetTime = 0;
};

// The text after the last "." of the path (the whole path, so a dot in a folder name counts), or "".
std::string ExtensionOf(const std::string &path);
// Project files ("npj", any case) are always copied again: the viewer rewrites them.
bool IsProjectFile(const std::string &path);
// Copy unless the target has the same size and the same last-write time; a time that cannot be read
// never lets a file be skipped.
bool ShouldCopy(const CopyFacts &facts);
