#include "App.h"

#include <cstring>

#include "Dialog.h"
#include "Handles.h"
#include "Window.h"

App *App::s_current = nullptr;

namespace {
constexpr char kRecentSection[] = "Recent File List";
constexpr char kRecentEntry[] = "File%u";
} // namespace

void CommandLineInfo::Parse(int argc, char **argv)
{
    bool print = false;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (arg[0] == '/' || arg[0] == '-') {
            const char *flag = arg + 1;
            if (::lstrcmpiA(flag, "p") == 0 || ::lstrcmpiA(flag, "pt") == 0)
                print = true;
            else if (::lstrcmpiA(flag, "register") == 0 || ::lstrcmpiA(flag, "regserver") == 0)
                action = AppRegister;
            else if (::lstrcmpiA(flag, "unregister") == 0 || ::lstrcmpiA(flag, "unregserver") == 0)
                action = AppUnregister;
            // Other switches (automation, embedding, dde) mean nothing to this program.
        } else if (fileName.empty()) {
            fileName = arg;
            if (action == FileNew)
                action = FileOpen;
        }
    }
    if (print && !fileName.empty())
        action = FilePrint;
}

App::App()
{
    s_current = this;
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, sizeof(path));
    const char *name = std::strrchr(path, '\\');
    m_appName = name ? name + 1 : path;
    const size_t dot = m_appName.rfind('.');
    if (dot != std::string::npos)
        m_appName.erase(dot);
}

App::~App()
{
    if (s_current == this)
        s_current = nullptr;
}

HWND App::GetMainWnd() const { return m_pMainWnd ? m_pMainWnd->GetSafeHwnd() : nullptr; }

int App::Run(HINSTANCE instance, int showCommand)
{
    m_hInstance = instance;
    m_nCmdShow = showCommand;
    if (!InitInstance())
        return ExitInstance();
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchOne(msg);
    return ExitInstance();
}

void App::DispatchOne(MSG &msg)
{
    HWND main = GetMainWnd();
    if (m_hAccel && main && ::TranslateAcceleratorA(main, m_hAccel, &msg))
        return;
    if (Dialog::PreTranslate(msg))
        return;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
}

void App::PumpMessagesUntil(HANDLE object)
{
    bool quit = false;
    WPARAM exitCode = 0;
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                exitCode = msg.wParam;
            } else if (s_current) {
                s_current->DispatchOne(msg);
            } else if (!Dialog::PreTranslate(msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
        }
        // Wakes for the object and for any message, sent ones included, that came after the last look.
        if (::MsgWaitForMultipleObjects(1, &object, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0 + 1)
            break;
    }
    if (quit)
        ::PostQuitMessage(static_cast<int>(exitCode));
}

int App::ExitInstance()
{
    SaveStdProfileSettings();
    return 0;
}

void App::SetRegistryKey(const char *company) { m_registryKey = company; }

std::string App::ProfileKey(const char *section) const
{
    return "Software\\" + m_registryKey + "\\" + m_appName + "\\" + section;
}

void App::LoadStdProfileSettings(unsigned maxRecentFiles)
{
    m_maxRecentFiles = maxRecentFiles;
    m_recentFiles.clear();
    if (m_registryKey.empty())
        return;
    RegKey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, ProfileKey(kRecentSection).c_str(), 0, KEY_QUERY_VALUE, key.Receive()) !=
        ERROR_SUCCESS)
        return;
    for (unsigned i = 1; i <= maxRecentFiles; ++i) {
        char name[16];
        wsprintfA(name, kRecentEntry, i);
        char value[MAX_PATH] = {};
        DWORD type = 0;
        DWORD size = sizeof(value) - 1;
        if (::RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE *>(value), &size) ==
                ERROR_SUCCESS &&
            type == REG_SZ && value[0])
            m_recentFiles.push_back(value);
    }
}

void App::AddToRecentFileList(const std::string &path)
{
    if (m_maxRecentFiles == 0)
        return;
    for (auto it = m_recentFiles.begin(); it != m_recentFiles.end(); ++it) {
        if (::lstrcmpiA(it->c_str(), path.c_str()) == 0) {
            m_recentFiles.erase(it);
            break;
        }
    }
    m_recentFiles.insert(m_recentFiles.begin(), path);
    if (m_recentFiles.size() > m_maxRecentFiles)
        m_recentFiles.resize(m_maxRecentFiles);
}

// Writes the list back only when there is one to keep: a launcher that opened no document leaves the
// user's registry as it found it.
void App::SaveStdProfileSettings()
{
    if (m_registryKey.empty() || m_recentFiles.empty())
        return;
    RegKey key;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, ProfileKey(kRecentSection).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, key.Receive(), nullptr) != ERROR_SUCCESS)
        return;
    for (unsigned i = 0; i < m_recentFiles.size(); ++i) {
        char name[16];
        wsprintfA(name, kRecentEntry, i + 1);
        ::RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE *>(m_recentFiles[i].c_str()),
                         static_cast<DWORD>(m_recentFiles[i].size() + 1));
    }
}
