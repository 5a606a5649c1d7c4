// iso: an ISO 9660 image with Joliet names (what Windows reads) and Rock Ridge, written by xorriso.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "ChildProcess.h"
#include "Command.h"
#include "Diagnostics.h"
#include "DiscFs.h"
#include "DiscRules.h"
#include "DiscViews.h"
#include "FileIo.h"
#include "Interrupt.h"
#include "Progress.h"
#include "config/IniReader.h"
#include "launch/Decision.h"

namespace {

constexpr char kImageKind[] = ".tmp-";
constexpr char kOldLogKind[] = ".log-"; // earlier versions kept xorriso's output in a file beside the image
constexpr char kUpdate[] = "xorriso : UPDATE :";

struct IsoOptions {
    std::string folder, out, label;
    bool force = false, quiet = false;
};

// The image while xorriso writes it, beside its final place as "<name>.tmp-<pid>-XXXXXX": removed unless it was
// renamed into place.
class ImageFile {
public:
    ~ImageFile()
    {
        if (!m_path.empty() && !m_kept)
            ::unlink(m_path.c_str());
    }
    bool Create(const std::string &target, std::string &error)
    {
        RemoveDebris(target, kImageKind);
        RemoveDebris(target, kOldLogKind);
        std::string pattern = WorkFilePrefix(target, kImageKind) + std::to_string(::getpid()) + "-XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            error = "cannot create a file beside " + target + ": " + std::strerror(errno);
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
    const std::string complaint = label.empty() ? std::string() : LabelComplaint(label);
    if (!complaint.empty())
        Warn(inf + "'s label does not fit a volume label (" + complaint + "); using " + disc::kDefaultLabel);
    return complaint.empty() ? label : std::string();
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

// "xorriso : UPDATE :  34.34% done, estimate finish ..." -> 34; -1 for any other line.
int PercentOf(const std::string &line)
{
    if (line.compare(0, sizeof kUpdate - 1, kUpdate) != 0)
        return -1;
    const size_t percent = line.find("% done");
    if (percent == std::string::npos)
        return -1;
    const size_t start = line.find_last_of(' ', percent);
    return start == std::string::npos ? -1 : std::atoi(line.c_str() + start + 1);
}

int RunIso(const IsoOptions &options)
{
    const std::string &root = options.folder;
    const std::string &out = options.out;
    std::string error;
    DiscView view;
    DiscAudit audit;
    if (!FolderView(root, view, error) || !AuditDisc(view, launch::kDefaultInstallFolder, audit, error)) {
        if (Interrupted())
            return kExitInterrupted;
        Complain(error);
        return kExitFailure;
    }
    if (IsInside(out, root))
        return Refuse({"the image " + out + " cannot be written inside the folder it images"});
    if (ReportProblems(audit.findings, options.force)) {
        Complain(kNothingWritten);
        return kExitFailure;
    }
    std::string label = options.label.empty() ? LabelFromAutorunInf(root) : options.label;
    if (label.empty())
        label = disc::kDefaultLabel;
    if (const std::string warning = LabelWarning(label); !warning.empty())
        Warn(warning);

    ImageFile image;
    if (!image.Create(out, error)) {
        Complain(error);
        return kExitFailure;
    }
    // Level 3 lifts level 1's 8.3 names in the plain tree; Joliet (-J) carries the names Windows shows, Rock
    // Ridge (-r, readable permissions, owner root) those of other systems. Links are followed (-f) so that the
    // image holds what the folder shows. Names are read as UTF-8 whatever the locale says. -md5 on records an MD5
    // of every file and of the session, which verify checks.
    const std::vector<std::string> command = {
        kXorriso, "-md5",           "on",    "-as", "mkisofs", "-iso-level", "3",          "-J", "-r",
        "-f",     "-input-charset", "UTF-8", "-V",  label,     "-o",         image.Path(), root};
    Progress progress(options.quiet);
    progress.Update("iso: reading " + root, true);
    const ChildResult result = RunChild(command, nullptr, [&progress](const std::string &line) {
        const int percent = PercentOf(line);
        if (percent >= 0)
            progress.Update("iso: " + std::to_string(percent) + "% of the image written");
    });
    progress.Clear();
    if (result.end == ChildResult::End::Interrupted)
        return kExitInterrupted;
    if (result.end != ChildResult::End::Exited || result.status != 0) {
        Complain(DescribeChildFailure(kXorriso, result));
        Complain(kNothingWritten);
        return kExitFailure;
    }
    if (!image.RenameTo(out)) {
        Complain("cannot write " + out + ": " + std::strerror(errno));
        return kExitFailure;
    }
    std::printf("%s: %zu entries, label %s\n", out.c_str(), view.entries.size(), label.c_str());
    return kExitOk;
}

} // namespace

void AddIsoCommand(CLI::App &app, CommandRun &run)
{
    CLI::App *command = app.add_subcommand("iso", "write a disc folder as an ISO image (xorriso)");
    command->footer("ISO 9660 with Joliet names (what Windows reads), Rock Ridge names and MD5 sums, modification "
                    "times kept to the second. Refuses (exit 1, nothing written) a folder check calls not sound, "
                    "unless --force.");
    auto options = std::make_shared<IsoOptions>();
    command->add_option("DIR", options->folder, "the disc folder")->required();
    command->add_option("OUT", options->out, "the image to write, e.g. disc.iso")->required();
    command->add_option("--label", options->label, "the volume label (default: autorun.inf's, else PATIENT)")
        ->check([](const std::string &label) { return LabelComplaint(label); })
        ->type_name("LABEL");
    command->add_flag("--force", options->force, "write the image despite problems, showing them as warnings");
    command->add_flag("-q,--quiet", options->quiet, "no progress on a terminal");
    command->callback([&run, options] { run = [options] { return RunIso(*options); }; });
}
