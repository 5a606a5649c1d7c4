// The progress window's controls on screens that scale it: where they stand on the picture, and whether the status
// line still fits its control. At 120 and 144 DPI the template grows wider than the picture's proportions (Tahoma's
// dialog units grow more across than down), so the window is scaled by different factors across and down even where
// the screen has room; on a small screen it shrinks, and its controls with it, while the font does not.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "platform/Handles.h"
#include "ui/CopyProgressDlg.h"
#include "ui/CopyProgressDlgIds.h"

namespace {

constexpr char kStatusText[] = "Copying file CD Data to Working folder...";

// The template's size and its controls' places, in dialog units: where each stands on the picture.
constexpr int kTemplateWidth = 387, kTemplateHeight = 210;
const struct {
    int id;
    int left, top, width, height;
} kControls[] = {
    {IDC_PROGRESS, 12, 194, 364, 6},
    {IDC_LABEL, 12, 172, 88, 10},
    {IDC_STATUS, 12, 182, 160, 9},
    {IDC_COUNT, 172, 182, 73, 9},
};

// `part` of `whole` dialog units as a share of `size` pixels, to the nearest pixel.
int Share(int part, int whole, LONG size)
{
    return static_cast<int>((2 * part * size + whole) / (2 * whole));
}

// Each control's edges at the share of the client area (the picture, where the window is scaled) that they have in
// the template, within the rounding of dialog units and of the scaling.
void ExpectControlsOnThePicture(HWND dialog)
{
    RECT client;
    ::GetClientRect(dialog, &client);
    for (const auto &c : kControls) {
        RECT r;
        ::GetWindowRect(::GetDlgItem(dialog, c.id), &r);
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&r), 2);
        const int left = Share(c.left, kTemplateWidth, client.right);
        const int right = Share(c.left + c.width, kTemplateWidth, client.right);
        const int top = Share(c.top, kTemplateHeight, client.bottom);
        const int bottom = Share(c.top + c.height, kTemplateHeight, client.bottom);
        EXPECT_NEAR(r.left, left, 1) << c.id << " in a client area of " << client.right << " x " << client.bottom;
        EXPECT_NEAR(r.right, right, 1) << c.id << " in a client area of " << client.right << " x " << client.bottom;
        EXPECT_NEAR(r.top, top, 1) << c.id << " in a client area of " << client.right << " x " << client.bottom;
        EXPECT_NEAR(r.bottom, bottom, 1) << c.id << " in a client area of " << client.right << " x " << client.bottom;
    }
}

// The status line's text in one line of its control, in the font the control shows it in.
void ExpectWholeStatusLine(HWND dialog)
{
    HWND control = ::GetDlgItem(dialog, IDC_STATUS);
    RECT room;
    ::GetClientRect(control, &room);
    ClientDc dc(control);
    ScopedSelectObject font(dc.Get(), reinterpret_cast<HGDIOBJ>(::SendMessageA(control, WM_GETFONT, 0, 0)));
    SIZE text{};
    ::GetTextExtentPoint32A(dc.Get(), kStatusText, static_cast<int>(sizeof kStatusText - 1), &text);
    EXPECT_LE(text.cx, room.right) << "a status line of " << room.right << " x " << room.bottom;
    EXPECT_LE(text.cy, room.bottom) << "a status line of " << room.right << " x " << room.bottom;
}

void InitBar()
{
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&icc);
}

// As this world's screen and DPI make the window (the scenario tests run it at 96, 120 and 144 DPI, on small
// screens too).
TEST(ProgressLayoutOnThisScreen, ControlsKeepTheirPlacesOnThePicture)
{
    InitBar();
    CCopyProgressDlg dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    ExpectControlsOnThePicture(dialog.GetSafeHwnd());
    ExpectWholeStatusLine(dialog.GetSafeHwnd());
}

// Work areas that shrink the window, down to where the status line no longer fits in the template's font at 96 DPI
// (below about 560 x 350: at 120 DPI a 640 x 480 screen is such a screen, at 144 DPI an 800 x 600 one).
TEST(ProgressOnSmallWorkAreas, StatusLineWholeAndControlsOnThePicture)
{
    InitBar();
    RECT saved;
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &saved, 0);
    const RECT areas[] = {{0, 0, 640, 450}, {0, 0, 600, 400}, {0, 30, 500, 360}, {40, 0, 440, 260}};
    for (RECT area : areas) {
        RECT check;
        if (!::SystemParametersInfoA(SPI_SETWORKAREA, 0, &area, 0) ||
            !::SystemParametersInfoA(SPI_GETWORKAREA, 0, &check, 0) || !::EqualRect(&check, &area)) {
            ::SystemParametersInfoA(SPI_SETWORKAREA, 0, &saved, 0);
            GTEST_SKIP() << "the work area cannot be set here";
        }
        CCopyProgressDlg dialog;
        ASSERT_TRUE(dialog.Create(nullptr));
        SCOPED_TRACE("a work area of " + std::to_string(area.right - area.left) + " x " +
                     std::to_string(area.bottom - area.top));
        RECT window;
        ::GetWindowRect(dialog.GetSafeHwnd(), &window);
        EXPECT_LE(window.right - window.left, area.right - area.left);
        EXPECT_LE(window.bottom - window.top, area.bottom - area.top);
        ExpectControlsOnThePicture(dialog.GetSafeHwnd());
        ExpectWholeStatusLine(dialog.GetSafeHwnd());
        dialog.DestroyWindow();
    }
    ::SystemParametersInfoA(SPI_SETWORKAREA, 0, &saved, 0);
}

} // namespace
