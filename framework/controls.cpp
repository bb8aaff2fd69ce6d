#include "framework/controls.h"

#include "framework/win_app.h"

BOOL CImageList::Create(int cx, int cy, UINT flags, int initial, int grow) {
    DeleteImageList();
    m_hImageList = ImageList_Create(cx, cy, flags, initial, grow);
    return m_hImageList != nullptr;
}

BOOL CImageList::DeleteImageList() {
    if (m_hImageList == nullptr) return FALSE;
    BOOL done = ImageList_Destroy(m_hImageList);
    m_hImageList = nullptr;
    return done;
}

int CTabCtrl::InsertItem(int index, const wchar_t* text) {
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(text);
    return static_cast<int>(SendMessage(TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
}

BOOL CTabCtrl::SetItemText(int index, const wchar_t* text) {
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(text);
    return static_cast<BOOL>(SendMessage(TCM_SETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
}

std::wstring CTabCtrl::GetItemText(int index) const {
    wchar_t text[1024] = L"";
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 1024;
    if (!SendMessage(TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item))) return std::wstring();
    return item.pszText != nullptr ? std::wstring(item.pszText) : std::wstring();
}

SIZE CTabCtrl::SetItemSize(SIZE size) {
    LRESULT previous = SendMessage(TCM_SETITEMSIZE, 0, MAKELPARAM(size.cx, size.cy));
    return SIZE{LOWORD(previous), HIWORD(previous)};
}

std::wstring CTreeCtrl::GetItemText(HTREEITEM handle) const {
    wchar_t text[1024] = L"";
    TVITEMW item = {};
    item.mask = TVIF_TEXT | TVIF_HANDLE;
    item.hItem = handle;
    item.pszText = text;
    item.cchTextMax = 1024;
    if (!GetItem(&item)) return std::wstring();
    return std::wstring(text);
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM handle) const {
    TVITEMW item = {};
    item.mask = TVIF_PARAM | TVIF_HANDLE;
    item.hItem = handle;
    if (!GetItem(&item)) return 0;
    return static_cast<DWORD_PTR>(item.lParam);
}

int CListCtrl::InsertColumn(int index, const wchar_t* heading, int format, int width) {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(heading);
    column.iSubItem = index;
    return static_cast<int>(SendMessage(LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column)));
}

BOOL CListCtrl::SetItemText(int index, int subItem, const wchar_t* text) {
    LVITEMW item = {};
    item.iSubItem = subItem;
    item.pszText = const_cast<wchar_t*>(text);
    return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
}

std::wstring CListCtrl::GetItemText(int index, int subItem) const {
    wchar_t text[32768];
    text[0] = L'\0';
    LVITEMW item = {};
    item.iSubItem = subItem;
    item.pszText = text;
    item.cchTextMax = 32768;
    SendMessage(LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return std::wstring(text);
}

DWORD_PTR CListCtrl::GetItemData(int index) const {
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return 0;
    return static_cast<DWORD_PTR>(item.lParam);
}

BOOL CListCtrl::SetCheck(int index, BOOL check) {
    LVITEMW item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(check ? 2 : 1);
    return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
}

BOOL CToolBar::CreateEx(CWnd* parent, DWORD controlStyle, DWORD style, RECT, UINT id) {
    m_hWnd = ::CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, style | controlStyle, 0, 0, 0, 0, parent->m_hWnd,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), AfxGetResourceHandle(), nullptr);
    if (m_hWnd == nullptr) return FALSE;
    SendMessage(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    return TRUE;
}

BOOL CToolBar::SetButtonInfo(int index, UINT id, BYTE style, int image) {
    TBBUTTON before = {};
    if (!GetButton(index, &before)) return FALSE;
    TBBUTTONINFOW info = {};
    info.cbSize = sizeof(info);
    info.dwMask = TBIF_BYINDEX | TBIF_COMMAND | TBIF_STYLE | TBIF_IMAGE;
    info.idCommand = static_cast<int>(id);
    info.fsStyle = style;
    info.iImage = image;
    if (!SendMessage(TB_SETBUTTONINFOW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&info))) return FALSE;
    if (static_cast<UINT>(before.idCommand) != id) RenameTool(static_cast<UINT>(before.idCommand), id);
    return TRUE;
}

// The tooltip knows each button as a tool named by the button's command when
// it was added, and asks the bar for that command's text; a bar that leaves
// the name behind when the command changes finds no button of that command
// and gives no text. The tool is renamed, keeping its place and its text.
void CToolBar::RenameTool(UINT oldId, UINT newId) {
    HWND tips = GetToolTips();
    wchar_t text[80] = L"";  // where the tooltip copies a tool's own text; a button's tool asks for it instead
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = m_hWnd;
    tool.uId = oldId;
    tool.lpszText = text;
    // No such tool: the bar has renamed it itself.
    if (tips == nullptr || !::SendMessageW(tips, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool))) return;
    ::SendMessageW(tips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    tool.uId = newId;
    ::SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CImageList::AddIconResource(HINSTANCE module, UINT id, int size) {
    UINT flags = size == 0 ? LR_DEFAULTSIZE : LR_DEFAULTCOLOR;
    HICON icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, flags));
    int count = GetImageCount();
    if (icon == nullptr || Add(icon) < 0) SetImageCount(static_cast<UINT>(count + 1));
    if (icon != nullptr) DestroyIcon(icon);
}
