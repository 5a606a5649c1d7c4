// The end of a session during a transfer, as the system announces it to the hidden main frame. The frame ends its
// own process when the session really ends, so each case runs in a child process of its own (a death test).
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "app/MainFrame.h"
#include "resource.h"
#include "ui/CopyProgressDlg.h"

namespace {

// What the child ends with when the launcher is still there after the messages: only this test ends it so.
constexpr UINT kStillRunning = 7;

class SessionEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&icc);
        ASSERT_TRUE(m_frame.LoadFrame(IDR_MAINFRAME));
        ASSERT_TRUE(m_dialog.Create(nullptr));
        m_frame.m_pProgressDlg = &m_dialog; // a transfer runs, its worker between two files
    }
    void TearDown() override
    {
        m_frame.m_pProgressDlg = nullptr;
        m_frame.DestroyWindow();
    }

    // The system's two messages of a logoff or a shutdown; `ending` FALSE: the user (or a program) called it off.
    void EndSession(BOOL ending)
    {
        ::SendMessageA(m_frame.GetSafeHwnd(), WM_QUERYENDSESSION, 0, 0);
        ::SendMessageA(m_frame.GetSafeHwnd(), WM_ENDSESSION, ending, 0);
    }

    CMainFrame m_frame;
    CCopyProgressDlg m_dialog;
};

// A logoff or a shutdown called off keeps the transfer going: the reference copy and the viewer still follow.
TEST_F(SessionEndTest, ACancelledEndLeavesTheTransferRunning)
{
    EXPECT_EXIT(
        {
            EndSession(FALSE);
            if (::IsWindow(m_frame.GetSafeHwnd()) && ::IsWindow(m_dialog.GetSafeHwnd()))
                ::ExitProcess(kStillRunning);
        },
        ::testing::ExitedWithCode(kStillRunning), "");
}

// Sends one message to the frame from another thread, as the copy worker does after each file.
DWORD WINAPI SendAsTheWorker(void *frame)
{
    ::SendMessageA(static_cast<HWND>(frame), WM_NULL, 0, 0);
    return 0;
}

// The session really ends: the launcher ends once the worker is between two files (its next message), cleanly.
TEST_F(SessionEndTest, AnEndingSessionEndsTheLauncherAtTheWorkersNextMessage)
{
    EXPECT_EXIT(
        {
            HANDLE worker = ::CreateThread(nullptr, 0, SendAsTheWorker, m_frame.GetSafeHwnd(), 0, nullptr);
            EndSession(TRUE);
            ::CloseHandle(worker);
            ::ExitProcess(kStillRunning);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
