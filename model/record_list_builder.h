#pragma once
// Builds a live listing as two lists, one of files and one of folders, each
// starting with room for 100 entries and growing by a factor whenever it is
// full; at the end each is cut down to its entries. Every entry is written
// once, in place.
#include "model/memory.h"
#include "model/records.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

template <class Entry>
size_t RecordListBytes(uint32_t capacity) {
    return offsetof(RecordList<Entry>, entries) + sizeof(Entry) * (capacity ? capacity : 1);
}

// A new list with room for `capacity` entries (at least one), count and first
// entry zeroed; null when memory runs out.
template <class Entry>
RecordList<Entry>* NewRecordList(uint32_t capacity) {
    auto* list = static_cast<RecordList<Entry>*>(MemAlloc(RecordListBytes<Entry>(capacity)));
    if (!list) return nullptr;
    list->count = 0;
    std::memset(&list->entries[0], 0, sizeof(Entry));
    return list;
}

template <class Entry>
class ListingBuilder {
public:
    static constexpr uint32_t kFirstCapacity = 100;
    static constexpr size_t kQuickGrowthBytes = size_t(16) << 20;

    ~ListingBuilder() {
        MemFree(m_lists[0]);
        MemFree(m_lists[1]);
    }

    // Returns false when the lists cannot be allocated.
    bool Start() {
        for (int folder = 0; folder < 2; ++folder) {
            m_lists[folder] = NewRecordList<Entry>(kFirstCapacity);
            if (!m_lists[folder]) return false;
            m_capacity[folder] = kFirstCapacity;
        }
        return true;
    }

    // Where the next entry of its kind is written; there is always room for one more.
    Entry* NextSlot(bool folder) { return &m_lists[folder]->entries[m_lists[folder]->count]; }

    // Takes the entry written at NextSlot. Returns false when its list was full
    // and could not grow: the entry stays listed, but nothing more may be added.
    bool Commit(bool folder) {
        if (++m_lists[folder]->count < m_capacity[folder]) return true;
        // Every growth copies the list into fresh pages, and first touches of a
        // page are dear: sixteen times as much while the block stays within
        // kQuickGrowthBytes (a folder of 20,000 entries then costs two copies,
        // not four), four times beyond it. Twice as much may still fit where
        // that does not.
        for (uint32_t factor : {16u, 4u, 2u}) {
            uint32_t grown = GrownCapacity(m_capacity[folder], factor);
            if (factor == 16 && RecordListBytes<Entry>(grown) > kQuickGrowthBytes) continue;
            void* block = grown ? MemGrow(m_lists[folder], RecordListBytes<Entry>(grown)) : nullptr;
            if (!block) continue;
            m_lists[folder] = static_cast<RecordList<Entry>*>(block);
            m_capacity[folder] = grown;
            return true;
        }
        return false;
    }

    bool Append(const Entry& entry) {
        bool folder = IsFolderAttributes(entry.attributes);
        *NextSlot(folder) = entry;
        return Commit(folder);
    }

    // Hands both lists over, each cut down to its entries where the heap allows.
    void Finish(RecordList<Entry>** files, RecordList<Entry>** folders) {
        for (int folder = 0; folder < 2; ++folder) {
            void* cut = MemGrow(m_lists[folder], RecordListBytes<Entry>(m_lists[folder]->count));
            if (cut) m_lists[folder] = static_cast<RecordList<Entry>*>(cut);
        }
        *files = m_lists[0];
        *folders = m_lists[1];
        m_lists[0] = m_lists[1] = nullptr;
    }

    // The capacity after `capacity`: `factor` times as much, or as much as
    // one block can hold; 0 when the list cannot grow at all.
    static uint32_t GrownCapacity(uint32_t capacity, uint32_t factor) {
        size_t most = (SIZE_MAX - offsetof(RecordList<Entry>, entries)) / sizeof(Entry);
        if (most > UINT32_MAX) most = UINT32_MAX;
        if (capacity >= most) return 0;
        return capacity > most / factor ? static_cast<uint32_t>(most) : factor * capacity;
    }

private:
    RecordList<Entry>* m_lists[2] = {nullptr, nullptr};  // files, folders
    uint32_t m_capacity[2] = {0, 0};
};
