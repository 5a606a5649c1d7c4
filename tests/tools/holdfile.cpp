// holdfile.exe PATH READYFILE STOPFILE
// Opens PATH for reading and writing with no sharing, as another program holding a file would, creates
// READYFILE, and keeps the file open until STOPFILE exists (or 120 s pass).
#include <windows.h>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: holdfile PATH READYFILE STOPFILE\n");
        return 2;
    }
    HANDLE held = ::CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "holdfile: cannot open %s: error %lu\n", argv[1], ::GetLastError());
        return 3;
    }
    HANDLE ready = ::CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (ready != INVALID_HANDLE_VALUE)
        ::CloseHandle(ready);
    for (int i = 0; i < 2400 && ::GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; ++i)
        ::Sleep(50);
    ::CloseHandle(held);
    return 0;
}
