#pragma once
// Helpers for tests that drive real windows: a guard against unexpected modal
// boxes, a driver that runs test steps inside a modal loop, a capture of
// the program's message boxes, and a dialog's controls reached by their ids.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// While it lives, top-level dialog windows beyond the first `allowedDialogs`
// created on this thread are refused (their creation fails, so no box can
// hang the test) and the test fails, unless the refusals were expected.
class ModalBoxGuard {
public:
    explicit ModalBoxGuard(int allowedDialogs = 1);
    ~ModalBoxGuard();
    ModalBoxGuard(const ModalBoxGuard&) = delete;
    ModalBoxGuard& operator=(const ModalBoxGuard&) = delete;

    int Refused() const { return m_refused; }
    void ExpectRefusals() { m_refusalsExpected = true; }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    HHOOK m_hook;
    int m_allowed;
    int m_created = 0;
    int m_refused = 0;
    bool m_refusalsExpected = false;
};

using TestStep = std::function<void()>;

// Calls `run` (which runs a modal loop) and, from inside that loop, each step in
// turn, one per timer tick, once `window()` names a visible window. Messages posted by a
// step are handled before the next step runs. A dialog still open some seconds
// after the last step fails the test and is ended with -2.
INT_PTR RunModalSteps(const std::function<INT_PTR()>& run, const std::function<HWND()>& window,
                      std::vector<TestStep> steps);

struct CapturedMessageBox {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;
};

// Answers every message box of the program with `answer` and keeps what it asked.
class MessageBoxCapture {
public:
    explicit MessageBoxCapture(int answer = IDOK);
    ~MessageBoxCapture();
    MessageBoxCapture(const MessageBoxCapture&) = delete;
    MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;

    std::vector<CapturedMessageBox> boxes;

private:
    static int Answer(void* context, HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);
    int m_answer;
};

// Sends WM_NOTIFY with a bare NMHDR from control `id`; returns the dialog's answer.
LRESULT SendNotify(HWND dialog, int id, UINT code);
// Calls the dialog's own procedure: TRUE when it handled the message.
INT_PTR CallDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);
// Resizes `window` so that its client area is width x height.
void SetClientSize(HWND window, int width, int height);

// Handles the thread's messages, timers aside so that no further test step
// runs meanwhile, until `done` holds or some seconds have passed.
bool PumpUntil(const std::function<bool()>& done);

// A dialog's controls as a test reaches them: by their ids, like any tool that
// drives the window from outside.

// A wrapper for control `id` of `dialog`, made where it is used; it owns nothing.
template <class Control>
class ControlById : public Control {
public:
    ControlById(HWND dialog, int id) { this->m_hWnd = ::GetDlgItem(dialog, id); }
};

std::wstring ItemText(HWND dialog, int id);
// The command of control `id`, as its notification; the control itself does nothing.
void Command(HWND dialog, int id);
// A click on button `id`: a check box or radio button changes its check first, as under the mouse.
void Click(HWND dialog, int id);
