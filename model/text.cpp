#include "model/text.h"

#include <cwchar>

void CopyText(wchar_t* target, size_t capacity, const wchar_t* source) {
    if (capacity == 0) return;
    size_t length = wcsnlen(source, capacity - 1);
    wmemcpy(target, source, length);
    target[length] = 0;
}

void AppendText(wchar_t* target, size_t capacity, const wchar_t* source) {
    size_t used = wcsnlen(target, capacity);
    if (used >= capacity) return;
    CopyText(target + used, capacity - used, source);
}
