// The progress window as the user sees it: its template, place, bar, texts and slideshow.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "app/Messages.h"
#include "ui/CopyProgressDlg.h"
#include "ui/CopyProgressDlgIds.h"
#include "platform/Handles.h"
#include "ui/Placement.h"

namespace {

std::string ControlText(HWND dialog, int id)
{
    char text[256] = {};
    ::GetWindowTextA(::GetDlgItem(dialog, id), text, sizeof(text));
    return text;
}

void Pump()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

// Runs this thread's messages for longer than the dialog holds back the painting of its bar and counter.
void PumpUntilPainted()
{
    const DWORD until = ::GetTickCount() + 150;
    for (DWORD now = ::GetTickCount(); now < until; now = ::GetTickCount()) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, until - now, QS_ALLINPUT);
        Pump();
    }
}

class ProgressDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&icc);
        ASSERT_TRUE(m_dlg.Create(nullptr));
        m_dlg.ShowWindow(SW_SHOW);
        m_hwnd = m_dlg.GetSafeHwnd();
        m_bar = ::GetDlgItem(m_hwnd, IDC_PROGRESS);
    }
    void TearDown() override { m_dlg.DestroyWindow(); }

    int Pos() const { return static_cast<int>(::SendMessageA(m_bar, PBM_GETPOS, 0, 0)); }
    int Bound(bool low) const { return static_cast<int>(::SendMessageA(m_bar, PBM_GETRANGE, low, 0)); }

    CCopyProgressDlg m_dlg;
    HWND m_hwnd = nullptr;
    HWND m_bar = nullptr;
};

// The template is read back from the executable's resources, as the dialog manager reads it.
TEST(ProgressTemplate, AsTheWindowIsBuiltFrom)
{
    HRSRC res = ::FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_COPY_PROGRESS), MAKEINTRESOURCEA(5));
    ASSERT_NE(res, nullptr);
    const BYTE *p = static_cast<const BYTE *>(::LockResource(::LoadResource(nullptr, res)));
    auto word = [&p] {
        WORD w = *reinterpret_cast<const WORD *>(p);
        p += 2;
        return w;
    };
    auto dword = [&p] {
        DWORD d = *reinterpret_cast<const DWORD *>(p);
        p += 4;
        return d;
    };
    auto text = [&] {
        std::wstring s;
        for (WORD c; (c = word()) != 0;)
            s += static_cast<wchar_t>(c);
        return s;
    };
    auto align = [&p] { p = reinterpret_cast<const BYTE *>((reinterpret_cast<UINT_PTR>(p) + 3) & ~UINT_PTR(3)); };

    EXPECT_EQ(word(), 1);      // version
    EXPECT_EQ(word(), 0xFFFF); // extended template
    dword();                   // help id
    EXPECT_EQ(dword(), 0u);    // extended style
    EXPECT_EQ(dword(), 0x80800042u);
    const WORD items = word();
    EXPECT_EQ(items, 4);
    const short box[4] = {static_cast<short>(word()), static_cast<short>(word()), static_cast<short>(word()),
                          static_cast<short>(word())};
    EXPECT_EQ(box[0], 0);
    EXPECT_EQ(box[1], 0);
    EXPECT_EQ(box[2], 387);
    EXPECT_EQ(box[3], 210);
    EXPECT_EQ(word(), 0);   // no menu
    EXPECT_EQ(word(), 0);   // default class
    EXPECT_EQ(text(), L""); // no title
    EXPECT_EQ(word(), 10);  // point size
    EXPECT_EQ(word(), 0);   // weight
    EXPECT_EQ(*p++, 0);     // italic
    EXPECT_EQ(*p++, 1);     // DEFAULT_CHARSET
    EXPECT_EQ(text(), L"Tahoma");

    struct Item {
        DWORD id;
        const wchar_t *className; // nullptr: the predefined static class
        const wchar_t *title;
        DWORD style, exStyle;
        short x, y, cx, cy;
    };
    const Item expected[] = {
        {IDC_PROGRESS, L"msctls_progress32", L"Progress1", 0x50000001, 0, 12, 194, 364, 6},
        {IDC_LABEL, nullptr, L"", 0x50020000, 0x20, 12, 172, 88, 10},
        {IDC_STATUS, nullptr, L"", 0x50020000, 0, 12, 182, 160, 9},
        {IDC_COUNT, nullptr, L"", 0x50020000, 0x1000, 172, 182, 73, 9},
    };
    for (const Item &e : expected) {
        align();
        dword(); // help id
        EXPECT_EQ(dword(), e.exStyle) << e.id;
        EXPECT_EQ(dword(), e.style) << e.id;
        EXPECT_EQ(static_cast<short>(word()), e.x) << e.id;
        EXPECT_EQ(static_cast<short>(word()), e.y) << e.id;
        EXPECT_EQ(static_cast<short>(word()), e.cx) << e.id;
        EXPECT_EQ(static_cast<short>(word()), e.cy) << e.id;
        EXPECT_EQ(dword(), e.id);
        if (e.className) {
            std::wstring cls = text();
            EXPECT_EQ(::lstrcmpiW(cls.c_str(), e.className), 0) << e.id;
        } else {
            EXPECT_EQ(word(), 0xFFFF) << e.id;
            EXPECT_EQ(word(), 0x0082) << e.id;
        }
        EXPECT_EQ(text(), e.title) << e.id;
        const WORD extra = word();
        p += extra;
    }
}

TEST_F(ProgressDialogTest, TopmostPopupCentredInTheWorkArea)
{
    const LONG style = ::GetWindowLongA(m_hwnd, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_TRUE(style & WS_BORDER);
    EXPECT_FALSE(style & WS_CAPTION & ~WS_BORDER);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_TRUE(::GetWindowLongA(m_hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT r, work;
    ::GetWindowRect(m_hwnd, &r);
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const WindowOrigin o =
        CenterInWorkArea(work.left, work.top, work.right, work.bottom, r.right - r.left, r.bottom - r.top);
    EXPECT_EQ(r.left, o.x);
    EXPECT_EQ(r.top, o.y);
}

TEST(ProgressPlacement, TaskBarAtTheTopOrLeft)
{
    RECT saved;
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &saved, 0);
    const RECT areas[] = {{0, 40, 1024, 768}, {60, 0, 1024, 768}};
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&icc);
    for (RECT area : areas) {
        if (!::SystemParametersInfoA(SPI_SETWORKAREA, 0, &area, 0))
            GTEST_SKIP() << "the work area cannot be set here";
        RECT check;
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &check, 0);
        if (!::EqualRect(&check, &area))
            GTEST_SKIP() << "the work area cannot be set here";
        CCopyProgressDlg dlg;
        ASSERT_TRUE(dlg.Create(nullptr));
        RECT r;
        ::GetWindowRect(dlg.GetSafeHwnd(), &r);
        const int w = r.right - r.left, h = r.bottom - r.top;
        EXPECT_EQ(r.left, area.left + (area.right - area.left - w) / 2);
        EXPECT_EQ(r.top, area.top + (area.bottom - area.top - h) / 2);
        dlg.DestroyWindow();
    }
    ::SystemParametersInfoA(SPI_SETWORKAREA, 0, &saved, 0);
}

TEST_F(ProgressDialogTest, RangeStepAndTextsAfterEachFile)
{
    m_dlg.SetProgressRange(0, 3, 1);
    EXPECT_EQ(Bound(true), 0);
    EXPECT_EQ(Bound(false), 3);
    EXPECT_EQ(Pos(), 0);
    EXPECT_EQ(ControlText(m_hwnd, IDC_STATUS), "");
    EXPECT_EQ(ControlText(m_hwnd, IDC_COUNT), "");
    for (int n = 0; n < 3; ++n) {
        EXPECT_NE(::SendMessageA(m_hwnd, WM_COPY_PROGRESS, n, 3), 0);
        EXPECT_EQ(Pos(), n + 1);
        EXPECT_EQ(ControlText(m_hwnd, IDC_STATUS), "Copying file CD Data to Working folder...");
        EXPECT_EQ(ControlText(m_hwnd, IDC_COUNT), std::to_string(n + 1) + " / 3");
        EXPECT_EQ(ControlText(m_hwnd, IDC_LABEL), "");
    }
    EXPECT_EQ(Pos(), Bound(false));
}

TEST_F(ProgressDialogTest, EmptyFolderRangeAndTheBarIsSmoothAndClassic)
{
    m_dlg.SetProgressRange(0, 0, 1);
    EXPECT_EQ(Bound(false), 0);
    EXPECT_EQ(Pos(), 0);
    EXPECT_TRUE(::GetWindowLongA(m_bar, GWL_STYLE) & PBS_SMOOTH);
}

struct Sender {
    HWND dialog;
    int total;
};

DWORD WINAPI SendFromWorker(void *param)
{
    const Sender *s = static_cast<const Sender *>(param);
    for (int i = 0; i < s->total; ++i)
        ::SendMessageA(s->dialog, WM_COPY_PROGRESS, i, s->total);
    return 0;
}

// As the copy worker does it: synchronous sends from another thread while this one runs its loop.
TEST_F(ProgressDialogTest, StepsFromAnotherThread)
{
    Sender sender{m_hwnd, 250};
    m_dlg.SetProgressRange(0, sender.total, 1);
    HANDLE thread = ::CreateThread(nullptr, 0, SendFromWorker, &sender, 0, nullptr);
    while (::MsgWaitForMultipleObjects(1, &thread, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        Pump();
    ::CloseHandle(thread);
    EXPECT_EQ(Pos(), 250);
    EXPECT_EQ(ControlText(m_hwnd, IDC_COUNT), "250 / 250");
}

// What the screen shows of the bar and the counter, read back once this thread has had time to paint: the filled
// part ends where the position says, whether or not a step moved it by a pixel and however many steps came between
// two paints, and both controls are shown again.
TEST_F(ProgressDialogTest, PaintedBarFollowsThePosition)
{
    struct Case {
        int total;
        int pumpEvery; // steps sent between two chances to paint
    };
    const Case cases[] = {{8, 1}, {9, 4}, {2000, 97}, {2000, 333}};
    RECT client;
    ::GetClientRect(m_bar, &client);
    const int inner = client.right - 2; // inside the bar's one-pixel frame
    const int y = client.bottom / 2;
    const COLORREF filled = ::GetSysColor(COLOR_HIGHLIGHT), empty = ::GetSysColor(COLOR_3DFACE);
    ASSERT_NE(filled, empty);
    for (const Case &c : cases) {
        m_dlg.SetProgressRange(0, c.total, 1);
        Pump();
        for (int i = 0; i < c.total; ++i) {
            ::SendMessageA(m_hwnd, WM_COPY_PROGRESS, i, c.total);
            if ((i + 1) % c.pumpEvery != 0 && i + 1 != c.total)
                continue;
            PumpUntilPainted();
            EXPECT_TRUE(::IsWindowVisible(m_bar) && ::IsWindowVisible(::GetDlgItem(m_hwnd, IDC_COUNT)));
            const int end = 1 + ::MulDiv(i + 1, inner, c.total);
            HDC dc = ::GetDC(m_bar);
            const COLORREF last = ::GetPixel(dc, end - 1, y), next = ::GetPixel(dc, end, y);
            ::ReleaseDC(m_bar, dc);
            if (end > 1) {
                EXPECT_EQ(last, filled) << c.total << "/" << c.pumpEvery << " at " << i + 1;
            }
            if (end < 1 + inner) {
                EXPECT_EQ(next, empty) << c.total << "/" << c.pumpEvery << " at " << i + 1;
            }
        }
    }
}

// Before the reference copy holds this thread, the window paints what it owes at once: the last file's count and
// a full bar are on the screen without a single message run in between.
TEST_F(ProgressDialogTest, PaintNowShowsTheLastFileAtOnce)
{
    const int total = 40;
    m_dlg.SetProgressRange(0, total, 1);
    PumpUntilPainted();
    HWND count = ::GetDlgItem(m_hwnd, IDC_COUNT);
    for (int i = 0; i < total; ++i) {
        ::SendMessageA(m_hwnd, WM_COPY_PROGRESS, i, total);
        // While their painting is held the two stay what the template made them: visible windows.
        EXPECT_TRUE(::IsWindowVisible(m_bar) && ::IsWindowVisible(count)) << i;
    }
    m_dlg.PaintNow();

    RECT bar;
    ::GetClientRect(m_bar, &bar);
    HDC dc = ::GetDC(m_bar);
    EXPECT_EQ(::GetPixel(dc, bar.right - 2, bar.bottom / 2), ::GetSysColor(COLOR_HIGHLIGHT));
    ::ReleaseDC(m_bar, dc);
    // The counter's cells are white behind black characters: some black shows where "40 / 40" is written.
    RECT cell;
    ::GetClientRect(count, &cell);
    dc = ::GetDC(count);
    int dark = 0;
    for (int x = 0; x < cell.right; ++x) {
        for (int y = 0; y < cell.bottom; ++y)
            dark += ::GetPixel(dc, x, y) == RGB(0, 0, 0);
    }
    ::ReleaseDC(count, dc);
    EXPECT_GT(dark, 0);
}

// More files than a 16-bit range holds: the bar is full exactly at the last file.
TEST_F(ProgressDialogTest, ThirtyTwoBitRange)
{
    const int total = 70000;
    m_dlg.SetProgressRange(0, total, 1);
    EXPECT_EQ(Bound(false), total);
    ::SendMessageA(m_bar, PBM_SETPOS, total - 2, 0);
    ::SendMessageA(m_hwnd, WM_COPY_PROGRESS, total - 2, total);
    EXPECT_EQ(Pos(), total - 1);
    ::SendMessageA(m_hwnd, WM_COPY_PROGRESS, total - 1, total);
    EXPECT_EQ(Pos(), total);
    EXPECT_EQ(ControlText(m_hwnd, IDC_COUNT), "70000 / 70000");
}

// WM_USER + 1 means DM_SETDEFID to the dialog manager; the progress message must never reach it.
TEST_F(ProgressDialogTest, ProgressMessageIsNotTakenForSetDefId)
{
    const LRESULT before = ::SendMessageA(m_hwnd, DM_GETDEFID, 0, 0);
    m_dlg.SetProgressRange(0, 5, 1);
    ::SendMessageA(m_hwnd, WM_COPY_PROGRESS, 0, 5);
    EXPECT_EQ(::SendMessageA(m_hwnd, DM_GETDEFID, 0, 0), before);
    EXPECT_EQ(ControlText(m_hwnd, IDC_COUNT), "1 / 5");
}

TEST_F(ProgressDialogTest, EnterAndEscapeNeitherCloseNorHide)
{
    ::SendMessageA(m_hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ::SendMessageA(m_hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        MSG msg{m_hwnd, WM_KEYDOWN, key, 0, 0, {0, 0}};
        ::IsDialogMessageA(m_hwnd, &msg);
    }
    Pump();
    EXPECT_TRUE(::IsWindow(m_hwnd));
    EXPECT_TRUE(::IsWindowVisible(m_hwnd));
}

TEST_F(ProgressDialogTest, SlidesAdvanceByTimerAndByMarkerClicks)
{
    EXPECT_EQ(m_dlg.GetSlide(), 0);
    const int expected[] = {1, 2, 3, 4, 5, 6, 7, 1};
    for (int slide : expected) {
        ::SendMessageA(m_hwnd, WM_TIMER, 0, 0);
        EXPECT_EQ(m_dlg.GetSlide(), slide);
    }
    ::SendMessageA(m_hwnd, WM_TIMER, 5, 0); // another timer changes nothing
    EXPECT_EQ(m_dlg.GetSlide(), 1);
    const struct {
        int x, y, slide;
    } clicks[] = {{295, 270, 7}, {62, 270, 7}, {80, 270, 7}, {63, 266, 1}, {257, 274, 6}, {262, 270, 6}};
    for (const auto &c : clicks) {
        ::SendMessageA(m_hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(c.x, c.y));
        EXPECT_EQ(m_dlg.GetSlide(), c.slide) << c.x << "," << c.y;
    }
}

// The painted picture: the lit marker of slides 6 and 7 comes from resources 142 and 141.
TEST_F(ProgressDialogTest, PaintedSlideLightsItsMarker)
{
    const COLORREF orange = RGB(217, 72, 0), grey = RGB(174, 174, 174);
    for (int slide = 1; slide <= 7; ++slide) {
        while (m_dlg.GetSlide() != slide)
            ::SendMessageA(m_hwnd, WM_TIMER, 0, 0);
        ::RedrawWindow(m_hwnd, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW);
        HDC dc = ::GetDC(m_hwnd);
        for (int marker = 1; marker <= 7; ++marker) {
            const int x = 62 + 38 * (marker - 1) + 5, y = 270;
            EXPECT_EQ(::GetPixel(dc, x, y), marker == slide ? orange : grey)
                << "slide " << slide << " marker " << marker;
        }
        ::ReleaseDC(m_hwnd, dc);
    }
}

} // namespace

namespace {

// The window as this world's DPI and screen make it (the test world: Tahoma, 96 DPI, 1024 x 768; the scenario tests
// run these at 120 and 144 DPI too).
class ProgressWindowOnThisScreen : public ProgressDialogTest {};

TEST_F(ProgressWindowOnThisScreen, PictureCoversTheClientArea)
{
    RECT client;
    ::GetClientRect(m_hwnd, &client);
    const Extent drawn = m_dlg.GetPictureSize();
    EXPECT_NEAR(drawn.width, client.right, 4);
    EXPECT_NEAR(drawn.height, client.bottom, 4);
    ClientDc dc(m_hwnd);
    RECT work;
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    if (::GetDeviceCaps(dc.Get(), LOGPIXELSX) == 96 && work.right - work.left > 700 && work.bottom - work.top > 440) {
        // As on Windows: the template in Tahoma 10 pt comes out the picture's size, and the picture is drawn 1:1.
        EXPECT_NEAR(client.right, 680, 4);
        EXPECT_NEAR(client.bottom, 420, 4);
        EXPECT_EQ(drawn.width, 680);
        EXPECT_EQ(drawn.height, 420);
    }
}

// "Copying file CD Data to Working folder..." in one line of its control, in the font the control shows it in.
TEST_F(ProgressWindowOnThisScreen, WholeStatusLine)
{
    m_dlg.SetProgressRange(0, 20000, 1);
    ::SendMessageA(m_hwnd, WM_COPY_PROGRESS, 19999, 20000);
    for (int id : {IDC_STATUS, IDC_COUNT}) {
        HWND control = ::GetDlgItem(m_hwnd, id);
        const std::string text = ControlText(m_hwnd, id);
        RECT room;
        ::GetClientRect(control, &room);
        ClientDc dc(control);
        ScopedSelectObject font(dc.Get(), reinterpret_cast<HGDIOBJ>(::SendMessageA(control, WM_GETFONT, 0, 0)));
        SIZE size{};
        ::GetTextExtentPoint32A(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size);
        EXPECT_LE(size.cx, room.right) << text;
        EXPECT_LE(size.cy, room.bottom) << text;
    }
    // Both in the white band, the counter right of the status line.
    RECT status, count;
    ::GetWindowRect(::GetDlgItem(m_hwnd, IDC_STATUS), &status);
    ::GetWindowRect(::GetDlgItem(m_hwnd, IDC_COUNT), &count);
    EXPECT_LE(status.right, count.left);
    RECT window;
    ::GetWindowRect(m_hwnd, &window);
    EXPECT_LE(count.right - window.left, 540 * m_dlg.GetPictureSize().width / 680);
}

// With files coming faster than the paint interval, the bar and the counter still reach the screen every interval:
// the hold on their painting is not renewed by each message.
TEST_F(ProgressDialogTest, FastFilesStillPaintEveryInterval)
{
    const int total = 1000;
    m_dlg.SetProgressRange(0, total, 1);
    PumpUntilPainted();
    const DWORD until = ::GetTickCount() + 250;
    for (int i = 0; static_cast<LONG>(until - ::GetTickCount()) > 0; ++i) {
        ::SendMessageA(m_hwnd, WM_COPY_PROGRESS, i, total);
        const DWORD next = ::GetTickCount() + 10;
        for (DWORD now = ::GetTickCount(); static_cast<LONG>(next - now) > 0; now = ::GetTickCount()) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, next - now, QS_ALLINPUT);
            Pump();
        }
    }
    // Still in the stream of messages: what the screen shows is at most an interval behind, not the empty bar.
    RECT bar;
    ::GetClientRect(m_bar, &bar);
    ClientDc dc(m_bar);
    EXPECT_EQ(::GetPixel(dc.Get(), 2, bar.bottom / 2), ::GetSysColor(COLOR_HIGHLIGHT));
}

// The three texts are drawn on white cells, and the rest of each control is left unpainted: over the picture's white
// band an empty control shows white, not a grey box of the dialog's colour.
TEST_F(ProgressDialogTest, EmptyTextsLeaveThePictureShowing)
{
    ::RedrawWindow(m_hwnd, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    for (int id : {IDC_LABEL, IDC_STATUS, IDC_COUNT}) {
        HWND control = ::GetDlgItem(m_hwnd, id);
        RECT r;
        ::GetClientRect(control, &r);
        ClientDc dc(control);
        for (const POINT p : {POINT{2, r.bottom - 3}, POINT{r.right / 2, r.bottom - 3}, POINT{r.right - 3, r.bottom - 3}})
            EXPECT_EQ(::GetPixel(dc.Get(), p.x, p.y), RGB(255, 255, 255)) << id << " at " << p.x << "," << p.y;
    }
}

} // namespace
