#pragma once
// Builds a listing the way the live listings of the model are built: a working
// list that starts with room for 100 entries and doubles whenever it is full,
// split at the end into an exactly sized list of folders and one of files.
#include "model/memory.h"
#include "model/records.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

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

    ~ListingBuilder() { MemFree(m_work); }

    // Returns false when the working list cannot be allocated.
    bool Start() {
        m_work = NewRecordList<Entry>(kFirstCapacity);
        m_capacity = kFirstCapacity;
        m_folders = 0;
        return m_work != nullptr;
    }

    // Where the next entry is written; there is always room for one more.
    Entry* NextSlot() { return &m_work->entries[m_work->count]; }

    // Takes the entry written at NextSlot. Returns false when the list was
    // full and could not grow; the entry stays listed all the same.
    bool Commit() {
        if (IsFolderAttributes(m_work->entries[m_work->count].attributes)) ++m_folders;
        if (++m_work->count < m_capacity) return true;
        uint32_t grown = GrownCapacity(m_capacity);
        void* block = grown ? MemGrow(m_work, RecordListBytes<Entry>(grown)) : nullptr;
        if (!block) return false;
        m_work = static_cast<RecordList<Entry>*>(block);
        m_capacity = grown;
        return true;
    }

    bool Append(const Entry& entry) {
        *NextSlot() = entry;
        return Commit();
    }

    // Splits the working list into the two result slots. Returns 0 or
    // ERROR_NOT_ENOUGH_MEMORY, leaving both slots null on failure.
    DWORD Split(RecordList<Entry>** files, RecordList<Entry>** folders) {
        *folders = NewRecordList<Entry>(m_folders);
        if (!*folders) return ERROR_NOT_ENOUGH_MEMORY;
        *files = NewRecordList<Entry>(m_work->count - m_folders);
        if (!*files) {
            MemFree(*folders);
            *folders = nullptr;
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        for (uint32_t i = 0; i < m_work->count; ++i) {
            const Entry& entry = m_work->entries[i];
            RecordList<Entry>* target = IsFolderAttributes(entry.attributes) ? *folders : *files;
            target->entries[target->count++] = entry;
        }
        return ERROR_SUCCESS;
    }

    // The capacity after `capacity`: twice as much, or as much as one block
    // can hold; 0 when the list cannot grow at all.
    static uint32_t GrownCapacity(uint32_t capacity) {
        size_t most = (SIZE_MAX - offsetof(RecordList<Entry>, entries)) / sizeof(Entry);
        if (most > UINT32_MAX) most = UINT32_MAX;
        if (capacity >= most) return 0;
        return capacity > most - capacity ? static_cast<uint32_t>(most) : 2 * capacity;
    }

private:
    RecordList<Entry>* m_work = nullptr;
    uint32_t m_capacity = 0;
    uint32_t m_folders = 0;
};
