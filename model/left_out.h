#pragma once
// The entries a scan's exclusions left out, recorded only when asked (a run
// that deletes them): each with its path below the location and what the
// search saw of it, every folder before what it holds.
#include "model/text_pool.h"

#include <windows.h>

#include <cstdint>

struct LeftOutEntry {
    uint32_t path;  // offset into the list's text: below the location, with no backslash at its end
    DWORD attributes;
    uint64_t size;
    FILETIME lastWriteTime;
    // Neither a link (never followed, never removed) nor a name that a path
    // would change or that has a case twin, nor a folder that could not be
    // listed: what it names can be acted on, and what it holds is listed.
    bool usable;
};

struct LeftOutList {
    LeftOutEntry* entries;
    uint32_t count;
    uint32_t capacity;
    TextPool text;
};

inline const wchar_t* LeftOutPath(const LeftOutList* list, const LeftOutEntry& entry) {
    return TextAt(list->text, entry.path);
}

// Appends the entry `name` of `folder` (below the location: "" or ending in
// a backslash) as the search found it; 0 or ERROR_NOT_ENOUGH_MEMORY.
DWORD AddLeftOut(LeftOutList* list, const wchar_t* folder, const WIN32_FIND_DATAW& found);
// Marks unusable, among the entries from `first` on (the entries of one
// folder), each name that a path would change and each with a case twin;
// false when memory runs out.
bool MarkUnusableNames(LeftOutList* list, uint32_t first);
// Lists below `locationPath` (ending in a backslash) what every usable
// left-out folder of the list holds, appended after it, one folder at a time
// and with no recursion, so any depth can be listed; a folder that cannot be
// listed is marked unusable, and nothing below a link is looked at. Stops
// when `cancelled` (optional) is set. 0 or ERROR_NOT_ENOUGH_MEMORY.
DWORD ListInsideLeftOut(LeftOutList* list, const wchar_t* locationPath, const volatile LONG* cancelled);
void FreeLeftOut(LeftOutList* list);
