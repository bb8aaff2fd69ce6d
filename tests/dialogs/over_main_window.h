#pragma once
// Runs the real main window as the application's main window and, from one of
// its steps, a command that opens a modal dialog over it, with steps of its own.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/quillmar_dlg.h"
#include "framework/win_app.h"
#include "res/resource.h"
#include "tests/framework/window_test.h"

class OverMainWindow {
public:

    // Runs `setUp` on the main window, then `command`, whose dialog (found by its
    // caption) runs `steps`; once that dialog has gone, `after`; then the main window closes.
    void Run(const std::function<void(CQuillmarDlg&)>& setUp, UINT command, const wchar_t* caption,
             std::vector<TestStep> steps, const std::function<void(CQuillmarDlg&)>& after = nullptr) {
        m_main = std::make_unique<CQuillmarDlg>();
        m_app.m_pMainWnd = m_main.get();
        RunModalSteps([&] { return m_main->DoModal(); }, [&] { return m_main->m_hWnd; },
                      {[&] {
                           setUp(*m_main);
                           RunModalSteps(
                               [&] {
                                   SendMessageW(m_main->m_hWnd, WM_COMMAND, MAKEWPARAM(command, 0), 0);
                                   return INT_PTR(0);
                               },
                               [&] { return FindWindowW(L"#32770", caption); }, std::move(steps));
                           EXPECT_EQ(FindWindowW(L"#32770", caption), nullptr);
                           if (after) after(*m_main);
                       },
                       [&] { m_main->EndDialog(IDCANCEL); }});
    }

    CWinApp m_app;
    // Made anew for each run; the last one stays for the test to read.
    std::unique_ptr<CQuillmarDlg> m_main;
};

inline std::wstring ItemText(HWND dialog, int id) {
    wchar_t text[4096] = L"";
    GetDlgItemTextW(dialog, id, text, 4096);
    return text;
}

inline void Command(HWND dialog, int id) { SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

// Handles the thread's messages, timers aside so that no further test step
// runs meanwhile, until `done` holds or some seconds have passed.
inline bool PumpUntil(const std::function<bool()>& done) {
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
