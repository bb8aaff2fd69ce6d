#pragma once
// Name comparison of the location model: UTF-16 units folded to lower case under
// the user's default locale, compared as unsigned numbers; "." and ".." by exact text.
#include <cstddef>

// Orders two zero-terminated names ignoring case; a prefix sorts first.
int CompareNamesIgnoringCase(const wchar_t* a, const wchar_t* b);
// Writes `name` folded as CompareNamesIgnoringCase folds it, terminator included,
// and returns its length. Two folded names compared unit by unit as unsigned
// numbers, up to the first difference or the terminator, order exactly as the
// names do under CompareNamesIgnoringCase.
size_t FoldNameIgnoringCase(const wchar_t* name, wchar_t* folded);
// The table both fold by, one unit to one unit: fold[unit] for any UTF-16 unit.
const wchar_t* NameFoldTable();
// True when `name` equals the first `length` units of `component` ignoring case.
bool NameMatchesComponent(const wchar_t* name, const wchar_t* component, size_t length);
// A hash under which names equal ignoring case collide.
unsigned HashNameIgnoringCase(const wchar_t* name);
bool IsDotOrDotDot(const wchar_t* name);
// True for the characters no Windows name holds: control characters and * ? " < > | : / \.
bool IsForbiddenInName(wchar_t unit);
bool IsDotDot(const wchar_t* name);
