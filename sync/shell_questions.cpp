#include "sync/shell_questions.h"

namespace {

// The guard of this thread; a hook procedure has no context of its own.
thread_local UnansweredQuestions* t_guard = nullptr;

}  // namespace

LRESULT CALLBACK CloseQuestion(int code, WPARAM wParam, LPARAM lParam) {
    UnansweredQuestions* guard = t_guard;
    if (code == HCBT_ACTIVATE && guard) {
        // Closed, not answered: the shell takes that as a No and leaves the file alone.
        if (PostMessageW(reinterpret_cast<HWND>(wParam), WM_CLOSE, 0, 0)) ++guard->m_closed;
    }
    return CallNextHookEx(guard ? guard->m_hook : nullptr, code, wParam, lParam);
}

UnansweredQuestions::UnansweredQuestions(bool active) {
    if (!active) return;
    m_hook = SetWindowsHookExW(WH_CBT, CloseQuestion, nullptr, GetCurrentThreadId());
    m_outer = t_guard;
    if (m_hook) t_guard = this;
}

UnansweredQuestions::~UnansweredQuestions() {
    if (!m_hook) return;
    UnhookWindowsHookEx(m_hook);
    t_guard = m_outer;
}
