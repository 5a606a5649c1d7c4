#pragma once
#include <windows.h>

// The frame's tool bar and status bar: common-controls windows created from the shell's resources.
// `barStyle` keeps the frame-level bar style (alignment, gripper, tool tips) alongside the window.
class ToolBar {
public:
    bool CreateEx(HWND parent, DWORD toolBarStyle, DWORD barStyle, UINT id);
    // Loads a tool bar resource (RT_TOOLBAR: version, button width, height, count, command ids) and the
    // bitmap of the same id.
    bool LoadToolBar(UINT resourceId);
    HWND GetSafeHwnd() const { return m_hWnd; }
    DWORD GetBarStyle() const { return m_barStyle; }

private:
    HWND m_hWnd = nullptr;
    DWORD m_barStyle = 0;
};

class StatusBar {
public:
    bool Create(HWND parent, DWORD style, UINT id);
    // Panes: ID_SEPARATOR (0) for the message pane, else a string id whose text names the indicator.
    bool SetIndicators(const UINT *ids, int count);
    HWND GetSafeHwnd() const { return m_hWnd; }

private:
    HWND m_hWnd = nullptr;
};
