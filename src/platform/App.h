#pragma once
#include <windows.h>

#include <string>
#include <vector>

class Window;

// What the shell asked for on the command line, parsed in the usual framework manner: no file means a
// new document, a plain file argument opens it, /p and /pt print it, registration switches only register.
struct CommandLineInfo {
    enum Action { FileNew, FileOpen, FilePrint, AppRegister, AppUnregister };
    Action action = FileNew;
    std::string fileName;
    void Parse(int argc, char **argv);
};

// The application object: start-up, the settings key with its recent-file list, and the message loop.
class App {
public:
    App();
    virtual ~App();
    App(const App &) = delete;
    App &operator=(const App &) = delete;

    static App *Current() { return s_current; }

    // Runs InitInstance, then the message loop while it returned true, then ExitInstance.
    int Run(HINSTANCE instance, int showCommand);

    HWND GetMainWnd() const;
    // Runs this thread's messages, as the message loop does, until `object` is signalled: the windows keep
    // painting and answering while another thread does something long. A quit message met on the way is
    // posted again for the message loop.
    static void PumpMessagesUntil(HANDLE object);
    Window *GetMainWindow() const { return m_pMainWnd; }
    int GetShowCommand() const { return m_nCmdShow; }

protected:
    virtual bool InitInstance() = 0;
    virtual int ExitInstance();

    void SetRegistryKey(const char *company);
    void LoadStdProfileSettings(unsigned maxRecentFiles);
    void AddToRecentFileList(const std::string &path);

    HINSTANCE m_hInstance = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    Window *m_pMainWnd = nullptr;
    HACCEL m_hAccel = nullptr;

private:
    // The message loop's handling of one message: accelerators, the dialog keyboard interface, dispatch.
    void DispatchOne(MSG &msg);
    std::string ProfileKey(const char *section) const;
    void SaveStdProfileSettings();

    static App *s_current;
    std::string m_appName;
    std::string m_registryKey;
    unsigned m_maxRecentFiles = 0;
    std::vector<std::string> m_recentFiles;
};
