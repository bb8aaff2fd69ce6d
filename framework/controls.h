#pragma once
// Control wrappers: a CWnd holding the control's handle (bound by id in
// DoDataExchange, or created by the owner) with the control's messages named.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "framework/wnd.h"

// An image list. It owns its handle: the list is destroyed with the object.
class CImageList {
public:
    HIMAGELIST m_hImageList = nullptr;

    CImageList() = default;
    ~CImageList() { DeleteImageList(); }
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

    BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
    BOOL DeleteImageList();
    HIMAGELIST GetSafeHandle() const { return m_hImageList; }
    // Returns the new image's index, or -1.
    int Add(HICON icon) { return ImageList_ReplaceIcon(m_hImageList, -1, icon); }
    // Appends the icon resource `id` of `module` at `size` pixels (0: the
    // system's icon size). A missing icon leaves a blank image, so that the
    // indexes of the images after it stay the same.
    void AddIconResource(HINSTANCE module, UINT id, int size);
    int GetImageCount() const { return ImageList_GetImageCount(m_hImageList); }
    // Grows or shrinks the list; new images are blank.
    BOOL SetImageCount(UINT count) { return ImageList_SetImageCount(m_hImageList, count); }
};

class CEdit : public CWnd {
public:
    BOOL SetReadOnly(BOOL readOnly = TRUE) { return static_cast<BOOL>(SendMessage(EM_SETREADONLY, readOnly)); }
};

class CButton : public CWnd {
public:
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int state) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(state)); }
};

class CStatic : public CWnd {
public:
    HICON SetIcon(HICON icon) { return reinterpret_cast<HICON>(SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(icon))); }
};

class CProgressCtrl : public CWnd {
public:
    void SetRange32(int lower, int upper) { SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), upper); }
    int SetPos(int position) { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(position))); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
};

// The link control (common controls 6).
class CLinkCtrl : public CWnd {};

class CTabCtrl : public CWnd {
public:
    int GetItemCount() const { return static_cast<int>(SendMessage(TCM_GETITEMCOUNT)); }
    // Returns the new tab's index, or -1.
    int InsertItem(int index, const wchar_t* text);
    BOOL SetItemText(int index, const wchar_t* text);
    std::wstring GetItemText(int index) const;
    int GetCurSel() const { return static_cast<int>(SendMessage(TCM_GETCURSEL)); }
    // Selects a tab without a TCN_SELCHANGE notification. Returns the previous selection.
    int SetCurSel(int index) { return static_cast<int>(SendMessage(TCM_SETCURSEL, static_cast<WPARAM>(index))); }
    // The size of fixed-width tabs; returns the previous size.
    SIZE SetItemSize(SIZE size);
    BOOL GetItemRect(int index, RECT* rect) const {
        return static_cast<BOOL>(SendMessage(TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(rect)));
    }
};

class CTreeCtrl : public CWnd {
public:
    HIMAGELIST SetImageList(CImageList* images, int kind) {
        return reinterpret_cast<HIMAGELIST>(
            SendMessage(TVM_SETIMAGELIST, static_cast<WPARAM>(kind), reinterpret_cast<LPARAM>(images->GetSafeHandle())));
    }
    HIMAGELIST GetImageList(int kind) const {
        return reinterpret_cast<HIMAGELIST>(SendMessage(TVM_GETIMAGELIST, static_cast<WPARAM>(kind)));
    }
    HTREEITEM InsertItem(const TVINSERTSTRUCTW* insert) {
        return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(insert)));
    }
    BOOL DeleteItem(HTREEITEM item) {
        return static_cast<BOOL>(SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)));
    }
    BOOL DeleteAllItems() { return DeleteItem(TVI_ROOT); }
    BOOL GetItem(TVITEMW* item) const {
        return static_cast<BOOL>(SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(item)));
    }
    BOOL SetItem(const TVITEMW* item) {
        return static_cast<BOOL>(SendMessage(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(item)));
    }
    std::wstring GetItemText(HTREEITEM item) const;
    DWORD_PTR GetItemData(HTREEITEM item) const;
    HTREEITEM GetNextItem(HTREEITEM item, UINT relation) const {
        return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
    }
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetChildItem(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
    HTREEITEM GetParentItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PARENT); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
    BOOL SelectItem(HTREEITEM item) {
        return static_cast<BOOL>(SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)));
    }
    BOOL Expand(HTREEITEM item, UINT action) {
        return static_cast<BOOL>(SendMessage(TVM_EXPAND, action, reinterpret_cast<LPARAM>(item)));
    }
    UINT GetCount() const { return static_cast<UINT>(SendMessage(TVM_GETCOUNT)); }
};

class CListCtrl : public CWnd {
public:
    HIMAGELIST SetImageList(CImageList* images, int kind) {
        return reinterpret_cast<HIMAGELIST>(
            SendMessage(LVM_SETIMAGELIST, static_cast<WPARAM>(kind), reinterpret_cast<LPARAM>(images->GetSafeHandle())));
    }
    HIMAGELIST GetImageList(int kind) const {
        return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, static_cast<WPARAM>(kind)));
    }
    DWORD SetExtendedStyle(DWORD styles) {
        return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(styles)));
    }
    // Returns the new column's index, or -1.
    int InsertColumn(int index, const wchar_t* heading, int format, int width);
    BOOL GetColumn(int index, LVCOLUMNW* column) const {
        return static_cast<BOOL>(SendMessage(LVM_GETCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(column)));
    }
    int InsertItem(const LVITEMW* item) {
        return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(item)));
    }
    BOOL SetItemText(int item, int subItem, const wchar_t* text);
    std::wstring GetItemText(int item, int subItem) const;
    DWORD_PTR GetItemData(int item) const;
    BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
    // Makes room for `count` rows ahead of inserting them.
    void SetItemCount(int count) { SendMessage(LVM_SETITEMCOUNT, static_cast<WPARAM>(count)); }
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    int GetNextItem(int start, UINT flags) const {
        return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(start), static_cast<LPARAM>(flags)));
    }
    BOOL GetCheck(int item) const {
        return ((static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(item), LVIS_STATEIMAGEMASK)) >> 12) - 1) == 1;
    }
    BOOL SetCheck(int item, BOOL check = TRUE);
};

// Keeps a visible control from repainting and recomputing its scroll bars while it
// lives, then repaints it once. A hidden control is left alone: turning its drawing
// back on would show it.
class CRedrawSuspension {
public:
    explicit CRedrawSuspension(const CWnd& control)
        : m_hWnd((::GetWindowLongW(control.m_hWnd, GWL_STYLE) & WS_VISIBLE) ? control.m_hWnd : nullptr) {
        if (m_hWnd != nullptr) ::SendMessageW(m_hWnd, WM_SETREDRAW, FALSE, 0);
    }
    ~CRedrawSuspension() {
        if (m_hWnd == nullptr) return;
        ::SendMessageW(m_hWnd, WM_SETREDRAW, TRUE, 0);
        ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
    }
    CRedrawSuspension(const CRedrawSuspension&) = delete;
    CRedrawSuspension& operator=(const CRedrawSuspension&) = delete;

private:
    HWND m_hWnd;
};

class CToolBar : public CWnd {
public:
    // Creates the bar as a child of `parent`. `controlStyle` holds the toolbar's
    // own styles (TBSTYLE_*), `style` the window and bar styles (WS_*, CCS_*,
    // TBSTYLE_TOOLTIPS); `borders` is unused by the program and must be zero.
    BOOL CreateEx(CWnd* parent, DWORD controlStyle, DWORD style, RECT borders, UINT id);

    BOOL SetBitmapSize(SIZE size) {
        return static_cast<BOOL>(SendMessage(TB_SETBITMAPSIZE, 0, MAKELPARAM(size.cx, size.cy)));
    }
    BOOL SetButtonSize(SIZE size) {
        return static_cast<BOOL>(SendMessage(TB_SETBUTTONSIZE, 0, MAKELPARAM(size.cx, size.cy)));
    }
    HIMAGELIST SetImageList(CImageList* images) {
        return reinterpret_cast<HIMAGELIST>(SendMessage(TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images->GetSafeHandle())));
    }
    HIMAGELIST SetHotImageList(CImageList* images) {
        return reinterpret_cast<HIMAGELIST>(
            SendMessage(TB_SETHOTIMAGELIST, 0, reinterpret_cast<LPARAM>(images->GetSafeHandle())));
    }
    HIMAGELIST SetDisabledImageList(CImageList* images) {
        return reinterpret_cast<HIMAGELIST>(
            SendMessage(TB_SETDISABLEDIMAGELIST, 0, reinterpret_cast<LPARAM>(images->GetSafeHandle())));
    }
    BOOL AddButtons(int count, const TBBUTTON* buttons) {
        return static_cast<BOOL>(SendMessage(TB_ADDBUTTONSW, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(buttons)));
    }
    int GetButtonCount() const { return static_cast<int>(SendMessage(TB_BUTTONCOUNT)); }
    BOOL GetButton(int index, TBBUTTON* button) const {
        return static_cast<BOOL>(SendMessage(TB_GETBUTTON, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(button)));
    }
    // Gives the button at `index` a new command, style and image; its tooltip
    // then asks for the new command's text.
    BOOL SetButtonInfo(int index, UINT id, BYTE style, int image);
    // Fits the bar to its parent's width and its buttons' height.
    void AutoSize() { SendMessage(TB_AUTOSIZE); }
    HWND GetToolTips() const { return reinterpret_cast<HWND>(SendMessage(TB_GETTOOLTIPS)); }

private:
    void RenameTool(UINT oldId, UINT newId);
};
