#pragma once
// The patterns that keep entries out of a scan, as if they were absent.
//
// Windows wildcards, `*` for any run of characters and `?` for any one, compared
// ignoring case as the rest of the model compares names. Neither crosses a
// separator: each stands within one component of a path. A slash separates
// components as a backslash does, wherever one may stand ("build/" is "build\").
// - A pattern of one name matches an entry's name at any depth: "*.tmp",
//   "node_modules".
// - A pattern with a separator between names matches the entry's path
//   relative to the location, whole: "build\*.obj", "docs\drafts".
// - `**` as a whole component matches any number of components, none too,
//   wherever it stands: "**\*.o" is "*.o", "src\**\*.o" is every .o below src
//   and in it, "build\**" is build and all it holds, "a\**\b\**\c".
// - A pattern that begins with a separator matches the path from the
//   location's top: "\build" is the top folder's build only.
// - A pattern that ends in a separator matches folders only: "cache\",
//   "build\cache\".
// Spaces at the end of a pattern are dropped, since no Windows name ends in
// one (a name may begin with one).
// A pattern that no name could match is refused: CheckExclusion says why and
// CorrectExclusion offers the nearest pattern that is accepted.
#include <windows.h>

#include <cstddef>

struct ExclusionList;  // the patterns of a run; null for none

// Adds one pattern; 0, ERROR_INVALID_PARAMETER for a pattern that cannot match
// (nothing added), 8 when memory runs out.
DWORD AddExclusion(ExclusionList** list, const wchar_t* pattern);
void FreeExclusions(ExclusionList* list);
// Leaves out links as well (symbolic links, junctions, mount points: the
// entries a scan takes for links), which no pattern can tell by their names;
// IsExcluded never matches by this rule. 0, or 8 when memory runs out.
DWORD AddLinkExclusion(ExclusionList** list);
bool ExcludesLinks(const ExclusionList* list);
// True when two patterns, as held (spaces at the end dropped), are one
// exclusion: equal ignoring case, a slash the same as a backslash.
bool SameExclusionPattern(const wchar_t* a, const wchar_t* b);
// True when the entry `name` of the folder `folder` (its path relative to the
// location: "" for the location itself, otherwise ending in a backslash) is excluded.
bool IsExcluded(const ExclusionList* list, const wchar_t* folder, const wchar_t* name, bool isFolder);

// Why AddExclusion refuses a pattern, the first fault from its start.
enum ExclusionFault {
    ExclusionHolds,              // accepted
    ExclusionEmpty,              // no name at all: "", spaces, separators only
    ExclusionEmptyComponent,     // two separators in a row: "docs\\drafts"
    ExclusionDotComponent,       // "." or ".." as a component: "..\x"
    ExclusionForbiddenCharacter, // a character no name holds: "a:b"
    ExclusionTooLong,            // longer than any path
};
// `at` is set to the unit the fault is at: the character, or the component's first.
ExclusionFault CheckExclusion(const wchar_t* pattern, size_t* at);
// Writes to `corrected` (room for the pattern's units and a terminator) the
// pattern with what makes it refused taken out: empty, "." and ".." components
// dropped, each character no name holds made a `?`, spaces at the end dropped.
// Returns its length; 0 when nothing of the pattern is left.
size_t CorrectExclusion(const wchar_t* pattern, wchar_t* corrected);
