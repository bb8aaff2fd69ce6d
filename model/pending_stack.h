#pragma once
// Entries still to visit, last in first out, in one heap block that grows as
// needed, so that no depth of folders can exhaust a thread's stack. Plain
// data: zeroed, it is empty; Free releases the block.
#include "model/memory.h"

#include <cstddef>

template <typename T>
struct PendingStack {
    T* items;
    size_t count;
    size_t capacity;

    // False when memory runs out; the stack is then unchanged.
    bool Push(const T& item) {
        if (count == capacity) {
            const size_t grown = capacity + 64;
            auto* more = static_cast<T*>(MemGrow(items, grown * sizeof(T)));
            if (!more) return false;
            items = more;
            capacity = grown;
        }
        items[count++] = item;
        return true;
    }
    // The item pushed last; the stack must not be empty.
    T& Top() { return items[count - 1]; }
    // False when the stack is empty.
    bool Pop(T* item) {
        if (count == 0) return false;
        *item = items[--count];
        return true;
    }
    void Free() {
        MemFree(items);
        items = nullptr;
        count = 0;
        capacity = 0;
    }
};
