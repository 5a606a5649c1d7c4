// The end of a transfer, on the user-interface thread: the reference database, then the hand-off to
// the installed viewer.
#include <windows.h>

#include "app/MainFrame.h"
#include "launch/Decision.h"
#include "platform/FileFind.h"
#include "platform/Paths.h"
#include "transfer/SafeCopy.h"
#include "ui/CopyProgressDlg.h"

namespace {
constexpr char kReferenceFolder[] = "ImplantDB";
constexpr char kProjectFile[] = "Default.npj";
} // namespace

void CMainFrame::CopyTree(std::string source, std::string destination)
{
    FileFind finder;
    bool more = finder.FindFile(source + "\\*.*");
    while (more) {
        more = finder.FindNextFile();
        if (finder.IsDots())
            continue;
        const std::string target = JoinPath(destination, finder.GetFileName());
        if (finder.IsDirectory()) {
            ::CreateDirectoryA(target.c_str(), nullptr);
            CopyTree(finder.GetFilePath(), target);
        } else {
            const std::string path = finder.GetFilePath();
            ReportCopy(path, target, ReplaceWithCopy(path, target));
        }
    }
}

LRESULT CMainFrame::CopyReferenceDatabase(WPARAM, LPARAM)
{
    CopyTree(JoinPath(GetLauncherFolder(), kReferenceFolder), JoinPath(GetInstallFolder(), kReferenceFolder));
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
    RunProgram(JoinPath(installFolder, launch::kViewerExe), ViewerParameters(mode, id, JoinPath(patientFolder, kProjectFile)));
    ::SendMessageA(m_hWnd, WM_CLOSE, 0, 0);
    return 0;
}
