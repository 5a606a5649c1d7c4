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

// Why files could not be copied, as far as the errors met tell (Win32 error numbers): the disc could not be read or
// was taken out, the destination's drive is full, or writing there was refused. The warning says what helps for each
// cause it knows; a failure of no known cause (a file another program keeps open) says nothing of its own.
enum class FailureCause { Unknown, SourceUnreadable, DestinationFull, WritingRefused };
FailureCause CauseOfError(unsigned long error);
struct FailureCauses {
    bool sourceUnreadable = false;
    std::string fullFolder;    // the first destination folder whose drive was full, or ""
    std::string refusedFolder; // the first destination folder that refused writing, or ""
    void Note(FailureCause cause, const std::string &destinationFolder);
    void Add(const FailureCauses &other);
    bool operator==(const FailureCauses &other) const
    {
        return sourceUnreadable == other.sourceUnreadable && fullFolder == other.fullFolder &&
               refusedFolder == other.refusedFolder;
    }
};

// What a copy of a folder or a tree came to: the files that could not be copied, and why.
struct CopyOutcome {
    int failed = 0;
    FailureCauses causes;
};

// The warning shown before the viewer opens when files could not be copied, or "" when every file arrived. A
// transfer that lost files must not look like one that did not: the viewer would open an incomplete patient.
constexpr char kCopyWarningCaption[] = "Patient disc";
std::string CopyWarningText(int patientFailed, int patientTotal, int referenceFailed,
                            const FailureCauses &causes = FailureCauses());

// A first copy of a name goes straight to it when the file is small: there the staging folder's rename would cost as
// much as the copy. A larger one goes through the staging folder like every other copy, so that a launcher cut off in
// its middle (a logoff that ends the process, the task manager, a power cut) leaves nothing under the file's own name
// (CopyFile gives a new file its full size before it writes the data). Measured in docs/performance.md.
constexpr uint64_t kStraightCopyLimit = 1024 * 1024;
bool FirstCopyGoesStraight(uint64_t size);

// A copy on its way to its target waits in a staging folder that belongs to one launcher process on one machine,
// named after the machine, the process's id and the time it started (a process id alone is used again by later
// processes), with a number that makes it unique beside a folder of the same name that is not the process's own. The
// next run recognises the leftovers of a run that was cut off by this exact name and nothing that merely looks like
// it. The machine matters where the destination is a share that several computers use (or one that two Wine worlds
// reach): a process lookup answers for this machine's processes only.
struct StagingOwner {
    uint32_t machine = 0;
    uint32_t processId = 0;
    uint64_t startTime = 0;
    unsigned number = 0;
    bool machineKnown = true; // false for a name of the form without the machine (earlier launchers)
};
std::string StagingFolderName(const StagingOwner &owner);
bool ParseStagingFolderName(const std::string &name, StagingOwner &owner);
// The machine part of the name: the installation's own identifier (one per Windows installation, one per Wine
// prefix) together with the computer's name (cloned installations may share the identifier, never a name on one
// network).
uint32_t MachineIdentity(const std::string &installationId, const std::string &computerName);
// The one file a staging folder ever holds: the copy on its way.
constexpr char kStagedFileName[] = "copy.tmp";
// How many numbers a process tries for its staging folder in one destination.
constexpr unsigned kStagingAttempts = 64;
// The longest paths a copy into a destination folder of `destinationLength` characters goes through: its staging
// folder (made by CreateDirectoryA) and the copy staged in it (CopyFileA). Where they do not fit the ANSI calls,
// every copy into that destination fails, however short its target.
size_t LongestStagingFolderPath(size_t destinationLength);
size_t LongestStagedCopyPath(size_t destinationLength);

// Whether a staging folder found in a destination may go. A folder of this machine is judged by its process: one
// that has ended is gone for good. A process that cannot be looked at (another user's, a service that took over the
// id) and every folder of another machine are judged by the lease its owner keeps: the folder's time, renewed while
// the owner lives, and a handle the owner holds on it (which the caller meets when it tries to remove the folder).
enum class OwnerProcess { Running, Ended, Unknown };
struct StagingFacts {
    bool thisMachine = false;
    OwnerProcess process = OwnerProcess::Unknown; // asked only for this machine's folders
    uint64_t leaseTime = 0;                       // the folder's last-write time, 100 ns units since 1601
    uint64_t now = 0;                             // this machine's clock, same units
};
// A lease not renewed for this long belongs to an owner that is gone. Renewed far more often than that, so that a
// clock a few minutes apart from the owner's never takes a live folder for stale.
constexpr uint64_t kLeaseStale = 30ull * 60 * 10000000; // 30 minutes
constexpr unsigned kLeaseRenewMs = 60 * 1000;
bool MayClearStaging(const StagingFacts &facts);
