#include "framework/dialog.h"

#include "framework/win_app.h"

namespace {

// The dialog whose window is being created on this thread: its procedure meets
// the window before WM_INITDIALOG (WM_SETFONT, resizes during creation).
thread_local CDialog* t_dialogBeingCreated = nullptr;

// Messages whose result a dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
    switch (message) {
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
    case WM_INITDIALOG:
        return true;
    }
    return false;
}

}  // namespace

void DDX_Control(CDataExchange* exchange, int id, CWnd& control) { exchange->m_pDlgWnd->BindControl(id, control); }

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_pParentWnd(parent) {}

INT_PTR CDialog::DoModal() {
    HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
    if (owner == nullptr) {
        CWnd* main = AfxGetMainWnd();
        if (main != nullptr && main != this) owner = main->m_hWnd;
    }
    ModalLoopFilter filter;  // lets the application's message filter see the loop's messages
    CDialog* outer = t_dialogBeingCreated;
    t_dialogBeingCreated = this;
    INT_PTR result = ::DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_templateId), owner, DialogProc,
                                       reinterpret_cast<LPARAM>(this));
    t_dialogBeingCreated = outer;
    return result;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange exchange = {this, saveAndValidate};
    DoDataExchange(&exchange);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::BindControl(int id, CWnd& control) {
    control.m_hWnd = ::GetDlgItem(m_hWnd, id);
    for (CWnd* bound : m_boundControls) {
        if (bound == &control) return;
    }
    m_boundControls.push_back(&control);
}

void CDialog::GotoDlgCtrl(const CWnd& control) {
    // lParam TRUE: wParam names the control, rather than a direction to tab in.
    if (control.m_hWnd != nullptr) SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control.m_hWnd), TRUE);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) {
        if (message == WM_INITDIALOG) {
            self = reinterpret_cast<CDialog*>(lParam);
        } else {
            self = t_dialogBeingCreated;
        }
        if (self == nullptr) return FALSE;
        t_dialogBeingCreated = nullptr;
        self->m_hWnd = window;
        ::SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    }
    if (message == WM_NCDESTROY) {
        for (CWnd* control : self->m_boundControls) control->m_hWnd = nullptr;
        self->m_boundControls.clear();
        self->m_hWnd = nullptr;
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        return FALSE;
    }
    // FALSE: the system's default dialog processing takes the message.
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        return FALSE;  // nothing may cross back into the system
    }
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return OnInitDialog();
    LRESULT result = 0;
    bool handled = DispatchToMessageMap(message, wParam, lParam, &result);
    if (!handled && message == WM_COMMAND) {
        // Commands the dialog does not take go on to the application object.
        CWinApp* app = AfxGetApp();
        if (app != nullptr) handled = app->DispatchToMessageMap(message, wParam, lParam, &result);
    }
    if (!handled) return FALSE;
    if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
    if (m_hWnd != nullptr) ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}
