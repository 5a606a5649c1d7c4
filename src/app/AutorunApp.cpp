#include "AutorunApp.h"

#include <commctrl.h>

#include "AutorunDoc.h"
#include "MainFrame.h"
#include "resource.h"

namespace {
constexpr char kSettingsKey[] = "Local AppWizard-Generated Applications";
constexpr unsigned kRecentFiles = 4;
} // namespace

CAutorunApp::CAutorunApp() = default;
CAutorunApp::~CAutorunApp() = default;

bool CAutorunApp::InitInstance()
{
    // The progress window's template names the common controls' progress class.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);

    SetRegistryKey(kSettingsKey);
    LoadStdProfileSettings(kRecentFiles);

    CommandLineInfo cmdInfo;
    cmdInfo.Parse(__argc, __argv);

    // Whatever the shell asked for, the frame is activated hidden and never seen.
    m_nCmdShow = SW_HIDE;

    if (cmdInfo.action == CommandLineInfo::AppRegister || cmdInfo.action == CommandLineInfo::AppUnregister)
        return false;
    m_document = std::make_unique<CAutorunDoc>();
    if (cmdInfo.action == CommandLineInfo::FileNew) {
        if (!m_document->OnNewDocument())
            return false;
    } else if (!m_document->OnOpenDocument(cmdInfo.fileName)) {
        return false;
    } else {
        AddToRecentFileList(cmdInfo.fileName);
    }
    m_frame = std::make_unique<CMainFrame>();
    if (!m_frame->LoadFrame(IDR_MAINFRAME))
        return false;
    m_pMainWnd = m_frame.get();
    m_hAccel = ::LoadAcceleratorsA(m_hInstance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    ::ShowWindow(m_frame->GetSafeHwnd(), m_nCmdShow);
    // Printing an empty document ends the program once it is done, as the shell's print verb expects.
    if (cmdInfo.action == CommandLineInfo::FilePrint)
        return false;

    m_frame->RunLauncher();
    return true;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    CAutorunApp app;
    return app.Run(instance, showCommand);
}
