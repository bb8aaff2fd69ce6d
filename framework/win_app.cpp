#include "framework/win_app.h"

namespace {

CWinApp* g_app = nullptr;

thread_local HHOOK t_filterHook = nullptr;
thread_local int t_filterDepth = 0;

LRESULT CALLBACK MessageFilterHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0) {
        CWinApp* app = g_app;
        try {
            if (app != nullptr && app->ProcessMessageFilter(code, reinterpret_cast<MSG*>(lParam))) return TRUE;
        } catch (...) {
            // nothing may cross back into the system
        }
    }
    return ::CallNextHookEx(t_filterHook, code, wParam, lParam);
}

}  // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
    ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

BOOL CWinApp::ProcessMessageFilter(int, MSG*) { return FALSE; }

CWinApp* AfxGetApp() { return g_app; }

CWnd* AfxGetMainWnd() { return g_app != nullptr ? g_app->m_pMainWnd : nullptr; }

HINSTANCE AfxGetResourceHandle() { return ::GetModuleHandleW(nullptr); }

int AfxWinMain(HINSTANCE instance) {
    ::SetErrorMode(::SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return 1;
    app->m_hInstance = instance;
    try {
        app->InitInstance();
    } catch (...) {
        return 1;
    }
    return 0;
}

ModalLoopFilter::ModalLoopFilter() {
    if (t_filterDepth++ == 0) {
        t_filterHook = ::SetWindowsHookExW(WH_MSGFILTER, MessageFilterHook, nullptr, ::GetCurrentThreadId());
    }
}

ModalLoopFilter::~ModalLoopFilter() {
    if (--t_filterDepth == 0 && t_filterHook != nullptr) {
        ::UnhookWindowsHookEx(t_filterHook);
        t_filterHook = nullptr;
    }
}
