// iso: an ISO 9660 image with Joliet names (what Windows reads) and Rock Ridge, written by xorriso.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "Command.h"
#include "DiscFs.h"
#include "DiscRules.h"
#include "FileIo.h"
#include "Options.h"
#include "config/IniReader.h"

extern char **environ;

namespace {

constexpr char kOptLabel[] = "--label";
constexpr char kXorriso[] = "xorriso";
constexpr size_t kLogTail = 2000; // of xorriso's output, shown when it fails
constexpr size_t kListedMax = 10;

// A file beside the image: removed unless it was renamed into place.
class SideFile {
public:
    ~SideFile()
    {
        if (!m_path.empty() && !m_kept)
            ::unlink(m_path.c_str());
    }
    bool Create(const std::string &beside, const char *suffix, std::string &error)
    {
        std::string pattern = beside + suffix + "-XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            error = "cannot create a file beside " + beside + ": " + std::strerror(errno);
            return false;
        }
        m_path = pattern;
        // mkstemp makes the file private; the image should get the permissions any new file would.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        const bool ok = ::fchmod(fd, 0666 & ~mask) == 0;
        ::close(fd);
        if (!ok)
            error = "cannot create " + m_path + ": " + std::strerror(errno);
        return ok;
    }
    const std::string &Path() const { return m_path; }
    bool RenameTo(const std::string &target)
    {
        m_kept = ::rename(m_path.c_str(), target.c_str()) == 0;
        return m_kept;
    }

private:
    std::string m_path;
    bool m_kept = false;
};

class SpawnActions {
public:
    SpawnActions() { ::posix_spawn_file_actions_init(&m_actions); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(const SpawnActions &) = delete;
    SpawnActions &operator=(const SpawnActions &) = delete;
    posix_spawn_file_actions_t *Get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

// The label the disc names itself in autorun.inf, when it has a usable one.
std::string LabelFromAutorunInf(const std::string &root)
{
    std::vector<std::string> names;
    std::string error;
    if (!ListFolder(root, names, error))
        return std::string();
    const std::string inf = FindIgnoringCase(names, disc::kAutorunInf);
    std::string bytes;
    if (inf.empty() || !ReadWholeFile(JoinUnixPath(root, inf), bytes))
        return std::string();
    const std::string label = IniFile::Parse(bytes).Get(disc::kInfSection, disc::kInfLabel);
    if (!label.empty() && !IsUsableLabel(label))
        std::fprintf(stderr, "%s: warning: %s's label '%s' does not fit a volume label; using %s\n", kToolName,
                     inf.c_str(), label.c_str(), disc::kDefaultLabel);
    return IsUsableLabel(label) ? label : std::string();
}

// What the image could not carry as it is in the folder: Joliet cuts long names and silently leaves out what
// lies past its path budget, so those are refused rather than written.
std::vector<std::string> EntriesTheImageWouldChange(const TreeScan &scan)
{
    std::vector<std::string> refused;
    for (const TreeEntry &entry : scan.entries) {
        const size_t slash = entry.relative.rfind('/');
        const std::string name = slash == std::string::npos ? entry.relative : entry.relative.substr(slash + 1);
        size_t length = 0;
        if (entry.info.kind == PathInfo::Kind::Other)
            refused.push_back(entry.relative + ": neither a file nor a folder");
        else if (!Ucs2Length(name, length))
            refused.push_back(entry.relative + ": not UTF-8, or a character beyond UCS-2");
        else if (length > limits::kJolietNameMax)
            refused.push_back(entry.relative + ": a name of " + std::to_string(length) + " characters (Joliet: 64)");
        else if (JolietPathCost(entry.relative) > limits::kJolietPathBudget)
            refused.push_back(entry.relative + ": too long or deep a path for Joliet");
    }
    for (const std::string &loop : scan.loops)
        refused.push_back(loop + ": a folder that contains itself through a symbolic link");
    return refused;
}

std::string Tail(const std::string &path)
{
    std::string bytes;
    if (!ReadWholeFile(path, bytes))
        return std::string();
    return bytes.size() > kLogTail ? "..." + bytes.substr(bytes.size() - kLogTail) : bytes;
}

// Runs xorriso with its output into `log`; returns its exit status, or -1 with `error` set.
int RunXorriso(const std::vector<std::string> &arguments, const std::string &log, std::string &error)
{
    std::vector<char *> argv;
    for (const std::string &a : arguments)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(actions.Get(), STDOUT_FILENO, log.c_str(), O_WRONLY | O_TRUNC, 0);
    ::posix_spawn_file_actions_adddup2(actions.Get(), STDOUT_FILENO, STDERR_FILENO);
    pid_t pid;
    const int spawned = ::posix_spawnp(&pid, kXorriso, actions.Get(), nullptr, argv.data(), environ);
    if (spawned != 0) {
        error = spawned == ENOENT ? std::string(kXorriso) + " not found on PATH: install the Debian package " +
                                        kXorriso + " (apt-get install " + kXorriso + ")"
                                  : std::string("cannot start ") + kXorriso + ": " + std::strerror(spawned);
        return -1;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            error = std::string("cannot wait for ") + kXorriso + ": " + std::strerror(errno);
            return -1;
        }
    }
    if (WIFSIGNALED(status)) {
        error = std::string(kXorriso) + " was killed by signal " + std::to_string(WTERMSIG(status));
        return -1;
    }
    return WEXITSTATUS(status);
}

bool IsInside(const std::string &path, const std::string &folder)
{
    char resolvedFolder[PATH_MAX], resolvedParent[PATH_MAX];
    const size_t slash = path.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (!::realpath(folder.c_str(), resolvedFolder) || !::realpath(parent.c_str(), resolvedParent))
        return false;
    const std::string f = resolvedFolder, p = resolvedParent;
    return p == f || p.compare(0, f.size() + 1, f + "/") == 0;
}

int RunIso(const std::vector<std::string> &args)
{
    ParsedOptions options;
    const std::string complaint = options.Parse(args, {{kOptLabel, true}});
    if (!complaint.empty())
        return UsageError(complaint);
    if (options.Positionals().size() != 2)
        return UsageError("iso needs DIR and OUT.iso");
    const std::string &root = options.Positionals()[0];
    const std::string &out = options.Positionals()[1];
    if (const std::string *label = options.Value(kOptLabel))
        if (!IsUsableLabel(*label))
            return UsageError("bad label '" + *label + "': 1 to 32 printable ASCII characters");

    std::string error;
    TreeScan scan;
    if (!ScanTree(root, scan, error)) {
        std::fprintf(stderr, "%s: %s\n", kToolName, error.c_str());
        return kExitFailure;
    }
    if (IsInside(out, root))
        return UsageError("the image " + out + " cannot be written inside the folder it images");
    const std::vector<std::string> refused = EntriesTheImageWouldChange(scan);
    if (!refused.empty()) {
        std::fprintf(stderr, "%s: refused: the image would not carry %zu entr%s as %s in %s:\n", kToolName,
                     refused.size(), refused.size() == 1 ? "y" : "ies", refused.size() == 1 ? "it is" : "they are",
                     root.c_str());
        for (size_t i = 0; i < refused.size() && i < kListedMax; ++i)
            std::fprintf(stderr, "    %s\n", refused[i].c_str());
        if (refused.size() > kListedMax)
            std::fprintf(stderr, "    ... and %zu more\n", refused.size() - kListedMax);
        std::fprintf(stderr, "%s: nothing written\n", kToolName);
        return kExitFailure;
    }
    std::string label = options.Has(kOptLabel) ? *options.Value(kOptLabel) : LabelFromAutorunInf(root);
    if (label.empty())
        label = disc::kDefaultLabel;

    SideFile image, log;
    if (!image.Create(out, ".tmp", error) || !log.Create(out, ".log", error)) {
        std::fprintf(stderr, "%s: %s\n", kToolName, error.c_str());
        return kExitFailure;
    }
    // Level 3 lifts level 1's 8.3 names in the plain tree; Joliet (-J) carries the names Windows shows, Rock
    // Ridge (-r, readable permissions, owner root) those of other systems. Links are followed (-f) so that the
    // image holds what the folder shows. Names are read as UTF-8 whatever the locale says.
    const std::vector<std::string> command = {kXorriso, "-as", "mkisofs", "-iso-level",     "3",
                                              "-J",     "-r",  "-f",      "-input-charset", "UTF-8",
                                              "-V",     label, "-o",      image.Path(),     root};
    const int status = RunXorriso(command, log.Path(), error);
    if (status != 0) {
        if (status > 0)
            std::fprintf(stderr, "%s: %s failed (exit %d):\n%s\n", kToolName, kXorriso, status,
                         Tail(log.Path()).c_str());
        else
            std::fprintf(stderr, "%s: %s\n", kToolName, error.c_str());
        std::fprintf(stderr, "%s: nothing written\n", kToolName);
        return kExitFailure;
    }
    if (!image.RenameTo(out)) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", kToolName, out.c_str(), std::strerror(errno));
        return kExitFailure;
    }
    std::printf("%s: %zu entries, label %s\n", out.c_str(), scan.entries.size(), label.c_str());
    return kExitOk;
}

} // namespace

const Command kIsoCommand = {
    "iso", "DIR OUT.iso [--label LABEL]",
    "write DIR as an ISO 9660 image with Joliet and Rock Ridge names (xorriso), keeping modification times to\n"
    "      the second (what ISO 9660 stores); label from DIR's autorun.inf, else PATIENT. Refuses names or paths\n"
    "      Joliet would cut or leave out",
    RunIso};
