// Analysed locations in the panes, read from the analysis trees in memory
// (never from the disk), and the sequences that switch both panes into and out
// of showing an analysed pair.
#include "analysis/background_ops.h"
#include "app/pane_rows.h"
#include "app/quillmar_dlg.h"

void CQuillmarDlg::ResetPanes() {
    for (int pane = 0; pane < kPaneCount; ++pane) m_paneMode[pane] = PaneMode::Empty;
    for (int pane = 0; pane < kPaneCount; ++pane) {
        m_tree[pane].SelectItem(nullptr);
        m_tree[pane].DeleteAllItems();
        m_list[pane].DeleteAllItems();
    }
    for (int pane = 0; pane < kPaneCount; ++pane) {
        m_path[pane].clear();
        m_location[pane] = nullptr;
    }
    for (int pane = 0; pane < kPaneCount; ++pane) UpdatePaneCaption(pane);
}

void CQuillmarDlg::ShowLocationRoot(int pane, LocationTree* location) {
    m_tree[pane].SelectItem(nullptr);
    m_tree[pane].DeleteAllItems();
    m_list[pane].DeleteAllItems();
    if (location == nullptr) return;
    HTREEITEM root = InsertTreeItem(m_tree[pane], TVI_ROOT, location->displayName, kIdenticalFolderImage);
    if (root != nullptr) InsertPlaceholder(m_tree[pane], root);
}

void CQuillmarDlg::ShowAnalysedPair() {
    for (int pane = 0; pane < kPaneCount; ++pane) {
        m_paneMode[pane] = PaneMode::AnalyzedLocation;
        m_path[pane].clear();
        m_location[pane] = g_backgroundOps.slots[pane].tree;
    }
    for (int pane = 0; pane < kPaneCount; ++pane) UpdatePaneCaption(pane);
    for (int pane = 0; pane < kPaneCount; ++pane) ShowLocationRoot(pane, m_location[pane]);
    for (int pane = 0; pane < kPaneCount; ++pane) {
        HTREEITEM root = m_tree[pane].GetRootItem();
        if (root != nullptr) m_tree[pane].SelectItem(root);
    }
    for (int pane = 0; pane < kPaneCount; ++pane) RefreshPane(pane);
}

void CQuillmarDlg::ShowVolumesForSynchronize() {
    ResetPanes();
    for (int pane = 0; pane < kPaneCount; ++pane) {
        m_paneMode[pane] = PaneMode::LogicalVolumes;
        m_path[pane].clear();
        UpdatePaneCaption(pane);
        ShowVolumes(pane);
    }
}
