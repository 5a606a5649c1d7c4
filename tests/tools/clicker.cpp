// Answers (or only inspects) a message box the way a user would, so scenario tests can drive the launcher's
// prompts and warnings. The progress dialog can carry the same caption, hence a window only counts as the box when it
// also has a visible Yes, No or OK button.
//
//   clicker.exe CAPTION yes|no|ok|none TIMEOUT_MS OUTFILE  0: box found (OUTFILE written), 1: none within TIMEOUT_MS
//   clicker.exe --absent CAPTION WAIT_MS                   0: no box within WAIT_MS, 1: a box appeared
//   clicker.exe --watch CAPTION OUTFILE STOPFILE           answers every box with OK until STOPFILE exists, appending
//                                                          each one's report to OUTFILE
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr char kUsage[] = "usage: clicker.exe CAPTION yes|no|ok|none TIMEOUT_MS OUTFILE\n"
                          "       clicker.exe --absent CAPTION WAIT_MS\n"
                          "       clicker.exe --watch CAPTION OUTFILE STOPFILE\n";
constexpr char kAbsentFlag[] = "--absent";
constexpr char kWatchFlag[] = "--watch";
constexpr char kAnswerOk[] = "ok";
constexpr DWORD kWatchPollMs = 100;
constexpr char kAnswerYes[] = "yes";
constexpr char kAnswerNo[] = "no";
constexpr char kAnswerNone[] = "none";
constexpr char kDialogClass[] = "#32770";
constexpr char kStaticClass[] = "Static";
constexpr char kButtonClass[] = "Button";
constexpr char kLabelSeparator[] = "|";
constexpr int kPromptTextId = 0xFFFF;
constexpr DWORD kPollMs = 20;
// Messages to another process must not hang the tool when that process stops pumping. A box's thread can be busy
// for seconds in an emulated machine, where programs run many times slower; a text not read in time is read as empty.
constexpr UINT kSendTimeoutMs = 10000;
// Without a window manager Wine may take about 2 s to hide a window, so a posted answer gets that long before the
// button itself is clicked as well.
constexpr DWORD kRetryAfterMs = 2500;
constexpr DWORD kCloseWaitMs = 6000;
constexpr int kExitFound = 0;
constexpr int kExitNotFound = 1;
constexpr int kExitAbsent = 0;
constexpr int kExitAppeared = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 3;

struct StdioCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};
using StdioFile = std::unique_ptr<FILE, StdioCloser>;

bool ParseMs(const char *text, DWORD &value)
{
    char *end = nullptr;
    const unsigned long parsed = std::strtoul(text, &end, 10);
    if (!*text || *end)
        return false;
    value = static_cast<DWORD>(parsed);
    return true;
}

std::string ClassOf(HWND hwnd)
{
    char name[256] = {};
    ::GetClassNameA(hwnd, name, sizeof name);
    return name;
}

// GetWindowTextA cannot read controls of another process, so the text is asked for with messages.
std::string ControlText(HWND hwnd)
{
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length))
        return {};
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                               kSendTimeoutMs, &copied))
        return {};
    text.resize(std::min<size_t>(copied, length));
    return text;
}

std::string Caption(HWND hwnd)
{
    std::string text(::GetWindowTextLengthA(hwnd) + 1, '\0');
    text.resize(::GetWindowTextA(hwnd, &text[0], static_cast<int>(text.size())));
    return text;
}

bool HasVisibleButton(HWND dialog, int id)
{
    const HWND button = ::GetDlgItem(dialog, id);
    return button && ::IsWindowVisible(button);
}

struct Search {
    const char *caption;
    HWND found;
};

BOOL CALLBACK MatchPrompt(HWND hwnd, LPARAM param)
{
    auto *search = reinterpret_cast<Search *>(param);
    if (!::IsWindowVisible(hwnd) || ClassOf(hwnd) != kDialogClass || Caption(hwnd) != search->caption)
        return TRUE;
    if (!HasVisibleButton(hwnd, IDYES) && !HasVisibleButton(hwnd, IDNO) && !HasVisibleButton(hwnd, IDOK))
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

HWND FindPrompt(const char *caption)
{
    Search search{caption, nullptr};
    ::EnumWindows(MatchPrompt, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The box once its thread takes messages in the box's own loop, so that it is read as it was set up, or nullptr when it
// went away or its thread did not come back in time. A box shows before its thread is done with it, and in an
// emulated machine the thread stayed busy past a read: a Yes/No box was read with a Yes button without a label.
HWND SetUp(HWND dialog, const char *caption)
{
    DWORD_PTR ignored = 0;
    if (!::SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &ignored))
        return nullptr;
    return FindPrompt(caption) == dialog ? dialog : nullptr;
}

HWND WaitForPrompt(const char *caption, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (const HWND found = FindPrompt(caption); found && SetUp(found, caption))
            return found;
        if (::GetTickCount() - start >= timeoutMs)
            return nullptr;
        ::Sleep(kPollMs);
    }
}

struct Children {
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM param)
{
    reinterpret_cast<Children *>(param)->windows.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> ChildrenOf(HWND parent)
{
    Children children;
    ::EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children.windows;
}

bool IsIcon(HWND hwnd)
{
    return (::GetWindowLongA(hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

std::string PromptText(HWND dialog)
{
    if (const HWND text = ::GetDlgItem(dialog, kPromptTextId))
        return ControlText(text);
    for (const HWND child : ChildrenOf(dialog)) {
        if (::lstrcmpiA(ClassOf(child).c_str(), kStaticClass) != 0 || IsIcon(child))
            continue;
        std::string text = ControlText(child);
        if (!text.empty())
            return text;
    }
    return {};
}

// Labels in the order a user sees them, whatever the order of creation.
std::string ButtonLabels(HWND dialog)
{
    struct Button {
        RECT rect;
        std::string label;
    };
    std::vector<Button> buttons;
    for (const HWND child : ChildrenOf(dialog)) {
        if (::lstrcmpiA(ClassOf(child).c_str(), kButtonClass) != 0 || !::IsWindowVisible(child))
            continue;
        Button button{};
        ::GetWindowRect(child, &button.rect);
        button.label = ControlText(child);
        buttons.push_back(button);
    }
    std::stable_sort(buttons.begin(), buttons.end(), [](const Button &a, const Button &b) {
        return a.rect.top != b.rect.top ? a.rect.top < b.rect.top : a.rect.left < b.rect.left;
    });
    std::string labels;
    for (const Button &button : buttons) {
        if (!labels.empty())
            labels += kLabelSeparator;
        labels += button.label;
    }
    return labels;
}

bool WriteReport(const char *path, HWND dialog, const char *mode = "wb")
{
    const std::string report = PromptText(dialog) + "\n" + ButtonLabels(dialog) + "\n";
    StdioFile out(std::fopen(path, mode));
    return out && std::fwrite(report.data(), 1, report.size(), out.get()) == report.size();
}

bool IsGone(HWND dialog)
{
    return !::IsWindow(dialog) || !::IsWindowVisible(dialog);
}

// A posted WM_COMMAND neither blocks on the box's thread nor depends on focus or mouse capture, which BM_CLICK does;
// BM_CLICK follows only if the box ignored the first answer.
bool Answer(HWND dialog, int id)
{
    const HWND button = ::GetDlgItem(dialog, id);
    if (!button)
        return false;
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    const DWORD start = ::GetTickCount();
    bool retried = false;
    while (!IsGone(dialog)) {
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= kCloseWaitMs) {
            std::fputs("clicker: the message box did not close after the answer\n", stderr);
            break;
        }
        if (!retried && elapsed >= kRetryAfterMs) {
            DWORD_PTR ignored = 0;
            ::SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
            retried = true;
        }
        ::Sleep(kPollMs);
    }
    return true;
}

int RunAbsent(const char *caption, DWORD waitMs)
{
    const HWND found = WaitForPrompt(caption, waitMs);
    if (!found)
        return kExitAbsent;
    // The unexpected prompt's text tells the failing test what was asked; plain "\n" as in the report file.
    _setmode(_fileno(stdout), _O_BINARY);
    std::printf("%s\n", PromptText(found).c_str());
    return kExitAppeared;
}

int RunAnswer(const char *caption, const char *answer, DWORD timeoutMs, const char *outPath)
{
    int id = 0;
    if (std::strcmp(answer, kAnswerYes) == 0)
        id = IDYES;
    else if (std::strcmp(answer, kAnswerNo) == 0)
        id = IDNO;
    else if (std::strcmp(answer, kAnswerOk) == 0)
        id = IDOK;
    else if (std::strcmp(answer, kAnswerNone) != 0)
        return kExitUsage;

    const HWND dialog = WaitForPrompt(caption, timeoutMs);
    if (!dialog)
        return kExitNotFound;
    if (!WriteReport(outPath, dialog)) {
        std::fprintf(stderr, "clicker: cannot write %s\n", outPath);
        return kExitFailure;
    }
    if (id && !Answer(dialog, id)) {
        std::fprintf(stderr, "clicker: the message box has no '%s' button\n", answer);
        return kExitFailure;
    }
    return kExitFound;
}

// A box may come at any moment of a run, or never: a test that does not expect one learns of it afterwards.
int RunWatch(const char *caption, const char *outPath, const char *stopPath)
{
    while (::GetFileAttributesA(stopPath) == INVALID_FILE_ATTRIBUTES) {
        if (const HWND dialog = FindPrompt(caption); dialog && SetUp(dialog, caption)) {
            if (!WriteReport(outPath, dialog, "ab")) {
                std::fprintf(stderr, "clicker: cannot write %s\n", outPath);
                return kExitFailure;
            }
            Answer(dialog, IDOK);
        }
        ::Sleep(kWatchPollMs);
    }
    return kExitFound;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 5 && std::strcmp(argv[1], kWatchFlag) == 0)
        return RunWatch(argv[2], argv[3], argv[4]);
    DWORD ms = 0;
    if (argc == 4 && std::strcmp(argv[1], kAbsentFlag) == 0 && ParseMs(argv[3], ms))
        return RunAbsent(argv[2], ms);
    if (argc == 5 && ParseMs(argv[3], ms)) {
        const int result = RunAnswer(argv[1], argv[2], ms, argv[4]);
        if (result != kExitUsage)
            return result;
    }
    std::fputs(kUsage, stderr);
    return kExitUsage;
}
