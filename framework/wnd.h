#pragma once
// CCmdTarget (anything with a message map) and CWnd (a window handle with names
// for the calls the program makes on it). A CWnd does not own its window.
#include <windows.h>

#include <string>

#include "framework/message_map.h"

class CCmdTarget {
public:
    CCmdTarget() = default;
    virtual ~CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;

    // Runs the handler of the first matching row; false when no row takes the
    // message or its handler declines it.
    bool DispatchToMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

protected:
    // A handler calls SetMsgHandled(false) to leave the message to the system's
    // default processing, after or instead of its own work.
    void SetMsgHandled(bool handled) { m_msgHandled = handled; }

    static const MessageMap* GetThisMessageMap();
    virtual const MessageMap* GetMessageMap() const;

private:
    bool m_msgHandled = true;
};

class CWnd : public CCmdTarget {
public:
    HWND m_hWnd = nullptr;

    CWnd() = default;
    explicit CWnd(HWND window) : m_hWnd(window) {}

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }
    // True when the handle names a live window.
    bool HasWindow() const { return m_hWnd != nullptr && ::IsWindow(m_hWnd); }
    void Attach(HWND window) { m_hWnd = window; }
    HWND Detach() {
        HWND window = m_hWnd;
        m_hWnd = nullptr;
        return window;
    }

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }

    void SetWindowText(const wchar_t* text) { ::SetWindowTextW(m_hWnd, text); }
    std::wstring GetWindowText() const;
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    bool IsWindowVisible() const { return ::IsWindowVisible(m_hWnd) != FALSE; }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    bool IsIconic() const { return ::IsIconic(m_hWnd) != FALSE; }
    HWND SetFocus() { return ::SetFocus(m_hWnd); }

    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) {
        ::MoveWindow(m_hWnd, x, y, width, height, repaint);
    }
    void MoveWindow(const RECT& rect, BOOL repaint = TRUE) {
        ::MoveWindow(m_hWnd, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, repaint);
    }
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int width, int height, UINT flags) {
        return ::SetWindowPos(m_hWnd, insertAfter, x, y, width, height, flags);
    }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    void GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
    void ScreenToClient(RECT* rect) const { ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(rect), 2); }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }

    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE)); }
    // Removes then adds window styles; false when nothing changed.
    bool ModifyStyle(DWORD remove, DWORD add);

    HMENU GetMenu() const { return ::GetMenu(m_hWnd); }
    HICON SetIcon(HICON icon, BOOL bigIcon) {
        return reinterpret_cast<HICON>(SendMessage(WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
    }
    // Centres the window over its owner, or on the work area when it has none.
    void CenterWindow();

    // Through the program's one message-box function (framework/message_box.h).
    int MessageBox(const wchar_t* text, const wchar_t* caption, UINT type);

    // Control bars: the bars are the visible child windows with ids from `firstId`
    // to `lastId`, stacked along the top of the client area in id order. With
    // `queryOnly` nothing moves; `leftOver` receives the client area they leave.
    void RepositionBars(UINT firstId, UINT lastId, bool queryOnly, RECT* leftOver);
};

// The first id of the control-bar range.
const UINT AFX_IDW_CONTROLBAR_FIRST = 0xE800;
const UINT AFX_IDW_CONTROLBAR_LAST = 0xE8FF;
const UINT AFX_IDW_TOOLBAR = 0xE800;
