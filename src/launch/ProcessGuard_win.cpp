#include <windows.h>

#include <tlhelp32.h>

#include <cstring>

#include "app/MainFrame.h"
#include "launch/Decision.h"
#include "platform/Handles.h"

bool IsViewerRunning()
{
    KernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPALL, 0));
    // The snapshot call reports failure with INVALID_HANDLE_VALUE, not null.
    if (!snapshot || snapshot.Get() == INVALID_HANDLE_VALUE) {
        snapshot.Detach();
        return false;
    }
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32First(snapshot.Get(), &entry); more; more = ::Process32Next(snapshot.Get(), &entry)) {
        // Exact, case-sensitive names: the product's programs are always started under these.
        if (std::strcmp(entry.szExeFile, launch::kViewerExe) == 0 || std::strcmp(entry.szExeFile, launch::kWriterExe) == 0)
            return true;
    }
    return false;
}
