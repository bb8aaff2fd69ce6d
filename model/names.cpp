#include "model/names.h"

#include "model/text.h"

#include <windows.h>

namespace {

// One table for the whole Basic Multilingual Plane, built on first use.
wchar_t g_fold[0x10000];
INIT_ONCE g_foldOnce = INIT_ONCE_STATIC_INIT;
// Set once the table is built. Every name comparison asks for the table, and a
// one-time initialisation costs a call into the system each time it is asked.
volatile LONG g_foldReady = 0;

BOOL CALLBACK BuildFoldTable(PINIT_ONCE, PVOID, PVOID*) {
    for (unsigned unit = 0; unit < 0x10000; ++unit) g_fold[unit] = static_cast<wchar_t>(unit);
    // Surrogates are folded as themselves; LCMapStringW would reject them alone.
    const int count = 0xD800 - 1;
    int mapped = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_LOWERCASE, g_fold + 1, count, g_fold + 1, count);
    const int upperCount = 0x10000 - 0xE000;
    int mappedUpper =
        LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_LOWERCASE, g_fold + 0xE000, upperCount, g_fold + 0xE000, upperCount);
    if (mapped != count || mappedUpper != upperCount) {
        // A length-changing mapping would misalign the table: fold unit by unit instead.
        for (unsigned unit = 1; unit < 0x10000; ++unit) {
            wchar_t in = static_cast<wchar_t>(unit), out = in;
            if (IsSurrogate(unit)) continue;
            if (LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_LOWERCASE, &in, 1, &out, 1) != 1) out = in;
            g_fold[unit] = out;
        }
    }
    // Only the terminator may fold to zero, so that a folded name ends where the name does.
    for (unsigned unit = 1; unit < 0x10000; ++unit) {
        if (g_fold[unit] == 0) g_fold[unit] = static_cast<wchar_t>(unit);
    }
    return TRUE;
}

inline const wchar_t* FoldTable() {
    if (!g_foldReady) {
        InitOnceExecuteOnce(&g_foldOnce, BuildFoldTable, nullptr, nullptr);
        InterlockedExchange(&g_foldReady, 1);
    }
    return g_fold;
}

}  // namespace

int CompareNamesIgnoringCase(const wchar_t* a, const wchar_t* b) {
    const wchar_t* fold = FoldTable();
    for (;; ++a, ++b) {
        unsigned x = static_cast<unsigned short>(fold[static_cast<unsigned short>(*a)]);
        unsigned y = static_cast<unsigned short>(fold[static_cast<unsigned short>(*b)]);
        if (x != y) return x < y ? -1 : 1;
        if (*a == 0) return 0;
    }
}

size_t FoldNameIgnoringCase(const wchar_t* name, wchar_t* folded) {
    const wchar_t* fold = FoldTable();
    size_t length = 0;
    for (; name[length]; ++length) folded[length] = fold[static_cast<unsigned short>(name[length])];
    folded[length] = 0;
    return length;
}

const wchar_t* NameFoldTable() { return FoldTable(); }

bool NameMatchesComponent(const wchar_t* name, const wchar_t* component, size_t length) {
    const wchar_t* fold = FoldTable();
    for (size_t i = 0; i < length; ++i, ++name) {
        if (*name == 0) return false;
        if (fold[static_cast<unsigned short>(*name)] != fold[static_cast<unsigned short>(component[i])]) return false;
    }
    return *name == 0;
}

unsigned HashNameIgnoringCase(const wchar_t* name) {
    const wchar_t* fold = FoldTable();
    unsigned hash = 2166136261u;
    for (; *name; ++name) hash = (hash ^ static_cast<unsigned short>(fold[static_cast<unsigned short>(*name)])) * 16777619u;
    return hash;
}

bool IsDotOrDotDot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

bool IsDotDot(const wchar_t* name) { return name[0] == L'.' && name[1] == L'.' && name[2] == 0; }

bool IsForbiddenInName(wchar_t unit) {
    if (unit < 0x20) return true;
    switch (unit) {
    case L'*': case L'?': case L'"': case L'<': case L'>': case L'|': case L':': case L'/': case L'\\':
        return true;
    default:
        return false;
    }
}
