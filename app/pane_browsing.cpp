// Browsing the panes: the logical volumes, folder trees and content lists.
// The lists' columns are here; the volume and folder listings are not built yet,
// so the trees and lists stay empty.
#include "app/quillmar_dlg.h"

void CQuillmarDlg::InsertListColumns(int pane) {
    m_list[pane].InsertColumn(0, L"Name", LVCFMT_LEFT, 250);
    m_list[pane].InsertColumn(1, L"Date modified", LVCFMT_CENTER, 120);
    m_list[pane].InsertColumn(2, L"Size", LVCFMT_RIGHT, 90);
}

void CQuillmarDlg::ShowVolumes(int) {}

void CQuillmarDlg::RefreshPane(int) {}

void CQuillmarDlg::ExpandFolder(int, NMTREEVIEWW*) {}

void CQuillmarDlg::FillList(int) {}

void CQuillmarDlg::OpenListItem(int) {}

void CQuillmarDlg::OpenLogicalVolumes() {
    if (m_paneMode[0] == PaneMode::AnalyzedLocation || m_paneMode[1] == PaneMode::AnalyzedLocation) ResetPanes();
    int pane = ActivePane();
    if (pane != 0 && pane != 1) return;
    m_paneMode[pane] = PaneMode::LogicalVolumes;
    m_path[pane].clear();
    UpdatePaneCaption(pane);
    ShowVolumes(pane);
}
