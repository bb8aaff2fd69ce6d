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

// Number of blocks allocated and not yet freed, process-wide.
long MemOutstanding();
// Makes allocations fail once `allowed` more have succeeded; a negative value
// switches failures off. For tests of the failure paths.
void MemFailAfter(long allowed);
