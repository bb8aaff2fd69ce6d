#include "tests/framework/notification_log.h"

#include <algorithm>
#include <cstdio>

namespace {

thread_local NotificationLog* t_log = nullptr;

}  // namespace

NotificationLog::NotificationLog(HWND parent, std::vector<UINT> codes)
    : m_hook(SetWindowsHookExW(WH_CALLWNDPROC, Hook, nullptr, GetCurrentThreadId())),
      m_parent(parent),
      m_codes(std::move(codes)) {
    t_log = this;
}

NotificationLog::~NotificationLog() {
    if (m_hook) UnhookWindowsHookEx(m_hook);
    t_log = nullptr;
}

LRESULT CALLBACK NotificationLog::Hook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    NotificationLog* log = t_log;
    if (code == HC_ACTION && log && sent->message == WM_NOTIFY && sent->hwnd == log->m_parent && sent->lParam) {
        const auto* header = reinterpret_cast<const NMHDR*>(sent->lParam);
        if (log->m_codes.empty() ||
            std::find(log->m_codes.begin(), log->m_codes.end(), header->code) != log->m_codes.end())
            log->m_seen.push_back({header->code, header->idFrom});
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::string NotificationLog::Describe(const std::vector<ExpectedNotification>& sequence) {
    std::string text;
    for (const ExpectedNotification& seen : sequence) {
        char line[64];
        snprintf(line, sizeof line, "code %d from %u\n", static_cast<int>(seen.code), static_cast<unsigned>(seen.idFrom));
        text += line;
    }
    return text;
}
