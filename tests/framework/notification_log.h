#pragma once
// Records the notifications that a parent window receives from its controls,
// so that a test compares them with a declared sequence: the real controls
// decide what they send, and the test states what the program must see.
#include <windows.h>

#include <string>
#include <vector>

struct ExpectedNotification {
    UINT code;
    UINT_PTR idFrom;
    bool operator==(const ExpectedNotification&) const = default;
};

class NotificationLog {
public:
    // Records every WM_NOTIFY sent to `parent` on this thread while it lives,
    // keeping only the codes in `codes` (all of them when empty).
    explicit NotificationLog(HWND parent, std::vector<UINT> codes = {});
    ~NotificationLog();
    NotificationLog(const NotificationLog&) = delete;
    NotificationLog& operator=(const NotificationLog&) = delete;

    const std::vector<ExpectedNotification>& Seen() const { return m_seen; }
    void Clear() { m_seen.clear(); }
    // Readable form for a failing comparison.
    static std::string Describe(const std::vector<ExpectedNotification>& sequence);

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    HHOOK m_hook;
    HWND m_parent;
    std::vector<UINT> m_codes;
    std::vector<ExpectedNotification> m_seen;
};
