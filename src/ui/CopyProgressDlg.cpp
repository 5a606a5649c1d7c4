#include "CopyProgressDlg.h"

#include <commctrl.h>
#include <cstdlib>
#include <uxtheme.h>
#include <windowsx.h>

#include "app/Messages.h"
#include "platform/DebugOut.h"
#include "ui/CopyProgressDlgIds.h"
#include "ui/Placement.h"
#include "ui/Slideshow.h"

namespace {
constexpr char kStatusCopying[] = "Copying file CD Data to Working folder...";
constexpr char kCountFormat[] = "%d / %d";
// The reference database takes minutes on a large one: the window tells that it goes on, and with what. Shorter than
// the patient copy's text, so the font chosen for that one fits it too.
constexpr char kStatusReference[] = "Copying the reference database...";
const LPCSTR kBitmapResource = MAKEINTRESOURCEA(2); // RT_BITMAP

using SlidePicture = CCopyProgressDlg::SlidePicture;

// A bitmap resource is a BITMAPINFO followed by its pixels.
SlidePicture FindSlidePicture(int id)
{
    SlidePicture picture;
    HMODULE module = ::GetModuleHandleA(nullptr);
    HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(id), kBitmapResource);
    const BYTE *data = found ? static_cast<const BYTE *>(::LockResource(::LoadResource(module, found))) : nullptr;
    if (!data || ::SizeofResource(module, found) < sizeof(BITMAPINFOHEADER))
        return picture;
    const BITMAPINFOHEADER &header = *reinterpret_cast<const BITMAPINFOHEADER *>(data);
    DWORD colors = header.biClrUsed;
    if (!colors && header.biBitCount <= 8)
        colors = 1u << header.biBitCount;
    const DWORD masks = header.biCompression == BI_BITFIELDS ? 3 : 0;
    picture.info = reinterpret_cast<const BITMAPINFO *>(data);
    picture.bits = data + header.biSize + (colors + masks) * sizeof(RGBQUAD);
    return picture;
}

// The timer that ends a hold on the painting of the bar and the counter (see HoldPainting); the slideshow's is 0.
constexpr UINT_PTR kPaintTimerId = 1;
constexpr UINT kPaintIntervalMs = 50;
// The smallest font the texts get on a screen too small for the window.
constexpr int kSmallestTextHeight = 8;
} // namespace

CCopyProgressDlg::CCopyProgressDlg(HWND parent)
    : Dialog(IDD_COPY_PROGRESS), m_parent(parent), m_strLabel(""), m_nSlide(0), m_rcMarkers{}
{
}

// The window's procedures call this object's handlers, so the window goes first.
CCopyProgressDlg::~CCopyProgressDlg()
{
    DestroyWindow();
}

bool CCopyProgressDlg::Create(HWND parent)
{
    return Dialog::Create(parent ? parent : m_parent);
}

void CCopyProgressDlg::DoDataExchange(DataExchange &dx)
{
    dx.Control(IDC_PROGRESS, m_ctrlProgress);
    dx.Text(IDC_STATUS, m_strStatus);
    dx.Text(IDC_COUNT, m_strCount);
    dx.Text(IDC_LABEL, m_strLabel);
}

BOOL CCopyProgressDlg::OnInitDialog()
{
    Dialog::OnInitDialog();
    m_hStatus = ::GetDlgItem(m_hWnd, IDC_STATUS);
    m_hCount = ::GetDlgItem(m_hWnd, IDC_COUNT);
    HandleAheadOfDialogManager(WM_COPY_PROGRESS);

    // Themed bars ignore PBS_SMOOTH and are slow to step under some themes (Wine's default theme takes 0.6 ms a
    // step); the template asks for the classic smooth bar, so the bar is drawn unthemed everywhere. The class list
    // is a blank, which names no class of any theme: Wine takes an empty one for no list at all and keeps the theme.
    HWND bar = m_ctrlProgress.GetSafeHwnd();
    ::SetWindowTheme(bar, L" ", L" ");
    ::SetWindowLongPtrA(bar, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_barProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BarProc)));

    FitToScreen();
    for (int i = 0; i < slideshow::kMarkerCount; ++i) {
        const slideshow::Rect r = slideshow::MarkerRect(i, m_drawn.width, m_drawn.height);
        m_rcMarkers[i] = RECT{r.left, r.top, r.right, r.bottom};
    }
    ::SetTimer(m_hWnd, slideshow::kTimerId, slideshow::kIntervalMs, nullptr);
    return TRUE;
}

// The work area, on one monitor: where the platform tells monitors apart and reports a work area that spans more
// than one, the window goes on the monitor that holds the most of it, not across the bezel between two. (A single
// screen made of two panels is one monitor to the system: the window stands in its middle.)
static RECT WorkArea()
{
    RECT work{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT onMonitor;
    if (::GetMonitorInfoA(::MonitorFromRect(&work, MONITOR_DEFAULTTOPRIMARY), &monitor) &&
        ::IntersectRect(&onMonitor, &work, &monitor.rcWork))
        work = onMonitor;
    return work;
}

void CCopyProgressDlg::FitToScreen()
{
    RECT window{}, client{};
    ::GetWindowRect(m_hWnd, &window);
    ::GetClientRect(m_hWnd, &client);
    const RECT work = WorkArea();
    const Extent created{client.right, client.bottom};
    const Extent frame{window.right - window.left - client.right, window.bottom - window.top - client.bottom};
    const WindowLayout layout = LayOutWindow(created, frame, Area{work.left, work.top, work.right, work.bottom},
                                             Extent{slideshow::kPictureWidth, slideshow::kPictureHeight});
    m_drawn = layout.scaled ? layout.client : Extent{slideshow::kPictureWidth, slideshow::kPictureHeight};
    UINT flags = SWP_SHOWWINDOW;
    if (layout.scaled) {
        // The controls keep their places on the picture: each is moved and sized with it.
        for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            RECT r;
            ::GetWindowRect(child, &r);
            ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT *>(&r), 2);
            const int left = ScaleCoordinate(r.left, layout.client.width, created.width);
            const int top = ScaleCoordinate(r.top, layout.client.height, created.height);
            ::MoveWindow(child, left, top, ScaleCoordinate(r.right, layout.client.width, created.width) - left,
                         ScaleCoordinate(r.bottom, layout.client.height, created.height) - top, FALSE);
        }
        FitTextFont();
    } else {
        flags |= SWP_NOSIZE;
    }
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, layout.at.x, layout.at.y, layout.client.width + frame.width,
                   layout.client.height + frame.height, flags);
}

// A window scaled down has narrower controls: where the status line, the longest text, would no longer fit its
// control in one line, the texts get the largest smaller font in which it does.
void CCopyProgressDlg::FitTextFont()
{
    HFONT dialogFont = reinterpret_cast<HFONT>(::SendMessageA(m_hWnd, WM_GETFONT, 0, 0));
    LOGFONTA logFont{};
    if (!dialogFont || !::GetObjectA(dialogFont, sizeof logFont, &logFont) || !m_hStatus)
        return;
    RECT room;
    ::GetClientRect(m_hStatus, &room);
    ClientDc dc(m_hStatus);
    const int fullHeight = std::abs(logFont.lfHeight);
    for (int height = fullHeight; height >= kSmallestTextHeight; --height) {
        logFont.lfHeight = -height;
        GdiObject font(height == fullHeight ? nullptr : ::CreateFontIndirectA(&logFont));
        ScopedSelectObject select(dc.Get(), font ? font.Get() : dialogFont);
        SIZE text{};
        TEXTMETRICA metrics{};
        ::GetTextExtentPoint32A(dc.Get(), kStatusCopying, static_cast<int>(sizeof kStatusCopying - 1), &text);
        ::GetTextMetricsA(dc.Get(), &metrics);
        if (text.cx <= room.right && metrics.tmHeight <= room.bottom) {
            if (!font)
                return;
            m_textFont = std::move(font);
            break;
        }
    }
    if (!m_textFont)
        return;
    for (int id : {IDC_LABEL, IDC_STATUS, IDC_COUNT})
        ::SendDlgItemMessageA(m_hWnd, id, WM_SETFONT, reinterpret_cast<WPARAM>(m_textFont.Get()), FALSE);
}

void CCopyProgressDlg::SetProgressRange(int nLower, int nUpper, int nStep)
{
    // 32-bit bounds: a folder of more than 65,535 files still fills the bar exactly at its last file.
    m_ctrlProgress.Send(PBM_SETRANGE32, static_cast<WPARAM>(nLower), static_cast<LPARAM>(nUpper));
    m_ctrlProgress.Send(PBM_SETPOS, static_cast<WPARAM>(nLower));
    m_ctrlProgress.Send(PBM_SETSTEP, static_cast<WPARAM>(nStep));
    UpdateData(false);
}

bool CCopyProgressDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result)
{
    switch (msg) {
    case WM_CTLCOLORSTATIC:
        result = OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), msg, wParam, lParam);
        return true;
    case WM_LBUTTONDOWN:
        OnLButtonDown(static_cast<UINT>(wParam), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return false; // and on to default processing
    case WM_ERASEBKGND:
        result = OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
        return true;
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return false;
    case WM_COPY_PROGRESS:
        result = OnCopyProgress(wParam, lParam);
        return true;
    case WM_REFERENCE_PROGRESS:
        result = OnReferenceProgress(wParam, lParam);
        return true;
    default:
        return false;
    }
}

LRESULT CCopyProgressDlg::OnCtlColor(HDC hdc, HWND control, UINT ctlColor, WPARAM wParam, LPARAM lParam)
{
    // The default colours first: text colour and the dialog's brush.
    const LRESULT brush = ::DefWindowProcA(m_hWnd, ctlColor, wParam, lParam);
    const int id = ::GetDlgCtrlID(control);
    if (id == IDC_STATUS || id == IDC_COUNT || id == IDC_LABEL) {
        // Characters on white cells; the rest of the control is left unpainted and shows the picture,
        // whose lower band is white.
        ::SetBkColor(hdc, RGB(255, 255, 255));
        ::SetBkMode(hdc, OPAQUE);
        return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    }
    return brush;
}

BOOL CCopyProgressDlg::OnEraseBkgnd(HDC)
{
    DrawSlide();
    return TRUE;
}

// The picture as the screen shows it: from the program's resources where it is drawn at its own size, else scaled
// to the client area once for as long as it is shown.
SlidePicture CCopyProgressDlg::PictureForScreen(int id)
{
    const SlidePicture picture = FindSlidePicture(id);
    if (!picture.info)
        return picture;
    const BITMAPINFOHEADER &header = picture.info->bmiHeader;
    const int width = header.biWidth, height = std::abs(header.biHeight);
    if ((m_drawn.width == width && m_drawn.height == height) || header.biBitCount != 24 ||
        header.biCompression != BI_RGB)
        return picture;
    if (m_scaledId != id) {
        m_scaledPixels = slideshow::ScalePicture(static_cast<const unsigned char *>(picture.bits), width, height,
                                                 m_drawn.width, m_drawn.height);
        m_scaledId = id;
        m_scaledInfo = *picture.info;
        m_scaledInfo.bmiHeader.biWidth = m_drawn.width;
        m_scaledInfo.bmiHeader.biHeight = header.biHeight < 0 ? -m_drawn.height : m_drawn.height;
        m_scaledInfo.bmiHeader.biSizeImage = static_cast<DWORD>(m_scaledPixels.size());
        m_scaledInfo.bmiHeader.biClrUsed = 0;
    }
    return SlidePicture{&m_scaledInfo, m_scaledPixels.data()};
}

void CCopyProgressDlg::DrawSlide()
{
    // The picture is painted straight from the program's resources, where it lies as a device-independent bitmap:
    // no copy of it is made for the screen (loading one converted its 860 KB at every erase, and kept 1.1 MB for
    // as long as it lived). The pixels are those the loaded copy gave.
    const SlidePicture picture = PictureForScreen(slideshow::BitmapForSlide(m_nSlide));
    if (!picture.info)
        return;
    const int width = picture.info->bmiHeader.biWidth;
    const int height = std::abs(picture.info->bmiHeader.biHeight);
    ClientDc client(m_hWnd);
    ::SetDIBitsToDevice(client.Get(), 0, 0, width, height, 0, 0, 0, height, picture.bits, picture.info, DIB_RGB_COLORS);

    // Where the client area is larger than the picture, the rest would keep whatever the screen held; it gets the
    // white of the picture's lower band instead.
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    HBRUSH white = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    const RECT right{width, 0, rc.right, rc.bottom};
    const RECT below{0, height, width, rc.bottom};
    if (right.left < right.right)
        ::FillRect(client.Get(), &right, white);
    if (below.top < below.bottom)
        ::FillRect(client.Get(), &below, white);
}

void CCopyProgressDlg::OnTimer(UINT_PTR id)
{
    if (id == kPaintTimerId)
        ReleasePainting();
    if (id != slideshow::kTimerId)
        return;
    m_nSlide = slideshow::NextSlide(m_nSlide);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CCopyProgressDlg::OnLButtonDown(UINT, POINT point)
{
    const int slide = slideshow::SlideAtPoint(point.x, point.y, m_drawn.width, m_drawn.height);
    if (slide > 0) {
        m_nSlide = slide;
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
    }
    // Every click restarts the interval, so the next change comes a full interval after it.
    ::KillTimer(m_hWnd, slideshow::kTimerId);
    ::SetTimer(m_hWnd, slideshow::kTimerId, slideshow::kIntervalMs, nullptr);
}

// Under Wine the bar paints itself inside every step, and the counter inside every change of its text, while the
// copy worker waits: several requests to Wine's server and a drawing each, three times the cost of the message
// itself. A screen needs no more than a few pictures a second of a count that changes thousands of times. So while
// progress messages come, the two hold their painting, and the paint timer lets them paint once, with what they then
// hold, an interval later: the bar's own paints are answered by validating it (BarProc), and the counter's text is
// stored the way the static control stores it, without the drawing that follows (StoreCounterText). Their position
// and their text are exact after every message, and both stay visible windows; the screen is at most one interval
// behind them.
void CCopyProgressDlg::HoldPainting()
{
    if (m_bPaintHeld)
        return;
    m_bPaintHeld = true;
    ::SetTimer(m_hWnd, kPaintTimerId, kPaintIntervalMs, nullptr);
}

void CCopyProgressDlg::ReleasePainting()
{
    ::KillTimer(m_hWnd, kPaintTimerId);
    if (!m_bPaintHeld)
        return;
    m_bPaintHeld = false;
    ::InvalidateRect(m_ctrlProgress.GetSafeHwnd(), nullptr, FALSE);
    ::InvalidateRect(m_hCount, nullptr, FALSE);
}

void CCopyProgressDlg::StoreCounterText(const std::string &text)
{
    if (!ShowsText(m_hCount, text))
        ::DefWindowProcA(m_hCount, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

LRESULT CALLBACK CCopyProgressDlg::BarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    CCopyProgressDlg *self = reinterpret_cast<CCopyProgressDlg *>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    const WNDPROC original = self->m_barProc;
    if (msg == WM_PAINT && self->m_bPaintHeld) {
        ::ValidateRect(hwnd, nullptr);
        return 0;
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    }
    return ::CallWindowProcA(original, hwnd, msg, wParam, lParam);
}

void CCopyProgressDlg::PaintNow()
{
    if (!m_hWnd)
        return;
    ReleasePainting();
    ::UpdateWindow(m_hWnd);
}

LRESULT CCopyProgressDlg::OnReferenceProgress(WPARAM wParam, LPARAM lParam)
{
    const int handled = static_cast<int>(wParam), total = static_cast<int>(lParam);
    if (m_strStatus != kStatusReference) {
        m_strStatus = kStatusReference;
        SetControlText(m_hStatus, m_strStatus);
        m_ctrlProgress.Send(PBM_SETRANGE32, 0, static_cast<LPARAM>(total));
    }
    m_ctrlProgress.Send(PBM_SETPOS, static_cast<WPARAM>(handled));
    m_strCount = Format(kCountFormat, handled, total);
    SetControlText(m_hCount, m_strCount);
    return TRUE;
}

LRESULT CCopyProgressDlg::OnCopyProgress(WPARAM wParam, LPARAM lParam)
{
    HoldPainting();
    m_ctrlProgress.Send(PBM_STEPIT);
    m_strStatus = kStatusCopying;
    m_strCount = Format(kCountFormat, static_cast<int>(wParam) + 1, static_cast<int>(lParam));
    // The exchange of the two texts a file changes, with the controls as found once: under Wine every lookup of a
    // control asks the server. The label never changes.
    SetControlText(m_hStatus, m_strStatus);
    StoreCounterText(m_strCount);
    return TRUE;
}
