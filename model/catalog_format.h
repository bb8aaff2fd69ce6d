#pragma once
// The text forms of a catalog's fields (model/catalog.h describes the format):
// the header's words, last-write times, escaped names and digests.
#include "model/file_digest.h"

#include <cstddef>
#include <cstdint>

extern const char kCatalogMagic[];  // the header's first field
extern const char kCatalogWithContent[];  // its third: digests of the files' content
extern const char kCatalogWithoutContent[];
extern const char kCatalogEnd[];  // the first field of the last line

// The most bytes a time takes: a year of five digits.
const size_t kCatalogTimeBytes = 29;
// The most bytes one UTF-16 unit of a name takes: "%uD800".
const size_t kEscapedUnitBytes = 6;
const size_t kDigestTextBytes = 2 * kDigestBytes;

// A FILETIME's count of 100 ns since 1601 as 2024-05-01T12:34:56.1234567Z, in
// UTC, with a year of four or five digits; returns the length.
size_t FormatCatalogTime(uint64_t ticks, char* text);
// The reverse, for exactly that form; false for anything else or a day that
// the calendar does not have.
bool ParseCatalogTime(const char* text, size_t length, uint64_t* ticks);

// Writes the name's `length` units as UTF-8 with the catalog's escapes (room
// for kEscapedUnitBytes a unit); returns the bytes written.
size_t EscapeCatalogName(const wchar_t* name, size_t length, char* out);
// The reverse, over the name already turned back into UTF-16: writes the
// name (room for `length` units) and its length. False when the text holds a
// character that should have been escaped, or a "%" that begins no escape.
bool UnescapeCatalogName(const wchar_t* text, size_t length, wchar_t* name, size_t* nameLength);

// 64 lowercase hexadecimal digits.
void FormatDigest(const FileDigest& digest, char* text);
bool ParseDigest(const char* text, size_t length, FileDigest* digest);
