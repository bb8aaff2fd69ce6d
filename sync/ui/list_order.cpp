#include "sync/ui/list_order.h"

#include "model/memory.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace {

// Units that every path shares, up to and including the last backslash of the
// shared part: equal text before the paths part weighs the same in any order.
size_t SharedFolderLength(const SyncItemList* items) {
    if (items->count == 0) return 0;
    const wchar_t* first = items->items[0].path;
    size_t shared = wcslen(first);
    for (uint32_t index = 1; index < items->count && shared > 0; ++index) {
        const wchar_t* path = items->items[index].path;
        size_t same = 0;
        while (same < shared && path[same] == first[same]) ++same;
        shared = same;
    }
    while (shared > 0 && first[shared - 1] != L'\\') --shared;
    return shared;
}

// The sort keys of all paths, one after the other, each ending in a zero byte.
class SortKeys {
public:
    ~SortKeys() {
        MemFree(m_bytes);
        MemFree(m_offsets);
    }
    bool Make(const SyncItemList* items, size_t skipped) {
        m_offsets = static_cast<uint32_t*>(MemAlloc(sizeof(uint32_t) * (items->count ? items->count : 1)));
        if (m_offsets == nullptr) return false;
        const LCID locale = GetThreadLocale();
        for (uint32_t index = 0; index < items->count; ++index) {
            const wchar_t* text = items->items[index].path + skipped;
            int length = 0;
            while ((length = Map(locale, text)) == 0) {
                if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || !Grow()) return false;
            }
            m_offsets[index] = m_used;
            m_used += static_cast<uint32_t>(length);
        }
        return true;
    }
    const char* Of(uint32_t index) const { return m_bytes + m_offsets[index]; }

private:
    int Map(LCID locale, const wchar_t* text) {
        if (m_capacity - m_used < 64 && !Grow()) return 0;
        return LCMapStringW(locale, LCMAP_SORTKEY, text, -1, reinterpret_cast<wchar_t*>(m_bytes + m_used),
                            static_cast<int>(m_capacity - m_used));
    }
    bool Grow() {
        const uint32_t grown = m_capacity ? m_capacity * 2 : 1u << 16;
        if (grown <= m_capacity) return false;
        void* block = m_bytes ? MemGrow(m_bytes, grown) : MemAlloc(grown);
        if (block == nullptr) return false;
        m_bytes = static_cast<char*>(block);
        m_capacity = grown;
        return true;
    }

    char* m_bytes = nullptr;
    uint32_t* m_offsets = nullptr;
    uint32_t m_used = 0;
    uint32_t m_capacity = 0;
};

}  // namespace

uint32_t* RecordsInListOrder(const SyncItemList* items) {
    SortKeys keys;
    if (!keys.Make(items, SharedFolderLength(items))) return nullptr;
    auto* order = static_cast<uint32_t*>(MemAlloc(sizeof(uint32_t) * (items->count ? items->count : 1)));
    if (order == nullptr) return nullptr;
    for (uint32_t index = 0; index < items->count; ++index) order[index] = index;
    std::stable_sort(order, order + items->count,
                     [&keys](uint32_t a, uint32_t b) { return std::strcmp(keys.Of(a), keys.Of(b)) < 0; });
    return order;
}
