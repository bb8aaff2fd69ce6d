#include "model/records.h"

#include "model/memory.h"
#include "model/names.h"

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

// Whether the entry at i must move behind the one at j.
template <class Entry>
bool BelongsAfter(const Entry& i, const Entry& j) {
    if (IsDotDot(i.name)) return false;
    return IsDotDot(j.name) || CompareNamesIgnoringCase(i.name, j.name) > 0;
}

// A plain exchange sort: each position in turn takes the least entry of the
// rest. Listings are one folder at a time.
template <class Entry>
bool SortEntries(RecordList<Entry>* list) {
    if (!list) return false;
    if (list->count < 2) return true;
    for (uint32_t i = 0; i + 1 < list->count; ++i) {
        for (uint32_t j = i + 1; j < list->count; ++j) {
            if (!BelongsAfter(list->entries[i], list->entries[j])) continue;
            Entry held = list->entries[i];
            list->entries[i] = list->entries[j];
            list->entries[j] = held;
        }
    }
    return true;
}

}  // namespace

bool SortListing(NodeRecordList* list) { return SortEntries(list); }

bool SortListing(DirEntryList* list) { return SortEntries(list); }

void FreeRecordList(void* list) { MemFree(list); }
