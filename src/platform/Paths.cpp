#include "Paths.h"

#include <windows.h>

#include <cstring>
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
    const size_t slash = LastSeparator(path);
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string JoinPath(const std::string &folder, const std::string &name) { return folder + "\\" + name; }

bool IsAnsiLeadByte(unsigned char c) { return ::IsDBCSLeadByte(c) != FALSE; }

size_t LastSeparator(const std::string &path, const char *separators)
{
    // Read from the front: only there is it known which bytes start a character.
    size_t last = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsAnsiLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size())
            ++i;
        else if (path[i] != '\0' && std::strchr(separators, path[i]))
            last = i;
    }
    return last;
}
