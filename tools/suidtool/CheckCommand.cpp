// check: what the launcher will do with a disc folder, and everything on it that keeps it from working.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "Command.h"
#include "DiscFs.h"
#include "DiscRules.h"
#include "FileIo.h"
#include "Options.h"
#include "SuidText.h"
#include "launch/Decision.h"
#include "launch/PatientId.h"
#include "transfer/CopyDecision.h"

namespace {

constexpr char kOptInstallFolder[] = "--install-folder";
constexpr char kDiscFolder[] = "<disc>";
constexpr char kProjectFileParameter[] = "Default.npj"; // the launcher names the project so, whatever the disc says
constexpr char kActCopy[] = "copy";
constexpr char kActFolder[] = "folder";
constexpr char kWhenProject[] = "every run (project file)";
constexpr char kWhenChanged[] = "unless size and time match";
constexpr char kWhenAlways[] = "every run";
constexpr char kWhenEmpty[] = "created empty";
constexpr char kWhenMissing[] = "created if missing";

// Findings; the items of each are disc paths or values. Problems keep the disc from working as meant.
constexpr char kNoAutorun[] = "no autorun.exe: Windows starts nothing when the disc is inserted";
constexpr char kNoSuid[] = "no SUID.ini: the launcher reads an empty mode and ID";
constexpr char kNoData[] = "no Data folder: nothing of the patient's reaches the viewer";
constexpr char kNoProject[] = "no Data\\Default.npj: the viewer is started on a project that is not there";
constexpr char kNoSetup[] = "no Setup\\Setup.exe: answering Yes to the install prompt starts nothing";
constexpr char kNoDiscViewer[] = "no Tovi2009.exe: the disc's mode runs the viewer from the disc";
constexpr char kUnknownMode[] = "unknown mode: the launcher copies nothing and starts no viewer";
constexpr char kBadId[] = "ID that cannot name a patient folder: the launcher copies nothing and starts no viewer";
constexpr char kBuriedFiles[] =
    "files in Data subfolders never arrive: the launcher copies Data's top level and creates its subfolders empty";
constexpr char kOtherKinds[] = "neither file nor folder (a link to nothing, a device, a pipe): no image carries it";
constexpr char kLoops[] = "folders that contain themselves through a symbolic link";
constexpr char kBadNames[] = "names Windows cannot use";
constexpr char kCaseTwins[] = "names that differ only in case: Windows sees only one of each pair";
constexpr char kNotUcs2[] = "names that are not UTF-8 or hold characters beyond UCS-2: Joliet cannot carry them";
constexpr char kLongNames[] = "names longer than Joliet's 64 characters: the image carries them cut";
constexpr char kLongJolietPaths[] =
    "paths too long or deep for Joliet (240 bytes: 2 per character, 1 per level): the image leaves them out";
constexpr char kHugeFiles[] =
    "files of 4 GiB or more: ISO 9660 without UDF cannot hold them, and the launcher compares 32-bit sizes";
constexpr char kLongTargets[] = "copies whose target (or the temporary file beside it) is longer than the "
                                "259 characters of the launcher's ANSI calls: they fail";
constexpr char kLongFolders[] = "folders longer than the 247 characters CreateDirectoryA takes: not created";
// Notes: worth knowing, harmless for the launcher on Windows.
constexpr char kNoReference[] = "no ImplantDB folder: no reference files are copied";
constexpr char kNestedFolders[] = "folders below Data's subfolders are not created";
constexpr char kHashInId[] = "the ID holds '#', which also separates the parts of the viewer's parameters";
constexpr char kInstallFallback[] =
    "install folder empty or longer than the launcher reads from the registry (255): it uses the default";
constexpr char kNotShort[] = "names that are not 8.3: plain ISO 9660 (without Joliet) shows other names";
constexpr char kDeepFolders[] = "folders deeper than 8 levels: beyond plain ISO 9660 (fine with Joliet)";
constexpr char kNotAscii[] = "names beyond ASCII: the launcher's ANSI calls see them through the machine's code "
                             "page, and a character it lacks makes that copy fail";
constexpr size_t kItemsShown = 10;

enum class Severity { Problem, Note };

class Findings {
public:
    void Add(Severity severity, const char *what, const std::string &item = std::string())
    {
        auto found = std::find_if(m_list.begin(), m_list.end(), [what](const Finding &f) { return f.what == what; });
        if (found == m_list.end()) {
            m_list.push_back({severity, what, {}});
            found = m_list.end() - 1;
        }
        if (!item.empty())
            found->items.push_back(item);
    }
    size_t Count(Severity severity) const
    {
        return std::count_if(m_list.begin(), m_list.end(),
                             [severity](const Finding &f) { return f.severity == severity; });
    }
    void Print(Severity severity, const char *heading) const
    {
        std::printf("\n%s (%zu):%s\n", heading, Count(severity), Count(severity) ? "" : " none");
        for (const Finding &f : m_list) {
            if (f.severity != severity)
                continue;
            std::printf("  %s %s\n", severity == Severity::Problem ? "problem:" : "note:", f.what);
            for (size_t i = 0; i < f.items.size() && i < kItemsShown; ++i)
                std::printf("      %s\n", f.items[i].c_str());
            if (f.items.size() > kItemsShown)
                std::printf("      ... and %zu more\n", f.items.size() - kItemsShown);
        }
    }

private:
    struct Finding {
        Severity severity;
        const char *what;
        std::vector<std::string> items;
    };
    std::vector<Finding> m_list;
};

struct Row {
    std::string action, from, to, when;
};

void PrintRows(const std::vector<Row> &rows)
{
    size_t width[3] = {6, 4, 2};
    for (const Row &row : rows) {
        width[0] = std::max(width[0], row.action.size());
        width[1] = std::max(width[1], row.from.size());
        width[2] = std::max(width[2], row.to.size());
    }
    const auto print = [&width](const std::string &a, const std::string &b, const std::string &c,
                                const std::string &d) {
        std::printf("  %-*s  %-*s  %-*s  %s\n", static_cast<int>(width[0]), a.c_str(), static_cast<int>(width[1]),
                    b.c_str(), static_cast<int>(width[2]), c.c_str(), d.c_str());
    };
    print("ACTION", "FROM", "TO", "WHEN");
    for (const Row &row : rows)
        print(row.action, row.from, row.to, row.when);
}

std::string CommandLine(const std::string &program, const std::string &parameters)
{
    // As ShellExecuteA builds it: the program quoted, the parameters as they are.
    return "\"" + program + "\"" + (parameters.empty() ? "" : " " + parameters);
}

std::string OneLine(std::string text)
{
    std::string line;
    for (char c : text)
        if (c != '\n')
            line += c;
    return line;
}

class DiscChecker {
public:
    DiscChecker(std::string root, std::string installFolder)
        : m_root(std::move(root)), m_install(std::move(installFolder))
    {
    }

    int Run()
    {
        std::string error;
        if (!ScanTree(m_root, m_scan, error)) {
            std::fprintf(stderr, "%s: %s\n", kToolName, error.c_str());
            return kExitFailure;
        }
        if (!Find(disc::kAutorunExe, PathInfo::Kind::File))
            m_findings.Add(Severity::Problem, kNoAutorun);
        if (!ReadSuid())
            return kExitFailure;
        CheckNames();
        PrintHeader();
        const std::string &mode = m_suid.info.m_strMode;
        if (mode == launch::kModeDiscViewer)
            ReportDiscViewer();
        else
            ReportTransfer();
        m_findings.Print(Severity::Problem, "Problems");
        m_findings.Print(Severity::Note, "Notes");
        const size_t problems = m_findings.Count(Severity::Problem);
        std::printf("\nresult: %s (%zu problem(s), %zu note(s))\n", problems ? "NOT SOUND" : "sound", problems,
                    m_findings.Count(Severity::Note));
        return problems ? kExitFailure : kExitOk;
    }

    void NoteInstallFallback(const std::string &given) { m_findings.Add(Severity::Note, kInstallFallback, given); }

private:
    // The entry at `relative` apart from ASCII case, as Windows finds it, or nullptr.
    const TreeEntry *Find(const std::string &relative, PathInfo::Kind kind) const
    {
        const std::string folded = FoldCase(relative);
        for (const TreeEntry &entry : m_scan.entries)
            if (entry.info.kind == kind && FoldCase(entry.relative) == folded)
                return &entry;
        return nullptr;
    }

    // The entries below a top-level folder, with their path inside it.
    std::vector<std::pair<std::string, const TreeEntry *>> Below(const TreeEntry *folder) const
    {
        std::vector<std::pair<std::string, const TreeEntry *>> below;
        if (!folder)
            return below;
        const std::string prefix = folder->relative + "/";
        for (const TreeEntry &entry : m_scan.entries)
            if (entry.relative.compare(0, prefix.size(), prefix) == 0)
                below.emplace_back(entry.relative.substr(prefix.size()), &entry);
        return below;
    }

    bool ReadSuid()
    {
        std::string bytes;
        if (const TreeEntry *file = Find(suid::kFileName, PathInfo::Kind::File)) {
            if (!ReadWholeFile(JoinUnixPath(m_root, file->relative), bytes))
                return false;
        } else {
            m_findings.Add(Severity::Problem, kNoSuid);
        }
        // A missing file reads as an empty one: the launcher's reads then all come back empty.
        m_suid = ReadSuidText(bytes);
        return true;
    }

    void CheckNames()
    {
        std::map<std::string, std::string> seen; // folded path -> first path
        for (const TreeEntry &entry : m_scan.entries) {
            const std::string &rel = entry.relative;
            const std::string shown = WindowsPath(rel);
            const size_t slash = rel.rfind('/');
            const std::string name = slash == std::string::npos ? rel : rel.substr(slash + 1);
            const size_t depth = static_cast<size_t>(std::count(rel.begin(), rel.end(), '/')) + 1;
            if (entry.info.kind == PathInfo::Kind::Other)
                m_findings.Add(Severity::Problem, kOtherKinds, shown);
            if (!IsValidPatientId(name))
                m_findings.Add(Severity::Problem, kBadNames, shown);
            const auto twin = seen.emplace(FoldCase(rel), rel);
            if (!twin.second)
                m_findings.Add(Severity::Problem, kCaseTwins, WindowsPath(twin.first->second) + " and " + shown);
            size_t length = 0;
            if (!Ucs2Length(name, length))
                m_findings.Add(Severity::Problem, kNotUcs2, shown);
            else if (length > limits::kJolietNameMax)
                m_findings.Add(Severity::Problem, kLongNames, shown + " (" + std::to_string(length) + ")");
            if (JolietPathCost(rel) > limits::kJolietPathBudget)
                m_findings.Add(Severity::Problem, kLongJolietPaths, shown);
            if (entry.info.kind == PathInfo::Kind::File && entry.info.size >= limits::kIsoFileSizeLimit)
                m_findings.Add(Severity::Problem, kHugeFiles, shown);
            // The launcher's own folder names are not for the disc's author to change.
            const bool fixedName = FoldCase(rel) == FoldCase(disc::kReferenceFolder);
            if (!IsShortName(name) && !fixedName)
                m_findings.Add(Severity::Note, kNotShort, shown);
            if (entry.info.kind == PathInfo::Kind::Folder && depth + 1 > limits::kIsoLevelsMax)
                m_findings.Add(Severity::Note, kDeepFolders, shown);
            if (!IsAscii(name))
                m_findings.Add(Severity::Note, kNotAscii, shown);
        }
        for (const std::string &loop : m_scan.loops)
            m_findings.Add(Severity::Problem, kLoops, WindowsPath(loop));
    }

    void PrintHeader() const
    {
        const SuidInfo &info = m_suid.info;
        std::printf("disc:     %s\n", m_root.c_str());
        std::printf("SUID.ini: %s form; mode \"%s\", ID \"%s\", version %s\n",
                    m_suid.form == SuidForm::Plain ? kFormPlain : kFormScrambled, info.m_strMode.c_str(),
                    info.m_strId.c_str(), FormatVersion(info).c_str());
        std::printf("install:  %s\n", m_install.c_str());
        std::printf("(when neither %s nor %s is running; else the launcher quits at once)\n", launch::kViewerExe,
                    launch::kWriterExe);
    }

    void ReportDiscViewer()
    {
        const SuidInfo &info = m_suid.info;
        std::printf("\nWith or without the viewer installed: runs the viewer on the disc, copies nothing.\n");
        std::printf("  command line: %s\n", CommandLine(std::string(kDiscFolder) + "\\" + launch::kViewerExe,
                                                        ViewerParameters(info.m_strMode, info.m_strId, "0"))
                                                .c_str());
        if (!Find(launch::kViewerExe, PathInfo::Kind::File))
            m_findings.Add(Severity::Problem, kNoDiscViewer);
        CheckData(nullptr);
    }

    // Data's rows (when `rows` is given) and its problems.
    void CheckData(std::vector<Row> *rows)
    {
        const TreeEntry *data = Find(disc::kDataFolder, PathInfo::Kind::Folder);
        if (!data)
            m_findings.Add(Severity::Problem, kNoData);
        else if (!Find(data->relative + "/" + disc::kProjectFile, PathInfo::Kind::File))
            m_findings.Add(Severity::Problem, kNoProject);
        const std::string patientFolder = PatientFolder(m_install, m_suid.info.m_strId);
        for (const auto &[inside, entry] : Below(data)) {
            const bool top = inside.find('/') == std::string::npos;
            const std::string from = WindowsPath(entry->relative);
            const bool folder = entry->info.kind == PathInfo::Kind::Folder;
            if (!top) {
                if (folder)
                    m_findings.Add(Severity::Note, kNestedFolders, from);
                else
                    m_findings.Add(Severity::Problem, kBuriedFiles, from);
                continue;
            }
            if (!rows || entry->info.kind == PathInfo::Kind::Other)
                continue;
            const std::string to = patientFolder + "\\" + inside;
            if (folder)
                AddFolderRow(*rows, from, to, kWhenEmpty);
            else
                AddCopyRow(*rows, from, to, IsProjectFile(from) ? kWhenProject : kWhenChanged);
        }
    }

    void AddCopyRow(std::vector<Row> &rows, const std::string &from, const std::string &to, const char *when)
    {
        rows.push_back({kActCopy, from, to, when});
        const size_t folderLength = to.rfind('\\');
        if (to.size() > limits::kWindowsPathMax || folderLength + limits::kCopyTempNameLength > limits::kWindowsPathMax)
            m_findings.Add(Severity::Problem, kLongTargets, to);
    }

    void AddFolderRow(std::vector<Row> &rows, const std::string &from, const std::string &to, const char *when)
    {
        rows.push_back({kActFolder, from, to, when});
        if (to.size() > limits::kWindowsFolderPathMax)
            m_findings.Add(Severity::Problem, kLongFolders, to);
    }

    void ReportTransfer()
    {
        const SuidInfo &info = m_suid.info;
        const bool edition = IsEditionMode(info.m_strMode);
        const bool validId = IsValidPatientId(info.m_strId);
        if (!edition)
            m_findings.Add(Severity::Problem, kUnknownMode, "\"" + info.m_strMode + "\"");
        else if (!validId)
            m_findings.Add(Severity::Problem, kBadId, "\"" + info.m_strId + "\"");
        if (info.m_strId.find('#') != std::string::npos)
            m_findings.Add(Severity::Note, kHashInId, "\"" + info.m_strId + "\"");

        std::printf("\nWith the viewer installed at %s, version %s or newer:\n", m_install.c_str(),
                    FormatVersion(info).c_str());
        std::vector<Row> rows;
        if (edition && validId) {
            const std::string patientFolder = PatientFolder(m_install, info.m_strId);
            AddFolderRow(rows, "", patientFolder, kWhenMissing);
            CheckData(&rows);
            const TreeEntry *reference = Find(disc::kReferenceFolder, PathInfo::Kind::Folder);
            if (!reference)
                m_findings.Add(Severity::Note, kNoReference);
            const std::string referenceTarget = m_install + "\\" + disc::kReferenceFolder;
            for (const auto &[inside, entry] : Below(reference)) {
                const std::string from = WindowsPath(entry->relative);
                const std::string to = referenceTarget + "\\" + WindowsPath(inside);
                if (entry->info.kind == PathInfo::Kind::Folder)
                    AddFolderRow(rows, from, to, kWhenMissing);
                else if (entry->info.kind == PathInfo::Kind::File)
                    AddCopyRow(rows, from, to, kWhenAlways);
            }
            PrintRows(rows);
            std::printf("  (%s\\%s and %s must exist: the launcher creates neither)\n", m_install.c_str(),
                        disc::kPatientFolder, referenceTarget.c_str());
            std::printf("  then command line: %s\n",
                        CommandLine(m_install + "\\" + launch::kViewerExe,
                                    ViewerParameters(info.m_strMode, info.m_strId,
                                                     patientFolder + "\\" + kProjectFileParameter))
                            .c_str());
        } else {
            CheckData(nullptr);
            std::printf("  nothing: %s\n", edition ? "the ID cannot name a patient folder (a debug line says so)"
                                                   : "the mode means nothing to the launcher");
        }

        std::string product;
        ProductNameForMode(info.m_strMode, product);
        std::printf("\nWithout the viewer (or with one older than %s): asks\n", FormatVersion(info).c_str());
        std::printf("  \"%s\"\n", OneLine(FormatPrompt(launch::kPromptNotInstalled, product)).c_str());
        std::printf("  (older: \"%s\")\n", OneLine(FormatPrompt(launch::kPromptOlder, product)).c_str());
        std::printf("  on Yes command line: %s\n",
                    CommandLine(std::string(kDiscFolder) + "\\" + launch::kSetupExe, "").c_str());
        const TreeEntry *setup = Find(disc::kSetupFolder, PathInfo::Kind::Folder);
        if (!setup || !Find(setup->relative + "/" + disc::kSetupProgram, PathInfo::Kind::File))
            m_findings.Add(Severity::Problem, kNoSetup);
    }

    std::string m_root;
    std::string m_install;
    TreeScan m_scan;
    SuidRead m_suid;
    Findings m_findings;
};

int RunCheck(const std::vector<std::string> &args)
{
    ParsedOptions options;
    const std::string complaint = options.Parse(args, {{kOptInstallFolder, true}});
    if (!complaint.empty())
        return UsageError(complaint);
    if (options.Positionals().size() != 1)
        return UsageError("check needs exactly one DIR");
    const std::string *given = options.Value(kOptInstallFolder);
    // The launcher's own rule for the registry's value: empty or too long means the default folder.
    const bool usable = given && !given->empty() && given->size() < launch::kTargetDirBuffer;
    DiscChecker checker(options.Positionals()[0], ChooseInstallFolder(usable, usable ? *given : std::string()));
    if (given && !usable)
        checker.NoteInstallFallback(given->substr(0, 40) + (given->size() > 40 ? "..." : ""));
    return checker.Run();
}

} // namespace

const Command kCheckCommand = {
    "check", "[--install-folder WINPATH] DIR",
    "report what the launcher will do with the disc folder DIR with the viewer installed (at WINPATH, default\n"
    "      C:\\Tovi2009) and without, and every problem; exit 0 when the disc is sound, 1 when it has problems",
    RunCheck};
