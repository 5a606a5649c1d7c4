#pragma once
#include <cstdint>
#include <string>

// A file's times as a folder search or an open file gives them, in 100 ns units since 1601.
struct FileTimes {
    uint64_t creation = 0;
    uint64_t lastWrite = 0;
};

// What the copy worker knows about one file of the patient folder and its copy in the destination.
struct CopyFacts {
    bool targetReadable = false; // the target exists and opens for reading
    uint64_t sourceSize = 0;
    uint64_t targetSize = 0;
    std::string sourcePath;  // for the extension
    bool timesKnown = false; // both files' times could be read
    FileTimes sourceTimes;
    FileTimes targetTimes;
};

// The text after the last "." of the path (the whole path, so a dot in a folder name counts), or "".
std::string ExtensionOf(const std::string &path);
// Project files ("npj", any case) are always copied again: the viewer rewrites them.
bool IsProjectFile(const std::string &path);
// Copy unless the target has the same size and the same last-write time; a time that cannot be read never lets a
// file be skipped. The creation time says nothing here: a copy gets the source's last-write time, but on Windows its
// creation time is the moment it was made.
bool ShouldCopy(const CopyFacts &facts);

// The warning shown before the viewer opens when files could not be copied, or "" when every file arrived. A
// transfer that lost files must not look like one that did not: the viewer would open an incomplete patient.
constexpr char kCopyWarningCaption[] = "Patient disc";
std::string CopyWarningText(int patientFailed, int patientTotal, int referenceFailed);

// A copy on its way to its target waits in a staging folder that belongs to one launcher process, named after the
// process's id and the time it started (a process id alone is used again by later processes), with a number that
// makes it unique beside a folder of the same name that is not the process's own. The next run recognises the
// leftovers of a run that was cut off by this exact name and nothing that merely looks like it.
struct StagingOwner {
    uint32_t processId = 0;
    uint64_t startTime = 0;
    unsigned number = 0;
};
std::string StagingFolderName(const StagingOwner &owner);
bool ParseStagingFolderName(const std::string &name, StagingOwner &owner);
// The one file a staging folder ever holds: the copy on its way.
constexpr char kStagedFileName[] = "copy.tmp";
// How many numbers a process tries for its staging folder in one destination.
constexpr unsigned kStagingAttempts = 64;
// The longest paths a copy into a destination folder of `destinationLength` characters goes through: its staging
// folder (made by CreateDirectoryA) and the copy staged in it (CopyFileA). Where they do not fit the ANSI calls,
// every copy into that destination fails, however short its target.
size_t LongestStagingFolderPath(size_t destinationLength);
size_t LongestStagedCopyPath(size_t destinationLength);
