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
    bool foldersOnly;  // the pattern ended in a separator
    enum Shape : unsigned char {
        kName,  // one name, matched at any depth
        kWholePath,  // the components of every path it matches, in turn
        kSpanningPath,  // holds `**`: paths of `components` names or more
        kLinks,  // no pattern: the links, which no name tells
    } shape;
    unsigned components;  // those other than `**`
    wchar_t pattern[1];  // folded, its components joined by single backslashes
};

namespace {

const unsigned kNotCounted = ~0u;

bool EndsComponent(wchar_t unit) { return unit == 0 || unit == L'\\'; }
bool IsSeparator(wchar_t unit) { return unit == L'\\' || unit == L'/'; }

// `*` and `?` are the pattern's own.
bool IsForbiddenInPattern(wchar_t unit) { return unit != L'*' && unit != L'?' && IsForbiddenInName(unit); }

bool IsDotComponent(const wchar_t* start, size_t length) {
    return start[0] == L'.' && (length == 1 || (length == 2 && start[1] == L'.'));
}

// A component of a stored pattern, or of one typed from `start`, that is `**` whole.
bool IsSpan(const wchar_t* start) { return start[0] == L'*' && start[1] == L'*' && EndsComponent(start[2]); }
bool IsSpan(const wchar_t* start, size_t length) { return length == 2 && start[0] == L'*' && start[1] == L'*'; }

// A typed pattern, taken apart.
struct TypedPattern {
    const wchar_t* begin;  // the first component
    const wchar_t* end;  // after the last one (its separator or spaces left out)
    const wchar_t* last;  // the last component
    bool anchored, foldersOnly, lastIsSpan;
    unsigned names, spans;  // the components other than `**`, and those that are
};

ExclusionFault ReadPattern(const wchar_t* pattern, TypedPattern* typed, size_t* at) {
    *at = 0;
    size_t length = wcsnlen(pattern, kPathUnits);
    if (length == kPathUnits) return ExclusionTooLong;
    // No Windows name ends in a space (one may begin with one): a space typed at the end means nothing.
    while (length > 0 && pattern[length - 1] == L' ') --length;
    size_t separators = 0;
    while (separators < length && IsSeparator(pattern[separators])) ++separators;
    if (separators == length) return ExclusionEmpty;
    // A leading separator ties the pattern to the location itself: "\build" is the top folder's build only.
    typed->anchored = IsSeparator(pattern[0]);
    typed->foldersOnly = IsSeparator(pattern[length - 1]);
    typed->begin = pattern + (typed->anchored ? 1 : 0);
    typed->end = pattern + length - (typed->foldersOnly ? 1 : 0);
    typed->names = typed->spans = 0;
    for (const wchar_t* start = typed->begin;; ++start) {
        const wchar_t* stop = start;
        for (; stop < typed->end && !IsSeparator(*stop); ++stop) {
            if (IsForbiddenInPattern(*stop)) {
                *at = stop - pattern;
                return ExclusionForbiddenCharacter;
            }
        }
        *at = start - pattern;
        if (stop == start) return ExclusionEmptyComponent;
        if (IsDotComponent(start, stop - start)) return ExclusionDotComponent;
        typed->lastIsSpan = IsSpan(start, stop - start);
        ++(typed->lastIsSpan ? typed->spans : typed->names);
        typed->last = start;
        if (stop == typed->end) break;
        start = stop;
    }
    *at = 0;
    return ExclusionHolds;
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

// The components of a stored pattern in turn: the next one, or the terminator after the last.
const wchar_t* NextPatternComponent(const wchar_t* pattern) {
    while (!EndsComponent(*pattern)) ++pattern;
    return *pattern ? pattern + 1 : pattern;
}

// An entry's components in turn: its folder's, then its name, then none.
class EntryComponents {
public:
    EntryComponents(const wchar_t* folder, const wchar_t* name)
        : m_at(*folder ? folder : name), m_name(name), m_inFolder(*folder != 0) {}
    // Null after the name.
    const wchar_t* Current() const { return m_at; }
    void Advance() {
        if (!m_inFolder) {
            m_at = nullptr;
            return;
        }
        while (*m_at != L'\\') ++m_at;
        if (*++m_at) return;
        m_at = m_name;
        m_inFolder = false;
    }

private:
    const wchar_t* m_at;
    const wchar_t* m_name;
    bool m_inFolder;
};

// As MatchPath, with each `**` taking any number of components: the wildcard
// match of one star, a component for a character, so that a miss resumes at the
// last `**` with one component more, never further back.
bool MatchSpanningPath(const wchar_t* pattern, const wchar_t* folder, const wchar_t* name, const wchar_t* fold) {
    EntryComponents text(folder, name);
    const wchar_t* afterSpan = nullptr;  // the pattern just after the last `**` met
    EntryComponents resume = text;  // where that `**` would take one component more
    while (text.Current()) {
        if (IsSpan(pattern)) {
            afterSpan = pattern = NextPatternComponent(pattern);
            resume = text;
            continue;
        }
        if (*pattern && MatchComponent(pattern, text.Current(), fold)) {
            pattern = NextPatternComponent(pattern);
            text.Advance();
            continue;
        }
        if (!afterSpan) return false;
        pattern = afterSpan;
        resume.Advance();
        text = resume;
    }
    while (IsSpan(pattern)) pattern = NextPatternComponent(pattern);
    return *pattern == 0;
}

}  // namespace

DWORD AddExclusion(ExclusionList** list, const wchar_t* pattern) {
    if (!list || !pattern) return ERROR_INVALID_PARAMETER;
    TypedPattern typed;
    size_t at = 0;
    if (ReadPattern(pattern, &typed, &at) != ExclusionHolds) return ERROR_INVALID_PARAMETER;
    // Only `**` before one name, "**\*.o", is that name at any depth, and as fast.
    const bool name = typed.names == 1 && !typed.lastIsSpan && (typed.spans > 0 || !typed.anchored);
    const wchar_t* begin = name ? typed.last : typed.begin;

    const size_t units = typed.end - begin;
    auto* added =
        static_cast<ExclusionList*>(MemAlloc(offsetof(ExclusionList, pattern) + (units + 1) * sizeof(wchar_t)));
    if (!added) return ERROR_NOT_ENOUGH_MEMORY;
    const wchar_t* fold = NameFoldTable();
    for (size_t i = 0; i < units; ++i)
        added->pattern[i] = IsSeparator(begin[i]) ? L'\\' : fold[static_cast<unsigned short>(begin[i])];
    added->pattern[units] = 0;
    added->foldersOnly = typed.foldersOnly;
    added->shape = name ? ExclusionList::kName
                        : typed.spans > 0 ? ExclusionList::kSpanningPath : ExclusionList::kWholePath;
    added->components = typed.names;
    added->next = *list;
    *list = added;
    return ERROR_SUCCESS;
}

DWORD AddLinkExclusion(ExclusionList** list) {
    if (!list) return ERROR_INVALID_PARAMETER;
    if (ExcludesLinks(*list)) return ERROR_SUCCESS;
    auto* added = static_cast<ExclusionList*>(MemAlloc(sizeof(ExclusionList)));
    if (!added) return ERROR_NOT_ENOUGH_MEMORY;
    added->pattern[0] = 0;
    added->foldersOnly = false;
    added->shape = ExclusionList::kLinks;
    added->components = 0;
    added->next = *list;
    *list = added;
    return ERROR_SUCCESS;
}

bool SameExclusionPattern(const wchar_t* a, const wchar_t* b) {
    const wchar_t* fold = NameFoldTable();
    for (;; ++a, ++b) {
        const wchar_t unitA = *a == L'/' ? L'\\' : fold[static_cast<unsigned short>(*a)];
        const wchar_t unitB = *b == L'/' ? L'\\' : fold[static_cast<unsigned short>(*b)];
        if (unitA != unitB) return false;
        if (unitA == 0) return true;
    }
}

bool ExcludesLinks(const ExclusionList* list) {
    for (; list; list = list->next) {
        if (list->shape == ExclusionList::kLinks) return true;
    }
    return false;
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
        if ((list->foldersOnly && !isFolder) || list->shape == ExclusionList::kLinks) continue;
        if (list->shape == ExclusionList::kName) {
            if (MatchComponent(list->pattern, name, fold)) return true;
            continue;
        }
        if (depth == kNotCounted) depth = CountFolderComponents(folder);
        const bool matched = list->shape == ExclusionList::kWholePath
                                 ? list->components == depth + 1 && MatchPath(list->pattern, folder, name, fold)
                                 : list->components <= depth + 1 &&
                                       MatchSpanningPath(list->pattern, folder, name, fold);
        if (matched) return true;
    }
    return false;
}

ExclusionFault CheckExclusion(const wchar_t* pattern, size_t* at) {
    TypedPattern typed;
    return ReadPattern(pattern, &typed, at);
}

size_t CorrectExclusion(const wchar_t* pattern, wchar_t* corrected) {
    size_t length = wcsnlen(pattern, kPathUnits);
    *corrected = 0;
    if (length == kPathUnits) return 0;  // no part of it is a pattern either
    while (length > 0 && pattern[length - 1] == L' ') --length;
    // The separator the user typed first, for the ones put back.
    wchar_t separator = L'\\';
    for (size_t i = 0; i < length; ++i) {
        if (IsSeparator(pattern[i])) {
            separator = pattern[i];
            break;
        }
    }
    wchar_t* out = corrected;
    if (length > 0 && IsSeparator(pattern[0])) *out++ = separator;
    bool kept = false;
    for (size_t start = 0; start < length;) {
        size_t stop = start;
        while (stop < length && !IsSeparator(pattern[stop])) ++stop;
        if (stop > start && !IsDotComponent(pattern + start, stop - start)) {
            if (kept) *out++ = separator;
            for (size_t i = start; i < stop; ++i) *out++ = IsForbiddenInPattern(pattern[i]) ? L'?' : pattern[i];
            kept = true;
        }
        start = stop + 1;
    }
    if (!kept) {
        *corrected = 0;
        return 0;
    }
    if (IsSeparator(pattern[length - 1])) *out++ = separator;
    *out = 0;
    return out - corrected;
}
