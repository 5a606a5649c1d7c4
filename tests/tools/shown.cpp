// What a process's visible dialogs show, read without sending them a message: it answers while the window's
// thread is busy (the reference copy holds the launcher's for its whole length), where wininfo's messages would
// wait. Under Wine, GetWindowTextA of another process's window reads the text the window stores (the one
// WM_SETTEXT's default handling keeps) from the server, without a message.
//
//   shown.exe EXE_NAME OUTFILE
//   dialog:   "HWND CLIENT_LEFT CLIENT_TOP CLIENT_RIGHT CLIENT_BOTTOM"   (the client area, screen coordinates)
//   control:  "  ID "TEXT" LEFT TOP RIGHT BOTTOM"                        (screen coordinates)
// Exits 0 when at least one visible dialog was found, 1 when none was, 2 on a usage error, 3 when OUTFILE cannot
// be written.
#include "ProcessesNamed.h"

#include <cinttypes>
#include <cstdio>
#include <set>
#include <string>

namespace {

constexpr char kUsage[] = "usage: shown.exe EXE_NAME OUTFILE\n";
constexpr char kDialogClass[] = "#32770";
constexpr int kExitFound = 0;
constexpr int kExitNone = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 3;

std::string StoredText(HWND hwnd)
{
    char text[1024] = {};
    ::GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

struct Listing {
    std::set<DWORD> processes;
    FILE *out;
    int dialogs;
};

BOOL CALLBACK ListControl(HWND control, LPARAM param)
{
    auto *listing = reinterpret_cast<Listing *>(param);
    RECT rc{};
    ::GetWindowRect(control, &rc);
    std::fprintf(listing->out, "  %d \"%s\" %ld %ld %ld %ld\n", ::GetDlgCtrlID(control), StoredText(control).c_str(),
                 rc.left, rc.top, rc.right, rc.bottom);
    return TRUE;
}

BOOL CALLBACK ListDialog(HWND hwnd, LPARAM param)
{
    auto *listing = reinterpret_cast<Listing *>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    char name[64] = {};
    ::GetClassNameA(hwnd, name, sizeof name);
    if (!listing->processes.count(pid) || !::IsWindowVisible(hwnd) || lstrcmpiA(name, kDialogClass) != 0)
        return TRUE;
    RECT client{};
    ::GetClientRect(hwnd, &client);
    POINT origin{0, 0};
    ::ClientToScreen(hwnd, &origin);
    std::fprintf(listing->out, "%08" PRIXPTR " %ld %ld %ld %ld\n", reinterpret_cast<uintptr_t>(hwnd),
                 origin.x, origin.y, origin.x + client.right, origin.y + client.bottom);
    ::EnumChildWindows(hwnd, ListControl, param);
    ++listing->dialogs;
    return TRUE;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    FILE *out = std::fopen(argv[2], "wb");
    if (!out)
        return kExitFailure;
    Listing listing{ProcessIdsNamed(argv[1]), out, 0};
    ::EnumWindows(ListDialog, reinterpret_cast<LPARAM>(&listing));
    std::fclose(out);
    return listing.dialogs > 0 ? kExitFound : kExitNone;
}
