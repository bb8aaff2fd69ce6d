// The modal dialogs that the main window's commands open: each is filled,
// run, and read.
#include "analysis/ui/analyze_dlg.h"
#include "app/quillmar_dlg.h"
#include "dialogs/about_dlg.h"
#include "dialogs/filters_dlg.h"
#include "sync/ui/synchronize_dlg.h"

void CQuillmarDlg::RunAnalyzeDialog() {
    CAnalyzeDlg dialog(this);
    for (int pane = 0; pane < kPaneCount; ++pane) {
        dialog.m_locations[pane].path = m_panes[pane].path;
        dialog.m_locations[pane].live = m_panes[pane].mode == PaneMode::LogicalVolumes;
    }
    dialog.DoModal();
}

void CQuillmarDlg::RunSynchronizeDialog() {
    CSynchronizeDlg dialog(this);
    // The active pane's location is the current one; without a selection, the second.
    dialog.m_currentLocation = ActivePane() == 0 ? 0 : 1;
    dialog.m_treePath = m_panes[dialog.m_currentLocation].path;
    // The window gives the focus back to the control that had it when the dialog
    // ends. After a run the panes are reset, and a tree that gets the focus with
    // nothing selected selects its first volume; the tab control takes it instead.
    HWND focused = ::GetFocus();
    m_tab.SetFocus();
    if (dialog.DoModal() != kSynchronizeRan && focused != nullptr && ::IsWindow(focused)) ::SetFocus(focused);
}

INT_PTR CQuillmarDlg::RunFiltersDialog() {
    CFiltersDlg dialog;
    dialog.m_mask = m_filterMask;
    INT_PTR result = dialog.DoModal();
    if (result == IDOK) m_filterMask = dialog.m_mask;
    return result;
}

void CQuillmarDlg::RunAboutDialog() {
    CAboutDlg dialog;
    dialog.DoModal();
}
