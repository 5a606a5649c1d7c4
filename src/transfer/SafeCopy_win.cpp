#include "SafeCopy.h"

#include <windows.h>

#include <algorithm>

#include "platform/DebugOut.h"
#include "platform/FileFind.h"
#include "platform/Handles.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "transfer/CopyDecision.h"

// A hold that goes by itself: another program has the file open without the sharing the operation needs, or has
// locked a range of it. Access denied is one only for a file that is there and neither read-only nor a folder (either
// refuses for good), or for a name that cannot even be looked at: a file whose deletion waits for the last handle on
// it.
bool IsHold(DWORD error, DWORD attributes, DWORD attributesError)
{
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        return true;
    if (error != ERROR_ACCESS_DENIED)
        return false;
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return attributesError == ERROR_ACCESS_DENIED;
    return !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

namespace {
constexpr char kCopyLine[] = "Copy File : %s => %s : %s\n";
constexpr char kBrokenListingLine[] = "List Folder : %s : Failed (error %lu): the files after it were not reached\n";

uint64_t ToUint64(const FILETIME &t)
{
    return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

void RemoveFile(const std::string &path)
{
    // A copy carries the source's read-only mark, which would keep it from being deleted.
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(path.c_str());
}

// Files on a disc are read-only, and the copy carries the mark: the viewer could not save the project it is
// started on. The copies in the viewer's folders are its working files, so the mark goes; the other attributes
// stay as they came. The copy's attributes are the source's.
void MakeWritable(const std::string &path, DWORD sourceAttributes)
{
    if (sourceAttributes != INVALID_FILE_ATTRIBUTES && (sourceAttributes & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesA(path.c_str(), sourceAttributes & ~FILE_ATTRIBUTE_READONLY);
}

// The name is looked at only where the answer depends on it.
bool IsHold(DWORD error, const std::string &path)
{
    DWORD attributes = INVALID_FILE_ATTRIBUTES, attributesError = ERROR_SUCCESS;
    if (error == ERROR_ACCESS_DENIED) {
        attributes = ::GetFileAttributesA(path.c_str());
        attributesError = attributes == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : ERROR_SUCCESS;
    }
    return ::IsHold(error, attributes, attributesError);
}

// Windows answers a rename over a file that another program keeps open with access denied, as it answers rights that
// refuse it. A handle that may delete the file, every sharing granted, tells them apart: another program's handle
// meets it as a sharing violation, where rights refuse it outright.
bool HeldOpenByAnother(const std::string &path)
{
    FileHandle probe(::CreateFileA(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return !probe && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

// Waits of 1, 2, 4 ... ms, at most this long each: a scanner's hold lasts some milliseconds to a few hundred.
constexpr DWORD kLongestHoldWaitMs = 250;

// Takes a file's read-only mark off, and only that mark (a hidden or system file stays one); false where it had none.
bool ClearReadOnlyMark(const std::string &path)
{
    const DWORD marks = ::GetFileAttributesA(path.c_str());
    if (marks == INVALID_FILE_ATTRIBUTES || !(marks & FILE_ATTRIBUTE_READONLY))
        return false;
    const DWORD others = marks & ~FILE_ATTRIBUTE_READONLY;
    return ::SetFileAttributesA(path.c_str(), others ? others : FILE_ATTRIBUTE_NORMAL) != FALSE;
}

bool AlreadyExists(DWORD error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

bool Gone(const std::string &path)
{
    if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// False where there is no file (nothing, or a folder).
bool FileSize(const std::string &path, uint64_t &size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    return true;
}

bool HasSize(const std::string &path, uint64_t size)
{
    uint64_t actual = 0;
    return FileSize(path, actual) && actual == size;
}

bool OutOfSpace(DWORD error)
{
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

// This process as the names of its staging folders give it, read once.
StagingOwner ReadThisStagingOwner()
{
    StagingOwner owner;
    owner.processId = ::GetCurrentProcessId();
    FILETIME created, exited, kernel, user;
    if (::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user))
        owner.startTime = ToUint64(created);
    // The installation's identifier lies in the 64-bit view of the registry, which a 32-bit program on 64-bit Windows
    // reaches only by asking for it; 32-bit Windows ignores the flag, and a system that refuses it is asked again
    // without it.
    const char kCryptography[] = "SOFTWARE\\Microsoft\\Cryptography";
    std::string installation;
    if (!ReadRegString(HKEY_LOCAL_MACHINE, kCryptography, "MachineGuid", 128, installation, KEY_WOW64_64KEY))
        ReadRegString(HKEY_LOCAL_MACHINE, kCryptography, "MachineGuid", 128, installation);
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof(computer);
    if (!::GetComputerNameA(computer, &length))
        computer[0] = '\0';
    owner.machine = MachineIdentity(installation, computer);
    return owner;
}

// Asked of a process of this machine. A process id is given to a new process once the old one is gone, so the start
// time tells the two apart. The limited right (Vista and later) is granted on nearly every process, services' and
// other users' included; XP knows only the full one. A process that cannot be looked at either way (on Vista and
// later, a service that took over a dead launcher's id) is not known, and its folder is judged by its lease.
constexpr DWORD kQueryLimitedInformation = 0x1000; // PROCESS_QUERY_LIMITED_INFORMATION

OwnerProcess StateOf(const StagingOwner &owner)
{
    for (const DWORD access : {kQueryLimitedInformation, DWORD(PROCESS_QUERY_INFORMATION)}) {
        KernelHandle process(::OpenProcess(access, FALSE, owner.processId));
        if (!process) {
            if (::GetLastError() == ERROR_INVALID_PARAMETER)
                return OwnerProcess::Ended;
            continue;
        }
        DWORD code = 0;
        FILETIME created, exited, kernel, user;
        if (!::GetExitCodeProcess(process.Get(), &code))
            continue;
        if (code != STILL_ACTIVE)
            return OwnerProcess::Ended;
        if (!::GetProcessTimes(process.Get(), &created, &exited, &kernel, &user))
            continue;
        return ToUint64(created) == owner.startTime ? OwnerProcess::Running : OwnerProcess::Ended;
    }
    return OwnerProcess::Unknown;
}

bool HoldsAtMostAStagedCopy(const std::string &folder)
{
    FileFind finder;
    bool more = finder.FindFile(folder + "\\*.*");
    while (more) {
        more = finder.FindNextFile();
        if (finder.IsDots())
            continue;
        if (finder.IsDirectory() || ::lstrcmpiA(finder.GetFileName().c_str(), kStagedFileName) != 0)
            return false;
    }
    return true;
}

// A hash of the name without regard to ASCII case (FNV-1a). The file system's own folding may differ for other
// characters, and a double-byte character's trailing byte may be folded here: that only moves a name to the slower,
// safe way.
uint64_t FoldedHash(const std::string &name)
{
    uint64_t hash = 14695981039346656037ull;
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        hash *= 1099511628211ull;
    }
    return hash;
}
// The staging folders this process has made and not yet removed, each with its lease: a handle on the folder that
// refuses its deletion to everybody else, and through which the folder's time is renewed. The patient copy and the
// reference copy run on threads of their own, and the end of a session reads the list from a third.
class OpenStagingFolders {
public:
    OpenStagingFolders() { ::InitializeCriticalSection(&m_lock); }
    OpenStagingFolders(const OpenStagingFolders &) = delete;
    OpenStagingFolders &operator=(const OpenStagingFolders &) = delete;

    void Add(const std::string &folder)
    {
        // Reading and writing shared: the process's own copies and renames in the folder need neither the folder's
        // deletion nor anything else of it. A handle that may only write attributes takes no part in sharing (on
        // Windows as under Wine) and would refuse nobody: the right to list the folder makes its sharing count.
        HANDLE lease = ::CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY | FILE_WRITE_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        Locked locked(m_lock);
        m_folders.push_back(Entry{folder, lease});
    }
    // Ends the lease; the caller removes the folder when it can.
    void Remove(const std::string &folder)
    {
        Locked locked(m_lock);
        RemoveLocked(folder);
    }
    // Ends the lease on a folder that could not be removed yet; the end of the transfer tries it again.
    void LetGo(const std::string &folder)
    {
        Locked locked(m_lock);
        RemoveLocked(folder);
        m_letGo.push_back(folder);
    }
    std::vector<std::string> TakeLetGo()
    {
        Locked locked(m_lock);
        std::vector<std::string> folders;
        folders.swap(m_letGo);
        return folders;
    }
    // A folder's time changes with every file made or renamed in it; one that waits (while the copies go straight to
    // new names, or into folders on another volume) has its time renewed now and then.
    void RenewIfDue()
    {
        Locked locked(m_lock);
        const DWORD now = m_clock();
        if (now - m_renewed < kLeaseRenewMs)
            return;
        m_renewed = now;
        FILETIME time;
        ::GetSystemTimeAsFileTime(&time);
        for (const Entry &entry : m_folders)
            if (entry.lease != INVALID_HANDLE_VALUE)
                ::SetFileTime(entry.lease, nullptr, nullptr, &time);
    }
    void SetClock(LeaseClock clock)
    {
        Locked locked(m_lock);
        m_clock = clock;
    }
    // The end of the session: the leases go, and the folders that hold nothing with them.
    void RemoveEmpty()
    {
        Locked locked(m_lock);
        for (Entry &entry : m_folders) {
            Close(entry);
            ::RemoveDirectoryA(entry.folder.c_str());
        }
    }

private:
    struct Entry {
        std::string folder;
        HANDLE lease;
    };
    class Locked {
    public:
        explicit Locked(CRITICAL_SECTION &lock) : m_lock(lock) { ::EnterCriticalSection(&m_lock); }
        ~Locked() { ::LeaveCriticalSection(&m_lock); }
        Locked(const Locked &) = delete;
        Locked &operator=(const Locked &) = delete;

    private:
        CRITICAL_SECTION &m_lock;
    };
    void RemoveLocked(const std::string &folder)
    {
        for (auto it = m_folders.begin(); it != m_folders.end();) {
            if (it->folder == folder) {
                Close(*it);
                it = m_folders.erase(it);
            } else {
                ++it;
            }
        }
    }
    static void Close(Entry &entry)
    {
        if (entry.lease != INVALID_HANDLE_VALUE)
            ::CloseHandle(entry.lease);
        entry.lease = INVALID_HANDLE_VALUE;
    }

    CRITICAL_SECTION m_lock;
    std::vector<Entry> m_folders;
    LeaseClock m_clock = ::GetTickCount;
    std::vector<std::string> m_letGo;
    DWORD m_renewed = ::GetTickCount();
};

OpenStagingFolders g_openStaging;

// The time of a folder, read from the folder itself: NTFS updates the copy that a search of its parent reports only
// now and then.
bool FolderTime(const std::string &folder, uint64_t &time)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(folder.c_str(), GetFileExInfoStandard, &data))
        return false;
    time = ToUint64(data.ftLastWriteTime);
    return true;
}

// Removes a staging folder that another run left, unless its owner still holds it. It is looked at first: only a
// folder that holds nothing but a staged copy is one, and only then is anything in it deleted.
void RemoveLeftStagingFolder(const std::string &folder)
{
    // The owner's lease refuses a handle that may delete the folder: here, and from another computer of a share.
    if (!FileHandle(::CreateFileA(folder.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)))
        return;
    if (!HoldsAtMostAStagedCopy(folder))
        return;
    RemoveFile(JoinPath(folder, kStagedFileName));
    // Fails, and leaves the folder, when something arrived in it meanwhile.
    ::RemoveDirectoryA(folder.c_str());
}

// Removes a staging folder of this process's own, with the copy it may still hold. True once nothing is left to do:
// the folder is gone, or it holds something besides a staged copy (which is not this process's to delete).
bool RemoveOwnStagingFolder(const std::string &folder)
{
    if (Gone(folder) || !HoldsAtMostAStagedCopy(folder))
        return true;
    RemoveFile(JoinPath(folder, kStagedFileName));
    return ::RemoveDirectoryA(folder.c_str()) != FALSE || Gone(folder);
}

std::string FolderOf(const std::string &path)
{
    const size_t slash = LastSeparator(path);
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}
} // namespace

const StagingOwner &ThisStagingOwner()
{
    static const StagingOwner self = ReadThisStagingOwner();
    return self;
}

void SetLeaseClock(LeaseClock clock)
{
    g_openStaging.SetClock(clock);
}

void RemoveLetGoStagingFolders(WaitFunction wait)
{
    std::vector<std::string> folders = g_openStaging.TakeLetGo();
    DWORD waited = 0, pause = 1;
    for (;;) {
        folders.erase(std::remove_if(folders.begin(), folders.end(), RemoveOwnStagingFolder), folders.end());
        if (folders.empty() || waited >= kHoldBudgetMs)
            break;
        pause = std::min(pause, kHoldBudgetMs - waited);
        wait(pause);
        waited += pause;
        pause = std::min(pause * 2, kLongestHoldWaitMs);
    }
}

void RemoveOwnEmptyStagingFolders()
{
    g_openStaging.RemoveEmpty();
}

void ReportCopy(const std::string &source, const std::string &target, bool ok)
{
    DebugLine(kCopyLine, source.c_str(), target.c_str(), ok ? "Success" : "Failed");
}

void ReportBrokenListing(const std::string &folder, DWORD error)
{
    DebugLine(kBrokenListingLine, folder.c_str(), static_cast<unsigned long>(error));
}

SourceFacts FoundFacts(const FileFind &finder)
{
    return SourceFacts{finder.GetAttributes(), finder.GetLength(), finder.GetLastWriteTime()};
}

Delivery::Delivery(const std::string &destination, MoveFileFunction move, WaitFunction wait)
    : m_destination(destination), m_move(move), m_wait(wait)
{
}

std::vector<Delivery::Refusal>::iterator Delivery::FindRefusal(const std::string &folder, Operation operation)
{
    return std::find_if(m_refusals.begin(), m_refusals.end(), [&](const Refusal &refusal) {
        return refusal.operation == operation && ::lstrcmpiA(refusal.folder.c_str(), folder.c_str()) == 0;
    });
}

bool Delivery::Persist(DWORD &waited, Operation operation, const std::string &path,
                       const std::function<bool()> &attempt)
{
    const std::string folder = FolderOf(path);
    DWORD wait = 1;
    for (;;) {
        if (attempt()) {
            if (!m_refusals.empty()) {
                const auto refusal = FindRefusal(folder, operation);
                if (refusal != m_refusals.end())
                    m_refusals.erase(refusal);
            }
            return true;
        }
        const DWORD error = ::GetLastError();
        const bool denied = error == ERROR_ACCESS_DENIED;
        const bool refused = denied && !m_refusals.empty() && FindRefusal(folder, operation) != m_refusals.end();
        if (!IsHold(error, path) || refused || waited >= kHoldBudgetMs) {
            // A file another program keeps open is that file's hold, which says nothing of the folder's other files.
            if (denied && !refused && waited >= kHoldBudgetMs) {
                if (HeldOpenByAnother(path)) {
                    ::SetLastError(ERROR_SHARING_VIOLATION);
                    return false;
                }
                m_refusals.push_back(Refusal{folder, operation});
            }
            ::SetLastError(error);
            return false;
        }
        wait = std::min(wait, kHoldBudgetMs - waited);
        m_wait(wait);
        waited += wait;
        wait = std::min(wait * 2, kLongestHoldWaitMs);
    }
}

// A staged copy that stays held cannot be removed: its folder is left to the next run (the process will have ended
// by then), and the next file is staged in a new folder of this process's own.
void Delivery::Discard(const std::string &staged, DWORD &waited)
{
    ::SetFileAttributesA(staged.c_str(), FILE_ATTRIBUTE_NORMAL);
    const bool removed = Persist(waited, Operation::Removal, staged, [&] {
        return ::DeleteFileA(staged.c_str()) != FALSE || ::GetLastError() == ERROR_FILE_NOT_FOUND ||
               ::GetLastError() == ERROR_PATH_NOT_FOUND;
    });
    if (!removed)
        LetGoOfStagingFolder();
}

void Delivery::LetGoOfStagingFolder()
{
    if (m_staging.empty())
        return;
    g_openStaging.LetGo(m_staging);
    m_staging.clear();
}

// A scanner that walks the folder, or holds the last copy staged in it, can keep it a moment longer than the
// delivery lasts: then it is tried again at the end of the transfer.
Delivery::~Delivery()
{
    if (m_staging.empty())
        return;
    g_openStaging.Remove(m_staging);
    if (!RemoveOwnStagingFolder(m_staging))
        g_openStaging.LetGo(m_staging);
}

bool Delivery::MakeStagingFolder()
{
    if (!m_staging.empty())
        return true;
    // A folder of the name that is there already is not this process's own (it cannot be: the name holds the
    // process's start time), so it is left as it is and the next number taken.
    StagingOwner owner = ThisStagingOwner();
    for (owner.number = 0; owner.number < kStagingAttempts; ++owner.number) {
        const std::string folder = JoinPath(m_destination, StagingFolderName(owner));
        if (::CreateDirectoryA(folder.c_str(), nullptr)) {
            m_staging = folder;
            g_openStaging.Add(folder);
            return true;
        }
        if (!AlreadyExists(::GetLastError()))
            return false;
    }
    return false;
}

bool Delivery::StagingFolderVanished()
{
    if (m_staging.empty() || ::GetFileAttributesA(m_staging.c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    LetGoOfStagingFolder();
    return true;
}

Delivered Delivery::Deliver(const std::string &source, const std::string &target, const SourceFacts &facts,
                            TargetKnown known)
{
    g_openStaging.RenewIfDue();
    DWORD waited = 0;
    if (known == TargetKnown::Existing)
        return DeliverStaged(source, target, facts, true, waited);
    return FirstCopyGoesStraight(facts.size) ? DeliverNew(source, target, facts, waited)
                                             : DeliverStaged(source, target, facts, false, waited);
}

Delivered Delivery::DeliverNew(const std::string &source, const std::string &target, const SourceFacts &facts,
                               DWORD &waited)
{
    if (!Persist(waited, Operation::Copy, target,
                 [&] { return ::CopyFileA(source.c_str(), target.c_str(), TRUE) != FALSE; })) {
        const DWORD error = ::GetLastError();
        if (AlreadyExists(error))
            return Delivered::TargetExists;
        // The name was free when the copy made it (an existing one answers first), so a file of another size there
        // now is what the copy left.
        uint64_t left = 0;
        if (OutOfSpace(error) && FileSize(target, left) && left != facts.size)
            RemoveFile(target);
        ::SetLastError(error);
        return Delivered::Failed;
    }
    if (HasSize(target, facts.size)) {
        MakeWritable(target, facts.attributes);
        return Delivered::Copied;
    }
    // The copy made this name a moment ago: a short one is its own.
    ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    Persist(waited, Operation::Removal, target, [&] { return ::DeleteFileA(target.c_str()) != FALSE; });
    ::SetLastError(ERROR_READ_FAULT);
    return Delivered::Failed;
}

Delivered Delivery::DeliverStaged(const std::string &source, const std::string &target, const SourceFacts &facts,
                                  bool replace, DWORD &waited)
{
    // A staging folder, or the copy staged in it, removed meanwhile (a cleanup that misjudged it) costs the file
    // another round, not its arrival. One removal can cost two: the copy first, the folder a moment later.
    for (int round = 0; round < 4; ++round) {
        if (!MakeStagingFolder())
            return Delivered::Failed;
        const std::string staged = JoinPath(m_staging, kStagedFileName);
        if (!Persist(waited, Operation::Copy, staged,
                     [&] { return ::CopyFileA(source.c_str(), staged.c_str(), FALSE) != FALSE; })) {
            const DWORD error = ::GetLastError();
            if (StagingFolderVanished())
                continue;
            Discard(staged, waited);
            ::SetLastError(error);
            return Delivered::Failed;
        }
        if (!HasSize(staged, facts.size)) {
            if (Gone(staged)) {
                StagingFolderVanished();
                continue;
            }
            Discard(staged, waited);
            ::SetLastError(ERROR_READ_FAULT);
            return Delivered::Failed;
        }
        MakeWritable(staged, facts.attributes);
        const DWORD flags = replace ? MOVEFILE_REPLACE_EXISTING : 0;
        // A hold on either name keeps the rename from happening; a read-only target is not a hold (below).
        bool moved = Persist(waited, Operation::Rename, target,
                             [&] { return m_move(staged.c_str(), target.c_str(), flags) != FALSE; });
        DWORD error = moved ? ERROR_SUCCESS : ::GetLastError();
        // Windows refuses to replace a read-only file: the earlier copy loses that mark (its others stay), and the
        // rename is tried once more. Only then: a call on every target would cost as much as the rename itself.
        if (!moved && error == ERROR_ACCESS_DENIED && ClearReadOnlyMark(target)) {
            moved = m_move(staged.c_str(), target.c_str(), flags) != FALSE;
            error = moved ? ERROR_SUCCESS : ::GetLastError();
        }
        if (moved)
            return Delivered::Copied;
        if (!replace && AlreadyExists(error)) {
            Discard(staged, waited);
            ::SetLastError(error);
            return Delivered::TargetExists;
        }
        // A staged copy removed meanwhile, whatever the rename answered: Wine answers ERROR_INVALID_HANDLE for a source
        // deleted in the middle of its rename.
        if (Gone(staged)) {
            StagingFolderVanished();
            continue;
        }
        Discard(staged, waited);
        ::SetLastError(error);
        return Delivered::Failed;
    }
    return Delivered::Failed;
}

FolderListing::FolderListing(const std::string &folder)
{
    FileFind finder;
    bool more = finder.FindFile(folder + "\\*.*");
    while (more) {
        more = finder.FindNextFile();
        if (finder.IsDots())
            continue;
        const std::string name = finder.GetFileName();
        m_hashes.push_back(FoldedHash(name));
        StagingOwner owner;
        if (finder.IsDirectory() && ParseStagingFolderName(name, owner))
            m_staging.push_back(StagingEntry{name, ToUint64(finder.GetLastWriteTime())});
    }
    std::sort(m_hashes.begin(), m_hashes.end());
}

bool FolderListing::Has(const std::string &name) const
{
    return std::binary_search(m_hashes.begin(), m_hashes.end(), FoldedHash(name));
}

void ClearStagingOfEndedRuns(const std::string &destination, const FolderListing &listing)
{
    if (listing.StagingFolders().empty())
        return;
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const StagingOwner &self = ThisStagingOwner();
    for (const FolderListing::StagingEntry &entry : listing.StagingFolders()) {
        StagingOwner owner;
        if (!ParseStagingFolderName(entry.name, owner))
            continue;
        const std::string folder = JoinPath(destination, entry.name);
        StagingFacts facts;
        facts.thisMachine = owner.machineKnown && owner.machine == self.machine;
        facts.process = facts.thisMachine ? StateOf(owner) : OwnerProcess::Unknown;
        facts.leaseTime = entry.lastWrite;
        facts.now = ToUint64(now);
        if (!MayClearStaging(facts))
            continue;
        // A lease that looks run out in the listing counts only when the folder itself says so too.
        if (facts.process != OwnerProcess::Ended && !(FolderTime(folder, facts.leaseTime) && MayClearStaging(facts)))
            continue;
        RemoveLeftStagingFolder(folder);
    }
}
