// The end of a transfer, on the user-interface thread: the reference database, then the hand-off to
// the installed viewer.
#include <windows.h>

#include "app/MainFrame.h"
#include "launch/Decision.h"
#include "platform/FileFind.h"
#include "platform/Paths.h"
#include "transfer/BenchLog_win.h"
#include "transfer/SafeCopy.h"
#include "ui/CopyProgressDlg.h"

namespace {
constexpr char kReferenceFolder[] = "ImplantDB";
constexpr char kProjectFile[] = "Default.npj";
} // namespace

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

LRESULT CMainFrame::CopyReferenceDatabase(WPARAM, LPARAM)
{
    benchlog::Mark("reference_begin");
    // The progress window paints when this thread is idle, and the reference copy holds it for its whole length:
    // whatever the window still owes is painted now, so it shows the last file's count and bar meanwhile.
    if (m_pProgressDlg)
        m_pProgressDlg->PaintNow();
    CopyTree(JoinPath(GetLauncherFolder(), kReferenceFolder), JoinPath(GetInstallFolder(), kReferenceFolder));
    benchlog::Mark("reference_done");
    return 0;
}

LRESULT CMainFrame::LaunchViewer(WPARAM, LPARAM)
{
    const std::string mode = m_suid.m_strMode;
    const std::string id = m_suid.m_strId;
    const std::string installFolder = GetInstallFolder();
    const std::string patientFolder = PatientFolder(installFolder, id);
    if (m_pProgressDlg)
        m_pProgressDlg->DestroyWindow();
    RunProgram(JoinPath(installFolder, launch::kViewerExe),
               ViewerParameters(mode, id, JoinPath(patientFolder, kProjectFile)));
    benchlog::PeakMemory();
    ::SendMessageA(m_hWnd, WM_CLOSE, 0, 0);
    return 0;
}
