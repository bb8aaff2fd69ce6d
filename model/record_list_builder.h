#pragma once
// Builds a listing the way every listing of the model is built: a working list
// growing in steps of 100 entries, split at the end into an exactly sized list
// of folders and one of files.
#include "model/memory.h"
#include "model/records.h"

#include <cstddef>
#include <cstring>

template <class Entry>
class ListingBuilder {
public:
    static const uint32_t kGrowStep = 100;

    ~ListingBuilder() { MemFree(m_work); }

    // Returns false when the working list cannot be allocated.
    bool Start() {
        m_work = Allocate(kGrowStep);
        m_capacity = kGrowStep;
        m_folders = 0;
        return m_work != nullptr;
    }

    // Returns false when the list had to grow and could not.
    bool Append(const Entry& entry) {
        m_work->entries[m_work->count++] = entry;
        if (IsFolderAttributes(entry.attributes)) ++m_folders;
        if (m_work->count < m_capacity) return true;
        void* grown = MemGrow(m_work, BlockBytes(m_capacity + kGrowStep));
        if (!grown) return false;
        m_work = static_cast<RecordList<Entry>*>(grown);
        m_capacity += kGrowStep;
        return true;
    }

    // Splits the working list into the two result slots. Returns 0 or
    // ERROR_NOT_ENOUGH_MEMORY, leaving both slots null on failure.
    DWORD Split(RecordList<Entry>** files, RecordList<Entry>** folders) {
        *folders = Allocate(m_folders);
        if (!*folders) return ERROR_NOT_ENOUGH_MEMORY;
        *files = Allocate(m_work->count - m_folders);
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

private:
    static size_t BlockBytes(uint32_t capacity) {
        return offsetof(RecordList<Entry>, entries) + sizeof(Entry) * (capacity ? capacity : 1);
    }

    // Room for `capacity` entries (at least one); count and first entry zeroed.
    static RecordList<Entry>* Allocate(uint32_t capacity) {
        auto* list = static_cast<RecordList<Entry>*>(MemAlloc(BlockBytes(capacity)));
        if (!list) return nullptr;
        list->count = 0;
        std::memset(&list->entries[0], 0, sizeof(Entry));
        return list;
    }

    RecordList<Entry>* m_work = nullptr;
    uint32_t m_capacity = 0;
    uint32_t m_folders = 0;
};
