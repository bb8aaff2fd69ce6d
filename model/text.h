#pragma once
#include <cstddef>

// Copies `source` into `target` of `capacity` units, cut to fit and always terminated.
void CopyText(wchar_t* target, size_t capacity, const wchar_t* source);
// Appends `source` to the text already in `target`, cut to fit and always terminated.
void AppendText(wchar_t* target, size_t capacity, const wchar_t* source);
