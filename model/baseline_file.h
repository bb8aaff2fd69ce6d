#pragma once
// The baseline of a two-way synchronization: both folders as they were after
// its last run, for the next run to tell what each side changed since. A
// catalog of format 2 whose header names the pair and how files are compared:
//   quillmar-catalog  2  content=sha256 | content=none
//   exclude  PATTERN                                  one line per exclusion
//   left  SERIAL  PATH                                LEFT's full path and its volume's serial number
//   right  SERIAL  PATH
//   compare  window=SECONDS  hour-shift=yes | no [links=skip]
//                                                     when two times are the same (0: only equal ones),
//                                                     and whether links were left out
//   LEFT'S FIELDS  RIGHT'S FIELDS  PATH               one line per entry, fields as a catalog's
//   end  ENTRIES
// A side without the entry has "none" for its kind, 0, -, 00000000 and -.
#include "model/catalog.h"
#include "model/catalog_format.h"
#include "model/memory.h"
#include "model/replacing_file.h"

struct BaselineHeader {
    bool withDigests;
    uint32_t windowSeconds;
    bool ignoreHourShift;
    DWORD serials[2];
    wchar_t* roots[2];  // buffers of kPathUnits; read into, or written from
    bool skipLinks;  // links were left out of the sides, as excluded entries are
};

// Reading a baseline: its header, then each entry and each exclusion told to the caller.
struct BaselineReading {
    BaselineHeader header;
    // Each returns 0, or the code that ends the read (8).
    DWORD (*exclusion)(void* context, const wchar_t* pattern);
    // `left` or `right` null for a side without the entry; `path` relative, with backslashes.
    DWORD (*entry)(void* context, const wchar_t* path, size_t length, const CatalogEntry* left,
                   const CatalogEntry* right);
    void* context;
};

// Reads the whole baseline; 0, ERROR_INVALID_DATA with `problem` filled when
// it is damaged, cut short or no baseline, 8, the code of its open or read,
// or the code a sink returned.
DWORD ReadBaseline(const wchar_t* path, BaselineReading* reading, CatalogProblem* problem);

// Writes a baseline into a temporary file beside it, which replaces it once whole.
class BaselineWriter {
public:
    BaselineWriter() = default;
    ~BaselineWriter() { MemFree(m_line); }
    BaselineWriter(const BaselineWriter&) = delete;
    BaselineWriter& operator=(const BaselineWriter&) = delete;

    DWORD Begin(const wchar_t* path, const BaselineHeader& header, const wchar_t* const* exclusions,
                size_t exclusionCount);
    // One entry; `left` or `right` null for a side without it.
    DWORD Add(const wchar_t* path, size_t length, const CatalogEntry* left, const CatalogEntry* right);
    // The end line, then the baseline takes its name.
    DWORD Finish();

private:
    DWORD AppendLine(size_t length);

    ReplacingFile m_file;
    char* m_line = nullptr;  // room for the longest line
    uint64_t m_entries = 0;
};
