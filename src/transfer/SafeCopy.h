#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "transfer/CopyDecision.h"

class FileFind;

// What the folder search found of a source file. The defaults stand for facts not known.
struct SourceFacts {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    uint64_t size = 0;
    FILETIME lastWrite{};
};
SourceFacts FoundFacts(const FileFind &finder);

// How a file reaches its target. The one guarantee: a failed copy never destroys a good earlier one, and never
// leaves a partial file behind (a process cut off in the middle of a copy can; see 1).
//  1. A small file (FirstCopyGoesStraight) whose name is not there yet is copied straight to it, with CopyFile's
//     fail-if-exists. That cannot destroy an earlier copy: an existing target (a name the listing did not know,
//     another launcher's copy) makes the copy fail at once, the answer is TargetExists, and the caller delivers it
//     again as existing. A copy that proves short (below) was made by this call under a name that was free, so it is
//     removed; so is what a copy that failed for want of space left (Windows removes a failed copy's remains itself;
//     Wine's CopyFile leaves them). Only a launcher cut off in the middle of such a copy, a matter of milliseconds
//     (a logoff lets the file in hand finish), leaves a partial file under the target's name; the next run copies it
//     again where its time is not the disc's (a reference file is always copied again).
//  2. Every other copy goes into a staging folder of this process's own inside the destination folder: one that
//     replaces an earlier copy, and a large first copy, which takes long enough to be cut off in its middle and
//     which CopyFile gives its full size before it writes it. No file of the patient's can be overwritten there, and
//     under Wine, which searches a whole folder for a name that is not there, a new name in an almost empty folder
//     costs next to nothing. A staged first copy takes its name with a rename that refuses an existing target:
//     TargetExists again.
//  3. A copy counts only when it is whole: its size must be the size the folder search reported. CopyFile may report
//     success after a read error (Wine does, for a scratched disc), so its answer alone is not trusted.
//  4. A whole copy loses the read-only mark a disc's file hands on (it is the viewer's working file). A staged one
//     takes the target's place in one rename, so the earlier copy stays until then. An earlier copy that refuses the
//     rename for its read-only mark loses its marks, and the rename is tried again: Windows refuses to replace a
//     read-only file (Wine allows it).
//  5. Scanners (on-access antivirus, the search indexer, backup agents) open every new file for a moment without
//     delete sharing, and a rename needs delete access. The copy, the rename and the removal of a staged copy are
//     tried again while they meet such a hold (a sharing or lock violation, or access denied to a file that is
//     neither read-only nor a folder), with short growing waits, up to kHoldBudgetMs for the file. A file still held
//     then is Failed, its earlier copy whole; a staged copy that cannot be removed has its staging folder let go of
//     (tried again at the end of the transfer, see RemoveLetGoStagingFolders), and the next file gets a staging
//     folder of its own. Access denied that outlasted a whole budget is taken as a refusal of that kind of operation
//     in that folder (rights that let a user create files but not replace another user's, an immutable folder; not a
//     file another program keeps open, which Windows answers so too: see HeldOpenByAnother) until
//     the same kind succeeds there again: a wait per file would cost minutes and change nothing, and a copy into the
//     staging folder that succeeds says nothing of the rename beside it. Nothing is waited for while nothing holds a
//     file.
// A staging folder is made at the first staged file and removed at the end (while a hold keeps it, at the end of the
// transfer). Its name carries the machine and the
// process (CopyDecision.h). While it lives the process holds a handle on it that refuses its deletion (SMB servers
// honour that for the other computers of a share) and renews the folder's time now and then (which a computer whose
// handles do not reach this one can see). One left by a process that was cut off (a power cut, the task manager) is
// removed by a later run that copies into the same folder; see ClearStagingOfEndedRuns. One that vanishes while in
// use (a cleanup that misjudged it), or the copy staged in it, is made again.
enum class TargetKnown { New, Existing };
enum class Delivered { Copied, Failed, TargetExists };

// The rename that puts a staged copy in its place (MoveFileExA). A test puts in one that behaves as Windows does
// where Wine is kinder.
using MoveFileFunction = BOOL(WINAPI *)(LPCSTR from, LPCSTR to, DWORD flags);
// The wait between two tries (Sleep); a test counts the waits instead of sleeping them.
using WaitFunction = void(WINAPI *)(DWORD ms);
// How long one file's operations may wait, in all, for a hold to go.
constexpr DWORD kHoldBudgetMs = 2000;

// Whether an operation that failed with `error` met a hold (5): `attributes` is what GetFileAttributesA answered for
// the name afterwards, and `attributesError` its error where it answered INVALID_FILE_ATTRIBUTES; both are asked only
// for access denied. Apart from its looking, for a test: Wine gives neither a byte-range lock in the way of a rename
// nor a name whose deletion waits, as Windows does.
bool IsHold(DWORD error, DWORD attributes, DWORD attributesError);

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
    Delivered DeliverNew(const std::string &source, const std::string &target, const SourceFacts &facts,
                         DWORD &waited);
    // `replace`: the target may exist and is replaced; else an existing one is TargetExists.
    Delivered DeliverStaged(const std::string &source, const std::string &target, const SourceFacts &facts,
                            bool replace, DWORD &waited);
    bool MakeStagingFolder();
    // Forgets a staging folder that is gone; the next staged file makes one again.
    bool StagingFolderVanished();
    // Ends the lease on the staging folder and leaves the folder where it is; the next staged file makes a new one.
    void LetGoOfStagingFolder();
    // What a hold delays; a refusal is remembered for one kind in one folder.
    enum class Operation { Copy, Rename, Removal };
    // Tries `attempt` again while it meets a hold on `path`, within the file's budget (`waited`, in ms).
    bool Persist(DWORD &waited, Operation operation, const std::string &path, const std::function<bool()> &attempt);
    void Discard(const std::string &staged, DWORD &waited);

    std::string m_destination;
    std::string m_staging;
    MoveFileFunction m_move;
    WaitFunction m_wait;
    // Access denied that outlasted a whole budget, per folder and kind of operation: a refusal until the same kind
    // succeeds in that folder again.
    struct Refusal {
        std::string folder;
        Operation operation;
    };
    std::vector<Refusal> m_refusals;
    std::vector<Refusal>::iterator FindRefusal(const std::string &folder, Operation operation);
};

// The names in a folder, read with one search, for telling which targets surely do not exist without a call on each
// of them. A name that is not listed is delivered as new, a listed one as existing; since a delivery as new finds an
// existing target itself, a name listed wrongly either way only costs time. So the listing keeps a hash of each
// name, not the name: 8 bytes a file, and a name whose hash it shares with another is simply taken as listed. The
// same search notes the staging folders it meets, with their times.
class FolderListing {
public:
    struct StagingEntry {
        std::string name;
        uint64_t lastWrite = 0; // 100 ns units since 1601
    };
    // A folder that cannot be searched lists nothing.
    explicit FolderListing(const std::string &folder);
    FolderListing() = default;
    bool Has(const std::string &name) const;
    const std::vector<StagingEntry> &StagingFolders() const { return m_staging; }

private:
    std::vector<uint64_t> m_hashes; // sorted
    std::vector<StagingEntry> m_staging;
};

// Removes the staging folders, among those listed, whose owners are gone (MayClearStaging): a folder of this
// machine whose process has ended, and one whose lease ran out and whose owner holds no handle on it. A folder in
// use (another launcher copying the same patient, here or on another computer of a share) stays, and so does
// anything that only looks like a staging folder: a name not exactly of the form, or a folder that holds more than a
// staged copy, which is looked at before anything in it is touched.
void ClearStagingOfEndedRuns(const std::string &destination, const FolderListing &listing);

// This process as the names of its staging folders give it: machine, process id and start time.
const StagingOwner &ThisStagingOwner();

// The clock the leases are renewed by (GetTickCount, ms); a test moves it on rather than waiting kLeaseRenewMs.
using LeaseClock = DWORD(WINAPI *)();
void SetLeaseClock(LeaseClock clock);
// At the end of the transfer: the staging folders this process let go of (a staged copy held past its budget) and
// those whose removal met a hold are tried again while a hold keeps them, for up to kHoldBudgetMs in all. A folder
// that holds anything besides a staged copy is left alone; one still held after that is left to the next run.
void RemoveLetGoStagingFolders(WaitFunction wait = ::Sleep);

// Removes this process's staging folders that hold nothing, wherever its copies stand: for the end of a session,
// which ends the process before any copy can finish. Between two files a staging folder is empty; one that still
// holds a copy on its way is left to the next run.
void RemoveOwnEmptyStagingFolders();

// The debug line of every attempted copy.
void ReportCopy(const std::string &source, const std::string &target, bool ok);
// The debug line of a folder whose listing broke off (FileFind::Broken): the files after it were not reached.
void ReportBrokenListing(const std::string &folder, DWORD error);
