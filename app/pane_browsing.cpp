// Browsing the panes: the logical volumes, lazily filled folder trees, content
// lists, opening list rows and refreshing a pane back to the folder it showed.
#include <cwchar>
#include <string>

#include "app/pane_rows.h"
#include "app/quillmar_dlg.h"
#include "framework/message_box.h"
#include "model/enumeration.h"
#include "model/system_error.h"

namespace {

const unsigned kTimeTextUnits = 128;

// A volume root's item data: "C:" as the letter in the low and the colon in the high 16 bits.
LPARAM PackDriveCharacters(const wchar_t* rootPath) {
    return static_cast<LPARAM>(static_cast<DWORD>(rootPath[0]) | (static_cast<DWORD>(rootPath[1]) << 16));
}

std::wstring UnpackDriveCharacters(DWORD_PTR data) {
    const wchar_t characters[] = {static_cast<wchar_t>(data & 0xFFFF), static_cast<wchar_t>((data >> 16) & 0xFFFF),
                                  L'\0'};
    return characters;
}

struct VolumeKind {
    const wchar_t* typeText;
    int image;
};

VolumeKind KindOfDrive(uint32_t driveType) {
    switch (driveType) {
    case DRIVE_REMOVABLE: return {L"Removable Disk (", 12};
    case DRIVE_FIXED: return {L"Fixed Disk (", 9};
    case DRIVE_REMOTE: return {L"Remote Drive (", 11};
    case DRIVE_CDROM: return {L"CD/DVD-ROM Drive (", 8};
    case DRIVE_RAMDISK: return {L"RAM Disk (", 10};
    default: return {L"Unknown Drive (", 13};
    }
}

bool SameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

}  // namespace

void ShowSystemError(HWND owner, DWORD code) {
    wchar_t text[kSystemErrorUnits];
    FormatSystemError(code, text);
    ShowMessageBox(owner, text, L"Error", MB_ICONERROR);
}

HTREEITEM InsertTreeItem(CTreeCtrl& tree, HTREEITEM parent, const wchar_t* text, int image, LPARAM data) {
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = const_cast<wchar_t*>(text);
    insert.item.iImage = image;
    insert.item.iSelectedImage = image;
    insert.item.lParam = data;
    return tree.InsertItem(&insert);
}

void InsertPlaceholder(CTreeCtrl& tree, HTREEITEM item) {
    InsertTreeItem(tree, item, kPlaceholderText, kIdenticalFolderImage);
}

void DeleteChildItems(CTreeCtrl& tree, HTREEITEM item) {
    while (HTREEITEM child = tree.GetChildItem(item)) tree.DeleteItem(child);
}

std::wstring FormatModifiedTime(const FILETIME& utc) {
    SYSTEMTIME universal;
    SYSTEMTIME local;
    if (!FileTimeToSystemTime(&utc, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        return std::wstring();
    }
    wchar_t text[kTimeTextUnits];
    swprintf(text, kTimeTextUnits, L"%02d.%02d.%d  %02d:%02d", local.wDay, local.wMonth, local.wYear, local.wHour,
             local.wMinute);
    return text;
}

void AddListRow(CListCtrl& list, const wchar_t* name, const FILETIME& modified, uint64_t size, DWORD attributes,
                int image) {
    const bool folder = IsFolderAttributes(attributes);
    LVITEMW row = {};
    row.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    row.iItem = list.GetItemCount();
    row.pszText = const_cast<wchar_t*>(name);
    row.iImage = image;
    row.lParam = folder ? static_cast<LPARAM>(attributes) : 0;
    int index = list.InsertItem(&row);
    if (index < 0) return;
    list.SetItemText(index, 1, FormatModifiedTime(modified).c_str());
    if (!folder) list.SetItemText(index, 2, std::to_wstring(size).c_str());
}

void CQuillmarDlg::InsertListColumns(int pane) {
    m_panes[pane].list.InsertColumn(0, L"Name", LVCFMT_LEFT, 250);
    m_panes[pane].list.InsertColumn(1, L"Date modified", LVCFMT_CENTER, 120);
    m_panes[pane].list.InsertColumn(2, L"Size", LVCFMT_RIGHT, 90);
}

void CQuillmarDlg::ShowVolumes(int pane) {
    CTreeCtrl& tree = m_panes[pane].tree;
    tree.SelectItem(nullptr);
    tree.DeleteAllItems();
    m_panes[pane].list.DeleteAllItems();
    VolumeList* volumes = EnumerateVolumes();
    if (volumes == nullptr) {
        MessageBox(L"Error getting logical volumes.", L"Error", MB_ICONERROR);
        return;
    }
    for (uint32_t index = 0; index < volumes->count; ++index) {
        const VolumeInfo& volume = volumes->entries[index];
        VolumeKind kind = KindOfDrive(volume.driveType);
        std::wstring text = volume.volumeName[0] != L'\0' ? std::wstring(volume.volumeName) + L" (" : kind.typeText;
        text.append(volume.rootPath, 2);
        text += L")";
        HTREEITEM root = InsertTreeItem(tree, TVI_ROOT, text.c_str(), kind.image, PackDriveCharacters(volume.rootPath));
        if (root != nullptr) InsertPlaceholder(tree, root);
    }
    FreeRecordList(volumes);
}

std::wstring CQuillmarDlg::BuildItemPath(int pane, HTREEITEM item) const {
    const CTreeCtrl& tree = m_panes[pane].tree;
    std::wstring path;
    for (; item != nullptr; item = tree.GetParentItem(item)) {
        const bool volumeRoot = tree.GetParentItem(item) == nullptr && m_panes[pane].mode == PaneMode::LogicalVolumes;
        std::wstring part = volumeRoot ? UnpackDriveCharacters(tree.GetItemData(item)) : tree.GetItemText(item);
        path.insert(0, part + L"\\");
    }
    return path;
}

bool CQuillmarDlg::FillFolder(int pane, HTREEITEM item) {
    std::wstring path = BuildItemPath(pane, item);
    DWORD code = ERROR_SUCCESS;
    if (m_panes[pane].mode == PaneMode::LogicalVolumes) {
        DirEntryList* files = nullptr;
        DirEntryList* folders = nullptr;
        code = ListDirectory(path.c_str(), &files, &folders);
        if (code == ERROR_SUCCESS) ReplaceFolderItems(m_panes[pane].tree, item, folders, files);
    } else {
        NodeRecordList* files = nullptr;
        NodeRecordList* folders = nullptr;
        code = ListVisibleChildren(m_panes[pane].location, path.c_str(), m_filterMask, &files, &folders);
        if (code == ERROR_SUCCESS) ReplaceFolderItems(m_panes[pane].tree, item, folders, files);
    }
    if (code != ERROR_SUCCESS) ShowSystemError(m_hWnd, code);
    return code == ERROR_SUCCESS;
}

void CQuillmarDlg::ExpandFolder(int pane, NMTREEVIEWW* expanding) {
    if ((expanding->action & (TVE_COLLAPSE | TVE_EXPAND | TVE_TOGGLE)) != TVE_EXPAND) return;
    WaitCursor wait;
    CTreeCtrl& tree = m_panes[pane].tree;
    HTREEITEM item = expanding->itemNew.hItem;
    HTREEITEM first = tree.GetChildItem(item);
    if (first == nullptr || m_panes[pane].mode == PaneMode::Empty) return;
    if (tree.GetItemText(first) == kPlaceholderText) {
        if (!FillFolder(pane, item)) return;
    }
    // Children without children get an expand button when they hold a folder now.
    CRedrawSuspension quiet(tree);
    for (HTREEITEM child = tree.GetChildItem(item); child != nullptr; child = tree.GetNextSiblingItem(child)) {
        if (tree.GetChildItem(child) != nullptr) continue;
        std::wstring path = BuildItemPath(pane, child);
        bool hasSubfolder = m_panes[pane].mode == PaneMode::LogicalVolumes
                                ? HasSubfolder(path.c_str())
                                : HasVisibleSubfolder(m_panes[pane].location, path.c_str(), m_filterMask);
        if (hasSubfolder) InsertPlaceholder(tree, child);
    }
}

DWORD CQuillmarDlg::ListFolder(int pane) {
    DWORD code = ERROR_SUCCESS;
    if (m_panes[pane].mode == PaneMode::LogicalVolumes) {
        DirEntryList* files = nullptr;
        DirEntryList* folders = nullptr;
        code = ListDirectory(m_panes[pane].path.c_str(), &files, &folders);
        if (code == ERROR_SUCCESS) ShowListingRows(m_panes[pane].list, folders, files);
    } else if (m_panes[pane].mode == PaneMode::AnalyzedLocation) {
        NodeRecordList* files = nullptr;
        NodeRecordList* folders = nullptr;
        code = ListVisibleChildren(m_panes[pane].location, m_panes[pane].path.c_str(), m_filterMask, &files, &folders);
        if (code == ERROR_SUCCESS) ShowListingRows(m_panes[pane].list, folders, files);
    }
    if (code == ERROR_SUCCESS) UpdatePaneCaption(pane);
    return code;
}

void CQuillmarDlg::FillList(int pane) {
    WaitCursor wait;
    HTREEITEM item = m_panes[pane].tree.GetSelectedItem();
    if (item == nullptr) return;
    m_panes[pane].path = BuildItemPath(pane, item);
    DWORD code = ListFolder(pane);
    if (code != 0) {
        ShowSystemError(m_hWnd, code);
        m_panes[pane].tree.SelectItem(nullptr);
        m_panes[pane].list.DeleteAllItems();
        m_panes[pane].path.clear();
        UpdatePaneCaption(pane);
        return;
    }
    RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void CQuillmarDlg::OpenListItem(int pane) {
    int row = m_panes[pane].list.GetNextItem(-1, LVNI_SELECTED);
    if (row < 0) return;
    std::wstring name = m_panes[pane].list.GetItemText(row, 0);
    if (!IsFolderAttributes(static_cast<DWORD>(m_panes[pane].list.GetItemData(row)))) return;
    CTreeCtrl& tree = m_panes[pane].tree;
    HTREEITEM selected = tree.GetSelectedItem();
    if (selected == nullptr) return;
    if (name == L"..") {
        tree.SelectItem(tree.GetParentItem(selected));
        return;
    }
    tree.Expand(selected, TVE_EXPAND);
    for (HTREEITEM child = tree.GetChildItem(selected); child != nullptr; child = tree.GetNextSiblingItem(child)) {
        if (tree.GetItemText(child) == name) {
            tree.SelectItem(child);
            return;
        }
    }
    // A folder made after its parent was filled: rebuild and walk down to it.
    m_panes[pane].path += name + L"\\";
    RefreshPane(pane);
}

void CQuillmarDlg::RefreshPane(int pane) {
    std::wstring saved;
    saved.swap(m_panes[pane].path);
    if (saved.size() >= kPathUnits) saved.resize(kPathUnits - 1);
    switch (m_panes[pane].mode) {
    case PaneMode::LogicalVolumes:
        ShowVolumes(pane);
        break;
    case PaneMode::AnalyzedLocation:
        if (m_panes[pane].location == nullptr) return;
        ShowLocationRoot(pane, m_panes[pane].location);
        break;
    default:
        return;
    }
    CTreeCtrl& tree = m_panes[pane].tree;
    HTREEITEM current = nullptr;
    int partNumber = 0;
    for (size_t start = 0; start < saved.size(); ++partNumber) {
        size_t end = saved.find(L'\\', start);
        if (end == std::wstring::npos) end = saved.size();
        std::wstring part = saved.substr(start, end - start);
        start = end + 1;
        const bool driveRoot = partNumber == 0 && m_panes[pane].mode == PaneMode::LogicalVolumes;
        HTREEITEM found = current == nullptr ? tree.GetRootItem() : tree.GetChildItem(current);
        for (; found != nullptr; found = tree.GetNextSiblingItem(found)) {
            if (driveRoot ? SameIgnoringCase(UnpackDriveCharacters(tree.GetItemData(found)), part)
                          : tree.GetItemText(found) == part) {
                break;
            }
        }
        if (found == nullptr) return;  // gone: roots only, nothing selected
        tree.Expand(found, TVE_EXPAND);
        current = found;
    }
    if (current != nullptr) tree.SelectItem(current);
}

void CQuillmarDlg::OpenLogicalVolumes() {
    if (m_panes[0].mode == PaneMode::AnalyzedLocation || m_panes[1].mode == PaneMode::AnalyzedLocation) ResetPanes();
    int pane = ActivePane();
    if (pane != 0 && pane != 1) return;
    m_panes[pane].mode = PaneMode::LogicalVolumes;
    m_panes[pane].path.clear();
    UpdatePaneCaption(pane);
    ShowVolumes(pane);
}
