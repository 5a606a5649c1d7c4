#include "CopyProgressDlg.h"

#include <commctrl.h>
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
} // namespace

CCopyProgressDlg::CCopyProgressDlg(HWND parent)
    : Dialog(IDD_COPY_PROGRESS), m_parent(parent), m_strLabel(""), m_nSlide(0), m_rcMarkers{}
{
}

CCopyProgressDlg::~CCopyProgressDlg() = default;

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

    // Themed bars ignore PBS_SMOOTH and are slow to step under some themes; the template asks for the
    // classic smooth bar, so the bar is drawn unthemed everywhere.
    ::SetWindowTheme(m_ctrlProgress.GetSafeHwnd(), L"", L"");

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
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    GdiObject bitmap(::LoadBitmapA(instance, MAKEINTRESOURCEA(slideshow::BitmapForSlide(m_nSlide))));
    if (!bitmap)
        return;
    BITMAP info{};
    ::GetObjectA(bitmap.Get(), sizeof(info), &info);
    ClientDc client(m_hWnd);
    MemoryDc memory(::CreateCompatibleDC(client.Get()));
    ScopedSelectObject select(memory.Get(), bitmap.Get());
    ::BitBlt(client.Get(), 0, 0, info.bmWidth, info.bmHeight, memory.Get(), 0, 0, SRCCOPY);

    // Where the template's font makes the window larger than the picture, the rest would keep whatever
    // the screen held; it gets the white of the picture's lower band instead.
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    HBRUSH white = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    const RECT right{info.bmWidth, 0, rc.right, rc.bottom};
    const RECT below{0, info.bmHeight, info.bmWidth, rc.bottom};
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

LRESULT CCopyProgressDlg::OnCopyProgress(WPARAM wParam, LPARAM lParam)
{
    m_ctrlProgress.Send(PBM_STEPIT);
    m_strStatus = kStatusCopying;
    m_strCount = Format(kCountFormat, static_cast<int>(wParam) + 1, static_cast<int>(lParam));
    return UpdateData(false);
}
