// The reference database's copy: a whole tree, every file copied again.
#include <windows.h>

#include "app/MainFrame.h"
#include "platform/FileFind.h"
#include "platform/Paths.h"
#include "transfer/SafeCopy.h"

namespace {

// A folder this copy has just made (`newFolder`) is known to be empty; another is listed once.
void CopyTreeInto(const std::string &source, const std::string &destination, bool newFolder)
{
    const FolderListing existing = newFolder ? FolderListing() : FolderListing(destination);
    FileFind finder;
    bool more = finder.FindFile(source + "\\*.*");
    while (more) {
        more = finder.FindNextFile();
        if (finder.IsDots())
            continue;
        const std::string target = JoinPath(destination, finder.GetFileName());
        if (finder.IsDirectory()) {
            const bool created = ::CreateDirectoryA(target.c_str(), nullptr) != FALSE;
            CopyTreeInto(finder.GetFilePath(), target, created);
            continue;
        }
        const std::string path = finder.GetFilePath();
        const SourceFacts facts = FoundFacts(finder);
        const NewTargetCopy fresh = existing.Has(finder.GetFileName())
                                        ? NewTargetCopy::TargetExists
                                        : CopyToNewTarget(path, target, facts, newFolder);
        const bool ok = fresh == NewTargetCopy::TargetExists ? ReplaceWithCopy(path, target, facts)
                                                             : fresh == NewTargetCopy::Copied;
        ReportCopy(path, target, ok);
    }
}

} // namespace

void CMainFrame::CopyTree(std::string source, std::string destination)
{
    CopyTreeInto(source, destination, false);
}
