#include "sync/two_way_rows.h"

#include "analysis/skip_log.h"
#include "model/location_tree.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/pending_stack.h"
#include "model/scan.h"
#include "model/system_error.h"
#include "model/win_guards.h"
#include "sync/copy_engine.h"
#include "sync/sync_results.h"
#include "sync/temporary_names.h"

#include <algorithm>
#include <cwchar>

namespace {

const uint32_t kNoRow = UINT32_MAX;
const uint32_t kFirstRows = 1024;

// A spelling of the row's name, for what goes by its folded units.
const wchar_t* NameOf(const TwoWayRows* rows, uint32_t row) { return TextAt(rows->text, rows->names[row].now[0]); }

bool SameSpelling(const TwoWayRows* rows, uint32_t a, uint32_t b) {
    return a == b || wcscmp(TextAt(rows->text, a), TextAt(rows->text, b)) == 0;
}

unsigned HashOf(uint32_t parent, const wchar_t* name, size_t length) {
    const wchar_t* fold = NameFoldTable();
    unsigned hash = 2166136261u ^ (parent * 0x9E3779B1u);
    for (size_t index = 0; index < length; ++index)
        hash = (hash ^ static_cast<unsigned short>(fold[static_cast<unsigned short>(name[index])])) * 16777619u;
    return hash;
}

void Insert(TwoWayRows* rows, uint32_t row) {
    const wchar_t* name = NameOf(rows, row);
    const uint32_t mask = rows->lookupSize - 1;
    for (uint32_t slot = HashOf(rows->entries[row].parent, name, wcslen(name)) & mask;; slot = (slot + 1) & mask) {
        if (rows->lookup[slot] == kNoRow) {
            rows->lookup[slot] = row;
            return;
        }
    }
}

// Keeps the lookup at most half full.
bool KeepLookupRoom(TwoWayRows* rows) {
    if (rows->count < rows->lookupSize / 2) return true;
    const uint32_t size = rows->lookupSize ? rows->lookupSize * 2 : 2 * kFirstRows;
    if (size <= rows->lookupSize) return false;
    auto* lookup = static_cast<uint32_t*>(MemAlloc(sizeof(uint32_t) * size));
    if (!lookup) return false;
    MemFree(rows->lookup);
    rows->lookup = lookup;
    rows->lookupSize = size;
    for (uint32_t slot = 0; slot < size; ++slot) lookup[slot] = kNoRow;
    for (uint32_t row = 0; row < rows->count; ++row) Insert(rows, row);
    return true;
}

DWORD AddName(TwoWayRows* rows, const wchar_t* name, size_t length, uint32_t* at) {
    return TextPoolAdd(&rows->text, name, length, at);
}

// Sets a spelling of the row (`*spelling`, one of its names) to `name`; a spelling the row keeps already is not kept twice.
DWORD KeepSpelling(TwoWayRows* rows, uint32_t row, const wchar_t* name, size_t length, uint32_t* spelling) {
    const TwoWayNames& names = rows->names[row];
    for (uint32_t kept : {names.now[0], names.now[1], names.base[0], names.base[1]}) {
        const wchar_t* text = TextAt(rows->text, kept);
        if (wcsncmp(text, name, length) == 0 && text[length] == 0) {
            *spelling = kept;
            return ERROR_SUCCESS;
        }
    }
    return AddName(rows, name, length, spelling);
}

bool GrowRows(TwoWayRows* rows) {
    if (rows->count < rows->capacity) return true;
    const uint32_t capacity = rows->capacity ? rows->capacity * 2 : kFirstRows;
    if (capacity <= rows->capacity || capacity > SIZE_MAX / sizeof(TwoWayDigests)) return false;
    auto* entries = static_cast<TwoWayEntry*>(MemGrow(rows->entries, sizeof(TwoWayEntry) * capacity));
    if (!entries) return false;
    rows->entries = entries;
    auto* names = static_cast<TwoWayNames*>(MemGrow(rows->names, sizeof(TwoWayNames) * capacity));
    if (!names) return false;
    rows->names = names;
    if (rows->digests) {
        auto* digests = static_cast<TwoWayDigests*>(MemGrow(rows->digests, sizeof(TwoWayDigests) * capacity));
        if (!digests) return false;
        rows->digests = digests;
    }
    rows->capacity = capacity;
    return true;
}

// The row of `name` (`length` units) in the folder row `parent`, made when there is none.
DWORD FindOrAddRow(TwoWayRows* rows, uint32_t parent, const wchar_t* name, size_t length, uint32_t* row) {
    const uint32_t mask = rows->lookupSize - 1;
    uint32_t slot = rows->lookupSize ? HashOf(parent, name, length) & mask : 0;
    for (; rows->lookupSize; slot = (slot + 1) & mask) {
        const uint32_t found = rows->lookup[slot];
        if (found == kNoRow) break;
        const wchar_t* stored = NameOf(rows, found);
        if (rows->entries[found].parent == parent && NameMatchesComponent(stored, name, length)) {
            *row = found;
            return ERROR_SUCCESS;
        }
    }
    if (!GrowRows(rows) || !KeepLookupRoom(rows)) return ERROR_NOT_ENOUGH_MEMORY;
    uint32_t at = 0;
    const DWORD added = AddName(rows, name, length, &at);
    if (added != ERROR_SUCCESS) return added;
    *row = rows->count++;
    TwoWayEntry& entry = rows->entries[*row];
    entry = TwoWayEntry{};
    entry.parent = parent;
    entry.waitsFor = kNoTwoWayParent;
    rows->names[*row] = TwoWayNames{{at, at}, {at, at}};
    if (rows->digests) rows->digests[*row] = TwoWayDigests{};
    Insert(rows, *row);
    return ERROR_SUCCESS;
}

TwoWaySide SideOfNode(const FileNode* node) {
    TwoWaySide side = {};
    side.kind = node->state == DiffUnknown ? TwoWayUnknown : IsFolderNode(node) ? TwoWayFolder : TwoWayFile;
    side.size = IsFolderNode(node) ? 0 : node->size;
    side.time = node->lastWriteTime;
    side.attributes = node->attributes;
    return side;
}

// The node's full path below `root`, in `path` of kPathUnits; false when it does not fit.
bool NodePath(const wchar_t* root, const FileNode* node, wchar_t* path) {
    size_t length = wcslen(root);
    for (const FileNode* up = node; up->parent; up = up->parent) length += wcslen(up->name) + 1;
    if (length >= kPathUnits) return false;
    path[--length] = 0;
    for (const FileNode* up = node; up->parent; up = up->parent) {
        const size_t units = wcslen(up->name);
        length -= units;
        wmemcpy(path + length, up->name, units);
        if (up->parent->parent) path[--length] = L'\\';
    }
    wmemcpy(path, root, wcslen(root));
    return true;
}

// Reads the file's digest; a file that cannot be read is unknown, and logged.
DWORD Digest(FileDigester* digester, const wchar_t* root, const FileNode* node, wchar_t* path,
             const volatile LONG* cancel, TwoWaySide* side, FileDigest* digest) {
    DWORD status = NodePath(root, node, path) ? ERROR_SUCCESS : ERROR_FILENAME_EXCED_RANGE;
    uint64_t read = 0;
    if (status == ERROR_SUCCESS) status = DigestFile(digester, path, side->size, cancel, digest, &read);
    if (status == ERROR_SUCCESS || status == ERROR_CANCELLED) {
        side->hasDigest = status == ERROR_SUCCESS;
        return status;
    }
    side->kind = TwoWayUnknown;
    return LogSkippedPath(SkipLogAppendLines, path, status) ? ERROR_SUCCESS : ERROR_LOG_FILE_FULL;
}

struct TreeFrame {
    const FileNode* node;
    uint32_t row;
};

// The order of the rows: each folder before what it holds, the names of a
// folder in the order of their folded units.
struct Ordering {
    uint32_t* firstChild;  // by row, then the children's rows one after the other
    uint32_t* children;
    uint32_t* newIndex;  // the row's place in the order
};

bool NameBefore(const TwoWayRows* rows, uint32_t a, uint32_t b) {
    const wchar_t* fold = NameFoldTable();
    const wchar_t* x = NameOf(rows, a);
    const wchar_t* y = NameOf(rows, b);
    for (;; ++x, ++y) {
        const wchar_t fx = fold[static_cast<unsigned short>(*x)];
        const wchar_t fy = fold[static_cast<unsigned short>(*y)];
        if (fx != fy || !*x || !*y) return static_cast<unsigned short>(fx) < static_cast<unsigned short>(fy);
    }
}

template <typename T>
void MoveToPlaces(T* items, const uint32_t* newIndex, uint32_t count, uint8_t* placed) {
    for (uint32_t index = 0; index < count; ++index) placed[index] = 0;
    for (uint32_t start = 0; start < count; ++start) {
        if (placed[start]) continue;
        // Follows the cycle: the item at `start` goes to its new place, whose item goes on, and so on.
        T moving = items[start];
        uint32_t at = start;
        for (;;) {
            const uint32_t to = newIndex[at];
            placed[at] = 1;
            if (to == start) {
                items[to] = moving;
                placed[to] = 1;
                break;
            }
            const T next = items[to];
            items[to] = moving;
            moving = next;
            at = to;
        }
    }
}

// The row's TwoWaySpelling bits.
uint8_t SpellingOf(const TwoWayRows* rows, uint32_t row) {
    const TwoWayEntry& entry = rows->entries[row];
    const TwoWayNames& names = rows->names[row];
    uint8_t spelling = 0;
    for (int side = 0; side < 2; ++side) {
        const bool both = entry.now[side].kind != TwoWayNone && entry.base[side].kind != TwoWayNone;
        if (both && !SameSpelling(rows, names.now[side], names.base[side]))
            spelling |= side ? TwoWayRightRespelt : TwoWayLeftRespelt;
    }
    if (entry.now[0].kind != TwoWayNone && entry.now[1].kind != TwoWayNone &&
        !SameSpelling(rows, names.now[0], names.now[1]))
        spelling |= TwoWaySidesSpeltApart;
    return spelling;
}

// The spelling of the row's name that a path of side `side` takes.
const wchar_t* SpellingFor(const TwoWayRows* rows, uint32_t row, int side, TwoWaySpelt spelt) {
    const TwoWayEntry& entry = rows->entries[row];
    const TwoWayNames& names = rows->names[row];
    const int other = 1 - side;
    uint32_t spelling = entry.base[side].kind != TwoWayNone ? names.base[side] : names.base[other];
    if (spelt == TwoWaySpeltRecorded && (entry.base[0].kind != TwoWayNone || entry.base[1].kind != TwoWayNone)) {
        // As recorded.
    } else if (spelt == TwoWaySpeltAfter && TwoWayTargetOf(entry.rename) == side) {
        spelling = names.now[other];
    } else if (entry.now[side].kind != TwoWayNone) {
        spelling = names.now[side];
    } else if (entry.now[other].kind != TwoWayNone) {
        spelling = names.now[other];
    }
    return TextAt(rows->text, spelling);
}

}  // namespace

DWORD TwoWayRowsInit(TwoWayRows* rows, bool byContent) {
    *rows = TwoWayRows{};
    if (byContent) {
        rows->digests = static_cast<TwoWayDigests*>(MemAlloc(sizeof(TwoWayDigests)));
        if (!rows->digests) return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

void TwoWayRowsFree(TwoWayRows* rows) {
    MemFree(rows->entries);
    MemFree(rows->names);
    MemFree(rows->digests);
    TextPoolFree(&rows->text);
    MemFree(rows->lookup);
    *rows = TwoWayRows{};
}

DWORD TwoWayRowsAddRecord(TwoWayRows* rows, const wchar_t* path, size_t length, const TwoWaySide (&sides)[2],
                          const FileDigest* const (&digests)[2]) {
    uint32_t parent = kNoTwoWayParent;
    size_t begin = 0;
    size_t nameBegin = 0;
    for (size_t index = 0; index <= length; ++index) {
        if (index < length && path[index] != L'\\') continue;
        uint32_t row = 0;
        const DWORD found = FindOrAddRow(rows, parent, path + begin, index - begin, &row);
        if (found != ERROR_SUCCESS) return found;
        parent = row;
        nameBegin = begin;
        begin = index + 1;
    }
    TwoWayEntry& entry = rows->entries[parent];
    for (int side = 0; side < 2; ++side) {
        // A record without this side leaves it to another record of the path, spelt as that side was.
        if (sides[side].kind == TwoWayNone) continue;
        entry.base[side] = sides[side];
        if (rows->digests && digests[side]) rows->digests[parent].base[side] = *digests[side];
        const DWORD kept =
            KeepSpelling(rows, parent, path + nameBegin, length - nameBegin, &rows->names[parent].base[side]);
        if (kept != ERROR_SUCCESS) return kept;
    }
    return ERROR_SUCCESS;
}

DWORD TwoWayRowsAddTree(TwoWayRows* rows, int side, const LocationTree* tree, const wchar_t* root,
                        FileDigester* digester, const volatile LONG* cancel) {
    MemBlock<wchar_t> path(digester ? kPathUnits : 1);
    if (!path.Get()) return ERROR_NOT_ENOUGH_MEMORY;
    PendingStack<TreeFrame> pending = {};
    DWORD status = pending.Push(TreeFrame{tree->root, kNoTwoWayParent}) ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
    TreeFrame frame = {};
    while (status == ERROR_SUCCESS && pending.Pop(&frame)) {
        for (const FileNode* child = frame.node->firstChild; status == ERROR_SUCCESS && child;
             child = child->nextSibling) {
            if (IsDotOrDotDot(child->name)) continue;
            if (cancel && *cancel) {
                status = ERROR_CANCELLED;
                break;
            }
            uint32_t row = 0;
            status = FindOrAddRow(rows, frame.row, child->name, wcslen(child->name), &row);
            if (status != ERROR_SUCCESS) break;
            TwoWaySide& now = rows->entries[row].now[side];
            // Two names of one folder that fold together: the row stands for both, and can stand for neither.
            if (now.kind != TwoWayNone) {
                now.kind = TwoWayUnknown;
                continue;
            }
            now = SideOfNode(child);
            status = KeepSpelling(rows, row, child->name, wcslen(child->name), &rows->names[row].now[side]);
            if (status != ERROR_SUCCESS) break;
            if (digester && now.kind == TwoWayFile)
                status = Digest(digester, root, child, path.Get(), cancel, &now, &rows->digests[row].now[side]);
            // An unknown folder was not listed: it holds nothing to go by.
            if (status == ERROR_SUCCESS && now.kind == TwoWayFolder && !pending.Push(TreeFrame{child, row}))
                status = ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    pending.Free();
    return status;
}

DWORD TwoWayRowsFinish(TwoWayRows* rows, bool firstRun) {
    MemFree(rows->lookup);
    rows->lookup = nullptr;
    rows->lookupSize = 0;
    const uint32_t count = rows->count;
    // Each folder's children one after the other, the top's last.
    MemBlock<uint32_t> firstChild(size_t(count) + 2);
    MemBlock<uint32_t> children(count);
    MemBlock<uint32_t> newIndex(count);
    if (!firstChild.Get() || !children.Get() || !newIndex.Get()) return ERROR_NOT_ENOUGH_MEMORY;
    uint32_t* first = firstChild.Get();
    const uint32_t top = count;  // the top's list stands after every row's
    for (uint32_t index = 0; index <= count + 1; ++index) first[index] = 0;
    for (uint32_t row = 0; row < count; ++row) {
        const uint32_t parent = rows->entries[row].parent;
        ++first[(parent == kNoTwoWayParent ? top : parent) + 1];
    }
    for (uint32_t index = 1; index <= count + 1; ++index) first[index] += first[index - 1];
    {
        MemBlock<uint32_t> filled(size_t(count) + 1);
        if (!filled.Get()) return ERROR_NOT_ENOUGH_MEMORY;
        for (uint32_t index = 0; index <= count; ++index) filled.Get()[index] = first[index];
        for (uint32_t row = 0; row < count; ++row) {
            const uint32_t parent = rows->entries[row].parent;
            children.Get()[filled.Get()[parent == kNoTwoWayParent ? top : parent]++] = row;
        }
    }
    for (uint32_t folder = 0; folder <= count; ++folder) {
        std::sort(children.Get() + first[folder], children.Get() + first[folder + 1],
                  [rows](uint32_t a, uint32_t b) { return NameBefore(rows, a, b); });
    }
    // Depth first, each folder before what it holds; a folder's end is known once its last row is placed.
    struct Visit {
        uint32_t folder;  // `top` for the top
        uint32_t next;  // the next of its children to place
    };
    PendingStack<Visit> visits = {};
    uint32_t placed = 0;
    bool pushed = visits.Push(Visit{top, first[top]});
    while (pushed && visits.count > 0) {
        Visit& visit = visits.Top();
        if (visit.next == first[visit.folder + 1]) {
            if (visit.folder != top) rows->entries[visit.folder].end = placed;
            visits.count--;
            continue;
        }
        const uint32_t row = children.Get()[visit.next++];
        newIndex.Get()[row] = placed++;
        pushed = visits.Push(Visit{row, first[row]});
    }
    visits.Free();
    if (!pushed) return ERROR_NOT_ENOUGH_MEMORY;
    for (uint32_t row = 0; row < count; ++row) {
        TwoWayEntry& entry = rows->entries[row];
        if (entry.parent != kNoTwoWayParent) entry.parent = newIndex.Get()[entry.parent];
        entry.leftover = !firstRun && IsTemporaryName(NameOf(rows, row));
        entry.spelling = SpellingOf(rows, row);
    }
    // `end` was counted in places already; the rows move to theirs.
    MemBlock<uint8_t> moved(count);
    if (!moved.Get()) return ERROR_NOT_ENOUGH_MEMORY;
    MoveToPlaces(rows->entries, newIndex.Get(), count, moved.Get());
    MoveToPlaces(rows->names, newIndex.Get(), count, moved.Get());
    if (rows->digests) MoveToPlaces(rows->digests, newIndex.Get(), count, moved.Get());
    return ERROR_SUCCESS;
}

void SwapTwoWayRecords(TwoWayRows* rows) {
    for (uint32_t row = 0; row < rows->count; ++row) {
        std::swap(rows->entries[row].base[0], rows->entries[row].base[1]);
        if (rows->digests) std::swap(rows->digests[row].base[0], rows->digests[row].base[1]);
    }
}

size_t TwoWayRowPath(const TwoWayRows* rows, uint32_t row, int side, TwoWaySpelt spelt, wchar_t* path,
                     size_t capacity) {
    size_t length = 0;
    for (uint32_t up = row; up != kNoTwoWayParent; up = rows->entries[up].parent)
        length += wcslen(SpellingFor(rows, up, side, spelt)) + (up == row ? 0 : 1);
    if (length >= capacity) return 0;
    size_t at = length;
    path[at] = 0;
    for (uint32_t up = row; up != kNoTwoWayParent; up = rows->entries[up].parent) {
        const wchar_t* name = SpellingFor(rows, up, side, spelt);
        const size_t units = wcslen(name);
        if (up != row) path[--at] = L'\\';
        at -= units;
        wmemcpy(path + at, name, units);
    }
    return length;
}

DWORD ScanTwoWaySide(TwoWayRows* rows, int side, const wchar_t* root, const ExclusionList* exclusions,
                     FileDigester* digester, const volatile LONG* cancel, TwoWayLeftOut* leftOut) {
    LocationTree* tree = CreateLocationTree();
    if (!tree) return ERROR_NOT_ENOUGH_MEMORY;
    ScanContext context = {nullptr, SkipLogAppendLines, cancel, nullptr, nullptr, exclusions, nullptr};
    if (leftOut) {
        context.entriesExcluded = &leftOut->excluded;
        context.linksLeftOut = &leftOut->links;
    }
    DWORD status = ScanLocation(tree, root, &context);
    if (status == ERROR_SUCCESS) status = TwoWayRowsAddTree(rows, side, tree, root, digester, cancel);
    DestroyLocationTree(tree);
    if (cancel && *cancel) return ERROR_CANCELLED;
    return status;
}

DWORD CompareTwoWayContents(TwoWayRows* rows, const wchar_t* const (&roots)[2], const TwoWayRule& rule,
                            const volatile LONG* cancel) {
    MemBlock<wchar_t> relative(kPathUnits);
    MemBlock<wchar_t> paths(size_t(2) * kPathUnits);
    if (!relative.Get() || !paths.Get()) return ERROR_NOT_ENOUGH_MEMORY;
    for (uint32_t row = 0; row < rows->count; ++row) {
        TwoWayEntry& entry = rows->entries[row];
        if (!TwoWayNeedsContents(entry, rule)) continue;
        if (cancel && *cancel) return ERROR_CANCELLED;
        // Two empty files hold the same bytes: nothing to open.
        if (entry.now[0].size == 0) {
            entry.contents = TwoWaySameContents;
            continue;
        }
        // Either spelling finds both files.
        const size_t length = TwoWayRowPath(rows, row, 0, TwoWaySpeltNow, relative.Get(), kPathUnits);
        wchar_t* side[2] = {paths.Get(), paths.Get() + kPathUnits};
        bool fits = length > 0;
        for (int index = 0; fits && index < 2; ++index) {
            const size_t rootUnits = wcslen(roots[index]);
            fits = rootUnits + length < kPathUnits;
            if (!fits) break;
            wmemcpy(side[index], roots[index], rootUnits);
            wmemcpy(side[index] + rootUnits, relative.Get(), length + 1);
        }
        if (!fits) continue;
        const DWORD compared = CompareFileContents(side[0], side[1]);
        entry.contents = compared == ERROR_SUCCESS    ? TwoWaySameContents
                         : compared == kSyncCopyDiffers ? TwoWayOtherContents
                                                        : TwoWayContentsUnread;
    }
    return ERROR_SUCCESS;
}

TwoWaySide SideOfCatalogEntry(const CatalogEntry* entry) {
    TwoWaySide side = {};
    if (!entry) return side;
    side.kind = entry->kind == CatalogFile     ? TwoWayFile
                : entry->kind == CatalogFolder ? TwoWayFolder
                                               : TwoWayUnknown;
    side.size = entry->size;
    side.time = FileTimeOfTicks(entry->time);
    side.attributes = entry->attributes;
    side.hasDigest = entry->hasDigest;
    return side;
}

bool CatalogEntryOfSide(const TwoWaySide& side, const FileDigest* digest, CatalogEntry* entry) {
    if (side.kind == TwoWayNone) return false;
    const bool folder = side.kind == TwoWayFolder || (side.kind == TwoWayUnknown && IsFolderAttributes(side.attributes));
    *entry = CatalogEntry{side.kind == TwoWayUnknown ? (folder ? CatalogUnknownFolder : CatalogUnknownFile)
                          : folder                   ? CatalogFolder
                                                     : CatalogFile,
                          folder ? 0 : side.size,
                          FileTimeTicks(side.time),
                          side.attributes,
                          side.kind == TwoWayFile && side.hasDigest && digest,
                          digest ? *digest : FileDigest{}};
    return true;
}

bool ReadBackTwoWaySide(const wchar_t* path, FileDigester* digester, TwoWaySide* side, FileDigest* digest) {
    *side = TwoWaySide{};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    // A link made meanwhile is never recorded as what it points to.
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    side->attributes = data.dwFileAttributes;
    side->time = data.ftLastWriteTime;
    if (IsFolderAttributes(data.dwFileAttributes)) {
        side->kind = TwoWayFolder;
        return true;
    }
    side->kind = TwoWayFile;
    side->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (!digester) return true;
    uint64_t read = 0;
    side->hasDigest = DigestFile(digester, path, side->size, nullptr, digest, &read) == ERROR_SUCCESS;
    return side->hasDigest;
}
