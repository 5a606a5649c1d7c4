// make-disc: assembles a patient disc's folder, refusing what the launcher could not use.
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "Command.h"
#include "DiscFs.h"
#include "DiscRules.h"
#include "FileIo.h"
#include "Options.h"
#include "SuidText.h"
#include "launch/Decision.h"
#include "launch/PatientId.h"

namespace {

constexpr char kOptOut[] = "--out";
constexpr char kOptPatient[] = "--patient";
constexpr char kOptImplantDb[] = "--implantdb";
constexpr char kOptViewer[] = "--viewer";
constexpr char kOptAutorun[] = "--autorun";
constexpr char kOptPlain[] = "--plain";
constexpr char kOptForce[] = "--force";
// Where a build tree keeps the launcher, seen from the suidtool binary (build/native/suidtool).
constexpr char kDefaultAutorun[] = "../win32/autorun.exe";
constexpr size_t kListedMax = 10;

std::string DefaultAutorunPath()
{
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0)
        return kDefaultAutorun;
    const std::string self(buffer.data(), static_cast<size_t>(length));
    return JoinUnixPath(self.substr(0, self.rfind('/')), kDefaultAutorun);
}

// Everything that keeps the disc from being made, reported together so one run shows them all.
class Refusals {
public:
    void Add(const std::string &reason) { m_reasons.push_back(reason); }
    // Up to kListedMax of the items, indented under the reason.
    void AddWithList(const std::string &reason, const std::vector<std::string> &items)
    {
        std::string text = reason;
        for (size_t i = 0; i < items.size() && i < kListedMax; ++i)
            text += "\n    " + items[i];
        if (items.size() > kListedMax)
            text += "\n    ... and " + std::to_string(items.size() - kListedMax) + " more";
        m_reasons.push_back(text);
    }
    bool Any() const { return !m_reasons.empty(); }
    int Report() const
    {
        for (const std::string &reason : m_reasons)
            std::fprintf(stderr, "%s: refused: %s\n", kToolName, reason.c_str());
        std::fprintf(stderr, "%s: nothing written\n", kToolName);
        return kExitFailure;
    }

private:
    std::vector<std::string> m_reasons;
};

void Warn(const std::string &text)
{
    std::fprintf(stderr, "%s: warning: %s\n", kToolName, text.c_str());
}

// A source tree to be copied: scanned first, so that every refusal comes before anything is written.
struct SourceTree {
    std::string root;
    TreeScan scan;
    bool ok = false;
};

// Scans `root`, which must be a folder; what a disc cannot carry is refused.
void ScanSource(const std::string &option, const std::string &root, SourceTree &tree, Refusals &refusals)
{
    tree.root = root;
    std::string error;
    PathInfo info;
    if (!GetPathInfo(root, info, error)) {
        refusals.Add(error);
        return;
    }
    if (info.kind != PathInfo::Kind::Folder) {
        refusals.Add(option + " " + root +
                     (info.kind == PathInfo::Kind::Missing ? ": no such folder" : " is not a folder"));
        return;
    }
    if (!ScanTree(root, tree.scan, error)) {
        refusals.Add(error);
        return;
    }
    std::vector<std::string> others;
    for (const TreeEntry &entry : tree.scan.entries)
        if (entry.info.kind == PathInfo::Kind::Other)
            others.push_back(entry.relative);
    if (!others.empty())
        refusals.AddWithList(root + " holds entries that are neither files nor folders (a disc cannot carry them):",
                             others);
    if (!tree.scan.loops.empty())
        refusals.AddWithList(root + " holds folders that contain themselves through a symbolic link:", tree.scan.loops);
    tree.ok = others.empty() && tree.scan.loops.empty();
}

// The top-level entry of a scanned tree named `name` apart from case, or nullptr.
const TreeEntry *TopEntry(const SourceTree &tree, const std::string &name, PathInfo::Kind kind)
{
    for (const TreeEntry &entry : tree.scan.entries)
        if (entry.relative.find('/') == std::string::npos && entry.info.kind == kind &&
            FoldCase(entry.relative) == FoldCase(name))
            return &entry;
    return nullptr;
}

bool CopyTree(const SourceTree &tree, const std::string &target, std::string &error)
{
    if (::mkdir(target.c_str(), 0777) != 0) {
        error = "cannot create " + target;
        return false;
    }
    std::vector<const TreeEntry *> folders;
    for (const TreeEntry &entry : tree.scan.entries) {
        const std::string from = JoinUnixPath(tree.root, entry.relative);
        const std::string to = JoinUnixPath(target, entry.relative);
        if (entry.info.kind == PathInfo::Kind::Folder) {
            if (::mkdir(to.c_str(), 0777) != 0) {
                error = "cannot create " + to;
                return false;
            }
            folders.push_back(&entry);
        } else if (!CopyFileKeepingTimes(from, to, error)) {
            return false;
        }
    }
    // Deepest first: setting a folder's times is the last change inside its parent.
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        if (!SetFolderTimes(JoinUnixPath(target, (*it)->relative), (*it)->info, error))
            return false;
    PathInfo rootInfo;
    return GetPathInfo(tree.root, rootInfo, error) && SetFolderTimes(target, rootInfo, error);
}

int RunMakeDisc(const std::vector<std::string> &args)
{
    ParsedOptions options;
    const std::string complaint = options.Parse(args, {{kOptOut, true},
                                                       {kOptPatient, true},
                                                       {kOptId, true},
                                                       {kOptMode, true},
                                                       {kOptVersion, true},
                                                       {kOptImplantDb, true},
                                                       {kOptViewer, true},
                                                       {kOptAutorun, true},
                                                       {kOptPlain, false},
                                                       {kOptForce, false}});
    if (!complaint.empty())
        return UsageError(complaint);
    if (!options.Positionals().empty())
        return UsageError("make-disc takes no arguments besides its options, got " + options.Positionals()[0]);
    for (const char *required : {kOptOut, kOptPatient, kOptId, kOptMode, kOptVersion})
        if (!options.Has(required))
            return UsageError(std::string("make-disc needs ") + required);
    std::string out = *options.Value(kOptOut);
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    const bool force = options.Has(kOptForce);
    SuidInfo info;
    if (!ParseVersion(*options.Value(kOptVersion), info))
        return UsageError("bad version '" + *options.Value(kOptVersion) + "': expected A.B.C.D, four decimal numbers");
    info.m_strMode = *options.Value(kOptMode);
    info.m_strId = *options.Value(kOptId);
    const SuidForm form = options.Has(kOptPlain) ? SuidForm::Plain : SuidForm::Scrambled;

    Refusals refusals;
    if (!IsValidPatientId(info.m_strId))
        refusals.Add("ID '" + info.m_strId +
                     "' cannot name a patient folder, so the launcher would copy nothing: it must not be empty, "
                     "'.' or '..', hold \\ / : * ? \" < > | or control characters, end in a blank or a dot, or be a "
                     "device name such as CON or LPT1");
    if (!IsKnownMode(info.m_strMode) && !force)
        refusals.Add("unknown mode '" + info.m_strMode + "': the launcher knows " + launch::kModeDiscViewer +
                     ", DiscStudio, DiscStudio_Lite, DiscStudioBasic and BasicStudio (--force writes it anyway)");
    const std::string suidText = MakeSuidText(info, form);
    if (const char *lost = FirstLostValue(info, form, suidText))
        refusals.Add(std::string("SUID.ini would not read back as given (") + lost +
                     "): line breaks, NULs or more than 259 characters");

    std::string error;
    PathInfo outInfo;
    if (!GetPathInfo(out, outInfo, error)) {
        refusals.Add(error);
    } else if (outInfo.kind == PathInfo::Kind::Folder) {
        std::vector<std::string> names;
        if (!ListFolder(out, names, error))
            refusals.Add(error);
        else if (!names.empty())
            refusals.Add(out + " exists and is not empty");
    } else if (outInfo.kind != PathInfo::Kind::Missing) {
        refusals.Add(out + " exists and is not a folder");
    }

    SourceTree patient;
    ScanSource(kOptPatient, *options.Value(kOptPatient), patient, refusals);
    if (patient.ok) {
        if (!TopEntry(patient, disc::kProjectFile, PathInfo::Kind::File) && !force)
            refusals.Add(patient.root + " has no project file " + disc::kProjectFile +
                         ": the viewer would be started on a project that is not there (--force makes the disc "
                         "anyway)");
        std::vector<std::string> buried;
        for (const TreeEntry &entry : patient.scan.entries)
            if (entry.relative.find('/') != std::string::npos && entry.info.kind == PathInfo::Kind::File)
                buried.push_back(entry.relative);
        if (!buried.empty() && !force)
            refusals.AddWithList(std::to_string(buried.size()) +
                                     " file(s) in subfolders of the patient folder would never arrive: the launcher "
                                     "copies only the top level of Data and creates its subfolders empty (--force "
                                     "makes the disc anyway):",
                                 buried);
    }
    SourceTree reference;
    if (const std::string *implantDb = options.Value(kOptImplantDb))
        ScanSource(kOptImplantDb, *implantDb, reference, refusals);

    SourceTree viewer;
    const TreeEntry *viewerExe = nullptr;
    std::string setupFolder;
    if (const std::string *viewerRoot = options.Value(kOptViewer)) {
        ScanSource(kOptViewer, *viewerRoot, viewer, refusals);
        if (viewer.ok) {
            viewerExe = TopEntry(viewer, launch::kViewerExe, PathInfo::Kind::File);
            if (!viewerExe)
                refusals.Add(std::string(kOptViewer) + " " + viewer.root + " has no " + launch::kViewerExe);
            if (const TreeEntry *setup = TopEntry(viewer, disc::kSetupFolder, PathInfo::Kind::Folder)) {
                const std::string program = setup->relative + "/" + disc::kSetupProgram;
                for (const TreeEntry &entry : viewer.scan.entries)
                    if (entry.info.kind == PathInfo::Kind::File && FoldCase(entry.relative) == FoldCase(program))
                        setupFolder = setup->relative;
            }
        }
    } else if (info.m_strMode == launch::kModeDiscViewer && !force) {
        refusals.Add(std::string("mode ") + launch::kModeDiscViewer + " runs the viewer from the disc: give " +
                     kOptViewer + " (--force makes the disc without it)");
    }

    const std::string autorun = options.Has(kOptAutorun) ? *options.Value(kOptAutorun) : DefaultAutorunPath();
    PathInfo autorunInfo;
    if (!GetPathInfo(autorun, autorunInfo, error))
        refusals.Add(error);
    else if (autorunInfo.kind != PathInfo::Kind::File)
        refusals.Add("no launcher at " + autorun + " (build it with cmake --build build/win32, or give " + kOptAutorun +
                     ")");

    if (refusals.Any())
        return refusals.Report();

    if (IsEditionMode(info.m_strMode) && setupFolder.empty())
        Warn("the disc offers no setup program: without the viewer installed, answering Yes to the install prompt "
             "starts nothing (give " +
             std::string(kOptViewer) + " with " + disc::kSetupFolder + "/" + disc::kSetupProgram + ")");

    BuildFolder build;
    const std::string label = LabelForId(info.m_strId);
    const std::string &root = build.Path();
    bool ok = build.Create(out, error) && CopyFileKeepingTimes(autorun, JoinUnixPath(root, disc::kAutorunExe), error) &&
              CopyTree(patient, JoinUnixPath(root, disc::kDataFolder), error) &&
              (reference.root.empty() || CopyTree(reference, JoinUnixPath(root, disc::kReferenceFolder), error)) &&
              (!viewerExe || CopyFileKeepingTimes(JoinUnixPath(viewer.root, viewerExe->relative),
                                                  JoinUnixPath(root, launch::kViewerExe), error));
    if (ok && !setupFolder.empty()) {
        // The whole setup folder: a setup program rarely works without the files beside it.
        SourceTree setup;
        setup.root = JoinUnixPath(viewer.root, setupFolder);
        ok = ScanTree(setup.root, setup.scan, error) && CopyTree(setup, JoinUnixPath(root, disc::kSetupFolder), error);
    }
    if (!ok) {
        std::fprintf(stderr, "%s: %s; nothing written\n", kToolName, error.c_str());
        return kExitFailure;
    }
    // These two print their own errors.
    if (!WriteFileAtomically(JoinUnixPath(root, disc::kAutorunInf), AutorunInfText(label)) ||
        !WriteFileAtomically(JoinUnixPath(root, suid::kFileName), suidText) || !build.MoveTo(out, error)) {
        if (!error.empty())
            std::fprintf(stderr, "%s: %s\n", kToolName, error.c_str());
        std::fprintf(stderr, "%s: nothing written\n", kToolName);
        return kExitFailure;
    }
    std::printf("%s: %s disc for %s (%s, %s SUID.ini, label %s)\n", out.c_str(), info.m_strMode.c_str(),
                info.m_strId.c_str(), FormatVersion(info).c_str(),
                form == SuidForm::Plain ? kFormPlain : kFormScrambled, label.c_str());
    return kExitOk;
}

} // namespace

const Command kMakeDiscCommand = {
    "make-disc",
    "--out DIR --patient DATA_DIR --id ID --mode MODE --version A.B.C.D [--implantdb DIR] [--viewer DIR]\n"
    "            [--autorun PATH] [--plain] [--force]",
    "assemble a disc folder: autorun.exe, autorun.inf, SUID.ini (scrambled unless --plain), Data (a copy of\n"
    "      DATA_DIR), ImplantDB (a copy of --implantdb), Tovi2009.exe and Setup/ from --viewer. autorun.exe comes\n"
    "      from --autorun, by default the build's: <folder of suidtool>/../win32/autorun.exe. Refuses (exit 1,\n"
    "      nothing written) an ID the launcher rejects, a non-empty DIR, and unless --force an unknown mode, a\n"
    "      DATA_DIR without Default.npj or with files in subfolders (the launcher would not copy them)",
    RunMakeDisc};
