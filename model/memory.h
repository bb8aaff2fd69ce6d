#pragma once
// Heap blocks of the location model and the analysis. Every allocation of the
// core goes through here so that tests can count what is still held and make
// the n-th allocation fail.
#include <cstddef>

void* MemAlloc(size_t bytes);
void* MemAllocZero(size_t bytes);
// Like realloc: on failure the old block stays valid and null is returned.
void* MemGrow(void* block, size_t bytes);
void MemFree(void* block);
// Taking a record out of a block already held counts as one allocation for
// MemFailAfter, so that failure tests reach every record a caller makes as
// they would if each record were a block of its own. False when it is to fail.
bool MemCarveAllowed();

// Number of blocks allocated and not yet freed, process-wide.
long MemOutstanding();
// Makes allocations fail once `allowed` more have succeeded; a negative value
// switches failures off. For tests of the failure paths.
void MemFailAfter(long allowed);

// Frees its block when it goes: for a block freed by hand on several paths.
// Holds null when the allocation failed, or when made empty to take a block
// allocated elsewhere.
template <typename T>
class MemBlock {
public:
    MemBlock() = default;
    explicit MemBlock(size_t count) : m_block(static_cast<T*>(MemAlloc(sizeof(T) * (count ? count : 1)))) {}
    ~MemBlock() { MemFree(m_block); }
    MemBlock(const MemBlock&) = delete;
    MemBlock& operator=(const MemBlock&) = delete;

    T* Get() const { return m_block; }
    // Hands the block over to the caller, who frees it; the guard then holds null.
    T* Release() {
        T* block = m_block;
        m_block = nullptr;
        return block;
    }
    // Frees the block held and holds `block` instead.
    void Reset(T* block = nullptr) {
        if (block == m_block) return;
        MemFree(m_block);
        m_block = block;
    }

private:
    T* m_block = nullptr;
};
