#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Dialog.h"
#include "platform/Handles.h"
#include "ui/Placement.h"

// The topmost, captionless progress window of a transfer: a smooth bar, a status line and a file
// counter over a slideshow of pictures.
class CCopyProgressDlg : public Dialog {
public:
    // A picture as a device-independent bitmap: its header and its pixels.
    struct SlidePicture {
        const BITMAPINFO *info = nullptr;
        const void *bits = nullptr;
    };

    explicit CCopyProgressDlg(HWND parent = nullptr);
    ~CCopyProgressDlg() override;

    bool Create(HWND parent = nullptr);
    void SetProgressRange(int nLower, int nUpper, int nStep);
    // Paints at once whatever the window owes, the bar and the counter included, before this thread turns to
    // something long.
    void PaintNow();

    // For tests and diagnostics.
    int GetSlide() const { return m_nSlide; }
    // The size the picture is drawn at: its own, or the client area's where the window is scaled.
    Extent GetPictureSize() const { return m_drawn; }

protected:
    void DoDataExchange(DataExchange &dx) override;
    BOOL OnInitDialog() override;
    // The window is the transfer's only sign of life; Enter and Esc must not close or hide it.
    void OnOK() override {}
    void OnCancel() override {}
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result) override;

private:
    LRESULT OnCtlColor(HDC hdc, HWND control, UINT ctlColor, WPARAM wParam, LPARAM lParam);
    BOOL OnEraseBkgnd(HDC hdc);
    void OnTimer(UINT_PTR id);
    void OnLButtonDown(UINT flags, POINT point);
    LRESULT OnCopyProgress(WPARAM wParam, LPARAM lParam);
    LRESULT OnReferenceProgress(WPARAM wParam, LPARAM lParam);
    void DrawSlide();
    void FitToScreen();
    void FitTextFont();
    SlidePicture PictureForScreen(int id);
    void HoldPainting();
    void ReleasePainting();
    void StoreCounterText(const std::string &text);
    static LRESULT CALLBACK BarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND m_parent;
    // The bar's own window procedure; the bar and the counter are kept from painting until the paint timer fires.
    WNDPROC m_barProc = nullptr;
    bool m_bPaintHeld = false;
    HWND m_hStatus = nullptr;
    HWND m_hCount = nullptr;
    Extent m_drawn{0, 0};
    // The texts' font where the dialog's own would not fit a control of a window scaled down.
    GdiObject m_textFont;
    // The current picture scaled to the client area, kept while it is shown.
    int m_scaledId = 0;
    std::vector<unsigned char> m_scaledPixels;
    BITMAPINFO m_scaledInfo{};

public:
    ProgressCtrl m_ctrlProgress;
    std::string m_strStatus;
    std::string m_strCount;
    std::string m_strLabel;
    int m_nSlide;
    RECT m_rcMarkers[7];
};
