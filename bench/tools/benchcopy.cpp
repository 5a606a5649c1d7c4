// benchcopy: the baselines the launcher's transfer is measured against, timed inside the process so that Wine's
// start-up stays out of the figures. Prints "<milliseconds> <files> <failures>" on one line.
//   benchcopy flat SOURCE DESTINATION   a bare CopyFileA loop over the files at the top level of SOURCE
//   benchcopy tree SOURCE DESTINATION   the same over the whole tree, creating its folders
//   benchcopy run COMMAND LINE...       starts a program, waits for it, and times it from start to exit
//   benchcopy first straight|staged SOURCE DESTINATION
//                                       first copies of SOURCE's top-level files as the launcher makes them: straight
//                                       to the name (fail-if-exists, size read back), or staged (into a folder of its
//                                       own in DESTINATION, size read back, renamed to the name without replacing)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Handles.h"

namespace {

struct Counts {
    long files = 0;
    long failures = 0;
};

double NowMs()
{
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

bool IsDots(const char *name) { return name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2])); }

void CopyFolder(const std::string &source, const std::string &destination, bool recurse, Counts &counts)
{
    ::CreateDirectoryA(destination.c_str(), nullptr);
    WIN32_FIND_DATAA data;
    FindHandle find(::FindFirstFileA((source + "\\*.*").c_str(), &data));
    if (!find)
        return;
    do {
        const std::string from = source + "\\" + data.cFileName;
        const std::string to = destination + "\\" + data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (recurse && !IsDots(data.cFileName))
                CopyFolder(from, to, recurse, counts);
            continue;
        }
        ++counts.files;
        if (!::CopyFileA(from.c_str(), to.c_str(), FALSE))
            ++counts.failures;
    } while (::FindNextFileA(find.Get(), &data));
}

int Run(int argc, char **argv)
{
    std::string command;
    for (int i = 2; i < argc; ++i) {
        if (i > 2)
            command += ' ';
        command += argv[i];
    }
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    const double start = NowMs();
    if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "benchcopy: cannot start %s: error %lu\n", command.c_str(), ::GetLastError());
        return 3;
    }
    const KernelHandle process(pi.hProcess), thread(pi.hThread);
    ::WaitForSingleObject(process.Get(), INFINITE);
    const double elapsed = NowMs() - start;
    DWORD code = 0;
    ::GetExitCodeProcess(process.Get(), &code);
    std::printf("%.3f 0 %lu\n", elapsed, code);
    return 0;
}

bool SizeIs(const std::string &path, DWORD size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow == size;
}

void FirstCopies(bool staged, const std::string &source, const std::string &destination, Counts &counts)
{
    const std::string staging = destination + "\\~bench-staging.tmp";
    if (staged)
        ::CreateDirectoryA(staging.c_str(), nullptr);
    const std::string stagedCopy = staging + "\\copy.tmp";
    WIN32_FIND_DATAA data;
    FindHandle find(::FindFirstFileA((source + "\\*.*").c_str(), &data));
    if (!find)
        return;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const std::string from = source + "\\" + data.cFileName;
        const std::string to = destination + "\\" + data.cFileName;
        ++counts.files;
        const bool ok = staged ? ::CopyFileA(from.c_str(), stagedCopy.c_str(), FALSE) &&
                                     SizeIs(stagedCopy, data.nFileSizeLow) &&
                                     ::MoveFileExA(stagedCopy.c_str(), to.c_str(), 0)
                               : ::CopyFileA(from.c_str(), to.c_str(), TRUE) && SizeIs(to, data.nFileSizeLow);
        if (!ok)
            ++counts.failures;
    } while (::FindNextFileA(find.Get(), &data));
    if (staged)
        ::RemoveDirectoryA(staging.c_str());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "run") == 0)
        return Run(argc, argv);
    if (argc == 5 && std::strcmp(argv[1], "first") == 0) {
        Counts counts;
        const double start = NowMs();
        FirstCopies(std::strcmp(argv[2], "staged") == 0, argv[3], argv[4], counts);
        std::printf("%.3f %ld %ld\n", NowMs() - start, counts.files, counts.failures);
        return 0;
    }
    if (argc != 4 || (std::strcmp(argv[1], "flat") != 0 && std::strcmp(argv[1], "tree") != 0)) {
        std::fprintf(stderr, "usage: benchcopy flat|tree SOURCE DESTINATION | benchcopy first straight|staged SOURCE "
                             "DESTINATION | benchcopy run COMMAND...\n");
        return 2;
    }
    Counts counts;
    const double start = NowMs();
    CopyFolder(argv[2], argv[3], std::strcmp(argv[1], "tree") == 0, counts);
    std::printf("%.3f %ld %ld\n", NowMs() - start, counts.files, counts.failures);
    return 0;
}
