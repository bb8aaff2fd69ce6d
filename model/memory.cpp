#include "model/memory.h"

#include <windows.h>

namespace {

volatile LONG g_outstanding = 0;
volatile LONG g_allowed = -1;

bool AllocationPermitted() {
    if (g_allowed < 0) return true;
    // Counts down to zero, then every later call fails until reset.
    for (;;) {
        LONG left = g_allowed;
        if (left < 0) return true;
        if (left == 0) return false;
        if (InterlockedCompareExchange(&g_allowed, left - 1, left) == left) return true;
    }
}

void* Allocate(size_t bytes, DWORD flags) {
    if (!AllocationPermitted()) return nullptr;
    void* block = HeapAlloc(GetProcessHeap(), flags, bytes ? bytes : 1);
    if (block) InterlockedIncrement(&g_outstanding);
    return block;
}

}  // namespace

void* MemAlloc(size_t bytes) { return Allocate(bytes, 0); }

void* MemAllocZero(size_t bytes) { return Allocate(bytes, HEAP_ZERO_MEMORY); }

void* MemGrow(void* block, size_t bytes) {
    if (!block) return MemAlloc(bytes);
    if (!AllocationPermitted()) return nullptr;
    return HeapReAlloc(GetProcessHeap(), 0, block, bytes ? bytes : 1);
}

bool MemCarveAllowed() { return AllocationPermitted(); }

void MemFree(void* block) {
    if (!block) return;
    HeapFree(GetProcessHeap(), 0, block);
    InterlockedDecrement(&g_outstanding);
}

long MemOutstanding() { return g_outstanding; }

void MemFailAfter(long allowed) { InterlockedExchange(&g_allowed, allowed); }
