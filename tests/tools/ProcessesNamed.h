// The processes whose Toolhelp exe name (its last path part, compared without regard to case) is a given name:
// the tools that look at the launcher's windows from outside find them by their process.
#pragma once

#include "Handles.h"

#include <tlhelp32.h>

#include <set>

inline const char *BaseName(const char *path)
{
    const char *base = path;
    for (const char *p = path; *p; ++p)
        if (*p == '\\' || *p == '/')
            base = p + 1;
    return base;
}

inline std::set<DWORD> ProcessIdsNamed(const char *exeName)
{
    std::set<DWORD> ids;
    FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return ids;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot.Get(), &entry); more; more = ::Process32Next(snapshot.Get(), &entry))
        if (::lstrcmpiA(BaseName(entry.szExeFile), exeName) == 0)
            ids.insert(entry.th32ProcessID);
    return ids;
}
