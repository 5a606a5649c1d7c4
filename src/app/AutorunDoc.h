#pragma once
#include <windows.h>

#include <string>

#include "platform/Window.h"

// The empty document: a new one always succeeds; opening reads nothing but needs a file that opens.
class CAutorunDoc {
public:
    bool OnNewDocument() { return true; }
    bool OnOpenDocument(const std::string &path);
    const std::string &GetPathName() const { return m_path; }

private:
    std::string m_path;
};

// The empty view: a child window of the frame that draws nothing.
class CAutorunView : public Window {
public:
    bool Create(HWND frame);

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
};
