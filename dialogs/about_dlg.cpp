#include "dialogs/about_dlg.h"

#include <commctrl.h>
#include <shellapi.h>

#include "res/resource.h"

namespace {

ShellExecuteFunction g_shellExecute = ShellExecuteW;

}  // namespace

void SetAboutShellExecute(ShellExecuteFunction execute) { g_shellExecute = execute ? execute : ShellExecuteW; }

HINSTANCE ShellOpen(HWND owner, const wchar_t* target) {
    return g_shellExecute(owner, L"open", target, nullptr, nullptr, SW_SHOWNORMAL);
}

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
    ON_NOTIFY(NM_CLICK, IDC_ABOUT_MAKER_LINK, OnMakerLinkClick)
    ON_NOTIFY(NM_CLICK, IDC_ABOUT_ICONS_LINK, OnIconsLinkClick)
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

void CAboutDlg::DoDataExchange(CDataExchange* exchange) {
    CDialog::DoDataExchange(exchange);
    DDX_Control(exchange, IDC_ABOUT_MAKER_LINK, m_makerLink);
    DDX_Control(exchange, IDC_ABOUT_ICONS_LINK, m_iconsLink);
}

void CAboutDlg::OnMakerLinkClick(NMHDR*, LRESULT* result) {
    OpenLink(m_makerLink);
    *result = 0;
}

void CAboutDlg::OnIconsLinkClick(NMHDR*, LRESULT* result) {
    OpenLink(m_iconsLink);
    *result = 0;
}

void CAboutDlg::OpenLink(const CLinkCtrl& link) {
    // The first link's address, whatever part of the control was clicked.
    LITEM item = {};
    item.mask = LIF_ITEMINDEX | LIF_URL;
    item.iLink = 0;
    if (!link.SendMessage(LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item))) return;
    // Nothing tells the user when no browser opens.
    ShellOpen(m_hWnd, item.szUrl);
}
