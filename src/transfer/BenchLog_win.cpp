#include "BenchLog_win.h"

#include <windows.h>

#include <cinttypes>
#include <string>

#include "platform/DebugOut.h"
#include "platform/Handles.h"

namespace benchlog {
namespace {

constexpr char kVariable[] = "AUTORUN_BENCH_LOG";
constexpr char kMsFormat[] = "%s %.3f\r\n";
constexpr char kBytesFormat[] = "%s %" PRIuPTR "\r\n";

// Read once: the transfer asks at every file.
const std::string &LogPath()
{
    static const std::string path = [] {
        char buffer[MAX_PATH] = {};
        const DWORD length = ::GetEnvironmentVariableA(kVariable, buffer, sizeof(buffer));
        return length > 0 && length < sizeof(buffer) ? std::string(buffer, length) : std::string();
    }();
    return path;
}

int64_t Now()
{
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

double TicksToMs(int64_t ticks)
{
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    return static_cast<double>(ticks) / ticksPerMs;
}

void Append(const std::string &line)
{
    FileHandle file(::CreateFileA(LogPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file)
        ::WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// The counters come from kernel32 where it has them and from psapi otherwise; the launcher itself imports neither
// name, so it still starts where they are missing.
struct MemoryCounters {
    DWORD cb;
    DWORD PageFaultCount;
    SIZE_T PeakWorkingSetSize;
    SIZE_T WorkingSetSize;
    SIZE_T QuotaPeakPagedPoolUsage;
    SIZE_T QuotaPagedPoolUsage;
    SIZE_T QuotaPeakNonPagedPoolUsage;
    SIZE_T QuotaNonPagedPoolUsage;
    SIZE_T PagefileUsage;
    SIZE_T PeakPagefileUsage;
};
using GetMemoryInfo = BOOL(WINAPI *)(HANDLE, MemoryCounters *, DWORD);

GetMemoryInfo FindGetMemoryInfo()
{
    FARPROC proc = ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "K32GetProcessMemoryInfo");
    if (!proc) {
        HMODULE psapi = ::LoadLibraryA("psapi.dll");
        proc = psapi ? ::GetProcAddress(psapi, "GetProcessMemoryInfo") : nullptr;
    }
    return reinterpret_cast<GetMemoryInfo>(reinterpret_cast<void *>(proc));
}

} // namespace

bool Enabled()
{
    return !LogPath().empty();
}

void Mark(const char *phase)
{
    if (Enabled())
        Append(Format(kMsFormat, phase, TicksToMs(Now())));
}

void Value(const char *name, double value)
{
    if (Enabled())
        Append(Format(kMsFormat, name, value));
}

void PeakMemory()
{
    if (!Enabled())
        return;
    const GetMemoryInfo get = FindGetMemoryInfo();
    MemoryCounters counters{};
    counters.cb = sizeof(counters);
    if (!get || !get(::GetCurrentProcess(), &counters, sizeof(counters)))
        return;
    Append(Format(kBytesFormat, "peak_working_set", static_cast<uintptr_t>(counters.PeakWorkingSetSize)));
}

void Total::Write(const char *timeName, const char *countName) const
{
    Value(timeName, TicksToMs(m_ticks));
    Value(countName, m_count);
}

Lap::Lap(Total &total) : m_total(Enabled() ? &total : nullptr), m_start(m_total ? Now() : 0) {}

Lap::~Lap()
{
    if (!m_total)
        return;
    m_total->m_ticks += Now() - m_start;
    ++m_total->m_count;
}

} // namespace benchlog
