// check: what the launcher will do with a disc (a folder or an image), and everything that keeps it from working.
#include <CLI/CLI.hpp>
#include <clocale>
#include <cstdio>
#include <cwchar>
#include <locale.h>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "Command.h"
#include "Diagnostics.h"
#include "DiscRules.h"
#include "DiscViews.h"
#include "Interrupt.h"
#include "Progress.h"
#include "launch/Decision.h"

namespace {

// Past this many rows the listing shows one row per folder and kind of action (--verbose shows all).
constexpr size_t kCompactRows = 24;

struct CheckOptions {
    std::string path;
    std::string installFolder;
    bool installGiven = false;
    bool json = false;
    bool verbose = false;
};

// Terminal columns a UTF-8 text takes: East Asian wide characters (Korean names) take two.
size_t DisplayWidth(const std::string &text)
{
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    if (!utf8)
        return text.size();
    const locale_t previous = ::uselocale(utf8);
    size_t width = 0;
    std::mbstate_t state{};
    for (size_t i = 0; i < text.size();) {
        wchar_t wide;
        const size_t used = std::mbrtowc(&wide, text.data() + i, text.size() - i, &state);
        if (used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2) || used == 0) {
            state = std::mbstate_t{};
            ++width;
            ++i;
            continue;
        }
        const int columns = ::wcwidth(wide);
        width += columns < 0 ? 1 : static_cast<size_t>(columns);
        i += used;
    }
    ::uselocale(previous);
    return width;
}

std::string Pad(const std::string &text, size_t width)
{
    const size_t shown = DisplayWidth(text);
    return text + std::string(width > shown ? width - shown : 0, ' ');
}

std::string FolderOf(const std::string &windowsPath)
{
    const size_t slash = windowsPath.rfind('\\');
    return slash == std::string::npos ? std::string() : windowsPath.substr(0, slash);
}

// Rows of one folder that the launcher treats alike, as one: "Data\* (298 files)".
std::vector<CopyRow> Compact(const std::vector<CopyRow> &rows)
{
    std::vector<CopyRow> compact;
    std::vector<size_t> counts;
    std::map<std::string, size_t> at;
    for (const CopyRow &row : rows) {
        const std::string key = row.action + '\n' + row.when + '\n' + FolderOf(row.from) + '\n' + FolderOf(row.to);
        const auto found = at.find(key);
        if (row.from.empty() || found == at.end()) {
            at[key] = compact.size();
            compact.push_back(row);
            counts.push_back(1);
            continue;
        }
        CopyRow &group = compact[found->second];
        const size_t count = ++counts[found->second];
        const std::string what = row.action == "copy" ? " files)" : " folders)";
        group.from = FolderOf(row.from) + "\\* (" + std::to_string(count) + what;
        group.to = FolderOf(row.to) + "\\";
    }
    return compact;
}

void PrintRows(const std::vector<CopyRow> &rows)
{
    size_t width[3] = {6, 4, 2};
    for (const CopyRow &row : rows) {
        width[0] = std::max(width[0], DisplayWidth(row.action));
        width[1] = std::max(width[1], DisplayWidth(row.from));
        width[2] = std::max(width[2], DisplayWidth(row.to));
    }
    const auto print = [&width](const std::string &a, const std::string &b, const std::string &c,
                                const std::string &d) {
        std::printf("  %s  %s  %s  %s\n", Pad(a, width[0]).c_str(), Pad(b, width[1]).c_str(), Pad(c, width[2]).c_str(),
                    d.c_str());
    };
    print("ACTION", "FROM", "TO", "WHEN");
    for (const CopyRow &row : rows)
        print(row.action, row.from, row.to, row.when);
}

const char *FormName(const DiscAudit &audit)
{
    if (!audit.hasSuid)
        return "missing";
    switch (audit.suidKind) {
    case SuidKind::Plain:
        return kFormPlain;
    case SuidKind::Scrambled:
        return kFormScrambled;
    default:
        return "unreadable";
    }
}

const char *OutcomeName(DiscAudit::Outcome outcome)
{
    switch (outcome) {
    case DiscAudit::Outcome::DiscViewer:
        return "run-disc-viewer";
    case DiscAudit::Outcome::Transfer:
        return "transfer";
    case DiscAudit::Outcome::Nothing:
        break;
    }
    return "nothing";
}

std::string Verdict(const DiscAudit &audit)
{
    const size_t problems = audit.findings.Count(Severity::Problem);
    return std::string(problems ? "NOT SOUND" : "sound") + " (" + std::to_string(problems) + " problem(s), " +
           std::to_string(audit.findings.Count(Severity::Note)) + " note(s))";
}

void PrintFindings(const DiscAudit &audit, Severity severity, const char *heading, bool verbose)
{
    const size_t count = audit.findings.Count(severity);
    std::printf("\n%s (%zu):%s\n", heading, count, count ? "" : " none");
    for (const Finding &f : audit.findings.List()) {
        if (f.rule->severity != severity)
            continue;
        std::printf("  %s %s\n", severity == Severity::Problem ? "problem:" : "note:", f.rule->text);
        for (const std::string &item : ShownItems(f.items, verbose ? 0 : kItemsShown))
            std::printf("      %s\n", item.c_str());
    }
}

void PrintText(const std::string &name, const DiscAudit &audit, bool verbose)
{
    const SuidInfo &info = audit.suid;
    std::printf("disc:     %s\n", name.c_str());
    if (!audit.hasSuid)
        std::printf("SUID.ini: missing\n");
    else if (audit.suidKind != SuidKind::Plain && audit.suidKind != SuidKind::Scrambled)
        std::printf("SUID.ini: %s\n", DescribeSuidKind(audit.suidKind));
    else
        std::printf("SUID.ini: %s form; mode \"%s\", ID \"%s\", version %s\n", FormName(audit), info.m_strMode.c_str(),
                    info.m_strId.c_str(), FormatVersion(info).c_str());
    std::printf("install:  %s\n", audit.installFolder.c_str());
    std::printf("content:  %zu files, %zu folders, %s\n", audit.files, audit.folders, FormatBytes(audit.bytes).c_str());
    std::printf("result:   %s\n", Verdict(audit).c_str());
    PrintFindings(audit, Severity::Problem, "Problems", verbose);
    PrintFindings(audit, Severity::Note, "Notes", verbose);

    std::printf("\nWhen neither %s nor %s is running (else the launcher quits at once):\n", launch::kViewerExe,
                launch::kWriterExe);
    switch (audit.outcome) {
    case DiscAudit::Outcome::DiscViewer:
        std::printf("With or without the viewer installed: runs the viewer on the disc, copies nothing.\n");
        std::printf("  command line: %s\n", audit.commandLine.c_str());
        return;
    case DiscAudit::Outcome::Transfer:
        std::printf("With the viewer installed at %s, version %s or newer:\n", audit.installFolder.c_str(),
                    FormatVersion(info).c_str());
        PrintRows(verbose || audit.rows.size() <= kCompactRows ? audit.rows : Compact(audit.rows));
        std::printf("  (%s and %s must exist: the launcher creates neither)\n", audit.mustExist[0].c_str(),
                    audit.mustExist[1].c_str());
        std::printf("  then command line: %s\n", audit.commandLine.c_str());
        break;
    case DiscAudit::Outcome::Nothing:
        std::printf("With the viewer installed at %s, version %s or newer:\n", audit.installFolder.c_str(),
                    FormatVersion(info).c_str());
        std::printf("  nothing: %s\n", audit.nothingReason.c_str());
        break;
    }
    std::printf("\nWithout the viewer (or with one older than %s): asks\n", FormatVersion(info).c_str());
    std::printf("  \"%s\"\n", audit.promptNotInstalled.c_str());
    std::printf("  (older: \"%s\")\n", audit.promptOlder.c_str());
    std::printf("  on Yes command line: %s\n", audit.setupCommandLine.c_str());
}

void PrintJson(const std::string &name, const DiscAudit &audit)
{
    using Json = nlohmann::ordered_json;
    const SuidInfo &info = audit.suid;
    Json findings = Json::array();
    for (const Finding &f : audit.findings.List())
        findings.push_back({{"severity", f.rule->severity == Severity::Problem ? "problem" : "note"},
                            {"key", f.rule->key},
                            {"text", f.rule->text},
                            {"items", f.items}});
    Json rows = Json::array();
    for (const CopyRow &row : audit.rows)
        rows.push_back({{"action", row.action}, {"from", row.from}, {"to", row.to}, {"when", row.when}});
    Json out = {
        {"disc", name},
        {"sound", audit.findings.Count(Severity::Problem) == 0},
        {"problems", audit.findings.Count(Severity::Problem)},
        {"notes", audit.findings.Count(Severity::Note)},
        {"suid",
         {{"form", FormName(audit)}, {"mode", info.m_strMode}, {"id", info.m_strId}, {"version", FormatVersion(info)}}},
        {"install_folder", audit.installFolder},
        {"content", {{"files", audit.files}, {"folders", audit.folders}, {"bytes", audit.bytes}}},
        {"with_viewer",
         {{"outcome", OutcomeName(audit.outcome)},
          {"reason", audit.nothingReason},
          {"actions", rows},
          {"must_exist", audit.mustExist},
          {"command_line", audit.commandLine}}},
        {"without_viewer",
         {{"asks", audit.asksToInstall},
          {"prompt", audit.promptNotInstalled},
          {"prompt_older", audit.promptOlder},
          {"command_line", audit.setupCommandLine}}},
        {"findings", findings},
    };
    // Names are bytes from the disc; a name that is not UTF-8 is shown with U+FFFD rather than failing.
    std::printf("%s\n", out.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
}

int RunCheck(const CheckOptions &options)
{
    DiscAudit audit;
    Findings installNotes;
    std::string error;
    const std::string install = CheckInstallFolder(
        options.installGiven ? options.installFolder : launch::kDefaultInstallFolder, installNotes, error);
    DiscView view;
    TempFolder work;
    const bool image = IsImagePath(options.path);
    const bool ok = image ? work.Create(error) && ImageView(options.path, work.Path(), view, error)
                          : FolderView(options.path, view, error);
    if (Interrupted())
        return kExitInterrupted;
    if (!ok || !AuditDisc(view, install, audit, error)) {
        Complain(error);
        return kExitFailure;
    }
    for (const Finding &note : installNotes.List()) {
        audit.findings.Add(*note.rule);
        for (const std::string &item : note.items)
            audit.findings.Add(*note.rule, item);
    }
    if (options.json)
        PrintJson(options.path, audit);
    else
        PrintText(options.path, audit, options.verbose);
    return audit.findings.Count(Severity::Problem) ? kExitFailure : kExitOk;
}

} // namespace

void AddCheckCommand(CLI::App &app, CommandRun &run)
{
    CLI::App *command = app.add_subcommand("check", "report what the launcher will do with a disc, and its problems");
    command->footer("PATH is a disc folder, an ISO image or a burned disc's device; an image is read as Windows reads "
                    "it (its Joliet tree). Exit 0 when the disc is sound (notes only), 1 when it has problems.");
    auto options = std::make_shared<CheckOptions>();
    command->add_option("PATH", options->path, "the disc: a folder, an image file or a device")->required();
    CLI::Option *install = command->add_option("--install-folder", options->installFolder,
                                               "where the viewer is installed, a Windows path (default C:\\Tovi2009)");
    install->check(
        [](const std::string &given) {
            Findings ignored;
            std::string error;
            CheckInstallFolder(given, ignored, error);
            return error;
        },
        "");
    install->type_name("WINPATH");
    command->add_flag("--json", options->json, "the report as JSON, for scripts");
    command->add_flag("-v,--verbose", options->verbose, "every file and every item of a finding");
    command->callback([&run, options, install] {
        options->installGiven = install->count() > 0;
        run = [options] { return RunCheck(*options); };
    });
}
