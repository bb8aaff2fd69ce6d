#include "model/text_pool.h"

#include "model/memory.h"

#include <cwchar>

namespace {

const size_t kFirstUnits = 1024;

}  // namespace

DWORD TextPoolReserve(TextPool* pool, size_t units) {
    if (pool->used + units <= pool->capacity) return ERROR_SUCCESS;
    size_t capacity = pool->capacity ? pool->capacity : kFirstUnits;
    while (capacity < pool->used + units) capacity *= 2;
    // Offsets are 32 bits: more text than that is more than a 32-bit process holds anyway.
    if (capacity > UINT32_MAX || capacity > SIZE_MAX / sizeof(wchar_t)) return ERROR_NOT_ENOUGH_MEMORY;
    auto* grown = static_cast<wchar_t*>(MemGrow(pool->text, capacity * sizeof(wchar_t)));
    if (!grown) return ERROR_NOT_ENOUGH_MEMORY;
    pool->text = grown;
    pool->capacity = capacity;
    return ERROR_SUCCESS;
}

DWORD TextPoolAdd(TextPool* pool, const wchar_t* text, size_t length, uint32_t* at) {
    const DWORD reserved = TextPoolReserve(pool, length + 1);
    if (reserved != ERROR_SUCCESS) return reserved;
    *at = static_cast<uint32_t>(pool->used);
    wmemcpy(pool->text + pool->used, text, length);
    pool->text[pool->used + length] = 0;
    pool->used += length + 1;
    return ERROR_SUCCESS;
}

void TextPoolFree(TextPool* pool) {
    MemFree(pool->text);
    *pool = TextPool{};
}
