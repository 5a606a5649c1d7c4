#pragma once

// SIGINT, SIGTERM and SIGHUP stop a command cleanly: the handler only records the signal, and the work loops
// ask Interrupted() between steps small enough (a 64 KiB chunk, one folder, one line of a child's output) that
// the answer comes at once. They then return kExitInterrupted; what they were building is removed by the
// destructors on the way out, a child process is stopped first, and main exits 128 + the signal. Blocking calls
// are not restarted after one of these signals (no SA_RESTART), so a wait returns EINTR and looks.

void InstallInterruptHandlers();
bool Interrupted();
// The signal that interrupted, 0 when none did.
int InterruptSignal();
