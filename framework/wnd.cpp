#include "framework/wnd.h"

#include "framework/message_box.h"

const MessageMapEntry* FindMessageMapEntry(const MessageMap* map, UINT message, WPARAM wParam, LPARAM lParam) {
    UINT code = 0;
    UINT id = 0;
    if (message == WM_COMMAND) {
        code = lParam == 0 ? 0 : HIWORD(wParam);  // menus and accelerators have no control
        id = LOWORD(wParam);
    } else if (message == WM_NOTIFY) {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header == nullptr) return nullptr;
        code = header->code;
        id = static_cast<UINT>(header->idFrom);
    }
    for (; map != nullptr; map = map->base ? map->base() : nullptr) {
        for (const MessageMapEntry* entry = map->entries; entry->thunk != nullptr; ++entry) {
            if (entry->message != message) continue;
            if (message == WM_COMMAND || message == WM_NOTIFY) {
                if (entry->code != code || id < entry->idFirst || id > entry->idLast) continue;
            }
            return entry;
        }
    }
    return nullptr;
}

const MessageMap* CCmdTarget::GetThisMessageMap() {
    static const MessageMapEntry entries[] = {{0, 0, 0, 0, nullptr}};
    static const MessageMap map = {nullptr, entries};
    return &map;
}

const MessageMap* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

bool CCmdTarget::DispatchToMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    const MessageMapEntry* entry = FindMessageMapEntry(GetMessageMap(), message, wParam, lParam);
    if (entry == nullptr) return false;
    *result = 0;
    // A handler may send messages that are dispatched in turn; each keeps its own answer.
    const bool outer = m_msgHandled;
    m_msgHandled = true;
    bool handled = entry->thunk(this, wParam, lParam, result) && m_msgHandled;
    m_msgHandled = outer;
    return handled;
}

std::wstring CWnd::GetWindowText() const {
    int length = ::GetWindowTextLengthW(m_hWnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = ::GetWindowTextW(m_hWnd, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

bool CWnd::ModifyStyle(DWORD remove, DWORD add) {
    DWORD style = GetStyle();
    DWORD changed = (style & ~remove) | add;
    if (changed == style) return false;
    ::SetWindowLongW(m_hWnd, GWL_STYLE, static_cast<LONG>(changed));
    return true;
}

void CWnd::CenterWindow() {
    RECT window;
    ::GetWindowRect(m_hWnd, &window);
    RECT area;
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
        ::GetWindowRect(owner, &area);
    } else {
        MONITORINFO monitor = {};
        monitor.cbSize = sizeof(monitor);
        ::GetMonitorInfoW(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
        area = monitor.rcWork;
    }
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    int x = area.left + ((area.right - area.left) - width) / 2;
    int y = area.top + ((area.bottom - area.top) - height) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CWnd::MessageBox(const wchar_t* text, const wchar_t* caption, UINT type) {
    return ShowMessageBox(m_hWnd, text, caption, type);
}

void CWnd::RepositionBars(UINT firstId, UINT lastId, bool queryOnly, RECT* leftOver) {
    RECT area;
    ::GetClientRect(m_hWnd, &area);
    for (UINT id = firstId; id <= lastId; ++id) {
        HWND bar = ::GetDlgItem(m_hWnd, static_cast<int>(id));
        if (bar == nullptr || !(::GetWindowLongW(bar, GWL_STYLE) & WS_VISIBLE)) continue;
        RECT barRect;
        ::GetWindowRect(bar, &barRect);
        int height = barRect.bottom - barRect.top;
        if (!queryOnly) {
            ::MoveWindow(bar, area.left, area.top, area.right - area.left, height, TRUE);
        }
        area.top += height;
    }
    if (leftOver != nullptr) *leftOver = area;
}
