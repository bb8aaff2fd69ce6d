#pragma once
// The order in which the Synchronize dialog's list, sorting ascending by text,
// holds the rows of the item records.
#include "sync/sync_items.h"

#include <cstdint>

// The record indexes in the list's order: the paths compared as the list compares
// them (the thread locale's sort keys, which order as its comparison does),
// records of equal text in their own order. Free the result with MemFree; null
// when memory runs out or a path has no sort key.
uint32_t* RecordsInListOrder(const SyncItemList* items);
