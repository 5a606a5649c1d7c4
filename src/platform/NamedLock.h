#pragma once
#include <windows.h>

#include <string>

#include "Handles.h"

// Holds a system-wide named mutex for its lifetime, so that processes sharing a resource (a file at a
// fixed path) take turns. A holder that died leaves the mutex abandoned, which counts as acquired; a
// wait that times out goes on unprotected rather than hanging the caller.
class NamedLock {
public:
    NamedLock(const std::string &resource, DWORD timeoutMs);
    ~NamedLock();
    NamedLock(const NamedLock &) = delete;
    NamedLock &operator=(const NamedLock &) = delete;

    bool Held() const { return m_held; }

private:
    KernelHandle m_mutex;
    bool m_held = false;
};
