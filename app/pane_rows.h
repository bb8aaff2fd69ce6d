#pragma once
// Pieces shared by the live and the analysed panes: list rows, tree items,
// the wait cursor and the error box.
#include <windows.h>

#include <string>

#include "framework/controls.h"
#include "model/records.h"
#include "model/state_images.h"

const wchar_t kPlaceholderText[] = L"..";

// Shows the wait cursor while it lives.
class WaitCursor {
public:
    WaitCursor() : m_previous(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(m_previous); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR m_previous;
};

// The system's text for `code` in a box captioned "Error".
void ShowSystemError(HWND owner, DWORD code);

// Inserts the last child of `parent` (TVI_ROOT for a root) with `image` as
// image and selected image.
HTREEITEM InsertTreeItem(CTreeCtrl& tree, HTREEITEM parent, const wchar_t* text, int image, LPARAM data = 0);
// Gives `item` its expand button: a single ".." child.
void InsertPlaceholder(CTreeCtrl& tree, HTREEITEM item);
void DeleteChildItems(CTreeCtrl& tree, HTREEITEM item);

// "dd.mm.yyyy  hh:mm" in local time; empty for a time the system cannot convert.
std::wstring FormatModifiedTime(const FILETIME& utc);

// Appends a row: folders carry their attributes as row data and show no size.
void AddListRow(CListCtrl& list, const wchar_t* name, const FILETIME& modified, uint64_t size, DWORD attributes,
                int image);

inline int RowImage(const DirEntry& entry) {
    return IsFolderAttributes(entry.attributes) ? kIdenticalFolderImage : kIdenticalFileImage;
}
inline int RowImage(const NodeRecord& record) { return StateImage(record.attributes, record.state); }

// Folder rows, then file rows, each in the order of its list; "." is left out.
template <class Entry>
void AddListRows(CListCtrl& list, const RecordList<Entry>* folders, const RecordList<Entry>* files) {
    for (uint32_t index = 0; index < folders->count; ++index) {
        const Entry& entry = folders->entries[index];
        if (lstrcmpW(entry.name, L".") == 0) continue;
        AddListRow(list, entry.name, entry.lastWriteTime, entry.size, entry.attributes, RowImage(entry));
    }
    for (uint32_t index = 0; index < files->count; ++index) {
        const Entry& entry = files->entries[index];
        AddListRow(list, entry.name, entry.lastWriteTime, entry.size, entry.attributes, RowImage(entry));
    }
}

// Replaces the list's rows with a listing in listing order, then frees the listing.
template <class Entry>
void ShowListingRows(CListCtrl& list, RecordList<Entry>* folders, RecordList<Entry>* files) {
    SortListing(files);
    SortListing(folders);
    CRedrawSuspension quiet(list);
    list.DeleteAllItems();
    list.SetItemCount(static_cast<int>(folders->count + files->count));
    AddListRows(list, folders, files);
    FreeRecordList(files);
    FreeRecordList(folders);
}

// A folder item's children become the listed folders, in listing order; "."
// and ".." are left out. Takes both lists.
template <class Entry>
void ReplaceFolderItems(CTreeCtrl& tree, HTREEITEM item, RecordList<Entry>* folders, RecordList<Entry>* files) {
    SortListing(folders);
    CRedrawSuspension quiet(tree);
    DeleteChildItems(tree, item);
    for (uint32_t index = 0; index < folders->count; ++index) {
        const Entry& folder = folders->entries[index];
        if (lstrcmpW(folder.name, L".") == 0 || lstrcmpW(folder.name, L"..") == 0) continue;
        InsertTreeItem(tree, item, folder.name, RowImage(folder));
    }
    FreeRecordList(files);
    FreeRecordList(folders);
}
