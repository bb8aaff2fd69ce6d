#pragma once
// Starts a thread with default security and stack size.
#include <windows.h>

typedef UINT (*ThreadRoutine)(void* parameter);

// Returns the new thread's handle, which the caller closes, or null with the
// reason in GetLastError. An exception thrown by `routine` ends the thread
// with exit code 1 instead of leaving through the system.
HANDLE StartThread(ThreadRoutine routine, void* parameter);

// Waits for a thread that StartThread started to end and closes its handle;
// nothing for null.
void JoinThread(HANDLE thread);
