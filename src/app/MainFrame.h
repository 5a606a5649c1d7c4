#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "app/AutorunDoc.h"
#include "config/SuidInfo.h"
#include "platform/ControlBars.h"
#include "platform/Window.h"
#include "transfer/CopyDecision.h"

class CCopyProgressDlg;

// The hidden main frame: it holds the disc configuration and the transfer's counters, owns the progress
// window, receives the copy worker's completion messages and owns the programs the launcher starts.
class CMainFrame : public Window {
public:
    CMainFrame();
    ~CMainFrame() override;

    // Creates the frame window from the shell's resources (menu, icon, accelerators 128), not shown.
    bool LoadFrame(UINT resourceId);

    // The launch decision, called once before the message loop runs.
    void RunLauncher();

    // Disc configuration.
    void ReadSuidInfo();
    static void ReadSuidInfoFrom(const std::string &iniPath, SuidInfo &info);
    static std::string GetUserProfileDir();
    static void DescrambleSuidFile(const char *lpszIniPath, int nSeed, SuidInfo *pSuid);

    // Installation probe and version check.
    bool IsViewerInstalled();
    bool IsInstalledVersionOlder();
    void SetProductName();

    // Transfer.
    int CountFiles(std::string folder);
    BOOL StartCopyThread(std::string source, std::string destination);
    static bool GetFileTimeOf(const char *path, FILETIME *time, unsigned char which);
    LRESULT CopyReferenceDatabase(WPARAM wParam, LPARAM lParam);
    LRESULT LaunchViewer(WPARAM wParam, LPARAM lParam);
    // Returns how many files could not be copied, and why; `fileHandled` runs after each file, copied or failed.
    // `walked`: the files the walk of the tree found (CountTreeFiles); when a folder's listing breaks off, the files
    // the copy did not reach (at least one a folder) count as not copied.
    static CopyOutcome CopyTree(std::string source, std::string destination,
                                const std::function<void()> &fileHandled = std::function<void()>(), int walked = 0);
    // The files the reference copy of `source` will meet (the same links left out, no folder twice).
    static int CountTreeFiles(const std::string &source);

    int m_nTotalFiles;
    int m_nCopiedFiles;
    // Files that could not be copied, told to the user before the viewer opens: the patient copy's (written by its
    // worker before it sends WM_COPY_FINISHED) and the reference copy's.
    int m_nPatientFailures = 0;
    int m_nReferenceFailures = 0;
    // Why they could not be, as far as the errors told: the warning says what helps.
    FailureCauses m_failureCauses;
    std::string m_strProductName;
    SuidInfo m_suid;
    CCopyProgressDlg *m_pProgressDlg;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    // Where the end of a transfer stands. The hand-off's two handlers act once each, in their order: while the
    // reference copy runs this thread takes messages again, and nothing that comes in then may start either a
    // second time or the viewer before the copy is whole.
    enum class Handoff { Waiting, CopyingReference, ReferenceCopied, HandedOver };
    // A transfer runs from the progress window's creation until the viewer has been handed the patient.
    bool InTransfer() const { return m_pProgressDlg && m_handoff != Handoff::HandedOver; }
    void OnClose();
    void OnEndSession(bool ending);
    int OnCreate(CREATESTRUCTA *cs);
    void OnSize();
    void OnCommand(UINT id);
    void StartTransfer(const std::string &installFolder);
    bool AskToInstall(const char *promptFormat);
    void CloseFrame();

    StatusBar m_wndStatusBar;
    ToolBar m_wndToolBar;
    CAutorunView m_wndView;
    Handoff m_handoff = Handoff::Waiting;
};

// Starts a program with the verb "open", the main frame as owner and SW_SHOW; the result is not examined.
void RunProgram(const std::string &file, const std::string &parameters);
// True when the viewer or the disc-writing tool is running (exact, case-sensitive file names).
bool IsViewerRunning();
// The installed viewer's folder: TargetDir from the registry when it is there and sound, else the default.
std::string GetInstallFolder();
