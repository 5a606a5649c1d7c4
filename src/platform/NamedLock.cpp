#include "NamedLock.h"

#include <cctype>
#include <cstdio>

namespace {
// Mutex names cannot hold backslashes, and file names match without regard to case: the name is a
// hash of the upper-cased resource.
std::string MutexName(const std::string &resource)
{
    uint32_t hash = 2166136261u;
    for (unsigned char c : resource) {
        hash ^= static_cast<unsigned char>(std::toupper(c));
        hash *= 16777619u;
    }
    char name[64];
    std::snprintf(name, sizeof(name), "AutorunLock_%08X_%u", static_cast<unsigned>(hash),
                  static_cast<unsigned>(resource.size()));
    return name;
}
} // namespace

NamedLock::NamedLock(const std::string &resource, DWORD timeoutMs)
    : m_mutex(::CreateMutexA(nullptr, FALSE, MutexName(resource).c_str()))
{
    if (!m_mutex)
        return;
    const DWORD wait = ::WaitForSingleObject(m_mutex.Get(), timeoutMs);
    m_held = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

NamedLock::~NamedLock()
{
    if (m_held)
        ::ReleaseMutex(m_mutex.Get());
}
