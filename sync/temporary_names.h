#pragma once
// The names under which a synchronization makes its copies before they take
// their real names: "~QM", five upper-case hexadecimal digits and ".TMP", an
// 8.3 name of 12 characters. Any folder part that leaves room for an 8.3
// name (IsPathUsable) leaves room for one of them within MAX_PATH.
#include "sync/sync_items.h"

#include <windows.h>

#include <cstddef>

struct RunJournal;

const size_t kTemporaryNameUnits = 13;  // the name and its terminator

// True for a name of exactly that pattern, as only a synchronization makes them.
bool IsTemporaryName(const wchar_t* name);

// The folder part of `target` (up to its last backslash) followed by a fresh
// temporary name, in `path` of MAX_PATH units and the name alone in `name`.
// Each call gives another name; whether it is free, the caller tells by
// making the file without replacing one. False when it does not fit.
bool NextTemporaryPath(const wchar_t* target, wchar_t* path, wchar_t* name);

// Makes an empty file under a fresh temporary name beside `target`, without
// replacing anything, each name recorded in `journal` (with what its copy's
// `source` is) before the file is made; 0 or the system's code. `path` and
// `name` as above.
DWORD ReserveTemporaryFile(const wchar_t* target, wchar_t* path, wchar_t* name, RunJournal* journal,
                           const SyncSeenFile& source);

// The temporary file's path from its target's and its name, in `path` of MAX_PATH units.
bool TemporaryPathOf(const wchar_t* target, const wchar_t* name, wchar_t* path);

// Renames the temporary file to its target's name without replacing anything,
// so that a file made under the name meanwhile is never overwritten, and gives
// it back its last-write time where its volume dropped it at the rename: 0,
// kSyncTimeNotKept (the file took the name, its time not), kSyncNameTaken, or
// the system's code.
DWORD TakeRealName(const wchar_t* temporary, const wchar_t* target);
