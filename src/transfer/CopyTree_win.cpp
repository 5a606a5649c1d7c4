// The reference database's copy: a whole tree, every file copied again.
#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "app/MainFrame.h"
#include "platform/FileFind.h"
#include "platform/Handles.h"
#include "platform/Paths.h"
#include "transfer/SafeCopy.h"

namespace {

// A folder as the file system knows it, whatever path led to it.
struct FolderId {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator==(const FolderId &other) const
    {
        return volume == other.volume && indexHigh == other.indexHigh && indexLow == other.indexLow;
    }
};

bool IdentifyFolder(const std::string &folder, FolderId &id)
{
    FileHandle handle(::CreateFileA(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle || !::GetFileInformationByHandle(handle.Get(), &info))
        return false;
    id = FolderId{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

// A reference database served from a stick or a share may hold links to folders, loops among them. The copy follows
// no directory link (a reparse point) and enters no folder twice, by whatever path it is reached, so it ends and
// copies each real file once. A folder whose identity cannot be read is entered all the same.
class TreeCopy {
public:
    // `fileHandled` runs after each file, copied or failed; `walked` is what the walk before the copy counted.
    TreeCopy(const std::string &source, const std::string &destination, const std::function<void()> &fileHandled,
             int walked)
        : m_delivery(destination), m_fileHandled(&fileHandled)
    {
        Enter(source);
        CopyFolder(source, destination, FolderListing(destination), m_delivery);
        // The files of a folder whose listing broke off were never reached: at least one each, or as many as the
        // walk counted beyond those the copy met.
        if (m_brokenListings > 0) {
            m_outcome.failed += walked - m_files > m_brokenListings ? walked - m_files : m_brokenListings;
            m_outcome.causes.Note(FailureCause::SourceUnreadable, destination);
        }
    }
    // Only walks the tree the way the copy would, counting its files.
    explicit TreeCopy(const std::string &source) : m_delivery(std::string())
    {
        Enter(source);
        CopyFolder(source, std::string(), FolderListing(), m_delivery);
    }
    const CopyOutcome &Outcome() const { return m_outcome; }
    int Files() const { return m_files; }

private:
    // False for a folder entered before.
    bool Enter(const std::string &folder)
    {
        FolderId id;
        if (!IdentifyFolder(folder, id))
            return true;
        for (const FolderId &entered : m_entered)
            if (entered == id)
                return false;
        m_entered.push_back(id);
        return true;
    }

    // `existing`: the destination's names; a folder this copy has just made is known to be empty.
    // `delivery` stages in the folder the copy started in, or in a folder of this tree on another volume: a folder of
    // the installation moved to another drive with a junction or mount point left in its place. A rename cannot
    // cross volumes, so the first file that meets one makes this folder stage its files itself, below it too.
    void CopyFolder(const std::string &source, const std::string &destination, const FolderListing &existing,
                    Delivery &inherited)
    {
        Delivery *delivery = &inherited;
        std::unique_ptr<Delivery> own;
        // What a run that was cut off left here: a folder on another volume stages its own files.
        if (m_fileHandled)
            ClearStagingOfEndedRuns(destination, existing);
        FileFind finder;
        bool more = finder.FindFile(source + "\\*.*");
        while (more) {
            more = finder.FindNextFile();
            if (finder.IsDots())
                continue;
            const std::string name = finder.GetFileName();
            const std::string path = finder.GetFilePath();
            const std::string target = JoinPath(destination, name);
            if (finder.IsDirectory()) {
                if ((finder.GetAttributes() & FILE_ATTRIBUTE_REPARSE_POINT) || !Enter(path))
                    continue;
                if (!m_fileHandled) {
                    CopyFolder(path, target, existing, *delivery);
                    continue;
                }
                const bool created = ::CreateDirectoryA(target.c_str(), nullptr) != FALSE;
                CopyFolder(path, target, created ? FolderListing() : FolderListing(target), *delivery);
                continue;
            }
            ++m_files;
            if (!m_fileHandled)
                continue;
            const SourceFacts facts = FoundFacts(finder);
            // Whichever way the file takes (a name the listing missed goes the staged way after all), a staging
            // folder on another volume than its target turns this folder to one of its own.
            const auto deliver = [&](TargetKnown known) {
                Delivered result = delivery->Deliver(path, target, facts, known);
                if (result == Delivered::Failed && ::GetLastError() == ERROR_NOT_SAME_DEVICE && !own) {
                    own.reset(new Delivery(destination));
                    delivery = own.get();
                    result = delivery->Deliver(path, target, facts, known);
                }
                return result;
            };
            Delivered result = deliver(existing.Has(name) ? TargetKnown::Existing : TargetKnown::New);
            if (result == Delivered::TargetExists)
                result = deliver(TargetKnown::Existing);
            if (result != Delivered::Copied) {
                ++m_outcome.failed;
                m_outcome.causes.Note(CauseOfError(::GetLastError()), destination);
            }
            ReportCopy(path, target, result == Delivered::Copied);
            if (*m_fileHandled)
                (*m_fileHandled)();
        }
        if (finder.Broken()) {
            ++m_brokenListings;
            if (m_fileHandled)
                ReportBrokenListing(source, finder.Error());
        }
    }

    Delivery m_delivery;
    const std::function<void()> *m_fileHandled = nullptr;
    std::vector<FolderId> m_entered;
    CopyOutcome m_outcome;
    int m_files = 0;
    int m_brokenListings = 0;
};

} // namespace

CopyOutcome CMainFrame::CopyTree(std::string source, std::string destination, const std::function<void()> &fileHandled,
                                 int walked)
{
    return TreeCopy(source, destination, fileHandled, walked).Outcome();
}

int CMainFrame::CountTreeFiles(const std::string &source)
{
    return TreeCopy(source).Files();
}
