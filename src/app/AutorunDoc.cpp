#include "AutorunDoc.h"

#include "platform/Handles.h"
#include "resource.h"

bool CAutorunDoc::OnOpenDocument(const std::string &path)
{
    // The document stores nothing, but a file that cannot be opened still fails the open.
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    m_path = path;
    return true;
}

bool CAutorunView::Create(HWND frame)
{
    static const char kClass[] = "AutorunView";
    if (!RegisterWindowClass(kClass, nullptr, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)))
        return false;
    return CreateEx(WS_EX_CLIENTEDGE, kClass, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, frame,
                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(AFX_IDW_PANE_FIRST)));
}

LRESULT CAutorunView::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        ::BeginPaint(m_hWnd, &ps);
        ::EndPaint(m_hWnd, &ps);
        return 0;
    }
    return Default(msg, wParam, lParam);
}
