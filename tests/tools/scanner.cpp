// scanner.exe FOLDER HOLD_MS READYFILE STOPFILE [LOGFILE]
// Does what on-access antivirus, the search indexer and backup agents do: opens every file that appears or changes
// anywhere below FOLDER, the moment it sees it, for HOLD_MS, without delete sharing (a rename or deletion of it
// meanwhile fails with a sharing violation), several files at a time. It looks by walking the tree over and over:
// Wine reports no changes in the subfolders of a watched folder. Creates READYFILE once it watches; ends when
// STOPFILE exists. LOGFILE gets the number of holds.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {
constexpr DWORD kPollMs = 1;

bool Exists(const char *path)
{
    return ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

struct Hold {
    HANDLE handle;
    DWORD until;
};

// A file is new to the scanner while its name, size and time are.
using Seen = std::set<std::pair<std::string, unsigned long long>>;

void Walk(const std::string &folder, Seen &seen, std::vector<Hold> &open, DWORD holdMs, unsigned long &holds, bool hold)
{
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Walk(path, seen, open, holdMs, holds, hold);
            continue;
        }
        const unsigned long long stamp = (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                                          data.ftLastWriteTime.dwLowDateTime) ^
                                         data.nFileSizeLow;
        if (!seen.insert({path, stamp}).second || !hold)
            continue;
        HANDLE held = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (held == INVALID_HANDLE_VALUE)
            continue;
        ++holds;
        open.push_back(Hold{held, ::GetTickCount() + holdMs});
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
}
} // namespace

int main(int argc, char **argv)
{
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: scanner FOLDER HOLD_MS READYFILE STOPFILE [LOGFILE]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const DWORD holdMs = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    Seen seen;
    std::vector<Hold> open;
    unsigned long holds = 0;
    // What is there before it starts has been scanned.
    Walk(folder, seen, open, holdMs, holds, false);
    HANDLE ready = ::CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (ready != INVALID_HANDLE_VALUE)
        ::CloseHandle(ready);
    while (!Exists(argv[4])) {
        const DWORD now = ::GetTickCount();
        for (size_t i = 0; i < open.size();) {
            if (static_cast<LONG>(now - open[i].until) >= 0) {
                ::CloseHandle(open[i].handle);
                open[i] = open.back();
                open.pop_back();
            } else {
                ++i;
            }
        }
        Walk(folder, seen, open, holdMs, holds, true);
        ::Sleep(kPollMs);
    }
    for (const Hold &hold : open)
        ::CloseHandle(hold.handle);
    if (argc == 6) {
        if (FILE *log = std::fopen(argv[5], "w")) {
            std::fprintf(log, "%lu\n", holds);
            std::fclose(log);
        }
    }
    return 0;
}
