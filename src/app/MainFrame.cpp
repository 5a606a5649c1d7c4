#include "MainFrame.h"

#include <commctrl.h>

#include "AboutDlg.h"
#include "AutorunDoc.h"
#include "Deadline.h"
#include "Messages.h"
#include "resource.h"
#include "transfer/SafeCopy.h"
#include "ui/CopyProgressDlg.h"

namespace {
constexpr char kFrameClass[] = "AutorunFrame";
constexpr char kFrameTitle[] = "autorun";
// The frame-level bar styles of the shell's tool bar and status bar.
constexpr DWORD kToolBarBarStyle = 0x50402834; // child, visible, top, gripper, tool tips, fly-by, dynamic size
constexpr DWORD kStatusBarStyle = 0x50008200;  // child, visible, bottom
constexpr UINT kIndicators[] = {0, ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};
// How long the end of a session waits for the copy worker to finish the file in hand.
constexpr DWORD kWorkerStopWaitMs = 10000;
} // namespace

CMainFrame::CMainFrame() : m_nTotalFiles(0), m_nCopiedFiles(0), m_pProgressDlg(nullptr) {}

// The progress window object stays alive until the process ends: the copy worker may still be in its
// last send when the frame goes.
CMainFrame::~CMainFrame() = default;

bool CMainFrame::LoadFrame(UINT resourceId)
{
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    HICON icon = ::LoadIconA(instance, MAKEINTRESOURCEA(resourceId));
    if (!RegisterWindowClass(kFrameClass, icon, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), CS_DBLCLKS))
        return false;
    HMENU menu = ::LoadMenuA(instance, MAKEINTRESOURCEA(resourceId));
    // No WS_VISIBLE: the frame exists hidden from its first moment on.
    if (!CreateEx(0, kFrameClass, kFrameTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                  CW_USEDEFAULT, nullptr, menu)) {
        if (menu)
            ::DestroyMenu(menu);
        return false;
    }
    return true;
}

LRESULT CMainFrame::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        return OnCreate(reinterpret_cast<CREATESTRUCTA *>(lParam));
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        OnEndSession(wParam != FALSE);
        return 0;
    case WM_COPY_FINISHED:
        return CopyReferenceDatabase(wParam, lParam);
    case WM_LAUNCH_VIEWER:
        return LaunchViewer(wParam, lParam);
    case WM_SIZE:
        OnSize();
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    default:
        return Default(msg, wParam, lParam);
    }
}

int CMainFrame::OnCreate(CREATESTRUCTA *)
{
    if (!m_wndToolBar.CreateEx(m_hWnd, TBSTYLE_FLAT, kToolBarBarStyle, AFX_IDW_TOOLBAR) ||
        !m_wndToolBar.LoadToolBar(IDR_MAINFRAME))
        return -1;
    if (!m_wndStatusBar.Create(m_hWnd, kStatusBarStyle, AFX_IDW_STATUS_BAR) ||
        !m_wndStatusBar.SetIndicators(kIndicators, sizeof(kIndicators) / sizeof(kIndicators[0])))
        return -1;
    if (!m_wndView.Create(m_hWnd))
        return -1;
    return 0;
}

// The bars dock at the top and the bottom; the view takes the rest.
void CMainFrame::OnSize()
{
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    int top = client.top, bottom = client.bottom;
    for (HWND bar : {m_wndToolBar.GetSafeHwnd(), m_wndStatusBar.GetSafeHwnd()}) {
        if (!bar || !::IsWindowVisible(bar))
            continue;
        ::SendMessageA(bar, WM_SIZE, 0, 0);
        RECT r;
        ::GetWindowRect(bar, &r);
        if (bar == m_wndToolBar.GetSafeHwnd())
            top += r.bottom - r.top;
        else
            bottom -= r.bottom - r.top;
    }
    if (m_wndView.GetSafeHwnd())
        ::MoveWindow(m_wndView.GetSafeHwnd(), client.left, top, client.right - client.left, bottom - top, TRUE);
}

void CMainFrame::OnCommand(UINT id)
{
    switch (id) {
    case ID_APP_ABOUT: {
        CAboutDlg about;
        about.DoModal(m_hWnd);
        break;
    }
    case ID_APP_EXIT:
        ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
        break;
    case ID_VIEW_TOOLBAR:
    case ID_VIEW_STATUS_BAR: {
        HWND bar = id == ID_VIEW_TOOLBAR ? m_wndToolBar.GetSafeHwnd() : m_wndStatusBar.GetSafeHwnd();
        ::ShowWindow(bar, ::IsWindowVisible(bar) ? SW_HIDE : SW_SHOW);
        OnSize();
        break;
    }
    default:
        break;
    }
}

// A close request from outside (a logoff's or an installer's WM_CLOSE, a task list's "end task") would cut the
// transfer in the middle of a file and leave the viewer unstarted; the hand-off closes the launcher anyway, a
// moment later. Outside a transfer the launcher closes at once.
void CMainFrame::OnClose()
{
    if (InTransfer())
        return;
    ::DestroyWindow(m_hWnd);
}

// The session ends: the system ends the process once this returns, wherever its threads are. The copy worker is
// let finish the file in hand and is stopped at its next message to this thread, which stays unanswered. A copy that
// outlasts the wait is a large one, and large copies are staged (SafeCopy.h), as is every file the reference copy
// replaces: what the cut leaves lies in a staging folder, never under a patient file's name, and the next run clears
// it.
void CMainFrame::OnEndSession(bool ending)
{
    if (!ending || !InTransfer())
        return;
    if (m_handoff == Handoff::Waiting) {
        // The worker's every message comes between two files; it is left waiting for the answer.
        const DWORD until = ::GetTickCount() + kWorkerStopWaitMs;
        for (;;) {
            if (HIWORD(::GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE)
                break;
            const DWORD left = TimeLeft(until, ::GetTickCount());
            if (left == 0 || ::MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_SENDMESSAGE) != WAIT_OBJECT_0)
                break;
        }
    }
    // Between two files a staging folder is empty, and goes with the process.
    RemoveOwnEmptyStagingFolders();
    ::ExitProcess(0);
}

void CMainFrame::CloseFrame() { ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0); }
