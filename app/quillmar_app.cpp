#include "app/quillmar_app.h"

#include <commctrl.h>

#include <clocale>

#include "app/quillmar_dlg.h"
#include "res/resource.h"

BEGIN_MESSAGE_MAP(CQuillmarApp, CWinApp)
    ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

BOOL CQuillmarApp::InitInstance() {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = 0xFF;
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();
    m_hAccel = LoadAcceleratorsW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_ACCELERATOR));
    SetRegistryKey(L"Brennock");
    setlocale(LC_ALL, "");
    {
        CQuillmarDlg dialog;
        m_pMainWnd = &dialog;
        dialog.DoModal();
        setlocale(LC_ALL, "C");
        m_pMainWnd = nullptr;
    }
    return FALSE;
}

BOOL CQuillmarApp::ProcessMessageFilter(int code, MSG* message) {
    if (code >= 0 && m_pMainWnd != nullptr && m_pMainWnd->m_hWnd != nullptr && m_hAccel != nullptr &&
        TranslateAcceleratorW(m_pMainWnd->m_hWnd, m_hAccel, message)) {
        return TRUE;
    }
    return CWinApp::ProcessMessageFilter(code, message);
}
