#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class FileFind;

// What the folder search found of a source file. The defaults stand for facts not known.
struct SourceFacts {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    uint64_t size = 0;
    FILETIME lastWrite{};
};
SourceFacts FoundFacts(const FileFind &finder);

// How a file reaches its target. The one guarantee: a failed copy never destroys a good earlier one, and never
// leaves a partial file behind.
//  1. The source is copied into a staging folder of this process's own inside the destination folder. No file of
//     the patient's can be overwritten there, and under Wine, which searches a whole folder for a name that is not
//     there, a new name in an almost empty folder costs next to nothing.
//  2. The staged copy counts only when it is whole: its size must be the size the folder search reported. CopyFile
//     may report success after a read error (Wine does, for a scratched disc), so its answer alone is not trusted.
//  3. A whole copy loses the read-only mark a disc's file hands on (it is the viewer's working file) and takes the
//     target's place in one rename, so the earlier copy stays until then. An earlier copy that refuses the rename
//     for its read-only mark loses its marks, and the rename is tried again: Windows refuses to replace a read-only
//     file (Wine allows it). A target the caller believes new is not overwritten: when one is there after all (a
//     name the listing did not know, another launcher's copy) the answer is TargetExists and the caller decides
//     again.
//  4. Scanners (on-access antivirus, the search indexer, backup agents) open every new file for a moment without
//     delete sharing, and a rename needs delete access. The copy onto the staged name, the rename and the removal of
//     a staged copy are tried again while they meet such a hold (a sharing or lock violation, or access denied to a
//     file that is not read-only), with short growing waits, up to kHoldBudgetMs for the file. A file still held
//     then is Failed, its earlier copy whole; a staged copy that cannot be removed leaves its staging folder to the
//     next run, and the next file gets a staging folder of its own. Access denied that outlasted a whole budget is
//     taken as a refusal from then on (an immutable folder), until an operation succeeds again: a wait per file
//     would cost minutes and change nothing. A staging folder that vanished (removed by another launcher) is made
//     again. Nothing is waited for while nothing holds a file.
// The staging folder is made at the first file and removed at the end. One left by a process that was cut off (a
// power cut, the task manager) is removed by the next run that copies into the same folder; see
// ClearStagingOfEndedRuns.
enum class TargetKnown { New, Existing };
enum class Delivered { Copied, Failed, TargetExists };

// The rename that puts a staged copy in its place (MoveFileExA). A test puts in one that behaves as Windows does
// where Wine is kinder.
using MoveFileFunction = BOOL(WINAPI *)(LPCSTR from, LPCSTR to, DWORD flags);
// The wait between two tries (Sleep); a test counts the waits instead of sleeping them.
using WaitFunction = void(WINAPI *)(DWORD ms);
// How long one file's operations may wait, in all, for a hold to go.
constexpr DWORD kHoldBudgetMs = 2000;

class Delivery {
public:
    explicit Delivery(const std::string &destination, MoveFileFunction move = ::MoveFileExA,
                      WaitFunction wait = ::Sleep);
    ~Delivery();
    Delivery(const Delivery &) = delete;
    Delivery &operator=(const Delivery &) = delete;

    Delivered Deliver(const std::string &source, const std::string &target, const SourceFacts &facts,
                      TargetKnown known);
    // The staging folder while it exists, else "".
    const std::string &StagingFolder() const { return m_staging; }

private:
    bool MakeStagingFolder();
    // Tries `attempt` again while it meets a hold on `path`, within the file's budget (`waited`, in ms).
    bool Persist(DWORD &waited, const std::string &path, const std::function<bool()> &attempt);
    void Discard(const std::string &staged, DWORD &waited);

    std::string m_destination;
    std::string m_staging;
    MoveFileFunction m_move;
    WaitFunction m_wait;
    // Access denied outlasted a whole budget: taken as a refusal until an operation succeeds again.
    bool m_deniedPersists = false;
};

// The names in a folder, read with one search, for telling which targets surely do not exist without a call on each
// of them. A name that is not listed is delivered as new, a listed one as existing; since a delivery as new finds an
// existing target itself, a name listed wrongly either way only costs time. So the listing keeps a hash of each
// name, not the name: 8 bytes a file, and a name whose hash it shares with another is simply taken as listed. The
// same search notes the staging folders it meets.
class FolderListing {
public:
    // A folder that cannot be searched lists nothing.
    explicit FolderListing(const std::string &folder);
    FolderListing() = default;
    bool Has(const std::string &name) const;
    const std::vector<std::string> &StagingFolders() const { return m_staging; }

private:
    std::vector<uint64_t> m_hashes; // sorted
    std::vector<std::string> m_staging;
};

// Removes the staging folders, among those listed, of launcher processes that have ended: the file a cut-off copy
// left in one, then the folder. A folder of a process that still runs (another launcher copying the same patient)
// stays, and so does anything that only looks like a staging folder: a name not exactly of the form, or a folder
// that holds more than a staged copy.
void ClearStagingOfEndedRuns(const std::string &destination, const FolderListing &listing);

// Removes this process's staging folders that hold nothing, wherever its copies stand: for the end of a session,
// which ends the process before any copy can finish. Between two files a staging folder is empty; one that still
// holds a copy on its way is left to the next run.
void RemoveOwnEmptyStagingFolders();

// The debug line of every attempted copy.
void ReportCopy(const std::string &source, const std::string &target, bool ok);
