// make-disc: assembles a patient disc's folder, refusing what the rules call a problem.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <unistd.h>

#include "Command.h"
#include "Diagnostics.h"
#include "DiscFs.h"
#include "DiscRules.h"
#include "FileIo.h"
#include "Interrupt.h"
#include "Progress.h"
#include "SuidText.h"
#include "launch/Decision.h"

namespace {

// Where a build tree keeps the launcher, seen from the suidtool binary (build/native/suidtool), and where an
// installation does (PREFIX/bin/suidtool, PREFIX/share/suidtool/autorun.exe).
constexpr const char *kAutorunBesideTool[] = {"../win32/autorun.exe", "../share/suidtool/autorun.exe"};

struct MakeDiscOptions {
    std::string out, patient, implantDb, viewer, autorun, label;
    SuidValueOptions values;
    bool plain = false, force = false, quiet = false;
};

std::string ToolFolder()
{
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0)
        return ".";
    const std::string self(buffer.data(), static_cast<size_t>(length));
    return self.substr(0, self.rfind('/'));
}

// The first launcher found beside the tool; the build's path when there is none, for the refusal to name.
std::string DefaultAutorunPath()
{
    const std::string folder = ToolFolder();
    for (const char *relative : kAutorunBesideTool) {
        PathInfo info;
        std::string ignored;
        const std::string path = JoinUnixPath(folder, relative);
        if (GetPathInfo(path, info, ignored) && info.kind == PathInfo::Kind::File)
            return path;
    }
    return JoinUnixPath(folder, kAutorunBesideTool[0]);
}

// A source tree to be copied: scanned first, so that every refusal comes before anything is written.
struct SourceTree {
    std::string root;
    TreeScan scan;
    bool ok = false;
};

void ScanSource(const std::string &option, const std::string &root, SourceTree &tree,
                std::vector<std::string> &refusals)
{
    tree.root = root;
    std::string error;
    PathInfo info;
    if (!GetPathInfo(root, info, error)) {
        refusals.push_back(error);
        return;
    }
    if (info.kind != PathInfo::Kind::Folder) {
        refusals.push_back(option + " " + root +
                           (info.kind == PathInfo::Kind::Missing ? ": no such folder" : " is not a folder"));
        return;
    }
    if (!ScanTree(root, tree.scan, error)) {
        refusals.push_back(error);
        return;
    }
    tree.ok = true;
}

// The canonical form of a path that may not exist yet.
std::string Canonical(const std::string &path)
{
    std::error_code failed;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, failed);
    return failed ? path : canonical.string();
}

bool IsWithin(const std::string &inner, const std::string &outer)
{
    return inner == outer || (inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
                              (outer.back() == '/' || inner[outer.size()] == '/'));
}

// The disc make-disc is about to write, as the rules see a disc: the sources' entries under their names on the
// disc, and the files made here from memory.
class PlannedDisc {
public:
    void AddFile(const std::string &relative, const std::string &source, uint64_t size)
    {
        Add(relative, PathInfo::Kind::File, size);
        m_sources[relative] = source;
        m_copiedBytes += size;
    }
    size_t CopiedFiles() const { return m_sources.size(); }
    uint64_t CopiedBytes() const { return m_copiedBytes; }
    void AddMade(const std::string &relative, const std::string &bytes)
    {
        Add(relative, PathInfo::Kind::File, bytes.size());
        m_made[relative] = bytes;
    }
    // The tree's entries below `under` (a path inside it, or "" for all) as `as` on the disc.
    void AddTree(const std::string &as, const SourceTree &tree, const std::string &under = std::string())
    {
        Add(as, PathInfo::Kind::Folder, 0);
        const std::string prefix = under.empty() ? std::string() : under + "/";
        for (const TreeEntry &entry : tree.scan.entries) {
            if (entry.relative.compare(0, prefix.size(), prefix) != 0)
                continue;
            const std::string relative = as + "/" + entry.relative.substr(prefix.size());
            if (entry.info.kind == PathInfo::Kind::File)
                AddFile(relative, JoinUnixPath(tree.root, entry.relative), entry.info.size);
            else
                Add(relative, entry.info.kind, 0);
        }
        for (const std::string &loop : tree.scan.loops)
            if (loop.compare(0, prefix.size(), prefix) == 0)
                m_view.loops.push_back(as + "/" + loop.substr(prefix.size()));
    }
    DiscView View()
    {
        m_view.name = "the disc";
        m_view.read = [this](const TreeEntry &entry, size_t max, std::string &bytes, std::string &error) {
            const auto made = m_made.find(entry.relative);
            if (made != m_made.end()) {
                bytes = max == 0 ? made->second : made->second.substr(0, max);
                return true;
            }
            const std::string &source = m_sources.at(entry.relative);
            if (!ReadFileHead(source, max, bytes)) {
                error = "cannot read " + source + ": " + std::strerror(errno);
                return false;
            }
            return true;
        };
        return m_view;
    }

private:
    void Add(const std::string &relative, PathInfo::Kind kind, uint64_t size)
    {
        TreeEntry entry;
        entry.relative = relative;
        entry.info.kind = kind;
        entry.info.size = size;
        m_view.entries.push_back(entry);
    }
    DiscView m_view;
    std::map<std::string, std::string> m_sources, m_made;
    uint64_t m_copiedBytes = 0;
};

// Copies with a running count of files and bytes on a terminal.
class Copier {
public:
    Copier(Progress &progress, size_t files, uint64_t bytes) : m_progress(progress), m_files(files), m_bytes(bytes) {}

    bool File(const std::string &from, const std::string &to, std::string &error)
    {
        const bool ok = CopyFileKeepingTimes(from, to, error, [this](uint64_t chunk) {
            m_bytesDone += chunk;
            Show();
        });
        ++m_filesDone;
        Show();
        return ok;
    }

    bool Tree(const SourceTree &tree, const std::string &target, std::string &error, const std::string &under = {})
    {
        const std::string root = under.empty() ? tree.root : JoinUnixPath(tree.root, under);
        PathInfo rootInfo;
        if (!GetPathInfo(root, rootInfo, error))
            return false;
        if (::mkdir(target.c_str(), 0777) != 0) {
            error = "cannot create " + target + ": " + std::strerror(errno);
            return false;
        }
        const std::string prefix = under.empty() ? std::string() : under + "/";
        std::vector<const TreeEntry *> folders;
        for (const TreeEntry &entry : tree.scan.entries) {
            if (entry.relative.compare(0, prefix.size(), prefix) != 0)
                continue;
            const std::string from = JoinUnixPath(tree.root, entry.relative);
            const std::string to = JoinUnixPath(target, entry.relative.substr(prefix.size()));
            if (entry.info.kind == PathInfo::Kind::Folder) {
                if (::mkdir(to.c_str(), 0777) != 0) {
                    error = "cannot create " + to + ": " + std::strerror(errno);
                    return false;
                }
                folders.push_back(&entry);
            } else if (!File(from, to, error)) {
                return false;
            }
        }
        // Deepest first: setting a folder's times is the last change inside its parent.
        for (auto it = folders.rbegin(); it != folders.rend(); ++it)
            if (!SetFolderTimes(JoinUnixPath(target, (*it)->relative.substr(prefix.size())), (*it)->info, error))
                return false;
        return SetFolderTimes(target, rootInfo, error);
    }

private:
    void Show()
    {
        m_progress.Update("make-disc: " + std::to_string(m_filesDone) + " of " + std::to_string(m_files) + " files, " +
                          FormatBytes(m_bytesDone) + " of " + FormatBytes(m_bytes) + " (" +
                          std::to_string(Percent(m_bytesDone, m_bytes)) + "%)");
    }
    Progress &m_progress;
    size_t m_files, m_filesDone = 0;
    uint64_t m_bytes, m_bytesDone = 0;
};

int RunMakeDisc(const MakeDiscOptions &options)
{
    std::string out = options.out;
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    const SuidInfo info = SuidInfoFromOptions(options.values);
    const SuidForm form = options.plain ? SuidForm::Plain : SuidForm::Scrambled;

    std::vector<std::string> refusals;
    std::string error;
    PathInfo outInfo;
    if (!GetPathInfo(out, outInfo, error)) {
        refusals.push_back(error);
    } else if (outInfo.kind == PathInfo::Kind::Folder) {
        std::vector<std::string> names;
        if (!ListFolder(out, names, error))
            refusals.push_back(error);
        else if (!names.empty())
            refusals.push_back(out + " exists and is not empty");
    } else if (outInfo.kind != PathInfo::Kind::Missing) {
        refusals.push_back(out + " exists and is not a folder");
    }

    SourceTree patient, reference, viewer;
    ScanSource("--patient", options.patient, patient, refusals);
    if (!options.implantDb.empty())
        ScanSource("--implantdb", options.implantDb, reference, refusals);
    std::string viewerExe, setupFolder;
    uint64_t viewerExeSize = 0;
    if (!options.viewer.empty()) {
        ScanSource("--viewer", options.viewer, viewer, refusals);
        for (const TreeEntry &entry : viewer.scan.entries) {
            if (entry.info.kind == PathInfo::Kind::File && FoldCase(entry.relative) == FoldCase(launch::kViewerExe)) {
                viewerExe = entry.relative;
                viewerExeSize = entry.info.size;
            }
            if (entry.info.kind == PathInfo::Kind::Folder && FoldCase(entry.relative) == FoldCase(disc::kSetupFolder))
                setupFolder = entry.relative;
        }
        if (viewer.ok && viewerExe.empty())
            refusals.push_back("--viewer " + viewer.root + " has no " + launch::kViewerExe);
    }
    // A disc made into its own source would carry itself: the next disc made from that source carries this one.
    const std::string outCanonical = Canonical(out);
    for (const SourceTree *source : {&patient, &reference, &viewer}) {
        if (!source->ok)
            continue;
        const std::string sourceCanonical = Canonical(source->root);
        if (IsWithin(outCanonical, sourceCanonical))
            refusals.push_back(out + " lies inside the source " + source->root);
        else if (IsWithin(sourceCanonical, outCanonical))
            refusals.push_back("the source " + source->root + " lies inside " + out);
    }

    const std::string autorun = options.autorun.empty() ? DefaultAutorunPath() : options.autorun;
    PathInfo autorunInfo;
    if (!GetPathInfo(autorun, autorunInfo, error))
        refusals.push_back(error);
    else if (autorunInfo.kind != PathInfo::Kind::File)
        refusals.push_back("no launcher at " + autorun +
                           " (build it with cmake --build build/win32, or give --autorun)");
    if (Interrupted()) // a scan stopped short says "interrupted", which is no refusal
        return kExitInterrupted;
    if (!refusals.empty())
        return Refuse(refusals);

    const std::string label = options.label.empty() ? LabelForId(info.m_strId) : options.label;
    const std::string suidText = MakeSuidText(info, form);
    PlannedDisc planned;
    planned.AddFile(disc::kAutorunExe, autorun, autorunInfo.size);
    planned.AddMade(disc::kAutorunInf, AutorunInfText(label));
    planned.AddMade(suid::kFileName, suidText);
    planned.AddTree(disc::kDataFolder, patient);
    if (reference.ok)
        planned.AddTree(disc::kReferenceFolder, reference);
    if (!viewerExe.empty())
        planned.AddFile(launch::kViewerExe, JoinUnixPath(viewer.root, viewerExe), viewerExeSize);
    if (!setupFolder.empty())
        planned.AddTree(disc::kSetupFolder, viewer, setupFolder);
    const DiscView view = planned.View();
    // The audit reads the planned disc's files through `planned`, which stays until the end.
    DiscAudit audit;
    Findings values;
    CheckSuidReadBack(info, form, values);
    if (!AuditDisc(view, launch::kDefaultInstallFolder, audit, error)) {
        Complain(error + "; " + kNothingWritten);
        return kExitFailure;
    }
    const bool refusedValues = ReportProblems(values, options.force);
    if (ReportProblems(audit.findings, options.force) || refusedValues) {
        Complain(kNothingWritten);
        return kExitFailure;
    }
    if (const std::string warning = LabelWarning(label); !warning.empty())
        Warn(warning);

    Progress progress(options.quiet);
    Copier copier(progress, planned.CopiedFiles(), planned.CopiedBytes());
    BuildFolder build;
    const std::string &root = build.Path();
    bool ok = build.Create(out, error) && copier.File(autorun, JoinUnixPath(root, disc::kAutorunExe), error) &&
              copier.Tree(patient, JoinUnixPath(root, disc::kDataFolder), error) &&
              (!reference.ok || copier.Tree(reference, JoinUnixPath(root, disc::kReferenceFolder), error)) &&
              (viewerExe.empty() ||
               copier.File(JoinUnixPath(viewer.root, viewerExe), JoinUnixPath(root, launch::kViewerExe), error)) &&
              (setupFolder.empty() || copier.Tree(viewer, JoinUnixPath(root, disc::kSetupFolder), error, setupFolder));
    progress.Clear();
    if (Interrupted())
        return kExitInterrupted;
    if (!ok) {
        Complain(error + "; " + kNothingWritten);
        return kExitFailure;
    }
    // These two print their own errors.
    if (!WriteFileAtomically(JoinUnixPath(root, disc::kAutorunInf), AutorunInfText(label)) ||
        !WriteFileAtomically(JoinUnixPath(root, suid::kFileName), suidText) || !build.MoveTo(out, error)) {
        if (!error.empty())
            Complain(error);
        Complain(kNothingWritten);
        return kExitFailure;
    }
    std::printf("%s: %s disc for %s (%s, %s SUID.ini, label %s)\n", out.c_str(), info.m_strMode.c_str(),
                info.m_strId.c_str(), FormatVersion(info).c_str(),
                form == SuidForm::Plain ? kFormPlain : kFormScrambled, label.c_str());
    return kExitOk;
}

} // namespace

void AddMakeDiscCommand(CLI::App &app, CommandRun &run)
{
    CLI::App *command = app.add_subcommand("make-disc", "assemble a disc folder from the patient's files");
    command->footer(
        "The disc: autorun.exe, autorun.inf, SUID.ini (scrambled unless --plain), Data (a copy of --patient), "
        "ImplantDB (a copy of --implantdb), Tovi2009.exe and Setup/ from --viewer. Refuses (exit 1, nothing written) "
        "every problem check would report (with --force: written, the problems shown as warnings), a non-empty "
        "--out, and an --out inside a source or a source inside --out. The folder is built beside --out and renamed "
        "into place when complete; a refusal, a failure or an interrupt leaves nothing behind.");
    auto options = std::make_shared<MakeDiscOptions>();
    command->add_option("--out", options->out, "the disc folder to make (missing or empty)")->required();
    command->add_option("--patient", options->patient, "the patient's files: become Data")->required();
    AddSuidValueOptions(*command, options->values);
    command->add_option("--implantdb", options->implantDb, "the reference database: becomes ImplantDB");
    command->add_option("--viewer", options->viewer, "a folder with Tovi2009.exe and Setup/Setup.exe");
    command->add_option("--autorun", options->autorun,
                        "the launcher to put on the disc (default: the one installed or built beside suidtool)");
    command->add_option("--label", options->label, "the disc's label (default: made from the ID)")
        ->check([](const std::string &label) { return LabelComplaint(label); })
        ->type_name("LABEL");
    command->add_flag("--plain", options->plain, "write SUID.ini in the plain form");
    command->add_flag("--force", options->force, "make the disc despite problems, showing them as warnings");
    command->add_flag("-q,--quiet", options->quiet, "no progress on a terminal");
    command->callback([&run, options] { run = [options] { return RunMakeDisc(*options); }; });
}
