// Talks to the top-level windows of a running program from outside, as the system, a task list or another program
// would, and watches whether they answer.
//
//   winmsg.exe send|post EXE_NAME CLASS MSG WPARAM LPARAM [MSG WPARAM LPARAM]...
//       Sends (each with a 30 s time-out) or posts messages, in order, to the first top-level window of class CLASS
//       (compared case-insensitively) that belongs to a process named EXE_NAME. Numbers are decimal or 0x hex.
//       Prints each send's result in decimal, one a line; exits 1 when there is no such window or a send or post
//       failed or timed out.
//   winmsg.exe client EXE_NAME CLASS OUTFILE
//       Writes "LEFT TOP WIDTH HEIGHT\n": the window's client area in screen coordinates.
//   winmsg.exe measure EXE_NAME CLASS CONTROL_ID FACE POINTS OUTFILE
//       Measures the control's text in the font FACE at POINTS for this screen's DPI, as the dialog manager makes a
//       template's font, and writes "TEXT_WIDTH TEXT_HEIGHT CONTROL_WIDTH CONTROL_HEIGHT\n" (client pixels).
//   winmsg.exe workarea OUTFILE
//       Writes "LEFT TOP RIGHT BOTTOM\n" of the work area (SPI_GETWORKAREA) and then one such line for each
//       monitor's work area.
//   winmsg.exe watch EXE_NAME CLASS OUTFILE STOPFILE
//       Every 100 ms asks the window, as the system's hung-window check does, whether its thread takes messages:
//       SendMessageTimeout(WM_NULL, SMTO_ABORTIFHUNG, 10 s), and IsHungAppWindow. Appends one line a sample,
//       "MS_SINCE_START ANSWER_MS HUNG ANSWERED\n", flushed at once. Ends when the window is gone or STOPFILE exists.
#include "ProcessesNamed.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>

namespace {

constexpr char kUsage[] = "usage: winmsg.exe send|post EXE_NAME CLASS MSG WPARAM LPARAM [MSG WPARAM LPARAM]...\n"
                          "       winmsg.exe client EXE_NAME CLASS OUTFILE\n"
                          "       winmsg.exe watch EXE_NAME CLASS OUTFILE STOPFILE\n"
                          "       winmsg.exe measure EXE_NAME CLASS CONTROL_ID FACE POINTS OUTFILE\n"
                          "       winmsg.exe workarea OUTFILE\n";
constexpr UINT kSendTimeoutMs = 30000;
constexpr UINT kWatchTimeoutMs = 10000;
constexpr DWORD kWatchIntervalMs = 100;
constexpr int kExitOk = 0;
constexpr int kExitNotDone = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 3;

struct StdioCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};
using StdioFile = std::unique_ptr<FILE, StdioCloser>;

struct Search {
    std::set<DWORD> processes;
    const char *className;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM param)
{
    Search *search = reinterpret_cast<Search *>(param);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(hwnd, &processId);
    char name[256] = {};
    ::GetClassNameA(hwnd, name, sizeof name);
    if (!search->processes.count(processId) || ::lstrcmpiA(name, search->className) != 0)
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

HWND FindTopLevel(const char *exeName, const char *className)
{
    Search search{ProcessIdsNamed(exeName), className, nullptr};
    if (!search.processes.empty())
        ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

unsigned long long Number(const char *text) { return std::strtoull(text, nullptr, 0); }

bool Exists(const char *path) { return ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

int SendOrPost(bool send, HWND window, int argc, char **argv)
{
    if (argc < 7 || (argc - 4) % 3 != 0)
        return kExitUsage;
    for (int i = 4; i < argc; i += 3) {
        const UINT msg = static_cast<UINT>(Number(argv[i]));
        const WPARAM wParam = static_cast<WPARAM>(Number(argv[i + 1]));
        const LPARAM lParam = static_cast<LPARAM>(Number(argv[i + 2]));
        if (!send) {
            if (!::PostMessageA(window, msg, wParam, lParam))
                return kExitNotDone;
            continue;
        }
        DWORD_PTR result = 0;
        if (!::SendMessageTimeoutA(window, msg, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &result))
            return kExitNotDone;
        std::printf("%" PRIdPTR "\n", static_cast<intptr_t>(result));
        std::fflush(stdout);
    }
    return kExitOk;
}

int Client(HWND window, int argc, char **argv)
{
    if (argc != 5)
        return kExitUsage;
    RECT client{};
    ::GetClientRect(window, &client);
    POINT origin{0, 0};
    ::ClientToScreen(window, &origin);
    StdioFile out(std::fopen(argv[4], "wb"));
    if (!out)
        return kExitFailure;
    std::fprintf(out.get(), "%ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
    return kExitOk;
}

// GetWindowTextA cannot read controls of another process, so the text is asked for with messages.
std::string ControlText(HWND control)
{
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length))
        return {};
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                               SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied))
        return {};
    text.resize(copied < length ? copied : length);
    return text;
}

int Measure(HWND window, int argc, char **argv)
{
    if (argc != 8)
        return kExitUsage;
    HWND control = ::GetDlgItem(window, static_cast<int>(Number(argv[4])));
    if (!control)
        return kExitNotDone;
    const std::string text = ControlText(control);
    HDC screen = ::GetDC(nullptr);
    const int height = -::MulDiv(static_cast<int>(Number(argv[6])), ::GetDeviceCaps(screen, LOGPIXELSY), 72);
    GdiObject font(::CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, argv[5]));
    SIZE size{};
    {
        ScopedSelectObject select(screen, font.Get());
        ::GetTextExtentPoint32A(screen, text.c_str(), static_cast<int>(text.size()), &size);
    }
    ::ReleaseDC(nullptr, screen);
    RECT room{};
    ::GetClientRect(control, &room);
    StdioFile out(std::fopen(argv[7], "wb"));
    if (!out)
        return kExitFailure;
    std::fprintf(out.get(), "%ld %ld %ld %ld\n", size.cx, size.cy, room.right, room.bottom);
    return kExitOk;
}

int Watch(HWND window, int argc, char **argv)
{
    if (argc != 6)
        return kExitUsage;
    StdioFile out(std::fopen(argv[4], "wb"));
    if (!out)
        return kExitFailure;
    const DWORD start = ::GetTickCount();
    while (::IsWindow(window) && !Exists(argv[5])) {
        const DWORD asked = ::GetTickCount();
        DWORD_PTR ignored = 0;
        const bool answered =
            ::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kWatchTimeoutMs, &ignored) != 0;
        const DWORD took = ::GetTickCount() - asked;
        if (!::IsWindow(window))
            break;
        std::fprintf(out.get(), "%lu %lu %d %d\n", asked - start, took, ::IsHungAppWindow(window) ? 1 : 0,
                     answered ? 1 : 0);
        std::fflush(out.get());
        ::Sleep(kWatchIntervalMs);
    }
    return kExitOk;
}

BOOL CALLBACK WriteMonitor(HMONITOR monitor, HDC, RECT *, LPARAM param)
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (::GetMonitorInfoA(monitor, &info))
        std::fprintf(reinterpret_cast<FILE *>(param), "%ld %ld %ld %ld\n", info.rcWork.left, info.rcWork.top,
                     info.rcWork.right, info.rcWork.bottom);
    return TRUE;
}

int WorkArea(const char *path)
{
    StdioFile out(std::fopen(path, "wb"));
    if (!out)
        return kExitFailure;
    RECT work{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    std::fprintf(out.get(), "%ld %ld %ld %ld\n", work.left, work.top, work.right, work.bottom);
    ::EnumDisplayMonitors(nullptr, nullptr, WriteMonitor, reinterpret_cast<LPARAM>(out.get()));
    return kExitOk;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "workarea") == 0)
        return WorkArea(argv[2]);
    if (argc < 5) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const std::string command = argv[1];
    HWND window = FindTopLevel(argv[2], argv[3]);
    if (command != "send" && command != "post" && command != "client" && command != "watch" && command != "measure") {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (!window) {
        std::fprintf(stderr, "winmsg: no %s window of %s\n", argv[3], argv[2]);
        return kExitNotDone;
    }
    int rc = kExitUsage;
    if (command == "send" || command == "post")
        rc = SendOrPost(command == "send", window, argc, argv);
    else if (command == "client")
        rc = Client(window, argc, argv);
    else if (command == "measure")
        rc = Measure(window, argc, argv);
    else
        rc = Watch(window, argc, argv);
    if (rc == kExitUsage)
        std::fputs(kUsage, stderr);
    return rc;
}
