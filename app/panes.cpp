// Pane modes and captions, the two view modes, the layout and the active pane.
#include <algorithm>

#include "app/quillmar_dlg.h"
#include "framework/win_app.h"
#include "res/resource.h"

namespace {

const int kTooltipUnits = 64;

}  // namespace

void CQuillmarDlg::UpdatePaneCaption(int pane) {
    m_panes[pane].pathEdit.SetWindowText(m_panes[pane].path.c_str());
    const wchar_t* caption = L"";
    switch (m_panes[pane].mode) {
    case PaneMode::LogicalVolumes:
        caption = L"Logical Volumes";
        break;
    case PaneMode::AnalyzedLocation:
        if (m_panes[pane].location != nullptr) caption = m_panes[pane].location->description;
        break;
    case PaneMode::Empty:
        caption = L"Empty";
        break;
    }
    m_tab.SetItemText(pane, caption);
}

void CQuillmarDlg::ShowPane(int pane, bool show) {
    int command = show ? SW_SHOW : SW_HIDE;
    m_panes[pane].pathEdit.ShowWindow(command);
    m_panes[pane].tree.ShowWindow(command);
    m_panes[pane].list.ShowWindow(command);
}

void CQuillmarDlg::SetViewMode(ViewMode mode) {
    if (mode == ViewMode::Double) {
        m_singleView = 0;
        ShowPane(0, true);
        ShowPane(1, true);
        return;
    }
    m_singleView = 1;
    int selected = m_tab.GetCurSel();
    if (selected == 0 || selected == 1) {
        ShowPane(1 - selected, false);
        ShowPane(selected, true);
    }
}

void CQuillmarDlg::LayoutControls() {
    for (const Pane& each : m_panes) {
        if (!each.tree.HasWindow() || !each.list.HasWindow()) return;  // resizes during the dialog's creation
    }
    if (!m_tab.HasWindow()) return;
    RECT client;
    GetClientRect(&client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;

    m_tab.MoveWindow(RECT{4, 39, width - 4, height - 4});
    m_tab.SetItemSize(SIZE{(width - 8) / 2 - 2, 30});

    const int m = width - 30;
    const int half = m / 2;
    const int top = 111;
    const int bottom = height - 14;
    if (m_singleView) {
        const int t = (33 * m) / 100;
        for (int pane = 0; pane < kPaneCount; ++pane) {
            m_panes[pane].tree.MoveWindow(RECT{14, top, 14 + t, bottom});
            m_panes[pane].list.MoveWindow(RECT{t + 19, top, width - 16, bottom});
        }
    } else {
        const int t = (33 * half) / 100;
        m_panes[0].tree.MoveWindow(RECT{14, top, 14 + t, bottom});
        m_panes[1].tree.MoveWindow(RECT{half + 19, top, half + 19 + t, bottom});
        m_panes[0].list.MoveWindow(RECT{t + 19, top, half + 9, bottom});
        m_panes[1].list.MoveWindow(RECT{half + t + 24, top, 2 * half + 14, bottom});
    }
    m_panes[0].pathEdit.MoveWindow(RECT{14, 81, half + 9, 101});
    m_panes[1].pathEdit.MoveWindow(RECT{half + 19, 81, 2 * half + 14, 101});
}

void CQuillmarDlg::CheckViewMenuItem(UINT checkedId, UINT uncheckedId) {
    HMENU menu = GetMenu();
    if (menu == nullptr) return;
    CheckMenuItem(menu, uncheckedId, MF_BYCOMMAND | MF_UNCHECKED);
    CheckMenuItem(menu, checkedId, MF_BYCOMMAND | MF_CHECKED);
}

void CQuillmarDlg::OnSingleView() {
    CheckViewMenuItem(ID_VIEW_SINGLEVIEW, ID_VIEW_DOUBLEVIEW);
    m_toolBar.SetButtonInfo(kViewToolButton, ID_VIEW_DOUBLEVIEW, BTNS_BUTTON, 6);
    SetViewMode(ViewMode::Single);
    LayoutControls();
}

void CQuillmarDlg::OnDoubleView() {
    CheckViewMenuItem(ID_VIEW_DOUBLEVIEW, ID_VIEW_SINGLEVIEW);
    m_toolBar.SetButtonInfo(kViewToolButton, ID_VIEW_SINGLEVIEW, BTNS_BUTTON, 5);
    SetViewMode(ViewMode::Double);
    LayoutControls();
}

void CQuillmarDlg::OnTabSelectionChanged(NMHDR*, LRESULT* result) {
    int selected = m_tab.GetCurSel();
    if (selected == 0 || selected == 1) {
        if (m_singleView) {
            ShowPane(1 - selected, false);
            ShowPane(selected, true);
        } else {
            m_panes[selected].list.SetFocus();
        }
    }
    *result = 0;
}

// Selecting the tab by message raises no TCN_SELCHANGE, so the focus stays put.
void CQuillmarDlg::ActivatePaneOnFocus(int pane) {
    if (!m_singleView) m_tab.SetCurSel(pane);
}

int CQuillmarDlg::PaneOfControl(UINT id) {
    return id == IDC_TREE1 || id == IDC_LIST1 || id == IDC_PATH1 ? 0 : 1;
}

void CQuillmarDlg::OnPaneControlFocus(UINT id, NMHDR*, LRESULT* result) {
    ActivatePaneOnFocus(PaneOfControl(id));
    *result = 0;
}

void CQuillmarDlg::OnPathFocus(UINT id) { ActivatePaneOnFocus(PaneOfControl(id)); }

BOOL CQuillmarDlg::OnToolTipText(UINT, NMHDR* header, LRESULT* result) {
    NMTTDISPINFOW* request = reinterpret_cast<NMTTDISPINFOW*>(header);
    UINT_PTR id = header->idFrom;
    if (request->uFlags & TTF_IDISHWND) id = static_cast<UINT_PTR>(::GetDlgCtrlID(reinterpret_cast<HWND>(id)));
    *result = 0;
    if (id == 0) return FALSE;
    wchar_t text[kTooltipUnits] = L"";
    if (LoadStringW(AfxGetResourceHandle(), static_cast<UINT>(id), text, kTooltipUnits) <= 0) text[0] = L'\0';
    lstrcpynW(request->szText, text, kTooltipUnits);
    request->lpszText = request->szText;
    return TRUE;
}
