// The end of a transfer, on the user-interface thread: the reference database, then the hand-off to
// the installed viewer.
#include <windows.h>

#include "app/MainFrame.h"
#include "launch/Decision.h"
#include "platform/Paths.h"
#include "transfer/BenchLog_win.h"
#include "ui/CopyProgressDlg.h"

namespace {
constexpr char kReferenceFolder[] = "ImplantDB";
constexpr char kProjectFile[] = "Default.npj";
} // namespace

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
