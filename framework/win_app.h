#pragma once
// The application object: one per process, reached through AfxGetApp.
#include <windows.h>

#include <string>

#include "framework/wnd.h"

// The framework's help command.
const UINT ID_HELP = 0xE146;  // 57670

class CWinApp : public CCmdTarget {
public:
    // Becomes the process's application object; the previous one (if any) is replaced.
    CWinApp();
    ~CWinApp() override;

    // Returns TRUE to go on running, FALSE to end the process. The base does nothing else.
    virtual BOOL InitInstance();
    // Called with every message of a modal loop (`code` is the MSGF_ value) before
    // the loop handles it; TRUE consumes the message. The base consumes nothing.
    virtual BOOL ProcessMessageFilter(int code, MSG* message);

    // Names the registry key of the program's settings after the maker. The
    // program keeps no settings: nothing is ever read or written there.
    void SetRegistryKey(const wchar_t* company) { m_registryKey = company; }
    const std::wstring& GetRegistryKey() const { return m_registryKey; }

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;

protected:
    // The default help handler: the program ships no help file, so it does nothing.
    void OnHelp() {}

    DECLARE_MESSAGE_MAP()

private:
    std::wstring m_registryKey;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
// The module whose resources the program uses (the executable).
HINSTANCE AfxGetResourceHandle();

// The process's start-up: sets the error mode so that a drive without a medium
// fails quietly, then runs the application's InitInstance. Returns the exit code.
int AfxWinMain(HINSTANCE instance);

// While one exists on a thread, the messages of the thread's modal loops reach
// the application's ProcessMessageFilter (a WH_MSGFILTER hook). Nested scopes
// share one hook.
class ModalLoopFilter {
public:
    ModalLoopFilter();
    ~ModalLoopFilter();
    ModalLoopFilter(const ModalLoopFilter&) = delete;
    ModalLoopFilter& operator=(const ModalLoopFilter&) = delete;
};
