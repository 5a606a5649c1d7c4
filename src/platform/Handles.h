#pragma once
#include <windows.h>

// One owning wrapper per handle kind, each with its own invalid value and release call, so a handle is
// released in the function that acquired it on every path, early returns included.
template <class Traits> class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type h) : m_h(h) {}
    ~UniqueHandle() { Close(); }
    UniqueHandle(const UniqueHandle &) = delete;
    UniqueHandle &operator=(const UniqueHandle &) = delete;
    UniqueHandle(UniqueHandle &&other) noexcept : m_h(other.Detach()) {}
    UniqueHandle &operator=(UniqueHandle &&other) noexcept
    {
        if (this != &other)
            Attach(other.Detach());
        return *this;
    }

    Type Get() const { return m_h; }
    bool IsValid() const { return m_h != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }

    void Attach(Type h)
    {
        Close();
        m_h = h;
    }
    Type Detach()
    {
        Type h = m_h;
        m_h = Traits::Invalid();
        return h;
    }
    void Close()
    {
        if (IsValid())
            Traits::Release(m_h);
        m_h = Traits::Invalid();
    }
    // For out-parameters of the API (RegOpenKeyExA and the like).
    Type *Receive()
    {
        Close();
        return &m_h;
    }

private:
    Type m_h = Traits::Invalid();
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Release(Type h) { ::CloseHandle(h); }
};
// Threads, events, snapshots: the kinds whose failure value is null.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Release(Type h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Release(Type h) { ::FindClose(h); }
};
struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Release(Type h) { ::RegCloseKey(h); }
};
struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Invalid() { return nullptr; }
    static void Release(Type h) { ::DeleteObject(h); }
};
struct MemoryDcTraits {
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static void Release(Type h) { ::DeleteDC(h); }
};
struct MenuTraits {
    using Type = HMENU;
    static Type Invalid() { return nullptr; }
    static void Release(Type h) { ::DestroyMenu(h); }
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using RegKey = UniqueHandle<RegKeyTraits>;
using GdiObject = UniqueHandle<GdiObjectTraits>;
using MemoryDc = UniqueHandle<MemoryDcTraits>;

// GetDC / ReleaseDC pair for a window's client area.
class ClientDc {
public:
    explicit ClientDc(HWND hwnd) : m_hwnd(hwnd), m_hdc(::GetDC(hwnd)) {}
    ~ClientDc()
    {
        if (m_hdc)
            ::ReleaseDC(m_hwnd, m_hdc);
    }
    ClientDc(const ClientDc &) = delete;
    ClientDc &operator=(const ClientDc &) = delete;
    HDC Get() const { return m_hdc; }

private:
    HWND m_hwnd;
    HDC m_hdc;
};

// Selects an object into a DC and puts the previous one back, so the object can be deleted afterwards.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC hdc, HGDIOBJ obj) : m_hdc(hdc), m_previous(::SelectObject(hdc, obj)) {}
    ~ScopedSelectObject()
    {
        if (m_previous)
            ::SelectObject(m_hdc, m_previous);
    }
    ScopedSelectObject(const ScopedSelectObject &) = delete;
    ScopedSelectObject &operator=(const ScopedSelectObject &) = delete;

private:
    HDC m_hdc;
    HGDIOBJ m_previous;
};
