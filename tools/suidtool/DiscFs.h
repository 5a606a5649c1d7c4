#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <vector>

// The file-system side of the disc commands (make-disc, check, iso): folder listings in a stable order,
// copies that keep modification times, whole-tree scans and a build folder that is either moved into place
// whole or removed. Symbolic links are followed everywhere, as the image is written with links followed.
// Functions that fail say why in `error`, ready to print after "suidtool: ".

struct PathInfo {
    enum class Kind { Missing, File, Folder, Other };
    Kind kind = Kind::Missing;
    uint64_t size = 0;
    timespec atime{};
    timespec mtime{};
    mode_t mode = 0;
    dev_t device = 0;
    ino_t inode = 0;
};

// Kind::Missing (and true) when nothing is there; false only when the path cannot be examined.
bool GetPathInfo(const std::string &path, PathInfo &info, std::string &error);

std::string JoinUnixPath(const std::string &folder, const std::string &name);

// The names in a folder without "." and "..", sorted as Windows lists a disc: by name, ignoring the case of
// ASCII letters (ties by the exact bytes, so the order is total).
bool ListFolder(const std::string &folder, std::vector<std::string> &names, std::string &error);

// ASCII letters upper-cased: Windows' name comparison for the names a disc of ours holds.
std::string FoldCase(const std::string &name);

// The entry of `names` equal to `wanted` apart from ASCII case; "" when there is none.
std::string FindIgnoringCase(const std::vector<std::string> &names, const std::string &wanted);

// Called after each chunk a copy writes, with the chunk's size.
using CopyProgress = std::function<void(uint64_t bytes)>;

// Copies a file's bytes, permission bits, access and modification times (to the nanosecond) to a new file. An
// interrupt stops it between chunks (false, `error` says so).
bool CopyFileKeepingTimes(const std::string &from, const std::string &to, std::string &error,
                          const CopyProgress &progress = CopyProgress());

// Gives a folder the times of `source` (after its contents were written, which changed them).
bool SetFolderTimes(const std::string &path, const PathInfo &source, std::string &error);

// One entry below a scanned root; `relative` uses '/' and never starts with it.
struct TreeEntry {
    std::string relative;
    PathInfo info;
};

struct TreeScan {
    // Every entry, each folder before its contents, names in ListFolder's order.
    std::vector<TreeEntry> entries;
    // Folders reached again through a symbolic link inside themselves: listed, not entered.
    std::vector<std::string> loops;
};

// Stops with `error` set when interrupted.
bool ScanTree(const std::string &root, TreeScan &scan, std::string &error);

// Work files beside a target carry the process ID of their maker: "<prefix><pid>-XXXXXX". Those of a process that
// no longer runs are the remains of an interrupted run (killed outright, or the machine stopped): a later run on
// the same target removes them and says so. Ours, and those of a process that still runs, stay.
std::string WorkFilePrefix(const std::string &target, const char *kind);
void RemoveDebris(const std::string &target, const char *kind);

// A folder that is being built beside its final place, as ".<name>.build-<pid>-XXXXXX". It is removed, with
// everything in it, unless MoveTo put it into place.
class BuildFolder {
public:
    BuildFolder() = default;
    ~BuildFolder();
    BuildFolder(const BuildFolder &) = delete;
    BuildFolder &operator=(const BuildFolder &) = delete;

    // Creates the folder beside `target`, after removing what interrupted runs left there.
    bool Create(const std::string &target, std::string &error);
    const std::string &Path() const { return m_path; }
    // Renames the folder to `target`, which must be missing or an empty folder.
    bool MoveTo(const std::string &target, std::string &error);

private:
    std::string m_path;
    bool m_moved = false;
};
