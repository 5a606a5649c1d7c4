#include "Paths.h"

#include <windows.h>

#include <vector>

// A disc may sit in a folder deeper than any fixed buffer; the path grows until it fits, so the
// launcher folder is never a truncated, wrong folder.
std::string GetLauncherPath()
{
    std::vector<char> buffer(1024);
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return std::string();
        if (length < buffer.size() - 1)
            return std::string(buffer.data(), length);
        if (buffer.size() >= 65536)
            return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

std::string GetLauncherFolder()
{
    std::string path = GetLauncherPath();
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string JoinPath(const std::string &folder, const std::string &name) { return folder + "\\" + name; }
