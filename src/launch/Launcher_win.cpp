// Carrying out the launch decision: gathering its facts from the machine, then starting programs,
// asking the user, or starting the transfer.
#include <windows.h>

#include <shellapi.h>

#include "app/MainFrame.h"
#include "launch/Decision.h"
#include "launch/ProgramStart.h"
#include "platform/App.h"
#include "platform/DebugOut.h"
#include "platform/Paths.h"
#include "platform/RunLog.h"
#include "ui/CopyProgressDlg.h"

static_assert(launch::kShellPathBuffer == MAX_PATH, "the shell's path buffer");

namespace {
constexpr char kLogDisc[] = "disc: mode \"%s\", ID \"%s\", version %d.%d.%d.%d, in %s";
constexpr char kLogOutcome[] = "outcome: %s";

const char *OutcomeName(LaunchOutcome outcome)
{
    switch (outcome) {
    case LaunchOutcome::CloseAtOnce:
        return "quit: the viewer or the disc-writing tool is running";
    case LaunchOutcome::RunDiscViewer:
        return "the disc's viewer started";
    case LaunchOutcome::PromptNotInstalled:
        return "asked to install the viewer (not installed)";
    case LaunchOutcome::PromptOlder:
        return "asked to install the viewer (installed one is older)";
    case LaunchOutcome::InvalidPatientId:
        return "nothing done: the ID cannot name a patient folder";
    case LaunchOutcome::Nothing:
        return "nothing done";
    case LaunchOutcome::Transfer:
        break;
    }
    return "transfer";
}
} // namespace

void RunProgram(const std::string &file, const std::string &parameters)
{
    // A path the shell cannot take is a start that fails, and a start that fails is not reported.
    if (!launch::ShellTakesProgramPath(file))
        return;
    HWND owner = App::Current() ? App::Current()->GetMainWnd() : nullptr;
    ::ShellExecuteA(owner, "open", file.c_str(), parameters.c_str(), nullptr, SW_SHOW);
}

void CMainFrame::SetProductName()
{
    ProductNameForMode(m_suid.m_strMode, m_strProductName);
}

bool CMainFrame::AskToInstall(const char *promptFormat)
{
    SetProductName();
    const std::string text = FormatPrompt(promptFormat, m_strProductName);
    if (::MessageBoxA(m_hWnd, text.c_str(), launch::kPromptCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    RunProgram(JoinPath(GetLauncherFolder(), launch::kSetupExe), "");
    return true;
}

void CMainFrame::RunLauncher()
{
    const std::string launcherFolder = GetLauncherFolder();
    LaunchFacts facts;
    facts.isBlockingProgramRunning = IsViewerRunning;
    facts.readConfiguration = [this]() -> const SuidInfo & {
        ReadSuidInfo();
        return m_suid;
    };
    facts.isViewerInstalled = [this] { return IsViewerInstalled(); };
    facts.isInstalledVersionOlder = [this] { return IsInstalledVersionOlder(); };
    facts.isLeadByte = IsAnsiLeadByte;

    runlog::Start();
    const LaunchOutcome outcome = DecideLaunch(facts);
    runlog::Note(Format(kLogDisc, m_suid.m_strMode.c_str(), m_suid.m_strId.c_str(), m_suid.m_nHiMS, m_suid.m_nLowMS,
                        m_suid.m_nHiLS, m_suid.m_nLowLS, launcherFolder.c_str()));
    if (outcome != LaunchOutcome::Transfer)
        runlog::Note(Format(kLogOutcome, OutcomeName(outcome)));
    switch (outcome) {
    case LaunchOutcome::CloseAtOnce:
        break;
    case LaunchOutcome::RunDiscViewer:
        RunProgram(JoinPath(launcherFolder, launch::kViewerExe),
                   ViewerParameters(m_suid.m_strMode, m_suid.m_strId, "0"));
        break;
    case LaunchOutcome::PromptNotInstalled:
        AskToInstall(launch::kPromptNotInstalled);
        break;
    case LaunchOutcome::PromptOlder:
        AskToInstall(launch::kPromptOlder);
        break;
    case LaunchOutcome::InvalidPatientId:
        DebugLine(launch::kDebugInvalidId, m_suid.m_strId.c_str());
        break;
    case LaunchOutcome::Nothing:
        break;
    case LaunchOutcome::Transfer:
        StartTransfer(GetInstallFolder());
        return; // the hand-off to the viewer closes the frame
    }
    // Nothing is left to do: a hidden launcher that lingers would pile up one process per insertion.
    CloseFrame();
}

void CMainFrame::StartTransfer(const std::string &installFolder)
{
    const std::string source = JoinPath(GetLauncherFolder(), "Data");
    const std::string destination = PatientFolder(installFolder, m_suid.m_strId);
    m_nTotalFiles = CountFiles(source);
    m_pProgressDlg = new CCopyProgressDlg(nullptr);
    m_pProgressDlg->Create(nullptr);
    m_pProgressDlg->ShowWindow(SW_SHOW);
    m_pProgressDlg->SetProgressRange(0, m_nTotalFiles, 1);
    StartCopyThread(source, destination);
}
