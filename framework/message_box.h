#pragma once
// The one function through which the program shows every message box. Tests
// put a handler in its place to read text, caption and icon and to answer.
#include <windows.h>

// Returns the button the user chose (IDOK, IDCANCEL, ...) like MessageBoxW.
int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

// Answers instead of the real box. A null handler restores the real box.
typedef int (*MessageBoxHandler)(void* context, HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);
void SetMessageBoxHandler(MessageBoxHandler handler, void* context);
