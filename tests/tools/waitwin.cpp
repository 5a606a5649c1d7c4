// Waits for a visible top-level window, so a test takes its screenshot only once the window is there.
//
//   waitwin.exe CLASS|- TITLE|- TIMEOUT_MS   prints the window handle in hex; 0: found, 1: timed out
//   "-" matches any class or any title. Classes compare case-insensitively (as Windows does), titles exactly.
#include <windows.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>

namespace {

constexpr char kUsage[] = "usage: waitwin.exe CLASS|- TITLE|- TIMEOUT_MS\n";
constexpr char kAny[] = "-";
constexpr DWORD kPollMs = 20;
constexpr int kExitFound = 0;
constexpr int kExitTimeout = 1;
constexpr int kExitUsage = 2;

struct Search {
    const char *className;
    const char *title;
    HWND found;
};

std::string Caption(HWND hwnd)
{
    std::string text(::GetWindowTextLengthA(hwnd) + 1, '\0');
    text.resize(::GetWindowTextA(hwnd, &text[0], static_cast<int>(text.size())));
    return text;
}

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM param)
{
    auto *search = reinterpret_cast<Search *>(param);
    if (!::IsWindowVisible(hwnd))
        return TRUE;
    if (search->className) {
        char name[256] = {};
        ::GetClassNameA(hwnd, name, sizeof name);
        if (::lstrcmpiA(name, search->className) != 0)
            return TRUE;
    }
    if (search->title && Caption(hwnd) != search->title)
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

const char *Pattern(const char *argument)
{
    return std::strcmp(argument, kAny) == 0 ? nullptr : argument;
}

} // namespace

int main(int argc, char **argv)
{
    char *end = nullptr;
    const DWORD timeoutMs = argc == 4 ? std::strtoul(argv[3], &end, 10) : 0;
    if (argc != 4 || !*argv[3] || *end) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    // Plain "\n" line ends, so a test can compare the output without stripping carriage returns.
    _setmode(_fileno(stdout), _O_BINARY);
    Search search{Pattern(argv[1]), Pattern(argv[2]), nullptr};
    const DWORD start = ::GetTickCount();
    for (;;) {
        ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            std::printf("%08" PRIXPTR "\n", reinterpret_cast<uintptr_t>(search.found));
            return kExitFound;
        }
        if (::GetTickCount() - start >= timeoutMs)
            return kExitTimeout;
        ::Sleep(kPollMs);
    }
}
