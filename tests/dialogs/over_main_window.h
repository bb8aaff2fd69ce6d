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
