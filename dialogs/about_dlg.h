#pragma once
// The About box: title, version, and two links that open in the web browser.
#include <windows.h>

#include "framework/controls.h"
#include "framework/dialog.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    void OnMakerLinkClick(NMHDR* header, LRESULT* result);
    void OnIconsLinkClick(NMHDR* header, LRESULT* result);

    DECLARE_MESSAGE_MAP()

private:
    void OpenLink(const CLinkCtrl& link);

    CLinkCtrl m_makerLink;
    CLinkCtrl m_iconsLink;
};

// The call that opens an address or a file, for the About box's links and the main
// window's Help; tests swap in one that records it. Null restores ShellExecuteW.
typedef HINSTANCE(WINAPI* ShellExecuteFunction)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
void SetAboutShellExecute(ShellExecuteFunction execute);
// Opens `target`, a web address or a file, as a double click would, through that call.
HINSTANCE ShellOpen(HWND owner, const wchar_t* target);
