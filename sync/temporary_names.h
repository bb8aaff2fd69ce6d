#pragma once
// The names under which a synchronization makes its copies before they take
// their real names: "~QM", five upper-case hexadecimal digits and ".TMP", an
// 8.3 name of 12 characters. Any folder part that leaves room for an 8.3
// name (IsPathUsable) leaves room for one of them within MAX_PATH.
#include <windows.h>

#include <cstddef>

const size_t kTemporaryNameUnits = 13;  // the name and its terminator
// Names tried before a copy gives up: a folder full of them is no place to copy into.
const unsigned kTemporaryNameAttempts = 64;

// True for a name of exactly that pattern, as only a synchronization makes them.
bool IsTemporaryName(const wchar_t* name);

// The folder part of `target` (up to its last backslash) followed by a fresh
// temporary name, in `path` of MAX_PATH units and the name alone in `name`.
// Each call gives another name; whether it is free, the caller tells by
// making the file without replacing one. False when it does not fit.
bool NextTemporaryPath(const wchar_t* target, wchar_t* path, wchar_t* name);

// The temporary file's path from its target's and its name, in `path` of MAX_PATH units.
bool TemporaryPathOf(const wchar_t* target, const wchar_t* name, wchar_t* path);

// Renames the temporary file to its target's name without replacing anything,
// so that a file made under the name meanwhile is never overwritten, and gives
// it back its last-write time where its volume dropped it at the rename: 0,
// kSyncTimeNotKept (the file took the name, its time not), kSyncNameTaken, or
// the system's code.
DWORD TakeRealName(const wchar_t* temporary, const wchar_t* target);
