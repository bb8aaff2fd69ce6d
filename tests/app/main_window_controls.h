#pragma once
// The main window's controls as a test reaches them: through their ids, like
// any tool that drives the window from outside. Each call hands out a wrapper
// of this thread's for the current window; wrappers own nothing.
#include <windows.h>

#include "app/quillmar_dlg.h"
#include "framework/controls.h"
#include "res/resource.h"

namespace main_window_controls {

template <class Control>
Control& Attached(Control& control, const CQuillmarDlg& dialog, int id) {
    control.m_hWnd = ::GetDlgItem(dialog.m_hWnd, id);
    return control;
}

}  // namespace main_window_controls

inline CTabCtrl& TabOf(const CQuillmarDlg& dialog) {
    thread_local CTabCtrl tab;
    return main_window_controls::Attached(tab, dialog, IDC_TAB);
}

inline CTreeCtrl& TreeOf(const CQuillmarDlg& dialog, int pane) {
    thread_local CTreeCtrl trees[kPaneCount];
    return main_window_controls::Attached(trees[pane], dialog, pane == 0 ? IDC_TREE1 : IDC_TREE2);
}

inline CListCtrl& ListOf(const CQuillmarDlg& dialog, int pane) {
    thread_local CListCtrl lists[kPaneCount];
    return main_window_controls::Attached(lists[pane], dialog, pane == 0 ? IDC_LIST1 : IDC_LIST2);
}

inline CEdit& PathEditOf(const CQuillmarDlg& dialog, int pane) {
    thread_local CEdit edits[kPaneCount];
    return main_window_controls::Attached(edits[pane], dialog, pane == 0 ? IDC_PATH1 : IDC_PATH2);
}

// The toolbar has the id of the first control bar.
inline CToolBar& ToolBarOf(const CQuillmarDlg& dialog) {
    thread_local CToolBar toolBar;
    return main_window_controls::Attached(toolBar, dialog, AFX_IDW_TOOLBAR);
}
