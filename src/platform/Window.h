#pragma once
#include <windows.h>

// The window base: a static window procedure binds the C++ object at WM_NCCREATE and forwards every
// message to the virtual WindowProc. The object outlives its window; WM_NCDESTROY only unbinds it.
class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }

    // Registers a window class whose procedure is the binding one (once per class name).
    static bool RegisterWindowClass(const char *className, HICON icon, HBRUSH background, UINT style = 0);

    bool CreateEx(DWORD exStyle, const char *className, const char *title, DWORD style, int x, int y, int width,
                  int height, HWND parent, HMENU menuOrId);
    bool DestroyWindow();

protected:
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam) { return ::DefWindowProcA(m_hWnd, msg, wParam, lParam); }

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
};
