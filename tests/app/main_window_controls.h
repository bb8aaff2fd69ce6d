#pragma once
// The main window's controls as a test reaches them: through their ids, like
// any tool that drives the window from outside.
#include <windows.h>

#include "app/quillmar_dlg.h"
#include "framework/controls.h"
#include "res/resource.h"
#include "tests/framework/window_test.h"

inline ControlById<CTabCtrl> TabOf(const CQuillmarDlg& dialog) { return {dialog.m_hWnd, IDC_TAB}; }

inline ControlById<CTreeCtrl> TreeOf(const CQuillmarDlg& dialog, int pane) {
    return {dialog.m_hWnd, pane == 0 ? IDC_TREE1 : IDC_TREE2};
}

inline ControlById<CListCtrl> ListOf(const CQuillmarDlg& dialog, int pane) {
    return {dialog.m_hWnd, pane == 0 ? IDC_LIST1 : IDC_LIST2};
}

inline ControlById<CEdit> PathEditOf(const CQuillmarDlg& dialog, int pane) {
    return {dialog.m_hWnd, pane == 0 ? IDC_PATH1 : IDC_PATH2};
}

// The toolbar has the id of the first control bar.
inline ControlById<CToolBar> ToolBarOf(const CQuillmarDlg& dialog) { return {dialog.m_hWnd, AFX_IDW_TOOLBAR}; }
