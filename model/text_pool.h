#pragma once
// Many short texts in one heap block that grows by doubling, each known by its
// offset: a record of millions of names keeps four bytes a name beside the
// name itself. Plain data: zeroed, it is empty.
#include <windows.h>

#include <cstddef>
#include <cstdint>

struct TextPool {
    wchar_t* text;
    size_t used;
    size_t capacity;
};

// Makes room for `units` characters at once; 0 or 8 (the pool as it was).
DWORD TextPoolReserve(TextPool* pool, size_t units);
// Appends `length` units of `text` and a terminator, its offset in `*at`; 0,
// or 8 when memory runs out or the offsets would pass 32 bits (the pool as it was).
DWORD TextPoolAdd(TextPool* pool, const wchar_t* text, size_t length, uint32_t* at);
void TextPoolFree(TextPool* pool);
inline const wchar_t* TextAt(const TextPool& pool, uint32_t at) { return pool.text + at; }
