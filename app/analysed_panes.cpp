// Analysed locations in the panes.
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

// The analysed display is not built yet: the pane stays empty.
void CQuillmarDlg::ShowLocationRoot(int) {}
