#pragma once
// The application object: runs the main dialog modally, then lets the process end.
#include <windows.h>

#include "framework/win_app.h"

class CQuillmarApp : public CWinApp {
public:
    CQuillmarApp() = default;
    ~CQuillmarApp() override = default;

    BOOL InitInstance() override;
    // F5 and the other accelerators reach the main dialog while its modal loop runs.
    BOOL ProcessMessageFilter(int code, MSG* message) override;

    HACCEL m_hAccel = nullptr;

    DECLARE_MESSAGE_MAP()
};
