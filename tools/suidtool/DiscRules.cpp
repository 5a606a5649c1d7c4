#include "DiscRules.h"

#include <algorithm>
#include <map>

#include "launch/Decision.h"
#include "launch/PatientId.h"
#include "transfer/CopyDecision.h"

namespace {

// Problems keep the disc from working as meant; notes are worth knowing and harmless to the launcher.
constexpr Severity P = Severity::Problem;
constexpr Severity N = Severity::Note;

const Rule kNotReadBack{"not-read-back", P, "values SUID.ini cannot carry: the launcher would read something else",
                        true};
const Rule kUnknownMode{"unknown-mode", P, "unknown mode: the launcher copies nothing and starts no viewer"};
const Rule kBadId{"bad-id", P,
                  "ID that cannot name a patient folder: the launcher copies nothing and starts no viewer"};
const Rule kNegativeVersion{"negative-version", P,
                            "negative version part: no installed viewer counts as older, so the disc's newer viewer "
                            "is never offered"};
const Rule kNoAutorun{"no-autorun", P, "no autorun.exe: Windows starts nothing when the disc is inserted"};
const Rule kNotProgram{"not-a-program", P, "not a Windows program (no MZ header): Windows cannot start it"};
const Rule kNoSuid{"no-suid", P, "no SUID.ini: the launcher reads an empty mode and ID"};
const Rule kSuidUnreadable{"suid-unreadable", P, "SUID.ini holds nothing the launcher can read"};
const Rule kNoData{"no-data", P, "no Data folder: nothing of the patient's reaches the viewer"};
const Rule kNoProject{"no-project", P, "no Data\\Default.npj: the viewer is started on a project that is not there"};
const Rule kNoSetup{"no-setup", P, "no Setup\\Setup.exe: answering Yes to the install prompt starts nothing"};
const Rule kNoDiscViewer{"no-disc-viewer", P, "no Tovi2009.exe: the disc's mode runs the viewer from the disc"};
const Rule kBuriedFiles{"buried-files", P,
                        "files in Data subfolders never arrive: the launcher copies Data's top level and creates "
                        "its subfolders empty"};
const Rule kOtherKinds{"not-file-or-folder", P,
                       "neither file nor folder (a link to nothing, a device, a pipe): no image carries it", true};
const Rule kLoops{"folder-loops", P, "folders that contain themselves through a symbolic link", true};
const Rule kBadNames{"windows-names", P, "names Windows cannot use"};
const Rule kCaseTwins{"case-twins", P, "names that differ only in case: Windows sees only one of each pair"};
const Rule kNotUcs2{"not-ucs2", P,
                    "names that are not UTF-8 or hold characters beyond UCS-2: Joliet cannot carry them"};
const Rule kLongNames{"joliet-long-names", P, "names longer than Joliet's 64 characters: the image carries them cut"};
const Rule kLongJolietPaths{"joliet-long-paths", P,
                            "paths too long or deep for Joliet (240 bytes: 2 per character, 1 per level): the image "
                            "leaves them out"};
const Rule kHugeFiles{"huge-files", P,
                      "files of 4 GiB or more: ISO 9660 without UDF cannot hold them"};
const Rule kLongTargets{"long-targets", P,
                        "copies whose target, or the staging folder and copy it goes through, is longer than the "
                        "launcher's ANSI calls take (259 characters, 247 for a folder): they fail"};
const Rule kLongFolders{"long-folders", P,
                        "folders longer than the 247 characters CreateDirectoryA takes: not created"};
const Rule kNoReference{"no-implantdb", N, "no ImplantDB folder: no reference files are copied"};
const Rule kNestedFolders{"nested-folders", N, "folders below Data's subfolders are not created"};
const Rule kHashInId{"hash-in-id", N, "the ID holds '#', which also separates the parts of the viewer's parameters"};
const Rule kNonAsciiId{"non-ascii-id", N,
                       "the ID holds characters beyond ASCII: the patient folder is named through the machine's code "
                       "page, and a machine whose code page lacks one cannot create it"};
const Rule kInstallFallback{"install-folder-default", N,
                            "install folder empty or longer than the launcher reads from the registry (255): it uses "
                            "the default"};
const Rule kNotShort{"not-8.3", N, "names that are not 8.3: plain ISO 9660 (without Joliet) shows other names"};
const Rule kDeepFolders{"iso-deep-folders", N,
                        "folders deeper than 8 levels: beyond plain ISO 9660 (fine with Joliet)"};
const Rule kNotAscii{"non-ascii-names", N,
                     "names beyond ASCII: the launcher's ANSI calls see them through the machine's code page, and a "
                     "character it lacks makes that copy fail"};

constexpr char kDiscFolder[] = "<disc>";
constexpr char kProjectFileParameter[] = "Default.npj"; // the launcher names the project so, whatever the disc says
constexpr char kActCopy[] = "copy";
constexpr char kActFolder[] = "folder";
constexpr char kWhenProject[] = "every run (project file)";
constexpr char kWhenChanged[] = "unless size and time match";
constexpr char kWhenAlways[] = "every run";
constexpr char kWhenEmpty[] = "created empty";
constexpr char kWhenMissing[] = "created if missing";
constexpr char kProgramMagic[] = "MZ";
// Joliet forbids these in names and labels; the volume label is a name of the disc.
constexpr char kJolietForbidden[] = "*/:;?\\";

bool IsShortNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsShortNamePart(const std::string &part, size_t max)
{
    if (part.empty() || part.size() > max)
        return false;
    return std::all_of(part.begin(), part.end(), IsShortNameChar);
}

std::string Quoted(const std::string &value)
{
    return "\"" + value + "\"";
}

std::string CommandLine(const std::string &program, const std::string &parameters)
{
    // As ShellExecuteA builds it: the program quoted, the parameters as they are.
    return "\"" + program + "\"" + (parameters.empty() ? "" : " " + parameters);
}

std::string OneLine(const std::string &text)
{
    std::string line;
    for (char c : text)
        if (c != '\n')
            line += c;
    return line;
}

class Auditor {
public:
    Auditor(const DiscView &view, DiscAudit &audit) : m_view(view), m_audit(audit), m_findings(audit.findings) {}

    bool Run(std::string &error)
    {
        const TreeEntry *autorun = Find(disc::kAutorunExe, PathInfo::Kind::File);
        if (!autorun)
            m_findings.Add(kNoAutorun);
        if (!ReadSuid(error) || !CheckProgram(autorun, error))
            return false;
        CheckNames();
        CountFiles();
        const std::string &mode = m_audit.suid.m_strMode;
        CheckSuidValues(m_audit.suid, m_findings);
        if (mode == launch::kModeDiscViewer)
            return DiscViewer(error);
        Transfer();
        return WithoutViewer(error);
    }

private:
    // The entry at `relative` apart from ASCII case, as Windows finds it, or nullptr.
    const TreeEntry *Find(const std::string &relative, PathInfo::Kind kind) const
    {
        const std::string folded = FoldCase(relative);
        for (const TreeEntry &entry : m_view.entries)
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
        for (const TreeEntry &entry : m_view.entries)
            if (entry.relative.compare(0, prefix.size(), prefix) == 0)
                below.emplace_back(entry.relative.substr(prefix.size()), &entry);
        return below;
    }

    bool ReadSuid(std::string &error)
    {
        std::string bytes;
        if (const TreeEntry *file = Find(suid::kFileName, PathInfo::Kind::File)) {
            if (!m_view.read(*file, 0, bytes, error))
                return false;
            m_audit.hasSuid = true;
            m_audit.suidKind = ClassifySuid(bytes);
            if (m_audit.suidKind == SuidKind::NotSuid || m_audit.suidKind == SuidKind::PlainText)
                m_findings.Add(kSuidUnreadable, DescribeSuidKind(m_audit.suidKind));
        } else {
            m_findings.Add(kNoSuid);
        }
        // A missing file reads as an empty one: the launcher's reads then all come back empty.
        m_audit.suid = ReadSuidText(bytes).info;
        return true;
    }

    bool CheckProgram(const TreeEntry *entry, std::string &error)
    {
        if (!entry)
            return true;
        std::string head;
        if (!m_view.read(*entry, sizeof kProgramMagic - 1, head, error))
            return false;
        if (head != kProgramMagic)
            m_findings.Add(kNotProgram, WindowsPath(entry->relative));
        return true;
    }

    void CheckNames()
    {
        std::map<std::string, std::string> seen; // folded path -> first path
        for (const TreeEntry &entry : m_view.entries) {
            const std::string &rel = entry.relative;
            const std::string shown = WindowsPath(rel);
            const size_t slash = rel.rfind('/');
            const std::string name = slash == std::string::npos ? rel : rel.substr(slash + 1);
            const size_t depth = static_cast<size_t>(std::count(rel.begin(), rel.end(), '/')) + 1;
            if (entry.info.kind == PathInfo::Kind::Other)
                m_findings.Add(kOtherKinds, shown);
            // The rules for a patient folder's name are Windows' rules for any name.
            if (!IsValidPatientId(name))
                m_findings.Add(kBadNames, shown);
            const auto twin = seen.emplace(FoldCase(rel), rel);
            if (!twin.second)
                m_findings.Add(kCaseTwins, WindowsPath(twin.first->second) + " and " + shown);
            size_t length = 0;
            if (!Ucs2Length(name, length))
                m_findings.Add(kNotUcs2, shown);
            else if (length > limits::kJolietNameMax)
                m_findings.Add(kLongNames, shown + " (" + std::to_string(length) + ")");
            if (JolietPathCost(rel) > limits::kJolietPathBudget)
                m_findings.Add(kLongJolietPaths, shown);
            if (entry.info.kind == PathInfo::Kind::File && entry.info.size >= limits::kIsoFileSizeLimit)
                m_findings.Add(kHugeFiles, shown);
            // The launcher's own folder names are not for the disc's author to change.
            const bool fixedName = FoldCase(rel) == FoldCase(disc::kReferenceFolder);
            if (!IsShortName(name) && !fixedName)
                m_findings.Add(kNotShort, shown);
            if (entry.info.kind == PathInfo::Kind::Folder && depth + 1 > limits::kIsoLevelsMax)
                m_findings.Add(kDeepFolders, shown);
            if (!IsAscii(name))
                m_findings.Add(kNotAscii, shown);
        }
        for (const std::string &loop : m_view.loops)
            m_findings.Add(kLoops, WindowsPath(loop));
    }

    void CountFiles()
    {
        for (const TreeEntry &entry : m_view.entries) {
            if (entry.info.kind == PathInfo::Kind::File) {
                ++m_audit.files;
                m_audit.bytes += entry.info.size;
            } else if (entry.info.kind == PathInfo::Kind::Folder) {
                ++m_audit.folders;
            }
        }
    }

    bool DiscViewer(std::string &error)
    {
        const SuidInfo &info = m_audit.suid;
        m_audit.outcome = DiscAudit::Outcome::DiscViewer;
        m_audit.commandLine = CommandLine(std::string(kDiscFolder) + "\\" + launch::kViewerExe,
                                          ViewerParameters(info.m_strMode, info.m_strId, "0"));
        const TreeEntry *viewer = Find(launch::kViewerExe, PathInfo::Kind::File);
        if (!viewer)
            m_findings.Add(kNoDiscViewer);
        CheckData(false);
        return CheckProgram(viewer, error);
    }

    // Data's rows (when `rows`) and its problems.
    void CheckData(bool rows)
    {
        const TreeEntry *data = Find(disc::kDataFolder, PathInfo::Kind::Folder);
        if (!data)
            m_findings.Add(kNoData);
        else if (!Find(data->relative + "/" + disc::kProjectFile, PathInfo::Kind::File))
            m_findings.Add(kNoProject);
        const std::string patientFolder = PatientFolder(m_audit.installFolder, m_audit.suid.m_strId);
        for (const auto &[inside, entry] : Below(data)) {
            const bool top = inside.find('/') == std::string::npos;
            const std::string from = WindowsPath(entry->relative);
            const bool folder = entry->info.kind == PathInfo::Kind::Folder;
            if (!top) {
                m_findings.Add(folder ? kNestedFolders : kBuriedFiles, from);
                continue;
            }
            if (!rows || entry->info.kind == PathInfo::Kind::Other)
                continue;
            const std::string to = patientFolder + "\\" + inside;
            if (folder)
                AddFolderRow(from, to, kWhenEmpty);
            else
                AddCopyRow(from, to, IsProjectFile(from) ? kWhenProject : kWhenChanged, patientFolder);
        }
    }

    // `destination`: the folder the launcher's copy starts from; its copies go through a staging folder made there.
    void AddCopyRow(const std::string &from, const std::string &to, const char *when, const std::string &destination)
    {
        m_audit.rows.push_back({kActCopy, from, to, when});
        if (to.size() > limits::kWindowsPathMax ||
            LongestStagingFolderPath(destination.size()) > limits::kWindowsFolderPathMax ||
            LongestStagedCopyPath(destination.size()) > limits::kWindowsPathMax)
            m_findings.Add(kLongTargets, to);
    }

    void AddFolderRow(const std::string &from, const std::string &to, const char *when)
    {
        m_audit.rows.push_back({kActFolder, from, to, when});
        if (to.size() > limits::kWindowsFolderPathMax)
            m_findings.Add(kLongFolders, to);
    }

    void Transfer()
    {
        const SuidInfo &info = m_audit.suid;
        const bool edition = IsEditionMode(info.m_strMode);
        if (!edition || !IsValidPatientId(info.m_strId)) {
            CheckData(false);
            m_audit.nothingReason = edition ? "the ID cannot name a patient folder (a debug line says so)"
                                            : "the mode means nothing to the launcher";
            return;
        }
        m_audit.outcome = DiscAudit::Outcome::Transfer;
        const std::string &install = m_audit.installFolder;
        const std::string patientFolder = PatientFolder(install, info.m_strId);
        AddFolderRow("", patientFolder, kWhenMissing);
        CheckData(true);
        const TreeEntry *reference = Find(disc::kReferenceFolder, PathInfo::Kind::Folder);
        if (!reference)
            m_findings.Add(kNoReference);
        const std::string referenceTarget = install + "\\" + disc::kReferenceFolder;
        for (const auto &[inside, entry] : Below(reference)) {
            const std::string from = WindowsPath(entry->relative);
            const std::string to = referenceTarget + "\\" + WindowsPath(inside);
            if (entry->info.kind == PathInfo::Kind::Folder)
                AddFolderRow(from, to, kWhenMissing);
            else if (entry->info.kind == PathInfo::Kind::File)
                AddCopyRow(from, to, kWhenAlways, referenceTarget);
        }
        m_audit.mustExist = {install + "\\" + disc::kPatientFolder, referenceTarget};
        m_audit.commandLine =
            CommandLine(install + "\\" + launch::kViewerExe,
                        ViewerParameters(info.m_strMode, info.m_strId, patientFolder + "\\" + kProjectFileParameter));
    }

    bool WithoutViewer(std::string &error)
    {
        std::string product;
        ProductNameForMode(m_audit.suid.m_strMode, product);
        m_audit.asksToInstall = true;
        m_audit.promptNotInstalled = OneLine(FormatPrompt(launch::kPromptNotInstalled, product));
        m_audit.promptOlder = OneLine(FormatPrompt(launch::kPromptOlder, product));
        m_audit.setupCommandLine = CommandLine(std::string(kDiscFolder) + "\\" + launch::kSetupExe, "");
        const TreeEntry *setup = Find(disc::kSetupFolder, PathInfo::Kind::Folder);
        const TreeEntry *program =
            setup ? Find(setup->relative + "/" + disc::kSetupProgram, PathInfo::Kind::File) : nullptr;
        if (!program)
            m_findings.Add(kNoSetup);
        return CheckProgram(program, error);
    }

    const DiscView &m_view;
    DiscAudit &m_audit;
    Findings &m_findings;
};

bool IsWindowsPathPart(const std::string &part)
{
    // A folder's name follows the rules of any name; IsValidPatientId holds them.
    return IsValidPatientId(part);
}

} // namespace

void Findings::Add(const Rule &rule, const std::string &item)
{
    auto found = std::find_if(m_list.begin(), m_list.end(), [&rule](const Finding &f) { return f.rule == &rule; });
    if (found == m_list.end()) {
        m_list.push_back({&rule, {}});
        found = m_list.end() - 1;
    }
    if (!item.empty())
        found->items.push_back(item);
}

size_t Findings::Count(Severity severity) const
{
    return std::count_if(m_list.begin(), m_list.end(),
                         [severity](const Finding &f) { return f.rule->severity == severity; });
}

void CheckSuidValues(const SuidInfo &info, Findings &findings)
{
    const bool edition = IsEditionMode(info.m_strMode);
    if (!edition && info.m_strMode != launch::kModeDiscViewer)
        findings.Add(kUnknownMode, Quoted(info.m_strMode));
    else if (edition && !IsValidPatientId(info.m_strId))
        findings.Add(kBadId, Quoted(info.m_strId));
    if (info.m_strId.find('#') != std::string::npos)
        findings.Add(kHashInId, Quoted(info.m_strId));
    if (!IsAscii(info.m_strId))
        findings.Add(kNonAsciiId, Quoted(info.m_strId));
    if (info.m_nHiMS < 0 || info.m_nLowMS < 0 || info.m_nHiLS < 0 || info.m_nLowLS < 0)
        findings.Add(kNegativeVersion, FormatVersion(info));
}

void CheckSuidReadBack(const SuidInfo &info, SuidForm form, Findings &findings)
{
    const std::string lost = LostValue(info, form, MakeSuidText(info, form));
    if (!lost.empty())
        findings.Add(kNotReadBack, lost);
}

bool AuditDisc(const DiscView &view, const std::string &installFolder, DiscAudit &audit, std::string &error)
{
    audit = DiscAudit();
    audit.installFolder = installFolder;
    return Auditor(view, audit).Run(error);
}

std::string CheckInstallFolder(const std::string &given, Findings &findings, std::string &error)
{
    // The launcher's own rule for the registry's value: empty or too long means the default folder.
    if (given.empty() || given.size() >= launch::kTargetDirBuffer) {
        findings.Add(kInstallFallback, given.substr(0, 40) + (given.size() > 40 ? "..." : ""));
        return ChooseInstallFolder(false, std::string());
    }
    size_t start;
    const bool drive =
        given.size() >= 3 && std::isalpha(static_cast<unsigned char>(given[0])) && given[1] == ':' && given[2] == '\\';
    if (drive) {
        start = 3;
    } else if (given.compare(0, 2, "\\\\") == 0) {
        const size_t server = given.find('\\', 2);
        start = server == std::string::npos ? given.size() : server + 1;
        if (server == 2 || server == std::string::npos) {
            error = "'" + given + "' is not a Windows path: \\\\server\\share\\... needs a server and a share";
            return std::string();
        }
    } else {
        error = "'" + given + "' is not an absolute Windows path such as C:\\Tovi2009 or \\\\server\\share\\Tovi2009";
        return std::string();
    }
    if (start >= given.size() || given.back() == '\\') {
        error = "'" + given + "' ends in a backslash: give the folder, the launcher adds \\Patient itself";
        return std::string();
    }
    for (size_t i = start; i <= given.size();) {
        const size_t end = std::min(given.find('\\', i), given.size());
        const std::string part = given.substr(i, end - i);
        if (!IsWindowsPathPart(part)) {
            error = "'" + given + "' is not a Windows path: '" + part +
                    "' cannot name a folder (empty, a device name, a character Windows forbids, or a trailing blank "
                    "or dot)";
            return std::string();
        }
        i = end + 1;
    }
    return ChooseInstallFolder(true, given);
}

std::string LabelForId(const std::string &id)
{
    std::string label;
    for (char c : id) {
        if (label.size() == disc::kLabelMax)
            break;
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
        if (keep)
            label += c;
        else if (!label.empty() && label.back() != '_') // one '_' for each run of others, none in front
            label += '_';
    }
    while (!label.empty() && label.back() == '_')
        label.pop_back();
    return label.empty() ? std::string(disc::kDefaultLabel) : label;
}

std::string LabelComplaint(const std::string &label)
{
    if (label.empty())
        return "a label cannot be empty";
    if (label.size() > disc::kLabelMax)
        return "a label holds at most " + std::to_string(disc::kLabelMax) + " characters, '" + label + "' has " +
               std::to_string(label.size());
    for (char c : label)
        if (c < 0x20 || c > 0x7E || std::string(kJolietForbidden).find(c) != std::string::npos)
            return "'" + label + "': a label takes printable ASCII characters other than " + kJolietForbidden;
    return std::string();
}

std::string LabelWarning(const std::string &label)
{
    if (label.size() <= disc::kJolietLabelMax)
        return std::string();
    return "the label '" + label + "' has " + std::to_string(label.size()) +
           " characters: Windows names the drive after its first " + std::to_string(disc::kJolietLabelMax) + " ('" +
           label.substr(0, disc::kJolietLabelMax) + "'), only Explorer shows all of it (from autorun.inf)";
}

std::string AutorunInfText(const std::string &label)
{
    return std::string("[") + disc::kInfSection + "]\r\nopen=" + disc::kAutorunExe + "\r\nicon=" + disc::kAutorunExe +
           ",0\r\n" + disc::kInfLabel + "=" + label + "\r\n";
}

bool Ucs2Length(const std::string &name, size_t &length)
{
    length = 0;
    for (size_t i = 0; i < name.size();) {
        const unsigned char lead = static_cast<unsigned char>(name[i]);
        size_t extra;
        if (lead < 0x80)
            extra = 0;
        else if (lead >= 0xC2 && lead <= 0xDF)
            extra = 1;
        else if (lead >= 0xE0 && lead <= 0xEF)
            extra = 2;
        else
            return false; // four-byte sequences lie outside UCS-2; anything else is not UTF-8
        if (i + extra >= name.size())
            return false;
        uint32_t code = extra == 0 ? lead : lead & (extra == 1 ? 0x1F : 0x0F);
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(name[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        if ((extra == 2 && code < 0x800) || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
        ++length;
    }
    return true;
}

size_t JolietPathCost(const std::string &relative)
{
    size_t cost = 1;
    size_t start = 0;
    for (;;) {
        const size_t slash = relative.find('/', start);
        const std::string part = relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        size_t length;
        if (!Ucs2Length(part, length))
            length = part.size();
        cost += 1 + 2 * length;
        if (slash == std::string::npos)
            return cost;
        start = slash + 1;
    }
}

bool IsShortName(const std::string &name)
{
    const size_t dot = name.find('.');
    if (dot == std::string::npos)
        return IsShortNamePart(name, 8);
    return IsShortNamePart(name.substr(0, dot), 8) && IsShortNamePart(name.substr(dot + 1), 3);
}

bool IsAscii(const std::string &name)
{
    return std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string WindowsPath(const std::string &relative)
{
    std::string path = relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}
