#pragma once
#include <windows.h>

const unsigned kSystemErrorUnits = 2048;

// Fills `text` (kSystemErrorUnits) with the system's message for `code`, or with
// a text of our own naming the code when the system has none.
void FormatSystemError(DWORD code, wchar_t* text);
