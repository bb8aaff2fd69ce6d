#pragma once
// Modal dialogs from templates. One dialog procedure serves every CDialog and
// dispatches through the object's message map; a WM_COMMAND that no row of the
// dialog takes goes on to the application object's map, and whatever is still
// not taken goes to the system's default dialog processing.
#include <windows.h>

#include <vector>

#include "framework/wnd.h"

class CDialog;

// Passed to DoDataExchange. The program binds controls only, so the direction
// flag is carried for the derived classes that care.
struct CDataExchange {
    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Gives `control` the handle of the dialog's child `id`.
void DDX_Control(CDataExchange* exchange, int id, CWnd& control);

class CDialog : public CWnd {
public:
    // `parent` null: the application's main window owns the dialog, unless this is it.
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override = default;

    // Runs the dialog's own loop until EndDialog; returns the EndDialog result,
    // or -1 when the dialog could not be created.
    virtual INT_PTR DoModal();
    void EndDialog(int result) { ::EndDialog(m_hWnd, result); }

    // Binds the controls through DoDataExchange; returns TRUE so the system sets the focus.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* exchange);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // IDOK: UpdateData, then EndDialog(IDOK). IDCANCEL: EndDialog(IDCANCEL).
    virtual void OnOK();
    virtual void OnCancel();

    void BindControl(int id, CWnd& control);

    // Gives `control` the focus the way the dialog manager does on Tab, through
    // WM_NEXTDLGCTL: a push button given the focus also becomes the default one.
    // A dialog moves the focus so before it disables the control that holds it,
    // which would otherwise leave the focus nowhere and Enter and Escape unheard.
    void GotoDlgCtrl(const CWnd& control);

    UINT GetTemplateId() const { return m_templateId; }

protected:
    UINT m_templateId;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    std::vector<CWnd*> m_boundControls;  // their handles are cleared when the dialog goes
};
