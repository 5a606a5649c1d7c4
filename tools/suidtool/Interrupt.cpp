#include "Interrupt.h"

#include <csignal>
#include <initializer_list>

namespace {

volatile std::sig_atomic_t g_signal = 0;

void OnSignal(int signal)
{
    if (g_signal == 0)
        g_signal = signal;
}

} // namespace

void InstallInterruptHandlers()
{
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

bool Interrupted()
{
    return g_signal != 0;
}

int InterruptSignal()
{
    return g_signal;
}
