#include "Window.h"

Window::~Window()
{
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
        ::DestroyWindow(m_hWnd);
    }
}

bool Window::RegisterWindowClass(const char *className, HICON icon, HBRUSH background, UINT style)
{
    WNDCLASSEXA wc{};
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    if (::GetClassInfoExA(instance, className, &wc))
        return true;
    wc.cbSize = sizeof(wc);
    wc.style = style;
    wc.lpfnWndProc = StaticWindowProc;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    return ::RegisterClassExA(&wc) != 0;
}

bool Window::CreateEx(DWORD exStyle, const char *className, const char *title, DWORD style, int x, int y, int width,
                      int height, HWND parent, HMENU menuOrId)
{
    HWND hwnd = ::CreateWindowExA(exStyle, className, title, style, x, y, width, height, parent, menuOrId,
                                  ::GetModuleHandleA(nullptr), this);
    return hwnd != nullptr;
}

bool Window::DestroyWindow()
{
    return m_hWnd && ::DestroyWindow(m_hWnd);
}

LRESULT Window::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) { return Default(msg, wParam, lParam); }

LRESULT CALLBACK Window::StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window *self;
    if (msg == WM_NCCREATE) {
        self = static_cast<Window *>(reinterpret_cast<CREATESTRUCTA *>(lParam)->lpCreateParams);
        self->m_hWnd = hwnd;
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Window *>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (!self)
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    const LRESULT result = self->WindowProc(msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
    }
    return result;
}
