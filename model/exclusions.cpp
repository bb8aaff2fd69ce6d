#include "model/exclusions.h"

#include "model/location_tree.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/text.h"

#include <cstddef>
#include <cwchar>

// One pattern; the list is its chain, newest first. The order does not
// matter: an entry is excluded when any pattern matches it.
struct ExclusionList {
    ExclusionList* next;
    bool foldersOnly;  // the pattern ended in a backslash
    // 0: a name at any depth; otherwise the components of every path it matches.
    unsigned components;
    wchar_t pattern[1];  // folded, its components joined by single backslashes
};

namespace {

const unsigned kNotCounted = ~0u;

bool EndsComponent(wchar_t unit) { return unit == 0 || unit == L'\\'; }

// `*` and `?` are the pattern's own; a backslash never stands within a component.
bool IsForbiddenInPattern(wchar_t unit) { return unit != L'*' && unit != L'?' && IsForbiddenInName(unit); }

// The components of `text` (from `begin` to `end`) if every one could name an
// entry: none empty, none "." or "..", no forbidden character; 0 otherwise.
unsigned CountValidComponents(const wchar_t* begin, const wchar_t* end) {
    unsigned components = 0;
    for (const wchar_t* start = begin; start <= end; ++components) {
        const wchar_t* stop = start;
        while (stop < end && *stop != L'\\') {
            if (IsForbiddenInPattern(*stop)) return 0;
            ++stop;
        }
        const size_t length = stop - start;
        if (length == 0 || (start[0] == L'.' && (length == 1 || (length == 2 && start[1] == L'.')))) return 0;
        start = stop + 1;
    }
    return components;
}

// True when the component `text` matches the folded pattern component; both end
// at a backslash or the terminator. `?` takes one character, a surrogate pair whole.
bool MatchComponent(const wchar_t* pattern, const wchar_t* text, const wchar_t* fold) {
    const wchar_t* star = nullptr;  // the pattern just after the last `*` met
    const wchar_t* resume = nullptr;  // where that `*` would take one character more
    while (!EndsComponent(*text)) {
        if (*pattern == L'*') {
            star = ++pattern;
            resume = text;
            continue;
        }
        if (*pattern == L'?') {
            ++pattern;
            text += IsHighSurrogate(text[0]) && IsLowSurrogate(text[1]) ? 2 : 1;
            continue;
        }
        if (!EndsComponent(*pattern) && *pattern == fold[static_cast<unsigned short>(*text)]) {
            ++pattern;
            ++text;
            continue;
        }
        if (!star) return false;
        pattern = star;
        text = ++resume;
    }
    while (*pattern == L'*') ++pattern;
    return EndsComponent(*pattern);
}

unsigned CountFolderComponents(const wchar_t* folder) {
    unsigned components = 0;
    for (; *folder; ++folder) components += *folder == L'\\';
    return components;
}

// The folder's components, then the name, against the pattern's components in turn.
bool MatchPath(const wchar_t* pattern, const wchar_t* folder, const wchar_t* name, const wchar_t* fold) {
    while (*folder) {
        if (!MatchComponent(pattern, folder, fold)) return false;
        while (*pattern != L'\\') ++pattern;
        while (*folder != L'\\') ++folder;
        ++pattern;
        ++folder;
    }
    return MatchComponent(pattern, name, fold);
}

}  // namespace

DWORD AddExclusion(ExclusionList** list, const wchar_t* pattern) {
    if (!list || !pattern) return ERROR_INVALID_PARAMETER;
    size_t length = wcsnlen(pattern, kPathUnits);
    if (length == kPathUnits) return ERROR_INVALID_PARAMETER;
    // No Windows name ends in a space (one may begin with one): a space typed at the end means nothing.
    while (length > 0 && pattern[length - 1] == L' ') --length;
    if (length == 0) return ERROR_INVALID_PARAMETER;
    // A leading backslash ties the pattern to the location itself: "\build" is the top folder's build only.
    const bool anchored = pattern[0] == L'\\';
    const bool foldersOnly = pattern[length - 1] == L'\\';
    const wchar_t* begin = pattern + (anchored ? 1 : 0);
    const wchar_t* end = pattern + length - (foldersOnly ? 1 : 0);
    if (begin >= end) return ERROR_INVALID_PARAMETER;
    const unsigned components = CountValidComponents(begin, end);
    if (components == 0) return ERROR_INVALID_PARAMETER;

    const size_t units = end - begin;
    auto* added =
        static_cast<ExclusionList*>(MemAlloc(offsetof(ExclusionList, pattern) + (units + 1) * sizeof(wchar_t)));
    if (!added) return ERROR_NOT_ENOUGH_MEMORY;
    const wchar_t* fold = NameFoldTable();
    for (size_t i = 0; i < units; ++i) added->pattern[i] = fold[static_cast<unsigned short>(begin[i])];
    added->pattern[units] = 0;
    added->foldersOnly = foldersOnly;
    added->components = anchored || components > 1 ? components : 0;
    added->next = *list;
    *list = added;
    return ERROR_SUCCESS;
}

void FreeExclusions(ExclusionList* list) {
    while (list) {
        ExclusionList* next = list->next;
        MemFree(list);
        list = next;
    }
}

bool IsExcluded(const ExclusionList* list, const wchar_t* folder, const wchar_t* name, bool isFolder) {
    if (!list || !name) return false;
    if (!folder) folder = L"";
    const wchar_t* fold = NameFoldTable();
    unsigned depth = kNotCounted;  // counted once, when a path pattern first needs it
    for (; list; list = list->next) {
        if (list->foldersOnly && !isFolder) continue;
        if (list->components == 0) {
            if (MatchComponent(list->pattern, name, fold)) return true;
            continue;
        }
        if (depth == kNotCounted) depth = CountFolderComponents(folder);
        if (list->components == depth + 1 && MatchPath(list->pattern, folder, name, fold)) return true;
    }
    return false;
}
