// Started once before the tests: brings up Wine's services and desktop process
// outside the test runner's pipes, which they would otherwise hold open.
#include <windows.h>

int wmain() {
    HWND window = CreateWindowExW(0, L"STATIC", L"warm-up", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window) DestroyWindow(window);
    return 0;
}
