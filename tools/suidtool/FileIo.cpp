#include "FileIo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Command.h"

namespace {

void ReportFileError(const char *verb, const std::string &path, int error)
{
    std::fprintf(stderr, "%s: cannot %s %s: %s\n", kToolName, verb, path.c_str(), std::strerror(error));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int Get() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }
    // Closes now, so that a failing close (the last chance to see a write error) can be reported.
    bool Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

// The temporary file of one write: removed again unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : m_path(std::move(path)) {}
    ~TemporaryFile()
    {
        if (!m_kept)
            ::unlink(m_path.c_str());
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    bool RenameTo(const std::string &target)
    {
        m_kept = ::rename(m_path.c_str(), target.c_str()) == 0;
        return m_kept;
    }

private:
    std::string m_path;
    bool m_kept = false;
};

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

} // namespace

bool ReadFileHead(const std::string &path, size_t max, std::string &bytes)
{
    bytes.clear();
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsValid())
        return false;
    char chunk[65536];
    while (max == 0 || bytes.size() < max) {
        const size_t want = max == 0 ? sizeof chunk : std::min(sizeof chunk, max - bytes.size());
        const ssize_t got = ::read(file.Get(), chunk, want);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        bytes.append(chunk, static_cast<size_t>(got));
    }
    return true;
}

bool ReadWholeFile(const std::string &path, std::string &bytes)
{
    if (ReadFileHead(path, 0, bytes))
        return true;
    ReportFileError("read", path, errno);
    return false;
}

bool WriteFileAtomically(const std::string &path, std::string_view bytes)
{
    std::string tempPath = path + ".tmp-XXXXXX";
    FileDescriptor file(::mkstemp(tempPath.data()));
    if (!file.IsValid()) {
        ReportFileError("write", path, errno);
        return false;
    }
    TemporaryFile temp(tempPath);
    // mkstemp makes the file private to us; the result should get the permissions any new file would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(file.Get(), 0666 & ~mask) != 0 || !WriteAll(file.Get(), bytes) || ::fsync(file.Get()) != 0 ||
        !file.Close() || !temp.RenameTo(path)) {
        ReportFileError("write", path, errno);
        return false;
    }
    return true;
}
