// Lists the top-level windows of every process with a given exe name, so a test can tell whether the launcher ever
// showed a window and read the state of its progress dialog from outside.
//
//   wininfo.exe EXE_NAME OUTFILE [--controls]
//   top-level: "HWND VISIBLE CLASS "TITLE" STYLE EXSTYLE LEFT TOP RIGHT BOTTOM"   (screen coordinates)
//   control:   "  ID CLASS "TEXT" STYLE EXSTYLE LEFT TOP RIGHT BOTTOM[ range=LOW..HIGH pos=POS]"
//              (client coordinates of the top-level window)
#include "ProcessesNamed.h"

#include <commctrl.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr char kUsage[] = "usage: wininfo.exe EXE_NAME OUTFILE [--controls]\n";
constexpr char kControlsFlag[] = "--controls";
constexpr char kProgressClass[] = "msctls_progress32";
constexpr char kControlIndent[] = "  ";
// Messages to another process must not hang the tool when that process stops pumping.
constexpr UINT kSendTimeoutMs = 2000;
constexpr int kExitOk = 0;
constexpr int kExitNoProcess = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 3;

struct StdioCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};
using StdioFile = std::unique_ptr<FILE, StdioCloser>;

// Texts may hold line breaks and quotes; escaping keeps one window per line and the quoted field unambiguous.
// Bytes from 0x80 up stay raw.
std::string Quoted(const std::string &text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            quoted += "\\\"";
            break;
        case '\\':
            quoted += "\\\\";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\r':
            quoted += "\\r";
            break;
        case '\t':
            quoted += "\\t";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
                quoted += escaped;
            } else {
                quoted += c;
            }
        }
    }
    return quoted + "\"";
}

std::string ClassOf(HWND hwnd)
{
    char name[256] = {};
    ::GetClassNameA(hwnd, name, sizeof name);
    return name;
}

std::string Caption(HWND hwnd)
{
    std::string text(::GetWindowTextLengthA(hwnd) + 1, '\0');
    text.resize(::GetWindowTextA(hwnd, &text[0], static_cast<int>(text.size())));
    return text;
}

// GetWindowTextA cannot read controls of another process, so the text is asked for with messages.
std::string ControlText(HWND hwnd)
{
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length))
        return {};
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                               kSendTimeoutMs, &copied))
        return {};
    text.resize(copied < length ? copied : length);
    return text;
}

long Ask(HWND hwnd, UINT message, WPARAM wParam)
{
    DWORD_PTR result = 0;
    ::SendMessageTimeoutA(hwnd, message, wParam, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    return static_cast<long>(result);
}

std::string Geometry(HWND hwnd, const RECT &rect)
{
    char text[128];
    std::snprintf(text, sizeof text, " %08lX %08lX %ld %ld %ld %ld",
                  static_cast<unsigned long>(::GetWindowLongA(hwnd, GWL_STYLE)),
                  static_cast<unsigned long>(::GetWindowLongA(hwnd, GWL_EXSTYLE)), rect.left, rect.top, rect.right,
                  rect.bottom);
    return text;
}

std::string TopLevelLine(HWND hwnd)
{
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    char head[64];
    std::snprintf(head, sizeof head, "%08" PRIXPTR " %d ", reinterpret_cast<uintptr_t>(hwnd),
                  ::IsWindowVisible(hwnd) ? 1 : 0);
    return head + ClassOf(hwnd) + " " + Quoted(Caption(hwnd)) + Geometry(hwnd, rect) + "\n";
}

std::string ControlLine(HWND topLevel, HWND control)
{
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, topLevel, reinterpret_cast<POINT *>(&rect), 2);
    const std::string className = ClassOf(control);
    std::string line = kControlIndent + std::to_string(::GetDlgCtrlID(control)) + " " + className + " " +
                       Quoted(ControlText(control)) + Geometry(control, rect);
    if (::lstrcmpiA(className.c_str(), kProgressClass) == 0) {
        char progress[96];
        std::snprintf(progress, sizeof progress, " range=%ld..%ld pos=%ld", Ask(control, PBM_GETRANGE, TRUE),
                      Ask(control, PBM_GETRANGE, FALSE), Ask(control, PBM_GETPOS, 0));
        line += progress;
    }
    return line + "\n";
}

struct WindowList {
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param)
{
    reinterpret_cast<WindowList *>(param)->windows.push_back(hwnd);
    return TRUE;
}

} // namespace

int main(int argc, char **argv)
{
    const bool withControls = argc == 4 && std::strcmp(argv[3], kControlsFlag) == 0;
    if (argc != 3 && !withControls) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const std::set<DWORD> processIds = ProcessIdsNamed(argv[1]);

    WindowList topLevels;
    ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&topLevels));
    std::string report;
    for (const HWND hwnd : topLevels.windows) {
        DWORD processId = 0;
        ::GetWindowThreadProcessId(hwnd, &processId);
        if (!processIds.count(processId))
            continue;
        report += TopLevelLine(hwnd);
        if (!withControls)
            continue;
        WindowList controls;
        ::EnumChildWindows(hwnd, CollectWindow, reinterpret_cast<LPARAM>(&controls));
        for (const HWND control : controls.windows)
            report += ControlLine(hwnd, control);
    }

    StdioFile out(std::fopen(argv[2], "wb"));
    if (!out || std::fwrite(report.data(), 1, report.size(), out.get()) != report.size()) {
        std::fprintf(stderr, "wininfo: cannot write %s\n", argv[2]);
        return kExitFailure;
    }
    return processIds.empty() ? kExitNoProcess : kExitOk;
}
