#include "SafeCopy.h"

#include <windows.h>

#include <algorithm>

#include "platform/DebugOut.h"
#include "platform/FileFind.h"
#include "platform/Handles.h"
#include "platform/Paths.h"
#include "transfer/CopyDecision.h"

namespace {
constexpr char kCopyLine[] = "Copy File : %s => %s : %s\n";

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

// A hold that goes by itself: another program has the file open without the sharing the operation needs. Access
// denied counts only for a file without the read-only mark, which would explain it for good.
bool IsHold(DWORD error, const std::string &path)
{
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        return true;
    if (error != ERROR_ACCESS_DENIED)
        return false;
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY);
}

// Waits of 1, 2, 4 ... ms, at most this long each: a scanner's hold lasts some milliseconds to a few hundred.
constexpr DWORD kLongestHoldWaitMs = 250;

bool AlreadyExists(DWORD error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

bool HasSize(const std::string &path, uint64_t size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
           ((uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow) == size);
}

StagingOwner ThisProcess()
{
    StagingOwner owner;
    owner.processId = ::GetCurrentProcessId();
    FILETIME created, exited, kernel, user;
    if (::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user))
        owner.startTime = ToUint64(created);
    return owner;
}

// A process id is given to a new process once the old one is gone, so the start time tells the two apart. A
// process that cannot be looked at (another user's) is taken as running.
// Vista and later grant the limited right on most processes, services' and other users' included; XP knows only the
// full one.
constexpr DWORD kQueryLimitedInformation = 0x1000; // PROCESS_QUERY_LIMITED_INFORMATION

bool HasEnded(const StagingOwner &owner)
{
    KernelHandle process(::OpenProcess(kQueryLimitedInformation, FALSE, owner.processId));
    if (!process && ::GetLastError() != ERROR_INVALID_PARAMETER)
        process.Attach(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, owner.processId));
    if (!process)
        return ::GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    if (::GetExitCodeProcess(process.Get(), &code) && code != STILL_ACTIVE)
        return true;
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(process.Get(), &created, &exited, &kernel, &user))
        return false;
    return ToUint64(created) != owner.startTime;
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
// The staging folders this process has made and not yet removed. The patient copy and the reference copy run on
// threads of their own, and the end of a session reads the list from a third.
class OpenStagingFolders {
public:
    OpenStagingFolders() { ::InitializeCriticalSection(&m_lock); }
    OpenStagingFolders(const OpenStagingFolders &) = delete;
    OpenStagingFolders &operator=(const OpenStagingFolders &) = delete;

    void Add(const std::string &folder)
    {
        Locked locked(m_lock);
        m_folders.push_back(folder);
    }
    void Remove(const std::string &folder)
    {
        Locked locked(m_lock);
        m_folders.erase(std::remove(m_folders.begin(), m_folders.end(), folder), m_folders.end());
    }
    std::vector<std::string> List()
    {
        Locked locked(m_lock);
        return m_folders;
    }

private:
    class Locked {
    public:
        explicit Locked(CRITICAL_SECTION &lock) : m_lock(lock) { ::EnterCriticalSection(&m_lock); }
        ~Locked() { ::LeaveCriticalSection(&m_lock); }
        Locked(const Locked &) = delete;
        Locked &operator=(const Locked &) = delete;

    private:
        CRITICAL_SECTION &m_lock;
    };

    CRITICAL_SECTION m_lock;
    std::vector<std::string> m_folders;
};

OpenStagingFolders g_openStaging;
} // namespace

void RemoveOwnEmptyStagingFolders()
{
    for (const std::string &folder : g_openStaging.List())
        ::RemoveDirectoryA(folder.c_str());
}

void ReportCopy(const std::string &source, const std::string &target, bool ok)
{
    DebugLine(kCopyLine, source.c_str(), target.c_str(), ok ? "Success" : "Failed");
}

SourceFacts FoundFacts(const FileFind &finder)
{
    return SourceFacts{finder.GetAttributes(), finder.GetLength(), finder.GetLastWriteTime()};
}

Delivery::Delivery(const std::string &destination, MoveFileFunction move, WaitFunction wait)
    : m_destination(destination), m_move(move), m_wait(wait)
{
}

bool Delivery::Persist(DWORD &waited, const std::string &path, const std::function<bool()> &attempt)
{
    DWORD wait = 1;
    for (;;) {
        if (attempt()) {
            m_deniedPersists = false;
            return true;
        }
        const DWORD error = ::GetLastError();
        const bool denied = error == ERROR_ACCESS_DENIED;
        if (!IsHold(error, path) || (denied && m_deniedPersists) || waited >= kHoldBudgetMs) {
            if (denied && waited >= kHoldBudgetMs)
                m_deniedPersists = true;
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
    const bool removed = Persist(waited, staged, [&] {
        return ::DeleteFileA(staged.c_str()) != FALSE || ::GetLastError() == ERROR_FILE_NOT_FOUND;
    });
    if (removed || m_staging.empty())
        return;
    g_openStaging.Remove(m_staging);
    m_staging.clear();
}

Delivery::~Delivery()
{
    if (m_staging.empty())
        return;
    RemoveFile(JoinPath(m_staging, kStagedFileName));
    ::RemoveDirectoryA(m_staging.c_str());
    g_openStaging.Remove(m_staging);
}

bool Delivery::MakeStagingFolder()
{
    if (!m_staging.empty())
        return true;
    // A folder of the name that is there already is not this process's own (it cannot be: the name holds the
    // process's start time), so it is left as it is and the next number taken.
    StagingOwner owner = ThisProcess();
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

Delivered Delivery::Deliver(const std::string &source, const std::string &target, const SourceFacts &facts,
                            TargetKnown known)
{
    if (!MakeStagingFolder())
        return Delivered::Failed;
    DWORD waited = 0;
    std::string staged = JoinPath(m_staging, kStagedFileName);
    const auto copy = [&] { return ::CopyFileA(source.c_str(), staged.c_str(), FALSE) != FALSE; };
    bool copied = Persist(waited, staged, copy);
    if (!copied && ::GetLastError() == ERROR_PATH_NOT_FOUND &&
        ::GetFileAttributesA(m_staging.c_str()) == INVALID_FILE_ATTRIBUTES) {
        // The staging folder went (another launcher took it for a dead one's): made again.
        g_openStaging.Remove(m_staging);
        m_staging.clear();
        if (!MakeStagingFolder())
            return Delivered::Failed;
        staged = JoinPath(m_staging, kStagedFileName);
        copied = Persist(waited, staged, copy);
    }
    if (!copied || !HasSize(staged, facts.size)) {
        Discard(staged, waited);
        return Delivered::Failed;
    }
    MakeWritable(staged, facts.attributes);
    const DWORD flags = known == TargetKnown::Existing ? MOVEFILE_REPLACE_EXISTING : 0;
    // A hold on either name keeps the rename from happening; a read-only target is not a hold (below).
    bool moved = Persist(waited, target, [&] { return m_move(staged.c_str(), target.c_str(), flags) != FALSE; });
    DWORD error = moved ? ERROR_SUCCESS : ::GetLastError();
    // Windows refuses to replace a read-only file: the earlier copy's marks go, and the rename is tried once more.
    // Only then: a call on every target would cost as much as the rename itself.
    if (!moved && known == TargetKnown::Existing && error == ERROR_ACCESS_DENIED &&
        ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL)) {
        moved = m_move(staged.c_str(), target.c_str(), flags) != FALSE;
        error = moved ? ERROR_SUCCESS : ::GetLastError();
    }
    if (moved)
        return Delivered::Copied;
    Discard(staged, waited);
    ::SetLastError(error);
    return known == TargetKnown::New && AlreadyExists(error) ? Delivered::TargetExists : Delivered::Failed;
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
            m_staging.push_back(name);
    }
    std::sort(m_hashes.begin(), m_hashes.end());
}

bool FolderListing::Has(const std::string &name) const
{
    return std::binary_search(m_hashes.begin(), m_hashes.end(), FoldedHash(name));
}

void ClearStagingOfEndedRuns(const std::string &destination, const FolderListing &listing)
{
    for (const std::string &name : listing.StagingFolders()) {
        StagingOwner owner;
        if (!ParseStagingFolderName(name, owner) || !HasEnded(owner))
            continue;
        const std::string folder = JoinPath(destination, name);
        // A folder that holds anything but a staged copy is not a staging folder: nothing of it is touched.
        if (!HoldsAtMostAStagedCopy(folder))
            continue;
        RemoveFile(JoinPath(folder, kStagedFileName));
        ::RemoveDirectoryA(folder.c_str());
    }
}
