#pragma once
// The main window: a modal dialog with the toolbar, one tab per location pane,
// and in each pane a folder tree, a content list and a read-only path box.
// A pane is addressed by its index: 0 is the first tab (tree 1001, list 1002,
// path box 1011), 1 the second (tree 1003, list 1004, path box 1012).
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>

#include "analysis/ui/analyze_dlg.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "model/location_tree.h"
#include "sync/ui/synchronize_dlg.h"

// What a pane shows.
enum class PaneMode : uint32_t {
    LogicalVolumes = 0,    // the live file system, rooted at the logical volumes
    AnalyzedLocation = 1,  // the pane's analysed tree with difference states
    Empty = 4,             // nothing
};

enum class ViewMode { Single, Double };

const int kPaneCount = 2;
const int kToolButtonCount = 9;
// The toolbar button that offers the view not shown.
const int kViewToolButton = 3;

// One location pane: what it shows, open to read and set like the window's
// other state, and its three controls, which only the window touches.
class Pane {
public:
    // The folder shown, ending in a backslash: a drive path in the logical
    // volumes, a tree path starting with the root's text in an analysis; empty for none.
    std::wstring path;
    LocationTree* location = nullptr;  // the analysed tree shown; the analysis record's
    PaneMode mode = PaneMode::LogicalVolumes;

private:
    friend class CQuillmarDlg;
    CTreeCtrl tree;
    CListCtrl list;
    CEdit pathEdit;
};

class CQuillmarDlg : public CDialog, public AnalyzeDlgOwner, public SynchronizeDlgOwner {
public:
    CQuillmarDlg();
    ~CQuillmarDlg() override;

    // Pane operations. No other dialog calls them: the Analyze and Synchronize
    // dialogs reach the main window only through the owner interfaces above, and
    // the launchers (dialog_launchers.cpp) fill every dialog and read it back.
    void UpdatePaneCaption(int pane);
    void SetViewMode(ViewMode mode);
    void LayoutControls();
    void ShowVolumes(int pane);
    void RefreshPane(int pane);
    void ResetPanes();
    void ShowLocationRoot(int pane, LocationTree* location);
    // The path of a tree item of the pane, ending in a backslash: a drive path in
    // the logical volumes, a tree path starting with the root's text in an analysis.
    std::wstring BuildItemPath(int pane, HTREEITEM item) const;
    // After a finished analysis: both panes show the two trees of the analysis
    // record, each root expanded and selected.
    void ShowAnalysedPair() override;
    // At the start of a synchronization: both panes back to the logical volumes,
    // nothing selected.
    void ShowVolumesForSynchronize() override;
    // The tab control's selection: 0, 1, or -1 with none.
    int ActivePane() const { return m_tab.GetCurSel(); }

    HICON m_hIcon;
    TBBUTTON m_toolButtons[kToolButtonCount];
    CImageList m_itemImages;
    CImageList m_toolImages;
    CImageList m_toolHotImages;
    CImageList m_toolDisabledImages;
    Pane m_panes[kPaneCount];  // by pane index
    StateFilterMask m_filterMask;
    uint8_t m_singleView;

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;

    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnEnterPressed();
    void OnCancelCommand();
    void OnClose();
    void OnExit();
    void OnAbout();
    void OnSize(UINT type, int cx, int cy);
    void OnShowWindow(BOOL show, UINT status);
    void OnTabSelectionChanged(NMHDR* header, LRESULT* result);
    void OnTreeExpanding(UINT id, NMHDR* header, LRESULT* result);
    void OnTreeSelectionChanged(UINT id, NMHDR* header, LRESULT* result);
    void OnListDoubleClick(UINT id, NMHDR* header, LRESULT* result);
    void OnTabRightClick(NMHDR* header, LRESULT* result);
    void OnOpenLogicalVolumes();
    void OnRefresh();
    void OnAnalyzeDifferences();
    void OnFilters();
    void OnSynchronize();
    void OnHelpPage();
    BOOL OnToolTipText(UINT id, NMHDR* header, LRESULT* result);
    void OnPaneControlFocus(UINT id, NMHDR* header, LRESULT* result);
    void OnPathFocus(UINT id);
    void OnSingleView();
    void OnDoubleView();

    DECLARE_MESSAGE_MAP()

private:
    // The controls: the other dialogs and the tests reach them only through the window.
    CToolBar m_toolBar;
    CTabCtrl m_tab;

    void CreateToolBar();
    void MakeRoomForToolBar();
    void CreateItemImages();
    void InsertListColumns(int pane);
    void ShowPane(int pane, bool show);
    void ActivatePaneOnFocus(int pane);
    // The pane whose tree, list or path box has this id.
    static int PaneOfControl(UINT id);
    void CheckViewMenuItem(UINT checkedId, UINT uncheckedId);

    // Browsing (folder trees and lists of the live file system and of analyses).
    void ExpandFolder(int pane, NMTREEVIEWW* expanding);
    void FillList(int pane);
    void OpenListItem(int pane);
    void OpenLogicalVolumes();
    // A folder item's children, from the disk or from the analysed tree as the
    // pane shows; false (after an error box) when the folder cannot be listed.
    bool FillFolder(int pane, HTREEITEM item);
    // The list of the pane's folder: 0, or the error code with the list untouched.
    DWORD ListFolder(int pane);

    // The dialogs that the commands open.
    void RunAnalyzeDialog();
    void RunSynchronizeDialog();
    INT_PTR RunFiltersDialog();
    void RunAboutDialog();
};
