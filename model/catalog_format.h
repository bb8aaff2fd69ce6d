#pragma once
// A catalog's lines (model/catalog.h describes the format): the header, the
// entries and the end line, every field of them written and read here alone.
#include "model/catalog.h"
#include "model/file_digest.h"

#include <cstddef>
#include <cstdint>

// What a catalog's entry line says before its path.
enum CatalogKind { CatalogFile, CatalogFolder, CatalogUnknownFile, CatalogUnknownFolder };
inline bool IsFolderKind(CatalogKind kind) { return kind == CatalogFolder || kind == CatalogUnknownFolder; }
inline bool IsUnknownKind(CatalogKind kind) { return kind == CatalogUnknownFile || kind == CatalogUnknownFolder; }

struct CatalogEntry {
    CatalogKind kind;
    uint64_t size;
    uint64_t time;  // the last-write time, a FILETIME's ticks
    DWORD attributes;
    bool hasDigest;
    FileDigest digest;
};

// The most bytes of the lines below: the header, an entry's fields before its
// path (their tabs included), the end line.
const size_t kCatalogHeaderBytes = 64;
const size_t kCatalogFieldsBytes = 160;
const size_t kCatalogEndBytes = 32;
// The most bytes one UTF-16 unit of a name takes: "%uD800".
const size_t kEscapedUnitBytes = 6;

// The header line, its line feed included; returns its length.
size_t FormatCatalogHeader(bool withDigests, char* out);
// True when `bytes` begin as a catalog's header does: its first field and a tab.
bool BeginsAsCatalogHeader(const char* bytes, size_t length);
// Reads the header line (without its line end). False with `problem`
// (kCatalogProblemUnits) filled when it is not one this program reads.
bool ParseCatalogHeader(const char* line, size_t length, bool* withDigests, wchar_t* problem);

// An entry's fields up to the tab before its path; returns their length.
size_t FormatCatalogFields(const CatalogEntry& entry, char* out);
// Reads an entry line (without its line end): its fields, and its path as
// written. False with `problem` filled when a field is not as the writer
// makes it, in a catalog that holds digests or not.
bool ParseCatalogEntry(const char* line, size_t length, bool holdsDigests, CatalogEntry* entry, const char** path,
                       size_t* pathLength, wchar_t* problem);

// The end line, its line feed included; returns its length.
size_t FormatCatalogEnd(uint64_t entries, char* out);
// True for a line that begins as the end line does; ParseCatalogEnd reads it.
bool IsCatalogEndLine(const char* line, size_t length);
bool ParseCatalogEnd(const char* line, size_t length, uint64_t* entries, wchar_t* problem);

// Writes the name's `length` units as UTF-8 with the catalog's escapes (room
// for kEscapedUnitBytes a unit); returns the bytes written.
size_t EscapeCatalogName(const wchar_t* name, size_t length, char* out);
// The reverse, over the name already turned back into UTF-16: writes the
// name (room for `length` units) and its length. False when the text holds a
// character that should have been escaped, or a "%" that begins no escape.
bool UnescapeCatalogName(const wchar_t* text, size_t length, wchar_t* name, size_t* nameLength);
