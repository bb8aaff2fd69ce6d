// Filling a pane's tree and list with their drawing held back: each control ends
// shown or hidden as it was, drawing again, with every row in place.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "model/location_tree.h"
#include "res/resource.h"
#include "tests/app/main_window_controls.h"
#include "tests/app/pane_test_support.h"

namespace {

void AddNode(FileNode* parent, const wchar_t* name, bool folder, DiffState state) {
    NodeRecord record = {};
    lstrcpynW(record.name, name, kMaxNameUnits);
    record.attributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    record.state = state;
    AddChildNode(&record, parent);
}

// Shown, by its own style: turning a control's drawing back on may set the style.
bool Shown(const CWnd& control) { return (GetWindowLongW(control.m_hWnd, GWL_STYLE) & WS_VISIBLE) != 0; }

// A list drawing again has fitted its scroll bar to its rows; one left with drawing
// off keeps the range it had when it was turned off.
bool ScrollsOverAllRows(const CListCtrl& list) {
    SCROLLINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE;
    if (!GetScrollInfo(list.m_hWnd, SB_VERT, &info)) return false;
    return info.nMax - info.nMin + 1 >= list.GetItemCount() && static_cast<int>(info.nPage) < list.GetItemCount();
}

class PaneFillTest : public PaneTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(BackgroundOpsInit(&g_backgroundOps));
        const wchar_t* names[] = {L"Left", L"Right"};
        for (int slot = 0; slot < 2; ++slot) {
            LocationTree* tree = g_backgroundOps.slots[slot].tree;
            lstrcpyW(tree->displayName, names[slot]);
            lstrcpyW(tree->description, names[slot]);
            for (int index = 0; index < 150; ++index) {
                AddNode(tree->root, (L"file " + std::to_wstring(index)).c_str(), false, DiffNew);
                AddNode(tree->root, (L"folder " + std::to_wstring(index)).c_str(), true, DiffModified);
            }
        }
    }

    static void ExpectPane(CQuillmarDlg& dialog, int pane, bool shown) {
        EXPECT_EQ(Shown(TreeOf(dialog, pane)), shown) << "pane " << pane;
        EXPECT_EQ(Shown(ListOf(dialog, pane)), shown) << "pane " << pane;
        EXPECT_EQ(ListOf(dialog, pane).GetItemCount(), 300) << "pane " << pane;
        EXPECT_EQ(ChildTexts(TreeOf(dialog, pane), TreeOf(dialog, pane).GetRootItem()).size(), 150u) << "pane " << pane;
        if (shown) {
            EXPECT_TRUE(ScrollsOverAllRows(ListOf(dialog, pane))) << "pane " << pane;
        }
    }
};

TEST_F(PaneFillTest, ShownPanesStayShownAndAHiddenPaneStaysHidden) {
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        dialog.ShowAnalysedPair();
        ExpectPane(dialog, 0, true);
        ExpectPane(dialog, 1, true);

        TabOf(dialog).SetCurSel(0);
        SendCommand(dialog, ID_VIEW_SINGLEVIEW);
        for (int pane : {1, 0}) dialog.RefreshPane(pane);
        ExpectPane(dialog, 0, true);
        ExpectPane(dialog, 1, false);

        // The hidden pane filled again, then shown: its rows are there and it draws.
        dialog.ShowAnalysedPair();
        ExpectPane(dialog, 1, false);
        SendCommand(dialog, ID_VIEW_DOUBLEVIEW);
        ExpectPane(dialog, 0, true);
        ExpectPane(dialog, 1, true);
        EXPECT_TRUE(m_boxes.boxes.empty());
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

// A folder listed again with fewer rows than room was made for shows only its own rows.
TEST_F(PaneFillTest, AListFilledAgainHoldsOnlyTheNewRows) {
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        dialog.ShowAnalysedPair();
        dialog.m_filterMask = kShowAllStates & ~0x0F;  // folders only
        dialog.RefreshPane(0);
        std::vector<std::wstring> names = RowNames(ListOf(dialog, 0));
        ASSERT_EQ(names.size(), 150u);
        for (const std::wstring& name : names) EXPECT_EQ(name.rfind(L"folder ", 0), 0u) << std::string(name.begin(), name.end());
        EXPECT_TRUE(Shown(ListOf(dialog, 0)));
        EXPECT_TRUE(ScrollsOverAllRows(ListOf(dialog, 0)));
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

}  // namespace
