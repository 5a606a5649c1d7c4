#include "ControlBars.h"

#include <commctrl.h>

#include <vector>

namespace {
// The frame-level bar bits live in the low word beside the window style bits and mean nothing to the
// control itself; they are kept apart and stripped from the window style.
constexpr DWORD kBarStyleMask = 0x0040FFFF;
} // namespace

bool ToolBar::CreateEx(HWND parent, DWORD toolBarStyle, DWORD barStyle, UINT id)
{
    m_barStyle = barStyle;
    const DWORD style = (barStyle & ~kBarStyleMask) | toolBarStyle | CCS_NODIVIDER | CCS_TOP;
    m_hWnd = ::CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr, style, 0, 0, 0, 0, parent,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), ::GetModuleHandleA(nullptr),
                               nullptr);
    if (!m_hWnd)
        return false;
    ::SendMessageA(m_hWnd, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    return true;
}

bool ToolBar::LoadToolBar(UINT resourceId)
{
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    HRSRC found = ::FindResourceA(instance, MAKEINTRESOURCEA(resourceId), MAKEINTRESOURCEA(241));
    HGLOBAL loaded = found ? ::LoadResource(instance, found) : nullptr;
    const WORD *data = loaded ? static_cast<const WORD *>(::LockResource(loaded)) : nullptr;
    if (!data || ::SizeofResource(instance, found) < 4 * sizeof(WORD) || data[0] != 1)
        return false;
    const WORD width = data[1], height = data[2], count = data[3];
    if (::SizeofResource(instance, found) < (4u + count) * sizeof(WORD))
        return false;
    ::SendMessageA(m_hWnd, TB_SETBITMAPSIZE, 0, MAKELONG(width, height));
    int images = 0;
    std::vector<TBBUTTON> buttons(count);
    for (WORD i = 0; i < count; ++i) {
        TBBUTTON &b = buttons[i];
        b.idCommand = data[4 + i];
        if (b.idCommand == 0) {
            b.fsStyle = TBSTYLE_SEP;
        } else {
            b.iBitmap = images++;
            b.fsState = TBSTATE_ENABLED;
            b.fsStyle = TBSTYLE_BUTTON;
        }
    }
    TBADDBITMAP bitmap{instance, resourceId};
    if (::SendMessageA(m_hWnd, TB_ADDBITMAP, images, reinterpret_cast<LPARAM>(&bitmap)) == -1)
        return false;
    return ::SendMessageA(m_hWnd, TB_ADDBUTTONSA, count, reinterpret_cast<LPARAM>(buttons.data())) != FALSE;
}

bool StatusBar::Create(HWND parent, DWORD style, UINT id)
{
    m_hWnd = ::CreateWindowExA(0, STATUSCLASSNAMEA, nullptr, (style & ~kBarStyleMask) | CCS_BOTTOM, 0, 0, 0, 0,
                               parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                               ::GetModuleHandleA(nullptr), nullptr);
    return m_hWnd != nullptr;
}

bool StatusBar::SetIndicators(const UINT *ids, int count)
{
    if (!m_hWnd || count <= 0)
        return false;
    std::vector<int> edges(static_cast<size_t>(count));
    constexpr int kIndicatorWidth = 40;
    for (int i = 0; i < count; ++i)
        edges[i] = i == count - 1 ? -1 : 200 + i * kIndicatorWidth;
    if (!::SendMessageA(m_hWnd, SB_SETPARTS, count, reinterpret_cast<LPARAM>(edges.data())))
        return false;
    for (int i = 0; i < count; ++i) {
        char text[64] = {};
        if (ids[i] != 0)
            ::LoadStringA(::GetModuleHandleA(nullptr), ids[i], text, sizeof(text));
        ::SendMessageA(m_hWnd, SB_SETTEXTA, i, reinterpret_cast<LPARAM>(text));
    }
    return true;
}
