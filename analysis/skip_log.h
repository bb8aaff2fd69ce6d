#pragma once
// The process-wide log of items that a long operation skipped: UTF-16 LE with a
// byte-order mark, a header line, a blank line, then one line per entry.
#include <windows.h>

// Creates the log file anew. False when a log is already open (it stays as it
// is), the file cannot be created or the header cannot be written.
bool SkipLogOpen(const wchar_t* path, const wchar_t* header);

// Appends one entry line. A failed write closes the log; later appends fail too.
bool SkipLogAppend(const wchar_t* text);

// Appends several lines that no other writer can come between, each counted as
// an entry. Stops at the first line that fails.
bool SkipLogAppendLines(const wchar_t* const* lines, unsigned count);

// The full path (MAX_PATH units) of a log named `name` in the folder of the
// program's executable, where the logs of the window program stand. False
// when it cannot be formed within MAX_PATH.
bool LogPathBesideProgram(const wchar_t* name, wchar_t* path);

// Closes the log and deletes its file when no entry was written. Returns the
// number of entries written since it was opened.
DWORD SkipLogClose();

// The write call the log uses; tests swap in one that fails. Null restores WriteFile.
typedef BOOL(WINAPI* SkipLogWriteFunction)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
void SkipLogSetWriteFunction(SkipLogWriteFunction write);
