// The end of a transfer, on the user-interface thread: the reference database, then the hand-off to
// the installed viewer.
#include <windows.h>

#include "app/MainFrame.h"
#include "launch/Decision.h"
#include "platform/App.h"
#include "platform/Handles.h"
#include "platform/Paths.h"
#include "transfer/BenchLog_win.h"
#include "ui/CopyProgressDlg.h"

namespace {
constexpr char kReferenceFolder[] = "ImplantDB";
constexpr char kProjectFile[] = "Default.npj";

struct ReferenceCopy {
    std::string source;
    std::string destination;
};

DWORD WINAPI ReferenceCopyProc(void *parameter)
{
    const ReferenceCopy *copy = static_cast<const ReferenceCopy *>(parameter);
    CMainFrame::CopyTree(copy->source, copy->destination);
    return 0;
}
} // namespace

// A reference database of thousands of files takes many seconds. The copy runs on a thread of its own while this
// thread keeps taking messages until it ends, so the progress window paints, its slideshow turns and the window
// answers the system (which calls a window that has not answered for 5 s hung, and offers the user to end it).
// The copy worker still waits in its send meanwhile: the viewer starts only after the copy, as before.
LRESULT CMainFrame::CopyReferenceDatabase(WPARAM, LPARAM)
{
    if (m_handoff != Handoff::Waiting)
        return 0;
    m_handoff = Handoff::CopyingReference;
    benchlog::Mark("reference_begin");
    ReferenceCopy copy{JoinPath(GetLauncherFolder(), kReferenceFolder), JoinPath(GetInstallFolder(), kReferenceFolder)};
    KernelHandle thread(::CreateThread(nullptr, 0, ReferenceCopyProc, &copy, 0, nullptr));
    if (thread) {
        App::PumpMessagesUntil(thread.Get());
    } else {
        // No thread to spare: the copy holds this one, and the window shows meanwhile what it last painted.
        if (m_pProgressDlg)
            m_pProgressDlg->PaintNow();
        ReferenceCopyProc(&copy);
    }
    benchlog::Mark("reference_done");
    m_handoff = Handoff::ReferenceCopied;
    return 0;
}

LRESULT CMainFrame::LaunchViewer(WPARAM, LPARAM)
{
    // Only the worker's message after the reference copy hands over during a transfer, and only once.
    if (m_handoff == Handoff::CopyingReference || m_handoff == Handoff::HandedOver ||
        (m_handoff == Handoff::Waiting && InTransfer()))
        return 0;
    m_handoff = Handoff::HandedOver;
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
