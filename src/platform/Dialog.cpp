#include "Dialog.h"

#include <vector>

namespace {

// Modeless dialogs alive on the user-interface thread, for the message loop's dialog keyboard handling.
std::vector<HWND> &ModelessDialogs()
{
    static std::vector<HWND> dialogs;
    return dialogs;
}

void ForgetModeless(HWND hwnd)
{
    auto &dialogs = ModelessDialogs();
    for (auto it = dialogs.begin(); it != dialogs.end(); ++it) {
        if (*it == hwnd) {
            dialogs.erase(it);
            return;
        }
    }
}

// Messages whose result the dialog procedure returns itself rather than through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT msg)
{
    switch (msg) {
    case WM_INITDIALOG:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return true;
    default:
        return false;
    }
}

} // namespace

bool ShowsText(HWND control, const std::string &value)
{
    char current[512];
    const int length = ::GetWindowTextA(control, current, sizeof(current));
    return length == static_cast<int>(value.size()) && value.compare(0, value.size(), current, length) == 0;
}

void SetControlText(HWND control, const std::string &value)
{
    if (control && !ShowsText(control, value))
        ::SetWindowTextA(control, value.c_str());
}

void DataExchange::Text(int id, const std::string &value)
{
    SetControlText(::GetDlgItem(m_dialog, id), value);
}

void DataExchange::Control(int id, ProgressCtrl &control)
{
    if (!control.GetSafeHwnd())
        control.Attach(::GetDlgItem(m_dialog, id));
}

Dialog::~Dialog()
{
    if (m_hWnd && ::IsWindow(m_hWnd))
        DestroyWindow();
}

INT_PTR Dialog::DoModal(HWND parent)
{
    m_modal = true;
    return ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId), parent, StaticDialogProc,
                             reinterpret_cast<LPARAM>(this));
}

bool Dialog::Create(HWND parent)
{
    m_modal = false;
    HWND hwnd = ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId), parent,
                                     StaticDialogProc, reinterpret_cast<LPARAM>(this));
    if (hwnd)
        ModelessDialogs().push_back(hwnd);
    return hwnd != nullptr;
}

bool Dialog::DestroyWindow()
{
    return m_hWnd && ::DestroyWindow(m_hWnd);
}

bool Dialog::UpdateData(bool saveAndValidate)
{
    if (!m_hWnd || saveAndValidate) // this program only ever writes its members to the controls
        return false;
    DataExchange dx(m_hWnd);
    DoDataExchange(dx);
    return true;
}

bool Dialog::PreTranslate(MSG &msg)
{
    for (HWND dialog : ModelessDialogs()) {
        if ((msg.hwnd == dialog || ::IsChild(dialog, msg.hwnd)) && ::IsDialogMessageA(dialog, &msg))
            return true;
    }
    return false;
}

BOOL Dialog::OnInitDialog()
{
    UpdateData(false);
    return TRUE;
}

void Dialog::OnOK()
{
    if (m_modal)
        ::EndDialog(m_hWnd, IDOK);
}

void Dialog::OnCancel()
{
    if (m_modal)
        ::EndDialog(m_hWnd, IDCANCEL);
}

bool Dialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT &)
{
    return false;
}

void Dialog::HandleAheadOfDialogManager(UINT msg)
{
    m_aheadMessage = msg;
    if (!m_dialogManagerProc && m_hWnd)
        m_dialogManagerProc = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StaticWindowProc)));
}

LRESULT CALLBACK Dialog::StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Dialog *self = reinterpret_cast<Dialog *>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    if (!self) // gone: the dialog procedure forgot it at WM_NCDESTROY, and the window is ending
        return ::DefDlgProcA(hwnd, msg, wParam, lParam);
    const WNDPROC dialogManager = self->m_dialogManagerProc;
    LRESULT result = 0;
    if (msg == self->m_aheadMessage && self->OnMessage(msg, wParam, lParam, result))
        return result;
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(dialogManager));
        self->m_dialogManagerProc = nullptr;
        self->m_aheadMessage = 0;
    }
    return ::CallWindowProcA(dialogManager, hwnd, msg, wParam, lParam);
}

INT_PTR CALLBACK Dialog::StaticDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Dialog *self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog *>(lParam);
        self->m_hWnd = hwnd;
        ::SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<Dialog *>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    if (!self)
        return FALSE;
    const INT_PTR result = self->DialogProc(msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        ForgetModeless(hwnd);
        ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
    }
    return result;
}

INT_PTR Dialog::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG)
        return OnInitDialog();
    LRESULT result = 0;
    if (OnMessage(msg, wParam, lParam, result)) {
        if (ReturnsResultDirectly(msg))
            return static_cast<INT_PTR>(result);
        ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
    }
    return FALSE;
}
