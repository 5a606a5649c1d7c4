// The end of a transfer, on the user-interface thread: the reference database, then the hand-off to
// the installed viewer.
#include <windows.h>

#include "app/MainFrame.h"
#include "app/Messages.h"
#include "launch/Decision.h"
#include "platform/App.h"
#include "platform/DebugOut.h"
#include "platform/Handles.h"
#include "platform/Paths.h"
#include "platform/RunLog.h"
#include "transfer/BenchLog_win.h"
#include "transfer/CopyDecision.h"
#include "transfer/SafeCopy.h"
#include "ui/CopyProgressDlg.h"

namespace {
constexpr char kReferenceFolder[] = "ImplantDB";
constexpr char kProjectFile[] = "Default.npj";
constexpr char kLogTransferOutcome[] =
    "outcome: transfer ended, the installed viewer started; patient files not copied: %d of %d; reference files not "
    "copied: %d";

// How often at most the reference copy tells the window how far it is: a message a file would cost more than the
// copy of a small file, and posted ones could fill the window's queue.
constexpr DWORD kReferenceProgressMs = 40;

struct ReferenceCopy {
    std::string source;
    std::string destination;
    HWND window;
    CopyOutcome outcome;
};

DWORD WINAPI ReferenceCopyProc(void *parameter)
{
    ReferenceCopy *copy = static_cast<ReferenceCopy *>(parameter);
    // The total from a walk of the tree before the copy: names only, a small cost against reading every file.
    const int total = CMainFrame::CountTreeFiles(copy->source);
    int handled = 0;
    DWORD told = ::GetTickCount();
    if (copy->window)
        ::PostMessageA(copy->window, WM_REFERENCE_PROGRESS, 0, static_cast<LPARAM>(total));
    copy->outcome = CMainFrame::CopyTree(
        copy->source, copy->destination,
        [&] {
            ++handled;
            const DWORD now = ::GetTickCount();
            if (copy->window && (now - told >= kReferenceProgressMs || handled == total)) {
                told = now;
                ::PostMessageA(copy->window, WM_REFERENCE_PROGRESS, static_cast<WPARAM>(handled),
                               static_cast<LPARAM>(total > handled ? total : handled));
            }
        },
        total);
    // The patient copy has ended too: what a scanner still held of their staging folders is tried again, here, while
    // the window keeps answering.
    RemoveLetGoStagingFolders();
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
    ReferenceCopy copy{JoinPath(GetLauncherFolder(), kReferenceFolder), JoinPath(GetInstallFolder(), kReferenceFolder),
                       m_pProgressDlg ? m_pProgressDlg->GetSafeHwnd() : nullptr, CopyOutcome()};
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
    m_nReferenceFailures = copy.outcome.failed;
    m_failureCauses.Add(copy.outcome.causes);
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
    // Files that could not be copied are told before the viewer opens, once the topmost progress window is gone;
    // the viewer starts after OK. The box does not hold up a logoff: the transfer is over, so the end of a session
    // ends the launcher as it would without the box.
    const std::string warning =
        CopyWarningText(m_nPatientFailures, m_nTotalFiles, m_nReferenceFailures, m_failureCauses);
    runlog::Note(Format(kLogTransferOutcome, m_nPatientFailures, m_nTotalFiles, m_nReferenceFailures));
    if (!warning.empty())
        ::MessageBoxA(nullptr, warning.c_str(), kCopyWarningCaption,
                      MB_OK | MB_ICONWARNING | MB_TOPMOST | MB_SETFOREGROUND);
    RunProgram(JoinPath(installFolder, launch::kViewerExe),
               ViewerParameters(mode, id, JoinPath(patientFolder, kProjectFile)));
    benchlog::PeakMemory();
    ::SendMessageA(m_hWnd, WM_CLOSE, 0, 0);
    return 0;
}
