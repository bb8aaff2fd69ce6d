#include "tests/framework/window_test.h"

#include <gtest/gtest.h>

#include "framework/message_box.h"

namespace {

ModalBoxGuard* g_guard = nullptr;

bool IsDialogClass(LPCWSTR className) {
    if (IS_INTRESOURCE(className)) return LOWORD(reinterpret_cast<ULONG_PTR>(className)) == 0x8002;
    return lstrcmpiW(className, L"#32770") == 0;
}

struct StepRun {
    std::function<HWND()> window;
    std::vector<TestStep> steps;
    size_t next = 0;
    int ticksAfterLast = 0;
};

StepRun* g_run = nullptr;
const UINT kTickMilliseconds = 20;
const int kTicksBeforeGivingUp = 250;

void CALLBACK StepTimer(HWND, UINT, UINT_PTR, DWORD) {
    StepRun* run = g_run;
    if (run == nullptr) return;
    HWND window = run->window();
    // The loop shows the dialog once its first messages are handled.
    if (window == nullptr || !IsWindowVisible(window)) return;
    if (run->next < run->steps.size()) {
        TestStep step = run->steps[run->next++];
        step();
        return;
    }
    if (++run->ticksAfterLast == kTicksBeforeGivingUp) {
        ADD_FAILURE() << "the dialog stayed open after the test's last step";
        EndDialog(window, -2);
    }
}

}  // namespace

ModalBoxGuard::ModalBoxGuard(int allowedDialogs) : m_allowed(allowedDialogs) {
    g_guard = this;
    m_hook = SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId());
}

ModalBoxGuard::~ModalBoxGuard() {
    if (m_hook != nullptr) UnhookWindowsHookEx(m_hook);
    g_guard = nullptr;
    if (m_refused > 0 && !m_refusalsExpected) {
        ADD_FAILURE() << m_refused << " unexpected modal window(s) were refused";
    }
}

LRESULT CALLBACK ModalBoxGuard::Hook(int code, WPARAM wParam, LPARAM lParam) {
    ModalBoxGuard* guard = g_guard;
    if (code == HCBT_CREATEWND && guard != nullptr) {
        const CREATESTRUCTW* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
        if (!(create->style & WS_CHILD) && IsDialogClass(create->lpszClass)) {
            if (++guard->m_created > guard->m_allowed) {
                ++guard->m_refused;
                return 1;  // the window is not created; its box returns at once
            }
        }
    }
    return CallNextHookEx(guard != nullptr ? guard->m_hook : nullptr, code, wParam, lParam);
}

INT_PTR RunModalSteps(const std::function<INT_PTR()>& run, const std::function<HWND()>& window,
                      std::vector<TestStep> steps) {
    StepRun state;
    state.window = window;
    state.steps = std::move(steps);
    StepRun* outer = g_run;
    g_run = &state;
    UINT_PTR timer = SetTimer(nullptr, 0, kTickMilliseconds, StepTimer);
    INT_PTR result = run();
    KillTimer(nullptr, timer);
    g_run = outer;
    EXPECT_EQ(state.next, state.steps.size()) << "the dialog ended before every step had run";
    return result;
}

MessageBoxCapture::MessageBoxCapture(int answer) : m_answer(answer) { SetMessageBoxHandler(Answer, this); }

MessageBoxCapture::~MessageBoxCapture() { SetMessageBoxHandler(nullptr, nullptr); }

int MessageBoxCapture::Answer(void* context, HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
    MessageBoxCapture* capture = static_cast<MessageBoxCapture*>(context);
    capture->boxes.push_back({owner, text != nullptr ? text : L"", caption != nullptr ? caption : L"", type});
    return capture->m_answer;
}

LRESULT SendNotify(HWND dialog, int id, UINT code) {
    NMHDR header = {};
    header.hwndFrom = GetDlgItem(dialog, id);
    header.idFrom = static_cast<UINT_PTR>(id);
    header.code = code;
    return SendMessageW(dialog, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&header));
}

INT_PTR CallDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    DLGPROC procedure = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(dialog, DWLP_DLGPROC));
    return procedure(dialog, message, wParam, lParam);
}

RECT ChildRect(HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void SetClientSize(HWND window, int width, int height) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        RECT client, outer;
        GetClientRect(window, &client);
        GetWindowRect(window, &outer);
        int dx = width - (client.right - client.left);
        int dy = height - (client.bottom - client.top);
        if (dx == 0 && dy == 0) return;
        SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + dx, outer.bottom - outer.top + dy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

bool PumpUntil(const std::function<bool()>& done) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > 30000) return false;
        MSG message;
        bool any = false;
        while (PeekMessageW(&message, nullptr, 0, WM_TIMER - 1, PM_REMOVE) ||
               PeekMessageW(&message, nullptr, WM_TIMER + 1, 0xFFFFFFFF, PM_REMOVE)) {
            any = true;
            if (!IsDialogMessageW(GetActiveWindow(), &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        if (!any) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

std::wstring ItemText(HWND dialog, int id) {
    wchar_t text[4096] = L"";
    GetDlgItemTextW(dialog, id, text, 4096);
    return text;
}

void Command(HWND dialog, int id) { SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

void Click(HWND dialog, int id) { SendDlgItemMessageW(dialog, id, BM_CLICK, 0, 0); }
