// Stands in for the programs the launcher starts (the viewer, its setup, the disc-writing tool). Tests copy it under
// those names and read back from "<exe>.log" how it was started; a "<exe>.sleep" file keeps it running, so a test
// can have one of those programs "already running".
#include "Handles.h"

#include <string>

namespace {

constexpr char kLogSuffix[] = ".log";
constexpr char kSleepSuffix[] = ".sleep";
constexpr char kLineEnd[] = "\r\n";
constexpr DWORD kPollMs = 50;
// A forgotten .sleep file must not leave processes behind after a test run.
constexpr DWORD kMaxStayMs = 60000;
constexpr DWORD kPathCapacity = 32768;

std::string OwnPath()
{
    std::string path(kPathCapacity, '\0');
    const DWORD length = ::GetModuleFileNameA(nullptr, &path[0], kPathCapacity);
    path.resize(length < kPathCapacity ? length : 0);
    return path;
}

// The long-path form of a drive path, which the wide file calls take at any length.
std::wstring WidePath(const std::string &path)
{
    const int length = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 1 || path.size() < 3 || path[1] != ':')
        return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length - 1));
    return L"\\\\?\\" + wide;
}

void AppendLine(const std::string &logPath, const std::string &line)
{
    // Append-only access puts every write at the end of the file as it is at that moment, so two copies started
    // at once both keep their line.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    FileHandle log(::CreateFileA(logPath.c_str(), FILE_APPEND_DATA, share, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log) {
        // A program started by a path near MAX_PATH has a log path past it, which the ANSI calls refuse.
        const std::wstring wide = WidePath(logPath);
        if (wide.empty())
            return;
        log.Attach(::CreateFileW(wide.c_str(), FILE_APPEND_DATA, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
        if (!log)
            return;
    }
    DWORD written = 0;
    ::WriteFile(log.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const std::string self = OwnPath();
    if (self.empty())
        return 1;
    AppendLine(self + kLogSuffix, std::string(::GetCommandLineA()) + kLineEnd);

    const std::string sleepFlag = self + kSleepSuffix;
    const DWORD start = ::GetTickCount();
    while (::GetFileAttributesA(sleepFlag.c_str()) != INVALID_FILE_ATTRIBUTES && ::GetTickCount() - start < kMaxStayMs)
        ::Sleep(kPollMs);
    return 0;
}
