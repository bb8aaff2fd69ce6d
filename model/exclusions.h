#pragma once
// The patterns that keep entries out of a scan, as if they were absent.
//
// Windows wildcards, `*` for any run of characters and `?` for any one, compared
// ignoring case as the rest of the model compares names. Neither crosses a
// backslash: each stands within one component of a path.
// - A pattern of one name matches an entry's name at any depth: "*.tmp",
//   "node_modules".
// - A pattern with a backslash between names matches the entry's path
//   relative to the location, whole: "build\*.obj", "docs\drafts".
// - A pattern that begins with a backslash matches the path from the
//   location's top: "\build" is the top folder's build only.
// - A pattern that ends in a backslash matches folders only: "cache\",
//   "build\cache\".
// Spaces at the end of a pattern are dropped, since no Windows name ends in
// one (a name may begin with one).
// A pattern that no name could match is refused: an empty one, one with an
// empty, "." or ".." component, one with a character no name holds.
#include <windows.h>

struct ExclusionList;  // the patterns of a run; null for none

// Adds one pattern; 0, ERROR_INVALID_PARAMETER for a pattern that cannot match
// (nothing added), 8 when memory runs out.
DWORD AddExclusion(ExclusionList** list, const wchar_t* pattern);
void FreeExclusions(ExclusionList* list);
// True when the entry `name` of the folder `folder` (its path relative to the
// location: "" for the location itself, otherwise ending in a backslash) is excluded.
bool IsExcluded(const ExclusionList* list, const wchar_t* folder, const wchar_t* name, bool isFolder);
