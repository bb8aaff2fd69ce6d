#pragma once
// A hidden message-only window that receives what a worker thread sends.
#include <windows.h>

// Registers `className` with `procedure` on first use; `userData` is the
// window's GWLP_USERDATA. Null when the window cannot be made.
HWND CreateMessageWindow(const wchar_t* className, WNDPROC procedure, void* userData);
// Dispatches every message waiting for this thread.
void PumpWaitingMessages();
