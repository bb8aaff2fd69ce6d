#pragma once
// What the pane tests share: the real main window run modally with a guard
// against unexpected boxes, and readers for the pane controls.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "analysis/background_ops.h"
#include "app/quillmar_dlg.h"
#include "tests/framework/window_test.h"
#include "tests/app/main_window_controls.h"

class PaneTest : public testing::Test {
protected:
    // The window releases a record it was given; one left by a failed step goes here.
    void TearDown() override { BackgroundOpsFree(&g_backgroundOps); }

    INT_PTR Run(CQuillmarDlg& dialog, std::vector<TestStep> steps) {
        return RunModalSteps([&] { return dialog.DoModal(); }, [&] { return dialog.m_hWnd; }, std::move(steps));
    }

    ModalBoxGuard m_guard;
    MessageBoxCapture m_boxes;
};

inline void SendCommand(const CWnd& dialog, UINT id) { SendMessageW(dialog.m_hWnd, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

// The texts of an item's children in order; TVI_ROOT gives the roots.
inline std::vector<std::wstring> ChildTexts(const CTreeCtrl& tree, HTREEITEM item) {
    std::vector<std::wstring> texts;
    HTREEITEM child = item == TVI_ROOT ? tree.GetRootItem() : tree.GetChildItem(item);
    for (; child != nullptr; child = tree.GetNextSiblingItem(child)) texts.push_back(tree.GetItemText(child));
    return texts;
}

// The item's image; -1 when its selected image differs.
inline int ItemImage(const CTreeCtrl& tree, HTREEITEM item) {
    TVITEMW info = {};
    info.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
    info.hItem = item;
    if (!tree.GetItem(&info)) return -2;
    return info.iImage == info.iSelectedImage ? info.iImage : -1;
}

inline bool IsExpanded(const CTreeCtrl& tree, HTREEITEM item) {
    return (tree.SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
}

// What the user expands by clicking: the tree's own notification.
inline void SendExpanding(CQuillmarDlg& dialog, int pane, HTREEITEM item) {
    NMTREEVIEWW notification = {};
    notification.hdr.hwndFrom = TreeOf(dialog, pane).m_hWnd;
    notification.hdr.idFrom = static_cast<UINT_PTR>(TreeOf(dialog, pane).GetDlgCtrlID());
    notification.hdr.code = TVN_ITEMEXPANDINGW;
    notification.action = TVE_EXPAND;
    notification.itemNew.hItem = item;
    SendMessageW(dialog.m_hWnd, WM_NOTIFY, notification.hdr.idFrom, reinterpret_cast<LPARAM>(&notification));
}

struct ListRow {
    std::wstring name;
    std::wstring modified;
    std::wstring size;
    int image;
    DWORD data;
};

inline std::vector<ListRow> ListRows(const CListCtrl& list) {
    std::vector<ListRow> rows;
    for (int index = 0; index < list.GetItemCount(); ++index) {
        LVITEMW item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = index;
        list.SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        rows.push_back({list.GetItemText(index, 0), list.GetItemText(index, 1), list.GetItemText(index, 2), item.iImage,
                        static_cast<DWORD>(list.GetItemData(index))});
    }
    return rows;
}

inline std::vector<std::wstring> RowNames(const CListCtrl& list) {
    std::vector<std::wstring> names;
    for (const ListRow& row : ListRows(list)) names.push_back(row.name);
    return names;
}

inline int RowIndex(const CListCtrl& list, const std::wstring& name) {
    for (int index = 0; index < list.GetItemCount(); ++index) {
        if (list.GetItemText(index, 0) == name) return index;
    }
    ADD_FAILURE() << "no row named " << std::string(name.begin(), name.end());
    return -1;
}

// Selects exactly these rows.
inline void SelectRows(const CListCtrl& list, std::initializer_list<int> indices) {
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED;
    list.SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    state.state = LVIS_SELECTED;
    for (int index : indices) list.SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&state));
}

// Gives a file its size without writing its bytes where the file system allows.
inline void MakeSparseFile(const std::wstring& path, uint64_t size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
}
