#include "model/records.h"

#include "model/memory.h"
#include "model/names.h"

#include <algorithm>
#include <cstddef>
#include <cwchar>

NodeRecord WidenDirEntry(const DirEntry& entry, DiffState state) {
    NodeRecord record;
    wmemcpy(record.name, entry.name, kMaxNameUnits);
    record.lastWriteTime = entry.lastWriteTime;
    record.size = entry.size;
    record.attributes = entry.attributes;
    record.state = state;
    return record;
}

namespace {

// Runs this short are put in order by insertion before the merges start.
const size_t kShortRun = 16;

// One entry's place in the sort. The first four folded units are packed so that
// comparing the numbers compares those units; most comparisons end there, and
// the rest of the name is read from a compact buffer of folded names rather
// than from the large entries.
struct SortKey {
    uint64_t head;
    const wchar_t* rest;  // folded units after the first four
    uint32_t index;
};

bool KeyBefore(const SortKey& a, const SortKey& b) {
    if (a.head != b.head) return a.head < b.head;
    if ((a.head & 0xFFFF) == 0) return false;  // both names ended within the head
    const wchar_t* x = a.rest;
    const wchar_t* y = b.rest;
    while (*x == *y && *x) ++x, ++y;
    return static_cast<unsigned short>(*x) < static_cast<unsigned short>(*y);
}

// Insertion sort of short runs, then stable merges of doubling width between
// the two buffers. Returns the buffer that holds the result.
template <class Item, class Before>
Item* MergeSort(Item* items, Item* scratch, size_t count, Before before) {
    for (size_t start = 0; start < count; start += kShortRun) {
        Item* first = items + start;
        Item* last = items + std::min(count, start + kShortRun);
        for (Item* next = first + 1; next < last; ++next) {
            Item held = *next;
            Item* at = next;
            for (; at > first && before(held, at[-1]); --at) *at = at[-1];
            *at = held;
        }
    }
    Item* from = items;
    Item* to = scratch;
    for (size_t width = kShortRun; width < count; width *= 2) {
        for (size_t low = 0; low < count; low += 2 * width) {
            size_t middle = std::min(count, low + width), high = std::min(count, low + 2 * width);
            std::merge(from + low, from + middle, from + middle, from + high, to + low, before);
        }
        std::swap(from, to);
    }
    return from;
}

// Moves every entry to its place: the entry at source[i] goes to i. Each entry
// moves once, following the cycles of the permutation.
template <class Entry>
void Permute(Entry* entries, uint32_t* source, uint32_t count) {
    for (uint32_t start = 0; start < count; ++start) {
        if (source[start] == start) continue;
        Entry held = entries[start];
        uint32_t at = start;
        while (source[at] != start) {
            uint32_t from = source[at];
            entries[at] = entries[from];
            source[at] = at;
            at = from;
        }
        entries[at] = held;
        source[at] = at;
    }
}

// One key per entry, the names folded into `folded`: first the ".." entries in
// listing order, then the others. Returns how many ".." entries lead.
template <class Entry>
uint32_t FillKeys(const RecordList<Entry>* list, SortKey* keys, wchar_t* folded) {
    const Entry* entries = list->entries;
    uint32_t leading = 0;
    for (uint32_t i = 0; i < list->count; ++i) leading += IsDotDot(entries[i].name);
    uint32_t dotDots = 0, others = leading;
    for (uint32_t i = 0; i < list->count; ++i) {
        SortKey& key = keys[IsDotDot(entries[i].name) ? dotDots++ : others++];
        size_t length = FoldNameIgnoringCase(entries[i].name, folded);
        key.head = 0;
        for (size_t unit = 0; unit < 4; ++unit)
            key.head = key.head << 16 | (unit < length ? static_cast<unsigned short>(folded[unit]) : 0u);
        key.rest = folded + std::min<size_t>(length, 4);
        key.index = i;
        folded += length + 1;
    }
    return leading;
}

// Sorts through keys of folded names. Returns false when the keys cannot be allocated.
template <class Entry>
bool SortByFoldedKeys(RecordList<Entry>* list) {
    const uint32_t count = list->count;
    size_t foldedUnits = 0;
    for (uint32_t i = 0; i < count; ++i) foldedUnits += wcsnlen(list->entries[i].name, kMaxNameUnits - 1) + 1;
    auto* keys = static_cast<SortKey*>(MemAlloc(2 * sizeof(SortKey) * count + foldedUnits * sizeof(wchar_t)));
    if (!keys) return false;
    SortKey* scratch = keys + count;
    uint32_t leading = FillKeys(list, keys, reinterpret_cast<wchar_t*>(scratch + count));
    SortKey* sorted = keys;
    if (count - leading > 1) {
        auto before = [](const SortKey& a, const SortKey& b) { return KeyBefore(a, b); };
        sorted = MergeSort(keys + leading, scratch + leading, count - leading, before) - leading;
        if (sorted != keys) std::copy(keys, keys + leading, sorted);
    }
    // The indices overwrite the keys they are read from, front to back.
    auto* source = reinterpret_cast<uint32_t*>(sorted);
    for (uint32_t i = 0; i < count; ++i) source[i] = sorted[i].index;
    Permute(list->entries, source, count);
    MemFree(keys);
    return true;
}

template <class Entry>
bool EntryBefore(const Entry& a, const Entry& b) {
    if (IsDotDot(b.name)) return false;
    return IsDotDot(a.name) || CompareNamesIgnoringCase(a.name, b.name) < 0;
}

// Stable merge of two adjacent sorted runs without a buffer: split the longer
// run in half, rotate the matching part of the other run across, recurse.
template <class Entry>
void MergeInPlace(Entry* first, Entry* middle, Entry* last) {
    if (first == middle || middle == last) return;
    if (last - first == 2) {
        if (EntryBefore(*middle, *first)) std::swap(*first, *middle);
        return;
    }
    Entry *cutFirst, *cutSecond;
    if (middle - first > last - middle) {
        cutFirst = first + (middle - first) / 2;
        cutSecond = std::lower_bound(middle, last, *cutFirst, EntryBefore<Entry>);
    } else {
        cutSecond = middle + (last - middle) / 2;
        cutFirst = std::upper_bound(first, middle, *cutSecond, EntryBefore<Entry>);
    }
    Entry* newMiddle = std::rotate(cutFirst, middle, cutSecond);
    MergeInPlace(first, cutFirst, newMiddle);
    MergeInPlace(newMiddle, cutSecond, last);
}

// The same order without any memory of its own, for when none can be had:
// slower, since it moves whole entries many times.
template <class Entry>
void SortInPlace(RecordList<Entry>* list) {
    Entry* entries = list->entries;
    const size_t count = list->count;
    for (size_t start = 0; start < count; start += kShortRun) {
        Entry* last = entries + std::min(count, start + kShortRun);
        for (Entry* next = entries + start + 1; next < last; ++next) {
            Entry* at = std::upper_bound(entries + start, next, *next, EntryBefore<Entry>);
            std::rotate(at, next, next + 1);
        }
    }
    for (size_t width = kShortRun; width < count; width *= 2) {
        for (size_t low = 0; low + width < count; low += 2 * width)
            MergeInPlace(entries + low, entries + low + width, entries + std::min(count, low + 2 * width));
    }
}

// Listing order: ".." first, then names ascending ignoring case; entries that
// compare equal keep their order.
template <class Entry>
bool SortEntries(RecordList<Entry>* list) {
    if (!list) return false;
    if (list->count < 2) return true;
    if (!SortByFoldedKeys(list)) SortInPlace(list);
    return true;
}

}  // namespace

bool SortListing(NodeRecordList* list) { return SortEntries(list); }

bool SortListing(DirEntryList* list) { return SortEntries(list); }

void FreeRecordList(void* list) { MemFree(list); }
