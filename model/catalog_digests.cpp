#include "model/catalog_digests.h"

#include "model/memory.h"

#include <cstdint>

struct DigestSlot {
    const FileNode* node;  // null when free
    FileDigest digest;
};

struct CatalogDigests {
    bool holdsDigests;
    DigestSlot* slots;  // open addressing, at most half full
    uint32_t capacity;  // a power of two, or 0
    uint32_t count;
};

namespace {

const uint32_t kFirstDigestSlots = 1024;

uint32_t SlotOf(const FileNode* node, uint32_t capacity) {
    // Nodes lie at least two bytes apart; the multiplier spreads the rest.
    return static_cast<uint32_t>((reinterpret_cast<uintptr_t>(node) >> 1) * 2654435761u) & (capacity - 1);
}

void PlaceDigest(DigestSlot* slots, uint32_t capacity, const FileNode* node, const FileDigest& digest) {
    uint32_t slot = SlotOf(node, capacity);
    while (slots[slot].node) slot = (slot + 1) & (capacity - 1);
    slots[slot].node = node;
    slots[slot].digest = digest;
}

}  // namespace

CatalogDigests* CreateCatalogDigests(bool holdsDigests) {
    auto* digests = static_cast<CatalogDigests*>(MemAllocZero(sizeof(CatalogDigests)));
    if (digests) digests->holdsDigests = holdsDigests;
    return digests;
}

bool AddCatalogDigest(CatalogDigests* digests, const FileNode* node, const FileDigest& digest) {
    if (2 * (digests->count + 1) > digests->capacity) {
        const uint32_t capacity = digests->capacity ? 2 * digests->capacity : kFirstDigestSlots;
        auto* slots = static_cast<DigestSlot*>(MemAllocZero(capacity * sizeof(DigestSlot)));
        if (!slots) return false;
        for (uint32_t index = 0; index < digests->capacity; ++index) {
            if (digests->slots[index].node)
                PlaceDigest(slots, capacity, digests->slots[index].node, digests->slots[index].digest);
        }
        MemFree(digests->slots);
        digests->slots = slots;
        digests->capacity = capacity;
    }
    PlaceDigest(digests->slots, digests->capacity, node, digest);
    ++digests->count;
    return true;
}

bool CatalogHoldsDigests(const CatalogDigests* digests) { return digests && digests->holdsDigests; }

const FileDigest* FindCatalogDigest(const CatalogDigests* digests, const FileNode* file) {
    if (!digests || digests->capacity == 0 || !file) return nullptr;
    for (uint32_t slot = SlotOf(file, digests->capacity); digests->slots[slot].node;
         slot = (slot + 1) & (digests->capacity - 1)) {
        if (digests->slots[slot].node == file) return &digests->slots[slot].digest;
    }
    return nullptr;
}

void FreeCatalogDigests(CatalogDigests* digests) {
    if (!digests) return;
    MemFree(digests->slots);
    MemFree(digests);
}
