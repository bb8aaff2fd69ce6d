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

// The header line of a catalog of `version`, its line feed included; returns its length.
size_t FormatCatalogHeader(unsigned version, bool withDigests, char* out);
// True when `bytes` begin as a catalog's header does: its first field and a tab.
bool BeginsAsCatalogHeader(const char* bytes, size_t length);
// Reads the header line (without its line end). False with `problem`
// (kCatalogProblemUnits) filled when it is not one this program reads.
bool ParseCatalogHeader(const char* line, size_t length, unsigned* version, bool* withDigests, wchar_t* problem);

// The lines of format 2 between the header and the first entry, each named
// by its first field: the exclusions the catalog was made with, and in a
// baseline its two folders and how it compares files.
enum CatalogHeaderWord { CatalogNoHeaderWord, CatalogExcludeWord, CatalogLeftWord, CatalogRightWord, CatalogCompareWord };
CatalogHeaderWord CatalogHeaderLineWord(const char* line, size_t length);

// The most bytes of a header line that holds a path of `units` UTF-16 units.
inline size_t CatalogHeaderLineBytes(size_t units) { return 32 + units * kEscapedUnitBytes; }
// "exclude\tPATTERN\n", the pattern escaped as a path; returns its length.
size_t FormatCatalogExclude(const wchar_t* pattern, char* out);
// Reads an exclude line (without its line end) into `pattern` of kPathUnits.
bool ParseCatalogExclude(const char* line, size_t length, wchar_t* pattern, wchar_t* problem);
// "left\tSERIAL\tPATH\n" or "right\t...": a folder of the pair and its volume's serial number.
size_t FormatBaselineRoot(CatalogHeaderWord word, DWORD serial, const wchar_t* root, char* out);
bool ParseBaselineRoot(const char* line, size_t length, DWORD* serial, wchar_t* root, wchar_t* problem);
// "compare\twindow=S\thour-shift=yes|no[\tlinks=skip]\n": when two times are
// the same (window 0 for only equal times), and whether links were left out.
size_t FormatBaselineCompare(uint32_t windowSeconds, bool ignoreHourShift, bool skipLinks, char* out);
bool ParseBaselineCompare(const char* line, size_t length, uint32_t* windowSeconds, bool* ignoreHourShift,
                          bool* skipLinks, wchar_t* problem);

// A baseline's entry: each side's fields, "none" and empty ones for a side
// that had no entry, then the path. `side` null for none; returns the length.
size_t FormatBaselineSide(const CatalogEntry* side, char* out);
bool ParseBaselineEntry(const char* line, size_t length, bool holdsDigests, CatalogEntry sides[2], bool present[2],
                        const char** path, size_t* pathLength, wchar_t* problem);

// A path with a backslash between names, each name escaped as
// EscapeCatalogName does; returns the bytes written.
size_t EscapeCatalogPath(const wchar_t* path, size_t length, char* out);
// The reverse, from UTF-8, into `path` of kPathUnits; false when it is not one EscapeCatalogPath writes.
bool UnescapeCatalogPath(const char* text, size_t length, wchar_t* path, size_t* pathLength);

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
