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
const LPCSTR kBitmapResource = MAKEINTRESOURCEA(2); // RT_BITMAP

struct SlidePicture {
    const BITMAPINFO *info = nullptr;
    const void *bits = nullptr;
};

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

// Where the bar's filled part ends for a position, at the bar's width: a control with a border of one pixel fills
// `width - 2`, so both are reckoned.
bool FillMoves(int before, int after, int lower, int upper, int width)
{
    if (upper <= lower)
        return before != after;
    for (const int fill : {width, width - 2}) {
        if (::MulDiv(before - lower, fill, upper - lower) != ::MulDiv(after - lower, fill, upper - lower))
            return true;
    }
    return false;
}
} // namespace

CCopyProgressDlg::CCopyProgressDlg(HWND parent)
    : Dialog(IDD_COPY_PROGRESS), m_parent(parent), m_strLabel(""), m_nSlide(0), m_rcMarkers{}
{
}

// The bar's window procedure reads this object, so the window goes first.
CCopyProgressDlg::~CCopyProgressDlg() { DestroyWindow(); }

bool CCopyProgressDlg::Create(HWND parent) { return Dialog::Create(parent ? parent : m_parent); }

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

    // Themed bars ignore PBS_SMOOTH and are slow to step under some themes (Wine's default theme takes 0.6 ms a
    // step); the template asks for the classic smooth bar, so the bar is drawn unthemed everywhere. The class list
    // is a blank, which names no class of any theme: Wine takes an empty one for no list at all and keeps the theme.
    HWND bar = m_ctrlProgress.GetSafeHwnd();
    ::SetWindowTheme(bar, L" ", L" ");
    ::SetWindowLongPtrA(bar, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_barProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BarProc)));

    RECT window{};
    ::GetWindowRect(m_hWnd, &window);
    RECT work{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const WindowOrigin at = CenterInWorkArea(work.left, work.top, work.right, work.bottom, window.right - window.left,
                                             window.bottom - window.top);
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);

    for (int i = 0; i < slideshow::kMarkerCount; ++i) {
        const slideshow::Rect r = slideshow::MarkerRect(i);
        m_rcMarkers[i] = RECT{r.left, r.top, r.right, r.bottom};
    }
    ::SetTimer(m_hWnd, slideshow::kTimerId, slideshow::kIntervalMs, nullptr);
    return TRUE;
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

void CCopyProgressDlg::DrawSlide()
{
    // The picture is painted straight from the program's resources, where it lies as a device-independent bitmap:
    // no copy of it is made for the screen (loading one converted its 860 KB at every erase, and kept 1.1 MB for
    // as long as it lived). The pixels are those the loaded copy gave.
    const SlidePicture picture = FindSlidePicture(slideshow::BitmapForSlide(m_nSlide));
    if (!picture.info)
        return;
    const int width = picture.info->bmiHeader.biWidth;
    const int height = std::abs(picture.info->bmiHeader.biHeight);
    ClientDc client(m_hWnd);
    ::SetDIBitsToDevice(client.Get(), 0, 0, width, height, 0, 0, 0, height, picture.bits, picture.info, DIB_RGB_COLORS);

    // Where the template's font makes the window larger than the picture, the rest would keep whatever
    // the screen held; it gets the white of the picture's lower band instead.
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
    if (id != slideshow::kTimerId)
        return;
    m_nSlide = slideshow::NextSlide(m_nSlide);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CCopyProgressDlg::OnLButtonDown(UINT, POINT point)
{
    const int slide = slideshow::SlideAtPoint(point.x, point.y);
    if (slide > 0) {
        m_nSlide = slide;
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
    }
    // Every click restarts the interval, so the next change comes a full interval after it.
    ::KillTimer(m_hWnd, slideshow::kTimerId);
    ::SetTimer(m_hWnd, slideshow::kTimerId, slideshow::kIntervalMs, nullptr);
}

// The bar paints itself inside every step (it invalidates itself and updates at once), and the copy worker waits for
// that: about 0.15 ms a step under Wine. In a folder of thousands of files most steps move the filled part by less
// than a pixel. So the paint a step asks for is dropped, and the bar is invalidated only when its filled part moves;
// it then paints when this thread is next idle, while the worker copies the next file. Its position is exact after
// every step all the same.
void CCopyProgressDlg::StepBar()
{
    HWND bar = m_ctrlProgress.GetSafeHwnd();
    m_bStepping = true;
    const int before = static_cast<int>(m_ctrlProgress.Send(PBM_STEPIT));
    m_bStepping = false;
    const int after = static_cast<int>(m_ctrlProgress.Send(PBM_GETPOS));
    PBRANGE range{};
    m_ctrlProgress.Send(PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    RECT client{};
    ::GetClientRect(bar, &client);
    // A paint still owed from an earlier step was dropped with this step's.
    if (m_bBarOwed || FillMoves(before, after, range.iLow, range.iHigh, client.right)) {
        ::InvalidateRect(bar, nullptr, FALSE);
        m_bBarOwed = true;
    }
}

LRESULT CALLBACK CCopyProgressDlg::BarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    CCopyProgressDlg *self = reinterpret_cast<CCopyProgressDlg *>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    const WNDPROC original = self->m_barProc;
    if (msg == WM_PAINT) {
        if (self->m_bStepping) {
            ::ValidateRect(hwnd, nullptr);
            return 0;
        }
        self->m_bBarOwed = false;
    } else if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    }
    return ::CallWindowProcA(original, hwnd, msg, wParam, lParam);
}

LRESULT CCopyProgressDlg::OnCopyProgress(WPARAM wParam, LPARAM lParam)
{
    StepBar();
    m_strStatus = kStatusCopying;
    m_strCount = Format(kCountFormat, static_cast<int>(wParam) + 1, static_cast<int>(lParam));
    // The two texts a file changes, not the whole exchange: each control is looked up anew, and under Wine every
    // lookup asks the server. The label never changes.
    DataExchange dx(m_hWnd);
    dx.Text(IDC_STATUS, m_strStatus);
    dx.Text(IDC_COUNT, m_strCount);
    return TRUE;
}
