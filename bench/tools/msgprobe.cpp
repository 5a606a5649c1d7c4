// msgprobe: the cost of the transfer's progress message, taken apart. It opens the launcher's own progress window
// (same class, template and pictures) as a transfer does; then a worker thread sends it COUNT progress messages
// while this thread runs a message loop like the launcher's. Prints "<variant> <ms per message>".
//   msgprobe VARIANT COUNT
// Variants, each changing one thing against "full":
//   full       the transfer's messages to the visible window
//   hidden     the window is never shown
//   nobar      the bar is hidden
//   notext     the status line and the counter are hidden
//   empty      a message the window does not handle, instead of the progress message
//   plain      the message goes to a hidden plain window that answers it with 0: the thread switch alone
//   ctlcolor   the window's answer to WM_CTLCOLORSTATIC is a stock brush, without the default handler
//   inthread   the messages are sent from this thread: the handler alone
//   calls      no messages: the time of single calls the handler makes, each COUNT times, on the visible window
#include <windows.h>

#include <commctrl.h>
#include <uxtheme.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/Messages.h"
#include "platform/Dialog.h"
#include "platform/Handles.h"
#include "ui/CopyProgressDlg.h"
#include "ui/CopyProgressDlgIds.h"

namespace {

constexpr UINT kUnhandled = WM_APP + 7;
constexpr char kPlainClass[] = "msgprobe";

struct Job {
    HWND target;
    UINT message;
    int count;
    DWORD loopThread;
    double ms;
};

double NowMs()
{
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void Send(Job &job)
{
    const double start = NowMs();
    for (int i = 0; i < job.count; ++i)
        ::SendMessageA(job.target, job.message, static_cast<WPARAM>(i), static_cast<LPARAM>(job.count));
    job.ms = NowMs() - start;
}

DWORD WINAPI Worker(void *parameter)
{
    Job &job = *static_cast<Job *>(parameter);
    Send(job);
    ::PostThreadMessageA(job.loopThread, WM_QUIT, 0, 0);
    return 0;
}

WNDPROC g_dialogProc = nullptr;

LRESULT CALLBACK StockCtlColor(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CTLCOLORSTATIC) {
        ::SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    }
    return ::CallWindowProcA(g_dialogProc, hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return msg == WM_COPY_PROGRESS ? 0 : ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

void PumpFor(double ms)
{
    MSG msg;
    const double until = NowMs() + ms;
    while (NowMs() < until) {
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(10);
    }
}

struct Call {
    const char *name;
    void (*run)(HWND dialog, int i);
};

// What the progress message's handler and the copy loop call, one at a time.
// A bar that paints at every step, under the class list `classes` (nullptr: the theme's own bar), set at the first.
void StepBarThemedAs(HWND d, int i, const wchar_t *classes)
{
    HWND bar = ::GetDlgItem(d, IDC_PROGRESS);
    if (i == 0)
        ::SetWindowTheme(bar, classes, classes);
    ::SendMessageA(bar, PBM_STEPIT, 0, 0);
}

const Call kCalls[] = {
    {"PBM_STEPIT to the bar (it paints at once)",
     [](HWND d, int) { ::SendMessageA(::GetDlgItem(d, IDC_PROGRESS), PBM_STEPIT, 0, 0); }},
    {"PBM_STEPIT to the bar with the theme's look", [](HWND d, int i) { StepBarThemedAs(d, i, nullptr); }},
    {"PBM_STEPIT to the bar with an empty class list", [](HWND d, int i) { StepBarThemedAs(d, i, L""); }},
    {"PBM_STEPIT to the bar with a blank class list, as the launcher's",
     [](HWND d, int i) { StepBarThemedAs(d, i, L" "); }},
    {"SetWindowTextA on the counter (it paints at once)",
     [](HWND d, int i) {
         char text[32];
         wsprintfA(text, "%d / 9", i);
         ::SetWindowTextA(::GetDlgItem(d, IDC_COUNT), text);
     }},
    {"PBM_STEPIT to the bar while its redraw is off",
     [](HWND d, int i) {
         HWND bar = ::GetDlgItem(d, IDC_PROGRESS);
         if (i == 0)
             ::SendMessageA(bar, WM_SETREDRAW, FALSE, 0);
         ::SendMessageA(bar, PBM_STEPIT, 0, 0);
     }},
    {"PBM_SETPOS to the bar, its redraw back on at the first",
     [](HWND d, int i) {
         HWND bar = ::GetDlgItem(d, IDC_PROGRESS);
         if (i == 0)
             ::SendMessageA(bar, WM_SETREDRAW, TRUE, 0);
         ::SendMessageA(bar, PBM_SETPOS, i, 0);
     }},
    {"GetDlgItem", [](HWND d, int) { ::GetDlgItem(d, IDC_COUNT); }},
    {"InvalidateRect", [](HWND d, int) { ::InvalidateRect(::GetDlgItem(d, IDC_PROGRESS), nullptr, FALSE); }},
    {"WM_SETREDRAW off and on",
     [](HWND d, int) {
         HWND bar = ::GetDlgItem(d, IDC_PROGRESS);
         ::SendMessageA(bar, WM_SETREDRAW, FALSE, 0);
         ::SendMessageA(bar, WM_SETREDRAW, TRUE, 0);
     }},
    {"OutputDebugStringA", [](HWND, int) { ::OutputDebugStringA("Copy File : a => b : Success\n"); }},
};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3 || std::atoi(argv[2]) <= 0) {
        std::fprintf(stderr, "usage: msgprobe VARIANT COUNT\n");
        return 2;
    }
    const char *variant = argv[1];
    const int count = std::atoi(argv[2]);
    auto is = [variant](const char *name) { return std::strcmp(variant, name) == 0; };

    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    CCopyProgressDlg dialog(nullptr);
    dialog.Create(nullptr);
    HWND hwnd = dialog.GetSafeHwnd();
    if (!is("hidden"))
        dialog.ShowWindow(SW_SHOW);
    dialog.SetProgressRange(0, count, 1);
    if (is("nobar"))
        ::ShowWindow(::GetDlgItem(hwnd, IDC_PROGRESS), SW_HIDE);
    if (is("notext")) {
        ::ShowWindow(::GetDlgItem(hwnd, IDC_STATUS), SW_HIDE);
        ::ShowWindow(::GetDlgItem(hwnd, IDC_COUNT), SW_HIDE);
    }
    if (is("ctlcolor"))
        g_dialogProc = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StockCtlColor)));

    Job job{hwnd, WM_COPY_PROGRESS, count, ::GetCurrentThreadId(), 0};
    if (is("empty"))
        job.message = kUnhandled;
    if (is("plain")) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = PlainProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = kPlainClass;
        ::RegisterClassA(&wc);
        job.target = ::CreateWindowA(kPlainClass, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
    }

    // The window comes up and paints before the clock starts.
    PumpFor(300);

    if (is("calls")) {
        for (const Call &call : kCalls) {
            const double start = NowMs();
            for (int i = 0; i < count; ++i)
                call.run(hwnd, i);
            std::printf("%.4f ms  %s\n", (NowMs() - start) / count, call.name);
            PumpFor(50);
        }
        return 0;
    }
    if (is("inthread")) {
        Send(job);
    } else {
        KernelHandle thread(::CreateThread(nullptr, 0, Worker, &job, 0, nullptr));
        if (!thread)
            return 3;
        // The launcher's loop: dialog messages to the dialog manager, the rest dispatched.
        MSG msg;
        while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
            if (Dialog::PreTranslate(msg))
                continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::WaitForSingleObject(thread.Get(), INFINITE);
    }
    std::printf("%s %.4f\n", variant, job.ms / count);
    return 0;
}
