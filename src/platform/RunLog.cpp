#include "RunLog.h"

#include <windows.h>

#include "DebugOut.h"

namespace runlog {
namespace {
constexpr char kHeader[] = "==== autorun %04u-%02u-%02u %02u:%02u:%02u, process %lu, %s\r\n";
constexpr char kLeftOut[] = "(further debug lines of this run left out: the log keeps %lu bytes a run)\r\n";

// The copy worker and the reference copy write from threads of their own.
struct Log {
    Log() { ::InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    HANDLE file = INVALID_HANDLE_VALUE;
    unsigned long written = 0;
    bool cut = false;
};
Log g_log;

void Append(const std::string &text)
{
    DWORD done = 0;
    ::WriteFile(g_log.file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
}

// Debug lines end in "\n" alone; the log is read in Notepad too.
std::string WithCrLf(const std::string &text)
{
    std::string out;
    out.reserve(text.size() + 2);
    for (const char c : text) {
        if (c == '\n' && (out.empty() || out.back() != '\r'))
            out += '\r';
        out += c;
    }
    if (out.empty() || out.back() != '\n')
        out += "\r\n";
    return out;
}
} // namespace

void Start()
{
    char folder[MAX_PATH + 1];
    const DWORD length = ::GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder)
        return;
    const std::string path = std::string(folder) + kFileName;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
        (data.nFileSizeHigh != 0 || data.nFileSizeLow > kRotateBytes))
        ::MoveFileExA(path.c_str(), (std::string(folder) + kPreviousFileName).c_str(), MOVEFILE_REPLACE_EXISTING);
    // Shared for writing: two discs' launchers may run at once, each appending whole lines.
    HANDLE file = ::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    char self[MAX_PATH + 1] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    ::EnterCriticalSection(&g_log.lock);
    g_log.file = file;
    Append(Format(kHeader, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                  ::GetCurrentProcessId(), self));
    ::LeaveCriticalSection(&g_log.lock);
}

void Debug(const std::string &text)
{
    if (g_log.file == INVALID_HANDLE_VALUE)
        return;
    ::EnterCriticalSection(&g_log.lock);
    if (!g_log.cut) {
        const std::string line = WithCrLf(text);
        if (g_log.written + line.size() > kRunBytes) {
            g_log.cut = true;
            Append(Format(kLeftOut, kRunBytes));
        } else {
            g_log.written += static_cast<unsigned long>(line.size());
            Append(line);
        }
    }
    ::LeaveCriticalSection(&g_log.lock);
}

void Note(const std::string &text)
{
    if (g_log.file == INVALID_HANDLE_VALUE)
        return;
    ::EnterCriticalSection(&g_log.lock);
    Append(WithCrLf(text));
    ::LeaveCriticalSection(&g_log.lock);
}

void End()
{
    ::EnterCriticalSection(&g_log.lock);
    if (g_log.file != INVALID_HANDLE_VALUE)
        ::CloseHandle(g_log.file);
    g_log.file = INVALID_HANDLE_VALUE;
    g_log.written = 0;
    g_log.cut = false;
    ::LeaveCriticalSection(&g_log.lock);
}
} // namespace runlog
