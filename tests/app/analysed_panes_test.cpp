// Analysed locations in the real main window: trees made with the location
// model's own operations, shown from memory with state images and the filter.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "model/location_tree.h"
#include "res/resource.h"
#include "tests/app/pane_test_support.h"
#include "tests/app/main_window_controls.h"

namespace {

FileNode* Add(FileNode* parent, const wchar_t* name, bool folder, DiffState state) {
    NodeRecord record = {};
    lstrcpynW(record.name, name, kMaxNameUnits);
    record.attributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    record.state = state;
    record.size = 42;
    return AddChildNode(&record, parent);
}

// The record as an analysis leaves it: pane 0's location has a New folder with
// a ".." entry, a sub-folder and a file, a Missing file, a Modified folder and
// an Unknown file; pane 1's location is the mirror image.
class AnalysedPanesTest : public PaneTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(BackgroundOpsInit(&g_backgroundOps));
        const wchar_t* names[] = {L"Left", L"Right"};
        for (int slot = 0; slot < 2; ++slot) {
            LocationTree* tree = g_backgroundOps.slots[slot].tree;
            lstrcpyW(tree->displayName, names[slot]);
            lstrcpyW(tree->description, (std::wstring(L"Differences on ") + names[slot]).c_str());
            FileNode* root = tree->root;
            Add(root, L"odd.bin", false, DiffUnknown);
            Add(root, L"gone.txt", false, slot == 0 ? DiffMissing : DiffNew);
            Add(root, L"changed", true, DiffModified);
            FileNode* fresh = Add(root, L"Fresh", true, slot == 0 ? DiffNew : DiffMissing);
            Add(fresh, L"inside.txt", false, slot == 0 ? DiffNew : DiffMissing);
            Add(fresh, L"deep", true, slot == 0 ? DiffNew : DiffMissing);
            Add(fresh, L"..", true, slot == 0 ? DiffNew : DiffMissing);
        }
    }
};

void DoubleClickRow(CQuillmarDlg& dialog, int pane, const wchar_t* name) {
    SelectRows(ListOf(dialog, pane), {RowIndex(ListOf(dialog, pane), name)});
    SendNotify(dialog.m_hWnd, pane == 0 ? IDC_LIST1 : IDC_LIST2, NM_DBLCLK);
}

TEST_F(AnalysedPanesTest, AfterAnAnalysisBothRootsAreExpandedSelectedAndListedByState) {
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        dialog.ShowAnalysedPair();
        for (int pane = 0; pane < kPaneCount; ++pane) {
            EXPECT_EQ(dialog.m_panes[pane].mode, PaneMode::AnalyzedLocation);
            EXPECT_EQ(dialog.m_panes[pane].location, g_backgroundOps.slots[pane].tree);
            HTREEITEM root = TreeOf(dialog, pane).GetRootItem();
            ASSERT_NE(root, nullptr);
            EXPECT_EQ(TreeOf(dialog, pane).GetSelectedItem(), root);
            EXPECT_TRUE(IsExpanded(TreeOf(dialog, pane), root));
            EXPECT_EQ(ItemImage(TreeOf(dialog, pane), root), 7);
            EXPECT_EQ(ChildTexts(TreeOf(dialog, pane), root), (std::vector<std::wstring>{L"changed", L"Fresh"}));
            HTREEITEM fresh = TreeOf(dialog, pane).GetNextSiblingItem(TreeOf(dialog, pane).GetChildItem(root));
            EXPECT_EQ(ChildTexts(TreeOf(dialog, pane), fresh), std::vector<std::wstring>{L".."}) << "deep is below";
            EXPECT_EQ(ItemImage(TreeOf(dialog, pane), TreeOf(dialog, pane).GetChildItem(root)), 5);
        }
        EXPECT_EQ(TabOf(dialog).GetItemText(0), L"Differences on Left");
        EXPECT_EQ(TabOf(dialog).GetItemText(1), L"Differences on Right");
        EXPECT_EQ(dialog.m_panes[0].path, L"Left\\");
        EXPECT_EQ(PathEditOf(dialog, 1).GetWindowText(), L"Right\\");

        // Unknown is never listed; folders first; images by state.
        std::vector<ListRow> left = ListRows(ListOf(dialog, 0));
        ASSERT_EQ(left.size(), 3u);
        EXPECT_EQ(left[0].name, L"changed");
        EXPECT_EQ(left[0].image, 5);
        EXPECT_EQ(left[1].name, L"Fresh");
        EXPECT_EQ(left[1].image, 6);
        EXPECT_EQ(left[2].name, L"gone.txt");
        EXPECT_EQ(left[2].image, 0);
        EXPECT_EQ(left[2].size, L"42");
        EXPECT_EQ(ItemImage(TreeOf(dialog, 1), TreeOf(dialog, 1).GetNextSiblingItem(
                                                   TreeOf(dialog, 1).GetChildItem(TreeOf(dialog, 1).GetRootItem()))),
                  4);
        EXPECT_EQ(ListRows(ListOf(dialog, 1))[2].image, 2);

        // Into a folder and back up by its ".." row.
        DoubleClickRow(dialog, 0, L"Fresh");
        EXPECT_EQ(dialog.m_panes[0].path, L"Left\\Fresh\\");
        std::vector<ListRow> fresh = ListRows(ListOf(dialog, 0));
        ASSERT_EQ(fresh.size(), 3u);
        EXPECT_EQ(fresh[0].name, L"..");
        EXPECT_EQ(fresh[0].image, 6);
        EXPECT_EQ(fresh[1].name, L"deep");
        EXPECT_EQ(fresh[2].image, 2);
        DoubleClickRow(dialog, 0, L"..");
        EXPECT_EQ(dialog.m_panes[0].path, L"Left\\");
        EXPECT_TRUE(m_boxes.boxes.empty());
        SendCommand(dialog, ID_FILE_EXIT);
    }});
    EXPECT_FALSE(BackgroundOpsIsValid(&g_backgroundOps)) << "closing the window releases the analysis";
}

TEST_F(AnalysedPanesTest, RefreshRebuildsFromMemoryWithTheFilter) {
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        dialog.ShowAnalysedPair();
        DoubleClickRow(dialog, 0, L"Fresh");
        // Only the tree in memory counts: a node added there shows after Refresh.
        Add(FindNodeByPath(g_backgroundOps.slots[0].tree, L"Left\\Fresh\\"), L"added.txt", false, DiffNew);
        SendCommand(dialog, ID_VIEW_REFRESH);
        EXPECT_EQ(dialog.m_panes[0].path, L"Left\\Fresh\\");
        EXPECT_EQ(RowNames(ListOf(dialog, 0)), (std::vector<std::wstring>{L"..", L"deep", L"added.txt", L"inside.txt"}));

        // Files only: folders vanish from tree and list, and the shown folder with them.
        dialog.m_filterMask = 0x0F;
        dialog.RefreshPane(0);
        EXPECT_EQ(TreeOf(dialog, 0).GetSelectedItem(), nullptr);
        EXPECT_EQ(dialog.m_panes[0].path, L"");
        dialog.m_panes[0].path = L"Left\\";
        dialog.RefreshPane(0);
        EXPECT_EQ(RowNames(ListOf(dialog, 0)), std::vector<std::wstring>{L"gone.txt"});
        EXPECT_EQ(ChildTexts(TreeOf(dialog, 0), TreeOf(dialog, 0).GetRootItem()), std::vector<std::wstring>{});

        // Nothing at all: the root stays, without content.
        dialog.m_filterMask = 0;
        dialog.RefreshPane(0);
        HTREEITEM root = TreeOf(dialog, 0).GetRootItem();
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(TreeOf(dialog, 0).GetSelectedItem(), root);
        EXPECT_EQ(TreeOf(dialog, 0).GetChildItem(root), nullptr);
        EXPECT_EQ(ListOf(dialog, 0).GetItemCount(), 0);
        EXPECT_TRUE(m_boxes.boxes.empty());
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

TEST_F(AnalysedPanesTest, LeavingTheAnalysisDropsBothPanesTogether) {
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        dialog.ShowAnalysedPair();
        TabOf(dialog).SetCurSel(1);
        SendCommand(dialog, ID_FILE_OPENLOGICALVOLUMES);
        EXPECT_EQ(dialog.m_panes[0].mode, PaneMode::Empty);
        EXPECT_EQ(TabOf(dialog).GetItemText(0), L"Empty");
        EXPECT_EQ(TreeOf(dialog, 0).GetCount(), 0u);
        EXPECT_EQ(dialog.m_panes[1].mode, PaneMode::LogicalVolumes);
        EXPECT_EQ(TabOf(dialog).GetItemText(1), L"Logical Volumes");
        EXPECT_NE(TreeOf(dialog, 1).GetRootItem(), nullptr);
        EXPECT_EQ(dialog.m_panes[0].location, nullptr);
        EXPECT_EQ(dialog.m_panes[1].location, nullptr);

        dialog.ShowAnalysedPair();
        dialog.ResetPanes();
        for (int pane = 0; pane < kPaneCount; ++pane) {
            EXPECT_EQ(TabOf(dialog).GetItemText(pane), L"Empty");
            EXPECT_EQ(TreeOf(dialog, pane).GetCount(), 0u);
            EXPECT_EQ(ListOf(dialog, pane).GetItemCount(), 0);
        }

        dialog.ShowAnalysedPair();
        dialog.ShowVolumesForSynchronize();
        for (int pane = 0; pane < kPaneCount; ++pane) {
            EXPECT_EQ(dialog.m_panes[pane].mode, PaneMode::LogicalVolumes);
            EXPECT_EQ(TabOf(dialog).GetItemText(pane), L"Logical Volumes");
            EXPECT_NE(TreeOf(dialog, pane).GetRootItem(), nullptr);
            EXPECT_EQ(TreeOf(dialog, pane).GetSelectedItem(), nullptr);
            EXPECT_EQ(dialog.m_panes[pane].path, L"");
        }
        EXPECT_TRUE(BackgroundOpsIsValid(&g_backgroundOps)) << "the synchronization still reads the trees";
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

}  // namespace
