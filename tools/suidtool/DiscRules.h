#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "DiscFs.h"
#include "SuidText.h"

// The rules a patient disc must meet, in one place: those of the launcher (ANSI Win32 calls), of Windows and of
// an ISO 9660 image with Joliet names, which is what Windows reads from our discs. Every command asks here:
// check reports the findings, make-disc and iso refuse a disc with problems (unless --force), write refuses
// values the launcher would reject or read back otherwise.

namespace disc {
constexpr char kAutorunExe[] = "autorun.exe";
constexpr char kAutorunInf[] = "autorun.inf";
constexpr char kDataFolder[] = "Data";
constexpr char kReferenceFolder[] = "ImplantDB";
constexpr char kSetupFolder[] = "Setup";
constexpr char kSetupProgram[] = "Setup.exe";
constexpr char kProjectFile[] = "Default.npj";
constexpr char kPatientFolder[] = "Patient";
constexpr char kInfSection[] = "autorun";
constexpr char kInfLabel[] = "label";
constexpr char kDefaultLabel[] = "PATIENT";
// The ISO 9660 volume ID holds 32 characters, the Joliet one 16 (UCS-2 in the same 32 bytes). Windows names the
// drive after the Joliet one; Explorer shows autorun.inf's label instead where it has one.
constexpr size_t kLabelMax = 32;
constexpr size_t kJolietLabelMax = 16;
} // namespace disc

namespace limits {
constexpr size_t kJolietNameMax = 64; // UCS-2 characters; longer names are cut in the image
// Joliet's path budget in bytes: 2 per character and 1 per level, plus 1 for the root. The image writer leaves
// out every file and folder past it without failing.
constexpr size_t kJolietPathBudget = 240;
constexpr size_t kIsoLevelsMax = 8;                // plain ISO 9660: the root is level 1
constexpr uint64_t kIsoFileSizeLimit = 1ull << 32; // a 32-bit size field
constexpr size_t kWindowsPathMax = 259;            // MAX_PATH less the terminating zero
constexpr size_t kWindowsFolderPathMax = 247;      // CreateDirectoryA: MAX_PATH - 12, less the zero
} // namespace limits

enum class Severity { Problem, Note };

// One rule: a stable key (for --json and scripts), its weight, and what breaking it does. A blocking problem is
// one no --force gets past: the file or the copy cannot be made as asked at all.
struct Rule {
    const char *key;
    Severity severity;
    const char *text;
    bool blocking = false;
};

struct Finding {
    const Rule *rule;
    std::vector<std::string> items; // disc paths or values, in the order found
};

class Findings {
public:
    void Add(const Rule &rule, const std::string &item = std::string());
    size_t Count(Severity severity) const;
    const std::vector<Finding> &List() const { return m_list; }

private:
    std::vector<Finding> m_list;
};

// The values of a SUID.ini as the launcher acts on them: mode, ID, version; and whether a file written from them
// in `form` reads back as given (for the commands that write one).
void CheckSuidValues(const SuidInfo &info, Findings &findings);
void CheckSuidReadBack(const SuidInfo &info, SuidForm form, Findings &findings);

// A disc as the rules see it, wherever it is: a folder, an image, or the folder make-disc is about to write.
struct DiscView {
    std::string name;               // as shown to the user
    std::vector<TreeEntry> entries; // each folder before its contents; `relative` as the disc names it
    std::vector<std::string> loops;
    // The first `max` bytes of a file of `entries` (all of it when max is 0); false with `error` set.
    std::function<bool(const TreeEntry &entry, size_t max, std::string &bytes, std::string &error)> read;
};

struct CopyRow {
    std::string action, from, to, when;
};

// What the launcher will do with a disc, and everything that keeps it from working.
struct DiscAudit {
    std::string installFolder;
    bool hasSuid = false;
    SuidKind suidKind = SuidKind::NotSuid;
    SuidInfo suid;
    enum class Outcome { DiscViewer, Transfer, Nothing } outcome = Outcome::Nothing;
    std::string nothingReason;
    std::vector<CopyRow> rows;          // with the viewer installed
    std::vector<std::string> mustExist; // folders the launcher needs and creates not
    std::string commandLine;            // the viewer's, for DiscViewer and Transfer
    bool asksToInstall = false;         // every mode but the disc viewer's: without the viewer, or an older one
    std::string promptNotInstalled, promptOlder, setupCommandLine;
    size_t files = 0, folders = 0;
    uint64_t bytes = 0;
    Findings findings;
};

// `installFolder` as the launcher would use it (see CheckInstallFolder). False only when a file could not be read.
bool AuditDisc(const DiscView &view, const std::string &installFolder, DiscAudit &audit, std::string &error);

// The launcher's install folder for a value given on the command line: the default when `given` is empty or
// longer than the launcher reads (a note in `findings`); "" and a reason in `error` when it is not an absolute
// Windows path ("C:\..." or "\\server\share...") that Windows accepts.
std::string CheckInstallFolder(const std::string &given, Findings &findings, std::string &error);

// Explorer's label for the disc of a patient: the ID's letters, digits and '-' (each run of anything else becomes
// one '_'), at most disc::kLabelMax characters; disc::kDefaultLabel when nothing is left.
std::string LabelForId(const std::string &id);
// A label given on the command line: "" when it is usable as it is, else why not.
std::string LabelComplaint(const std::string &label);
// The warning for a usable label that Windows shows cut, or "".
std::string LabelWarning(const std::string &label);

// [autorun] open=autorun.exe, icon=autorun.exe,0, label=...; CR LF lines as Windows writes them.
std::string AutorunInfText(const std::string &label);

// The name's length in UCS-2 characters; false when it is not UTF-8 or holds a character UCS-2 cannot carry.
bool Ucs2Length(const std::string &name, size_t &length);
// What a '/'-separated path below the disc's root costs of limits::kJolietPathBudget.
size_t JolietPathCost(const std::string &relative);
// An MS-DOS name: one to eight characters, optionally a dot and one to three more, of letters, digits and '_'.
bool IsShortName(const std::string &name);
bool IsAscii(const std::string &name);
// "a/b/c" -> "a\b\c".
std::string WindowsPath(const std::string &relative);
