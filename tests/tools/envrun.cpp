// envrun.exe [NAME=VALUE | -NAME]... -- PROGRAM [ARGS...]
// Starts PROGRAM with its environment changed and waits for it, exiting with its exit code. Wine sets
// some variables (USERPROFILE among them) from its own profile at every start, so a test cannot change
// them from outside; a Windows parent can.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char **argv)
{
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        const char *arg = argv[i];
        if (arg[0] == '-') {
            ::SetEnvironmentVariableA(arg + 1, nullptr);
            continue;
        }
        const char *eq = std::strchr(arg, '=');
        if (!eq) {
            std::fprintf(stderr, "envrun: expected NAME=VALUE or -NAME, got %s\n", arg);
            return 125;
        }
        ::SetEnvironmentVariableA(std::string(arg, eq).c_str(), eq + 1);
    }
    if (i + 1 >= argc) {
        std::fprintf(stderr, "usage: envrun [NAME=VALUE | -NAME]... -- PROGRAM [ARGS...]\n");
        return 125;
    }
    std::string command = "\"" + std::string(argv[i + 1]) + "\"";
    for (int j = i + 2; j < argc; ++j)
        command += " " + std::string(argv[j]);
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "envrun: cannot start %s: error %lu\n", argv[i + 1], ::GetLastError());
        return 126;
    }
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}
