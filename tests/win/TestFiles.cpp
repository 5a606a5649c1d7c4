#include "TestFiles.h"

#include <algorithm>
#include <vector>

#include "platform/Handles.h"

TempFolder::TempFolder()
{
    static unsigned s_serial = 0;
    char base[MAX_PATH];
    ::GetTempPathA(sizeof(base), base);
    char name[64];
    wsprintfA(name, "wt%lu_%u", ::GetCurrentProcessId(), s_serial++);
    m_path = std::string(base) + name;
    RemoveTree(m_path);
    ::CreateDirectoryA(m_path.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(m_path); }

void WriteFile(const std::string &path, const std::string &content)
{
    FileHandle f(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ::WriteFile(f.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
}

std::string ReadFile(const std::string &path)
{
    FileHandle f(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               0, nullptr));
    if (!f)
        return "<missing>";
    std::string data(::GetFileSize(f.Get(), nullptr), '\0');
    DWORD read = 0;
    ::ReadFile(f.Get(), &data[0], static_cast<DWORD>(data.size()), &read, nullptr);
    data.resize(read);
    return data;
}

bool Exists(const std::string &path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::string &path)
{
    const DWORD a = ::GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeFolder(const std::string &path) { ::CreateDirectoryA(path.c_str(), nullptr); }

void SetWriteTime(const std::string &path, unsigned long long time)
{
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    FileHandle f(::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    FILETIME ft{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    ::SetFileTime(f.Get(), nullptr, nullptr, &ft);
}

unsigned long long WriteTime(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA d{};
    ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d);
    return (static_cast<unsigned long long>(d.ftLastWriteTime.dwHighDateTime) << 32) | d.ftLastWriteTime.dwLowDateTime;
}

std::string ListFolder(const std::string &folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA d;
    FindHandle find(::FindFirstFileA((folder + "\\*").c_str(), &d));
    if (find) {
        do {
            const std::string n = d.cFileName;
            if (n != "." && n != "..")
                names.push_back((d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? n + "/" : n);
        } while (::FindNextFileA(find.Get(), &d));
    }
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const auto &n : names)
        joined += (joined.empty() ? "" : " ") + n;
    return joined;
}

void RemoveTree(const std::string &path)
{
    const DWORD a = ::GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES)
        return;
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
        ::DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA d;
    {
        FindHandle find(::FindFirstFileA((path + "\\*").c_str(), &d));
        if (find) {
            do {
                const std::string n = d.cFileName;
                if (n != "." && n != "..")
                    RemoveTree(path + "\\" + n);
            } while (::FindNextFileA(find.Get(), &d));
        }
    }
    ::RemoveDirectoryA(path.c_str());
}

SourceFacts FactsOf(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return SourceFacts{data.dwFileAttributes, data.nFileSizeLow, data.ftLastWriteTime};
}
