// The panes over the live file system, in the real main window under Wine:
// volume roots, lazy expansion, content lists, opening rows and Refresh.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/app/pane_test_support.h"
#include "model/enumeration.h"
#include "model/system_error.h"
#include "res/resource.h"
#include "tests/support/temp_folder.h"
#include "tests/app/main_window_controls.h"
#include "tests/framework/notification_log.h"

namespace {

std::wstring TestDrive(const char* variable) {
    const char* drive = std::getenv(variable);
    if (drive == nullptr || drive[0] == 0) return std::wstring();
    return std::wstring{static_cast<wchar_t>(drive[0]), L':'};
}

HTREEITEM VolumeRoot(const CQuillmarDlg& dialog, int pane, const std::wstring& drive) {
    for (HTREEITEM root = TreeOf(dialog, pane).GetRootItem(); root; root = TreeOf(dialog, pane).GetNextSiblingItem(root)) {
        DWORD_PTR data = TreeOf(dialog, pane).GetItemData(root);
        if (static_cast<wchar_t>(data & 0xFFFF) == drive[0] && static_cast<wchar_t>(data >> 16) == L':') return root;
    }
    return nullptr;
}

// Shows `folder` in pane 0 the way Refresh walks to it.
void ShowFolder(CQuillmarDlg& dialog, const std::wstring& folder) {
    dialog.m_panes[0].path = folder;
    dialog.RefreshPane(0);
}

using PaneBrowsingTest = PaneTest;

TEST_F(PaneBrowsingTest, VolumesCarryTheirTypeOrLabelImageAndOnePlaceholder) {
    std::wstring empty = TestDrive("QUILLMAR_TEST_EMPTY_DRIVE");
    std::wstring unreachable = TestDrive("QUILLMAR_TEST_UNREACHABLE_DRIVE");
    if (empty.empty() || unreachable.empty()) GTEST_SKIP() << "the test drives are not mapped";
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        for (int pane = 0; pane < kPaneCount; ++pane) {
            for (HTREEITEM root = TreeOf(dialog, pane).GetRootItem(); root;
                 root = TreeOf(dialog, pane).GetNextSiblingItem(root)) {
                EXPECT_EQ(ChildTexts(TreeOf(dialog, pane), root), std::vector<std::wstring>{L".."});
            }
        }
        HTREEITEM root = VolumeRoot(dialog, 0, empty);
        ASSERT_NE(root, nullptr);
        wchar_t label[MAX_PATH + 1] = L"";
        GetVolumeInformationW((empty + L"\\").c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0);
        ASSERT_EQ(GetDriveTypeW((empty + L"\\").c_str()), UINT(DRIVE_FIXED));
        std::wstring expected = (label[0] ? std::wstring(label) + L" (" : std::wstring(L"Fixed Disk (")) + empty + L")";
        EXPECT_EQ(TreeOf(dialog, 0).GetItemText(root), expected);
        EXPECT_EQ(ItemImage(TreeOf(dialog, 0), root), 9);
        EXPECT_EQ(dialog.BuildItemPath(0, root), empty + L"\\");

        // The empty root opens to nothing and lists nothing.
        TreeOf(dialog, 0).Expand(root, TVE_EXPAND);
        EXPECT_EQ(TreeOf(dialog, 0).GetChildItem(root), nullptr);
        TreeOf(dialog, 0).SelectItem(root);
        EXPECT_EQ(dialog.m_panes[0].path, empty + L"\\");
        EXPECT_EQ(PathEditOf(dialog, 0).GetWindowText(), empty + L"\\");
        EXPECT_EQ(ListOf(dialog, 0).GetItemCount(), 0);

        // An optical drive without a medium is listed by its type; opening it
        // tells the system's reason and keeps the placeholder.
        ASSERT_EQ(GetDriveTypeW((unreachable + L"\\").c_str()), UINT(DRIVE_CDROM));
        HTREEITEM gone = VolumeRoot(dialog, 1, unreachable);
        ASSERT_NE(gone, nullptr);
        EXPECT_EQ(TreeOf(dialog, 1).GetItemText(gone), L"CD/DVD-ROM Drive (" + unreachable + L")");
        EXPECT_EQ(ItemImage(TreeOf(dialog, 1), gone), 8);
        DirEntryList* files = nullptr;
        DirEntryList* folders = nullptr;
        DWORD code = ListDirectory((unreachable + L"\\").c_str(), &files, &folders);
        ASSERT_NE(code, 0u);
        wchar_t reason[kSystemErrorUnits];
        FormatSystemError(code, reason);
        TreeOf(dialog, 1).Expand(gone, TVE_EXPAND);
        ASSERT_EQ(m_boxes.boxes.size(), 1u);
        EXPECT_EQ(m_boxes.boxes[0].text, reason);
        EXPECT_EQ(m_boxes.boxes[0].caption, L"Error");
        EXPECT_EQ(m_boxes.boxes[0].type & MB_ICONMASK, UINT(MB_ICONERROR));
        EXPECT_EQ(ChildTexts(TreeOf(dialog, 1), gone), std::vector<std::wstring>{L".."});
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

TEST_F(PaneBrowsingTest, ExpansionFillsOnceAndLaterExpansionsOnlyAddExpandButtons) {
    TempFolder folder;
    folder.MakeFolder(L"beta\\inner");
    folder.MakeFolder(L"Alpha");
    folder.MakeFile(L"file.txt");
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        ShowFolder(dialog, folder.Path());
        ControlById<CTreeCtrl> tree = TreeOf(dialog, 0);
        HTREEITEM item = tree.GetSelectedItem();
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(dialog.BuildItemPath(0, item), folder.Path());
        EXPECT_EQ(ChildTexts(tree, item), (std::vector<std::wstring>{L"Alpha", L"beta"}));
        HTREEITEM alpha = tree.GetChildItem(item);
        HTREEITEM beta = tree.GetNextSiblingItem(alpha);
        EXPECT_EQ(ChildTexts(tree, alpha), std::vector<std::wstring>{});
        EXPECT_EQ(ChildTexts(tree, beta), std::vector<std::wstring>{L".."});
        EXPECT_EQ(ItemImage(tree, alpha), 7);

        // Made on disk after the expansion: the new folder stays out of the tree,
        // but Alpha, which had no children, gets its expand button.
        folder.MakeFolder(L"Alpha\\later");
        folder.MakeFolder(L"gamma");
        tree.Expand(item, TVE_COLLAPSE);
        SendExpanding(dialog, 0, item);
        EXPECT_EQ(ChildTexts(tree, item), (std::vector<std::wstring>{L"Alpha", L"beta"}));
        EXPECT_EQ(ChildTexts(tree, alpha), std::vector<std::wstring>{L".."});
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

TEST_F(PaneBrowsingTest, OpeningAFolderRaisesEachTreeNotificationOnce) {
    TempFolder folder;
    folder.MakeFolder(L"beta\\inner");
    folder.MakeFile(L"beta\\note.txt");
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        ShowFolder(dialog, folder.Path());
        ControlById<CTreeCtrl> tree = TreeOf(dialog, 0);
        HTREEITEM beta = tree.GetChildItem(tree.GetSelectedItem());
        ASSERT_NE(beta, nullptr);
        NotificationLog log(dialog.m_hWnd, {TVN_ITEMEXPANDINGW, TVN_ITEMEXPANDEDW, TVN_SELCHANGINGW, TVN_SELCHANGEDW});
        tree.Expand(beta, TVE_EXPAND);
        tree.SelectItem(beta);
        // Filling the tree and the list raises nothing more: no item is selected or expanded twice.
        const std::vector<ExpectedNotification> expected = {{TVN_ITEMEXPANDINGW, IDC_TREE1},
                                                            {TVN_ITEMEXPANDEDW, IDC_TREE1},
                                                            {TVN_SELCHANGINGW, IDC_TREE1},
                                                            {TVN_SELCHANGEDW, IDC_TREE1}};
        EXPECT_EQ(log.Seen(), expected) << NotificationLog::Describe(log.Seen());
        EXPECT_EQ(ChildTexts(tree, beta), std::vector<std::wstring>{L"inner"});
        EXPECT_EQ(dialog.m_panes[0].path, folder.Path() + L"beta\\");
        EXPECT_EQ(ListOf(dialog, 0).GetItemCount(), 3);  // "..", inner, note.txt
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

TEST_F(PaneBrowsingTest, ListShowsFoldersThenFilesWithLocalTimesAndFullSizes) {
    TempFolder folder;
    folder.MakeFolder(L"sub\\zed");
    folder.MakeFolder(L"sub\\Alpha");
    folder.MakeFile(L"sub\\b.txt", "12345");
    std::wstring big = folder.MakeFile(L"sub\\A.bin");
    MakeSparseFile(big, 5368709120ULL);
    // 14:05 local time on 7 March 2009, whatever the machine's zone.
    SYSTEMTIME local = {2009, 3, 0, 7, 14, 5, 0, 0};
    SYSTEMTIME universal;
    FILETIME stamp;
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal));
    ASSERT_TRUE(SystemTimeToFileTime(&universal, &stamp));
    ASSERT_TRUE(SetLastWriteTime(folder.PathOf(L"sub\\b.txt"), FileTimeValue(stamp)));
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        ShowFolder(dialog, folder.PathOf(L"sub\\"));
        std::vector<ListRow> rows = ListRows(ListOf(dialog, 0));
        ASSERT_EQ(rows.size(), 5u);
        const wchar_t* names[] = {L"..", L"Alpha", L"zed", L"A.bin", L"b.txt"};
        for (size_t index = 0; index < rows.size(); ++index) {
            const bool folderRow = index < 3;
            EXPECT_EQ(rows[index].name, names[index]);
            EXPECT_EQ(rows[index].image, folderRow ? 7 : 3) << index;
            EXPECT_EQ((rows[index].data & FILE_ATTRIBUTE_DIRECTORY) != 0, folderRow) << index;
            if (folderRow) {
                EXPECT_EQ(rows[index].size, L"") << index;
            }
            EXPECT_EQ(rows[index].modified.size(), 17u) << index;
        }
        EXPECT_EQ(rows[3].size, L"5368709120");
        EXPECT_EQ(rows[4].size, L"5");
        EXPECT_EQ(rows[4].modified, L"07.03.2009  14:05");
        EXPECT_EQ(PathEditOf(dialog, 0).GetWindowText(), folder.PathOf(L"sub\\"));
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

TEST_F(PaneBrowsingTest, DoubleClicksOpenFoldersAndTheParentAndIgnoreFiles) {
    TempFolder folder;
    folder.MakeFolder(L"sub");
    folder.MakeFile(L"file.txt");
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        ShowFolder(dialog, folder.Path());
        ControlById<CTreeCtrl> tree = TreeOf(dialog, 0);
        HTREEITEM parent = tree.GetSelectedItem();
        SelectRows(ListOf(dialog, 0), {RowIndex(ListOf(dialog, 0), L"file.txt")});
        SendNotify(dialog.m_hWnd, IDC_LIST1, NM_DBLCLK);
        EXPECT_EQ(tree.GetSelectedItem(), parent);
        EXPECT_EQ(dialog.m_panes[0].path, folder.Path());

        SelectRows(ListOf(dialog, 0), {RowIndex(ListOf(dialog, 0), L"sub")});
        SendNotify(dialog.m_hWnd, IDC_LIST1, NM_DBLCLK);
        EXPECT_EQ(dialog.m_panes[0].path, folder.PathOf(L"sub\\"));
        EXPECT_EQ(tree.GetParentItem(tree.GetSelectedItem()), parent);

        SelectRows(ListOf(dialog, 0), {RowIndex(ListOf(dialog, 0), L"..")});
        SendNotify(dialog.m_hWnd, IDC_LIST1, NM_DBLCLK);
        EXPECT_EQ(tree.GetSelectedItem(), parent);
        EXPECT_EQ(dialog.m_panes[0].path, folder.Path());

        // A folder made after the parent was filled: the pane is rebuilt and walks into it.
        folder.MakeFolder(L"late");
        tree.SelectItem(tree.GetChildItem(parent));
        tree.SelectItem(parent);
        SelectRows(ListOf(dialog, 0), {RowIndex(ListOf(dialog, 0), L"late")});
        SendNotify(dialog.m_hWnd, IDC_LIST1, NM_DBLCLK);
        EXPECT_EQ(dialog.m_panes[0].path, folder.PathOf(L"late\\"));
        ASSERT_NE(tree.GetSelectedItem(), nullptr);
        EXPECT_EQ(tree.GetItemText(tree.GetSelectedItem()), L"late");
        EXPECT_TRUE(m_boxes.boxes.empty());
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

TEST_F(PaneBrowsingTest, RefreshAndListingFollowFoldersThatGoAway) {
    TempFolder folder;
    std::wstring sub = folder.MakeFolder(L"Sub");
    std::wstring other = folder.MakeFolder(L"other");
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        ControlById<CTreeCtrl> tree = TreeOf(dialog, 0);
        // Nothing selected: roots only, each with its placeholder.
        SendCommand(dialog, ID_VIEW_REFRESH);
        EXPECT_EQ(tree.GetCount(), UINT(ChildTexts(tree, TVI_ROOT).size() * 2));
        EXPECT_EQ(tree.GetSelectedItem(), nullptr);

        // The drive part matches ignoring case, later parts exactly.
        std::wstring lowerDrive = sub;
        lowerDrive[0] = static_cast<wchar_t>(towlower(lowerDrive[0]));
        ShowFolder(dialog, lowerDrive);
        EXPECT_EQ(dialog.m_panes[0].path, sub);
        ShowFolder(dialog, folder.PathOf(L"sub\\"));
        EXPECT_EQ(tree.GetSelectedItem(), nullptr);

        ShowFolder(dialog, sub);
        SendCommand(dialog, ID_VIEW_REFRESH);
        EXPECT_EQ(dialog.m_panes[0].path, sub);
        EXPECT_EQ(RowNames(ListOf(dialog, 0)), std::vector<std::wstring>{L".."});

        RemoveFolderTree(sub);
        SendCommand(dialog, ID_VIEW_REFRESH);
        EXPECT_EQ(tree.GetSelectedItem(), nullptr);
        EXPECT_EQ(dialog.m_panes[0].path, L"");
        EXPECT_EQ(ListOf(dialog, 0).GetItemCount(), 0);
        EXPECT_EQ(PathEditOf(dialog, 0).GetWindowText(), sub) << "Refresh leaves the path box alone";
        EXPECT_TRUE(m_boxes.boxes.empty());

        // Selecting a folder that went away after its parent was filled.
        ShowFolder(dialog, other);
        HTREEITEM otherItem = tree.GetSelectedItem();
        tree.SelectItem(tree.GetParentItem(otherItem));
        RemoveFolderTree(other);
        tree.SelectItem(otherItem);
        ASSERT_EQ(m_boxes.boxes.size(), 1u);
        wchar_t reason[kSystemErrorUnits];
        FormatSystemError(ERROR_PATH_NOT_FOUND, reason);
        EXPECT_EQ(m_boxes.boxes[0].text, reason);
        EXPECT_EQ(m_boxes.boxes[0].caption, L"Error");
        EXPECT_EQ(tree.GetSelectedItem(), nullptr);
        EXPECT_EQ(dialog.m_panes[0].path, L"");
        EXPECT_EQ(PathEditOf(dialog, 0).GetWindowText(), L"");
        EXPECT_EQ(ListOf(dialog, 0).GetItemCount(), 0);
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

}  // namespace
