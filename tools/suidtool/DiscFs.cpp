#include "DiscFs.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

#include "Command.h"
#include "Interrupt.h"

namespace {

std::string Why(const char *verb, const std::string &path, int error)
{
    return std::string("cannot ") + verb + " " + path + ": " + std::strerror(error);
}

constexpr char kInterruptedText[] = "interrupted";
constexpr char kBuildKind[] = ".build-";

std::string ParentOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

class FolderHandle {
public:
    explicit FolderHandle(DIR *dir) : m_dir(dir) {}
    ~FolderHandle()
    {
        if (m_dir)
            ::closedir(m_dir);
    }
    FolderHandle(const FolderHandle &) = delete;
    FolderHandle &operator=(const FolderHandle &) = delete;
    DIR *Get() const { return m_dir; }

private:
    DIR *m_dir;
};

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int Get() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }
    // The last chance to learn of a failed write.
    bool Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool SameObject(const PathInfo &a, const PathInfo &b)
{
    return a.device == b.device && a.inode == b.inode;
}

bool ScanFolder(const std::string &root, const std::string &relative, std::vector<PathInfo> &ancestors, TreeScan &scan,
                std::string &error)
{
    if (Interrupted()) {
        error = kInterruptedText;
        return false;
    }
    const std::string folder = relative.empty() ? root : JoinUnixPath(root, relative);
    std::vector<std::string> names;
    if (!ListFolder(folder, names, error))
        return false;
    for (const std::string &name : names) {
        TreeEntry entry;
        entry.relative = relative.empty() ? name : relative + '/' + name;
        const std::string path = JoinUnixPath(root, entry.relative);
        if (!GetPathInfo(path, entry.info, error))
            return false;
        if (entry.info.kind == PathInfo::Kind::Missing) // a link to nothing
            entry.info.kind = PathInfo::Kind::Other;
        scan.entries.push_back(entry);
        if (entry.info.kind != PathInfo::Kind::Folder)
            continue;
        const PathInfo info = entry.info;
        if (std::any_of(ancestors.begin(), ancestors.end(),
                        [&info](const PathInfo &a) { return SameObject(a, info); })) {
            scan.loops.push_back(entry.relative);
            continue;
        }
        ancestors.push_back(info);
        const bool ok = ScanFolder(root, entry.relative, ancestors, scan, error);
        ancestors.pop_back();
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

bool GetPathInfo(const std::string &path, PathInfo &info, std::string &error)
{
    info = PathInfo();
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return true;
        error = Why("examine", path, errno);
        return false;
    }
    info.kind = S_ISREG(st.st_mode)   ? PathInfo::Kind::File
                : S_ISDIR(st.st_mode) ? PathInfo::Kind::Folder
                                      : PathInfo::Kind::Other;
    info.size = static_cast<uint64_t>(st.st_size);
    info.atime = st.st_atim;
    info.mtime = st.st_mtim;
    info.mode = st.st_mode;
    info.device = st.st_dev;
    info.inode = st.st_ino;
    return true;
}

std::string JoinUnixPath(const std::string &folder, const std::string &name)
{
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + '/' + name;
}

std::string FoldCase(const std::string &name)
{
    std::string folded = name;
    for (char &c : folded)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return folded;
}

bool ListFolder(const std::string &folder, std::vector<std::string> &names, std::string &error)
{
    names.clear();
    FolderHandle dir(::opendir(folder.c_str()));
    if (!dir.Get()) {
        error = Why("list", folder, errno);
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir.Get());
        if (!entry)
            break;
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    if (errno != 0) {
        error = Why("list", folder, errno);
        return false;
    }
    std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        const std::string fa = FoldCase(a), fb = FoldCase(b);
        return fa != fb ? fa < fb : a < b;
    });
    return true;
}

std::string FindIgnoringCase(const std::vector<std::string> &names, const std::string &wanted)
{
    const std::string folded = FoldCase(wanted);
    for (const std::string &name : names)
        if (FoldCase(name) == folded)
            return name;
    return std::string();
}

bool CopyFileKeepingTimes(const std::string &from, const std::string &to, std::string &error,
                          const CopyProgress &progress)
{
    Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.IsValid()) {
        error = Why("read", from, errno);
        return false;
    }
    struct stat st;
    if (::fstat(in.Get(), &st) != 0) {
        error = Why("read", from, errno);
        return false;
    }
    Descriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.IsValid()) {
        error = Why("write", to, errno);
        return false;
    }
    std::vector<char> chunk(1 << 16);
    for (;;) {
        if (Interrupted()) {
            error = kInterruptedText;
            return false;
        }
        const ssize_t got = ::read(in.Get(), chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = Why("read", from, errno);
            return false;
        }
        if (got == 0)
            break;
        if (!WriteAll(out.Get(), chunk.data(), static_cast<size_t>(got))) {
            error = Why("write", to, errno);
            return false;
        }
        if (progress)
            progress(static_cast<uint64_t>(got));
    }
    // The times go last: every write before would move the modification time again.
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (::fchmod(out.Get(), st.st_mode & 07777) != 0 || ::futimens(out.Get(), times) != 0 || !out.Close()) {
        error = Why("write", to, errno);
        return false;
    }
    return true;
}

bool SetFolderTimes(const std::string &path, const PathInfo &source, std::string &error)
{
    const timespec times[2] = {source.atime, source.mtime};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
        error = Why("set the times of", path, errno);
        return false;
    }
    return true;
}

bool ScanTree(const std::string &root, TreeScan &scan, std::string &error)
{
    scan = TreeScan();
    PathInfo info;
    if (!GetPathInfo(root, info, error))
        return false;
    if (info.kind != PathInfo::Kind::Folder) {
        error = Why("list", root, info.kind == PathInfo::Kind::Missing ? ENOENT : ENOTDIR);
        return false;
    }
    std::vector<PathInfo> ancestors{info};
    return ScanFolder(root, std::string(), ancestors, scan, error);
}

BuildFolder::~BuildFolder()
{
    if (!m_path.empty() && !m_moved) {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
}

std::string WorkFilePrefix(const std::string &target, const char *kind)
{
    const std::string path = WithoutTrailingSlashes(target);
    const std::string name = NameOf(path);
    // A folder is built hidden; an image file is written under a name that shows what it will become.
    return ParentOf(path) + (std::string(kind) == kBuildKind ? "." : "") + name + kind;
}

void RemoveDebris(const std::string &target, const char *kind)
{
    const std::string prefix = WorkFilePrefix(target, kind);
    const std::string parent = ParentOf(prefix);
    const std::string namePrefix = NameOf(prefix);
    std::vector<std::string> names;
    std::string error;
    if (!ListFolder(parent.empty() ? "." : parent, names, error))
        return;
    for (const std::string &name : names) {
        if (name.compare(0, namePrefix.size(), namePrefix) != 0)
            continue;
        const std::string rest = name.substr(namePrefix.size());
        const size_t dash = rest.find('-');
        const std::string pidText = rest.substr(0, dash);
        const std::string path = parent + name;
        if (dash == std::string::npos || pidText.empty() ||
            pidText.find_first_not_of("0123456789") != std::string::npos) {
            Warn(path + " looks like the remains of an interrupted run; remove it if no other program is writing it");
            continue;
        }
        const long pid = std::strtol(pidText.c_str(), nullptr, 10);
        if (pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue; // its maker still runs
        std::error_code failed;
        std::filesystem::remove_all(path, failed);
        if (failed)
            Warn("cannot remove " + path + ", left by an interrupted run: " + failed.message());
        else
            Complain("removed " + path + ", left by an interrupted run (process " + std::to_string(pid) + ")");
    }
}

bool BuildFolder::Create(const std::string &target, std::string &error)
{
    RemoveDebris(target, kBuildKind);
    std::string pattern = WorkFilePrefix(target, kBuildKind) + std::to_string(::getpid()) + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        error = Why("create a folder beside", target, errno);
        return false;
    }
    m_path = pattern;
    // mkdtemp makes the folder private; the disc folder should get the permissions any new folder would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::chmod(m_path.c_str(), 0777 & ~mask) != 0) {
        error = Why("create", m_path, errno);
        return false;
    }
    return true;
}

bool BuildFolder::MoveTo(const std::string &target, std::string &error)
{
    if (::rename(m_path.c_str(), target.c_str()) != 0) {
        error = Why("move the finished folder to", target, errno);
        return false;
    }
    m_moved = true;
    return true;
}
