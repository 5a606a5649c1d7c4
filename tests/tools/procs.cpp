// Prints the exe name of every running process, one per line, to see what a process guard in the launcher sees.
// Names are spelled the way each process was launched, not as the file is spelled on disk.
#include "Handles.h"

#include <tlhelp32.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

int main()
{
    FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        std::fprintf(stderr, "procs: no process snapshot (error %lu)\n", ::GetLastError());
        return 1;
    }
    // Plain "\n" line ends, so a test can compare names without stripping carriage returns.
    _setmode(_fileno(stdout), _O_BINARY);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot.Get(), &entry); more; more = ::Process32Next(snapshot.Get(), &entry))
        std::printf("%s\n", entry.szExeFile);
    return 0;
}
