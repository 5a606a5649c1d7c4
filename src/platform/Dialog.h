#pragma once
#include <windows.h>

#include <string>

class ProgressCtrl;

// Whether a control's text is `value` already.
bool ShowsText(HWND control, const std::string &value);
// Writes `value` to a control unless the control already shows it: no repaint for an unchanged text.
void SetControlText(HWND control, const std::string &value);

// Data exchange between a dialog's members and its controls, in the direction member -> control
// (the only one this program uses). A text is written only when it differs from what the control
// shows, as the usual framework exchange does: no repaint for an unchanged text.
class DataExchange {
public:
    explicit DataExchange(HWND dialog) : m_dialog(dialog) {}
    void Text(int id, const std::string &value);
    void Control(int id, ProgressCtrl &control);

private:
    HWND m_dialog;
};

// The dialog base: a static dialog procedure binds `this` at WM_INITDIALOG and forwards to OnMessage.
// A message a derived class handles is answered by it alone (through DWLP_MSGRESULT where the dialog
// manager expects that), so the default dialog procedure never gives a private message a meaning of
// its own: it reads WM_USER and WM_USER + 1 as DM_GETDEFID and DM_SETDEFID.
class Dialog {
public:
    explicit Dialog(UINT templateId) : m_templateId(templateId) {}
    virtual ~Dialog();
    Dialog(const Dialog &) = delete;
    Dialog &operator=(const Dialog &) = delete;

    INT_PTR DoModal(HWND parent);
    // Creates the modeless window; OnInitDialog runs inside.
    bool Create(HWND parent);
    bool DestroyWindow();
    bool ShowWindow(int cmd) { return m_hWnd && ::ShowWindow(m_hWnd, cmd); }
    HWND GetSafeHwnd() const { return m_hWnd; }
    bool UpdateData(bool saveAndValidate);

    // Modeless dialogs get the dialog keyboard interface from the message loop.
    static bool PreTranslate(MSG &msg);

protected:
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(DataExchange &) {}
    virtual void OnOK();
    virtual void OnCancel();
    // Returns true when the message was handled; `result` is then the dialog's answer.
    virtual bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result);
    // From OnInitDialog on, `msg` (one message a dialog) goes to OnMessage straight from the window's procedure, ahead
    // of the dialog manager, and its result is the message's result. For a private message sent at a high rate: the
    // dialog manager's way costs two writes of DWLP_MSGRESULT per message, each a request to Wine's server, and under a
    // theme the theme's own look at every message. The message must be one the dialog manager has no use for.
    void HandleAheadOfDialogManager(UINT msg);

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    bool m_modal = false;
    WNDPROC m_dialogManagerProc = nullptr;
    UINT m_aheadMessage = 0;
};

// The common controls' progress bar as the dialog's member.
class ProgressCtrl {
public:
    void Attach(HWND hwnd) { m_hWnd = hwnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }
    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, msg, wParam, lParam);
    }

private:
    HWND m_hWnd = nullptr;
};
