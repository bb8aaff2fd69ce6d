// Analysed locations in the panes, read from the analysis trees in memory
// (never from the disk), and the sequences that switch both panes into and out
// of showing an analysed pair.
#include "analysis/background_ops.h"
#include "app/pane_rows.h"
#include "app/quillmar_dlg.h"

void CQuillmarDlg::ResetPanes() {
    for (int pane = 0; pane < kPaneCount; ++pane) m_panes[pane].mode = PaneMode::Empty;
    for (int pane = 0; pane < kPaneCount; ++pane) {
        m_panes[pane].tree.SelectItem(nullptr);
        m_panes[pane].tree.DeleteAllItems();
        m_panes[pane].list.DeleteAllItems();
    }
    for (int pane = 0; pane < kPaneCount; ++pane) {
        m_panes[pane].path.clear();
        m_panes[pane].location = nullptr;
    }
    for (int pane = 0; pane < kPaneCount; ++pane) UpdatePaneCaption(pane);
}

void CQuillmarDlg::ShowLocationRoot(int pane, LocationTree* location) {
    m_panes[pane].tree.SelectItem(nullptr);
    m_panes[pane].tree.DeleteAllItems();
    m_panes[pane].list.DeleteAllItems();
    if (location == nullptr) return;
    HTREEITEM root = InsertTreeItem(m_panes[pane].tree, TVI_ROOT, location->displayName, kIdenticalFolderImage);
    if (root != nullptr) InsertPlaceholder(m_panes[pane].tree, root);
}

void CQuillmarDlg::ShowAnalysedPair() {
    for (int pane = 0; pane < kPaneCount; ++pane) {
        m_panes[pane].mode = PaneMode::AnalyzedLocation;
        m_panes[pane].path.clear();
        m_panes[pane].location = g_backgroundOps.slots[pane].tree;
    }
    for (int pane = 0; pane < kPaneCount; ++pane) UpdatePaneCaption(pane);
    for (int pane = 0; pane < kPaneCount; ++pane) ShowLocationRoot(pane, m_panes[pane].location);
    for (int pane = 0; pane < kPaneCount; ++pane) {
        HTREEITEM root = m_panes[pane].tree.GetRootItem();
        if (root != nullptr) m_panes[pane].tree.SelectItem(root);
    }
    for (int pane = 0; pane < kPaneCount; ++pane) RefreshPane(pane);
}

void CQuillmarDlg::ShowVolumesForSynchronize() {
    ResetPanes();
    for (int pane = 0; pane < kPaneCount; ++pane) {
        m_panes[pane].mode = PaneMode::LogicalVolumes;
        m_panes[pane].path.clear();
        UpdatePaneCaption(pane);
        ShowVolumes(pane);
    }
}
