#include "ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "Interrupt.h"

namespace {

constexpr size_t kTailMax = 2000;
constexpr auto kStopGrace = std::chrono::seconds(3);
constexpr int kExecFailed = 127;

class Pipe {
public:
    Pipe()
    {
        if (::pipe2(m_fd, O_CLOEXEC) != 0)
            m_fd[0] = m_fd[1] = -1;
    }
    ~Pipe()
    {
        CloseRead();
        CloseWrite();
    }
    Pipe(const Pipe &) = delete;
    Pipe &operator=(const Pipe &) = delete;
    bool Ok() const { return m_fd[0] >= 0; }
    int Read() const { return m_fd[0]; }
    int Write() const { return m_fd[1]; }
    void CloseRead() { Close(m_fd[0]); }
    void CloseWrite() { Close(m_fd[1]); }

private:
    static void Close(int &fd)
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    int m_fd[2];
};

// Splits what arrives on one pipe into lines; a line is handed on when its end arrives (or the pipe ends).
class LineReader {
public:
    LineReader(const LineHandler &handler, std::string *tail) : m_handler(handler), m_tail(tail) {}
    void Take(const char *data, size_t size)
    {
        if (m_tail) {
            m_tail->append(data, size);
            if (m_tail->size() > 2 * kTailMax)
                m_tail->erase(0, m_tail->size() - kTailMax);
        }
        m_partial.append(data, size);
        size_t start = 0;
        for (size_t end; (end = m_partial.find('\n', start)) != std::string::npos; start = end + 1)
            Hand(m_partial.substr(start, end - start));
        m_partial.erase(0, start);
    }
    void Finish()
    {
        if (!m_partial.empty())
            Hand(m_partial);
        m_partial.clear();
    }

private:
    void Hand(const std::string &line)
    {
        if (m_handler)
            m_handler(line);
    }
    const LineHandler &m_handler;
    std::string *m_tail;
    std::string m_partial;
};

void StopGroup(pid_t pid)
{
    ::kill(-pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(-pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

ChildResult RunChild(const std::vector<std::string> &argv, const LineHandler &onStdout, const LineHandler &onStderr)
{
    ChildResult result;
    Pipe out, err, status;
    if (!out.Ok() || !err.Ok() || !status.Ok()) {
        result.error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return result;
    }
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        result.error = std::string("cannot start ") + argv[0] + ": " + std::strerror(errno);
        return result;
    }
    if (pid == 0) {
        // The child: its own process group, so a terminal's Ctrl-C reaches only the tool, which stops it in order.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(kExecFailed);
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            ::signal(signal, SIG_DFL);
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, STDIN_FILENO);
        ::dup2(out.Write(), STDOUT_FILENO);
        ::dup2(err.Write(), STDERR_FILENO);
        ::execvp(args[0], args.data());
        const int error = errno;
        (void)!::write(status.Write(), &error, sizeof error);
        ::_exit(kExecFailed);
    }
    ::setpgid(pid, pid); // also here, so that the group exists before any kill below
    out.CloseWrite();
    err.CloseWrite();
    status.CloseWrite();
    int execError = 0;
    if (::read(status.Read(), &execError, sizeof execError) == static_cast<ssize_t>(sizeof execError)) {
        ::waitpid(pid, nullptr, 0);
        result.error = execError == ENOENT ? "not found on PATH" : std::strerror(execError);
        return result;
    }

    LineReader outLines(onStdout, nullptr), errLines(onStderr, &result.errTail);
    pollfd fds[2] = {{out.Read(), POLLIN, 0}, {err.Read(), POLLIN, 0}};
    LineReader *readers[2] = {&outLines, &errLines};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        if (Interrupted()) {
            StopGroup(pid);
            result.end = ChildResult::End::Interrupted;
            return result;
        }
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            result.error = std::string("cannot read from ") + argv[0] + ": " + std::strerror(errno);
            StopGroup(pid);
            return result;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                readers[i]->Finish();
                fds[i].fd = -1;
                --open;
                continue;
            }
            readers[i]->Take(buffer, static_cast<size_t>(got));
        }
    }
    int waitStatus = 0;
    while (::waitpid(pid, &waitStatus, 0) < 0) {
        if (errno != EINTR) {
            result.error = std::string("cannot wait for ") + argv[0] + ": " + std::strerror(errno);
            return result;
        }
        if (Interrupted()) {
            StopGroup(pid);
            result.end = ChildResult::End::Interrupted;
            return result;
        }
    }
    if (result.errTail.size() > kTailMax)
        result.errTail = "..." + result.errTail.substr(result.errTail.size() - kTailMax);
    if (WIFSIGNALED(waitStatus)) {
        result.end = ChildResult::End::Killed;
        result.status = WTERMSIG(waitStatus);
    } else {
        result.end = ChildResult::End::Exited;
        result.status = WEXITSTATUS(waitStatus);
    }
    return result;
}

std::string DescribeChildFailure(const std::string &program, const ChildResult &result)
{
    switch (result.end) {
    case ChildResult::End::NotStarted:
        if (result.error == "not found on PATH")
            return program + " not found on PATH: install the Debian package " + program + " (apt-get install " +
                   program + ")";
        return "cannot run " + program + ": " + result.error;
    case ChildResult::End::Killed:
        return program + " was killed by signal " + std::to_string(result.status);
    case ChildResult::End::Exited:
        return program + " failed (exit " + std::to_string(result.status) + "):\n" + result.errTail;
    case ChildResult::End::Interrupted:
        return program + " was stopped";
    }
    return std::string();
}
