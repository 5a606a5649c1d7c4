// The hidden main frame and its About box.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "app/MainFrame.h"
#include "app/Messages.h"
#include "resource.h"
#include "ui/CopyProgressDlg.h"

namespace {

// A destroyed frame posts WM_QUIT to end the program's message loop. Left in the queue of the thread that runs the
// tests, it would end the next modal loop at once (the About box's: DialogBox leaves at WM_QUIT), whichever test
// destroyed that frame.
void DropQuitMessages()
{
    MSG quit;
    while (::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DropQuitMessages();
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&icc);
        ASSERT_TRUE(m_frame.LoadFrame(IDR_MAINFRAME));
        m_hwnd = m_frame.GetSafeHwnd();
    }
    void TearDown() override
    {
        m_frame.DestroyWindow();
        DropQuitMessages();
    }

    CMainFrame m_frame;
    HWND m_hwnd = nullptr;
};

TEST_F(FrameTest, HiddenWithItsBarsAndAllMembersAtRest)
{
    EXPECT_FALSE(::IsWindowVisible(m_hwnd));
    HWND toolbar = ::GetDlgItem(m_hwnd, AFX_IDW_TOOLBAR);
    HWND status = ::GetDlgItem(m_hwnd, AFX_IDW_STATUS_BAR);
    ASSERT_NE(toolbar, nullptr);
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(::GetWindowLongA(toolbar, GWL_STYLE) & TBSTYLE_FLAT);
    EXPECT_EQ(::SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0), 11);
    EXPECT_EQ(::SendMessageA(status, SB_GETPARTS, 0, 0), 4);
    EXPECT_NE(::GetMenu(m_hwnd), nullptr);
    EXPECT_EQ(m_frame.m_nTotalFiles, 0);
    EXPECT_EQ(m_frame.m_nCopiedFiles, 0);
    EXPECT_EQ(m_frame.m_pProgressDlg, nullptr);
    EXPECT_EQ(m_frame.m_strProductName, "");
    EXPECT_EQ(m_frame.m_suid.m_strMode, "");
    EXPECT_EQ(m_frame.m_suid.m_nHiMS, 0);
}

struct AboutSeen {
    HWND owner = nullptr;
    HWND box = nullptr;
    std::wstring title;
    std::wstring version;
};

BOOL CALLBACK FindOwnedDialog(HWND hwnd, LPARAM param)
{
    AboutSeen *seen = reinterpret_cast<AboutSeen *>(param);
    char cls[16] = {};
    ::GetClassNameA(hwnd, cls, sizeof(cls));
    if (std::string(cls) == "#32770" && ::GetWindow(hwnd, GW_OWNER) == seen->owner) {
        seen->box = hwnd;
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI CloseAboutBox(void *param)
{
    AboutSeen *seen = static_cast<AboutSeen *>(param);
    for (int i = 0; i < 200 && !seen->box; ++i) {
        ::Sleep(25);
        ::EnumWindows(FindOwnedDialog, reinterpret_cast<LPARAM>(seen));
    }
    if (!seen->box)
        return 0;
    wchar_t text[64] = {};
    ::GetWindowTextW(seen->box, text, 64);
    seen->title = text;
    ::GetDlgItemTextW(seen->box, IDC_ABOUT_VERSION, text, 64);
    seen->version = text;
    ::PostMessageA(seen->box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return 0;
}

TEST_F(FrameTest, AboutCommandShowsTheVersionLine)
{
    AboutSeen seen;
    seen.owner = m_hwnd;
    HANDLE closer = ::CreateThread(nullptr, 0, CloseAboutBox, &seen, 0, nullptr);
    ::SendMessageA(m_hwnd, WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, 0), 0); // returns when the box is closed
    ::WaitForSingleObject(closer, 10000);
    ::CloseHandle(closer);
    ASSERT_NE(seen.box, nullptr);
    // The dialog is an ANSI window: its Korean texts survive only under the Korean code page.
    if (::GetACP() == 949) {
        EXPECT_EQ(seen.title, L"autorun \xC815\xBCF4"); // "autorun 정보"
        EXPECT_EQ(seen.version, L"autorun \xBC84\xC804 1.0");
    } else {
        EXPECT_EQ(seen.title.substr(0, 8), L"autorun ");
        EXPECT_EQ(seen.version.substr(seen.version.size() - 4), L" 1.0");
    }
}

// A close request (a logoff's or an installer's WM_CLOSE) closes an idle launcher at once; during a transfer it is
// left to the hand-off, which closes the launcher once the viewer has been started. The session may always end.
TEST_F(FrameTest, CloseRequestsWaitForTheHandOff)
{
    CCopyProgressDlg dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    m_frame.m_pProgressDlg = &dialog; // a transfer runs
    EXPECT_EQ(::SendMessageA(m_hwnd, WM_QUERYENDSESSION, 0, 0), TRUE);
    ::SendMessageA(m_hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(::IsWindow(m_hwnd));
    ::SendMessageA(m_hwnd, WM_ENDSESSION, FALSE, 0); // the end was called off: nothing happens
    EXPECT_TRUE(::IsWindow(m_hwnd));
    // A second reference copy or an early hand-off from outside starts nothing while the transfer runs.
    ::SendMessageA(m_hwnd, WM_LAUNCH_VIEWER, 0, 0);
    EXPECT_TRUE(::IsWindow(m_hwnd));
    EXPECT_TRUE(::IsWindow(dialog.GetSafeHwnd()));
    m_frame.m_pProgressDlg = nullptr; // no transfer
    ::SendMessageA(m_hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(m_hwnd));
    MSG quit;
    EXPECT_TRUE(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)); // the message loop ends
}

} // namespace
