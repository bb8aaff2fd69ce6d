#include "tests/support/message_window.h"

HWND CreateMessageWindow(const wchar_t* className, WNDPROC procedure, void* userData) {
    WNDCLASSW windowClass = {};
    if (!GetClassInfoW(GetModuleHandleW(nullptr), className, &windowClass)) {
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = className;
        if (!RegisterClassW(&windowClass)) return nullptr;
    }
    HWND window = CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(userData));
    return window;
}

void PumpWaitingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}
