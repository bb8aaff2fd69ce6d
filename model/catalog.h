#pragma once
// A catalog: a folder's listing saved to a file, so that the folder can be
// compared later with how it was then, or while it is out of reach (a drive
// that is not connected).
//
// UTF-8 text, one line each, ended by a line feed (a carriage return before
// it is taken too), fields separated by tabs:
//   quillmar-catalog  VERSION  content=sha256 | content=none
//   exclude  PATTERN                                    format 2: one line per exclusion
//   KIND  SIZE  TIME  ATTRIBUTES  SHA256  PATH          one line per entry
//   end  ENTRIES                                        the number of entry lines
// KIND is file, folder, unknown-file or unknown-folder (an entry the scan could
// not stand for: a link, a name the system's rules change, a folder it could
// not list); SIZE is in bytes; TIME is the last-write time in UTC, to 100 ns,
// as 2024-05-01T12:34:56.1234567Z; ATTRIBUTES are the file attributes in eight
// hexadecimal digits; SHA256 is the file's digest in 64 hexadecimal digits, or
// "-" (a folder, an unknown entry, a catalog without content, a file that could
// not be read). PATH, last, is relative to the folder, with a backslash between
// names; in a name "%" and two hexadecimal digits stand for a control character,
// "%" itself (%25) or a backslash (%5C), and "%u" and four for one half of a
// surrogate pair without its other half, so that every name comes back as it was.
// Each folder's line comes before the lines of what it holds, which follow
// it together, in ordinal order of their names.
#include "model/exclusions.h"
#include "model/file_digest.h"
#include "model/location_tree.h"
#include "model/scan.h"

// Format 2 adds lines between the header and the entries (the exclusions);
// a catalog without them is written as format 1, which every reader reads.
const unsigned kCatalogFormatVersion = 2;

// Writing a catalog: its options, and what it wrote.
struct CatalogWriting {
    bool withDigests = false;  // read every file that the scan stood for and write its digest
    const volatile LONG* cancelRequested = nullptr;  // optional, tested before each entry and each read
    SkipLineWriter writeSkipped = nullptr;  // logs a file whose content could not be read
    // The patterns the scan was made with, recorded in the header (format 2); none: format 1.
    const wchar_t* const* exclusions = nullptr;
    size_t exclusionCount = 0;
    // Filled by WriteCatalog:
    uint32_t folders = 0, files = 0;  // entries written, unknown ones included
    uint32_t unknown = 0;  // written as unknown
    uint32_t undigested = 0;  // files written without the digest they were to have
    uint64_t bytesRead = 0;
};

// Writes the catalog of a tree that ScanLocation made of the folder
// `folderPath` (ending in a backslash): first to a temporary file beside
// `catalogPath`, renamed over it once whole, so that an interrupted run leaves
// an earlier catalog as it was. Returns 0, ERROR_CANCELLED, 8, 1359 when the
// log cannot be written, or the code of the failed write or rename; on a
// failure the temporary file is gone.
DWORD WriteCatalog(const LocationTree* tree, const wchar_t* folderPath, const wchar_t* catalogPath,
                   CatalogWriting* writing);

// True when the file's first line begins as a catalog's header does.
bool IsCatalogFile(const wchar_t* path);

// The digests of a catalog's files, keyed by their nodes in the tree read with them.
struct CatalogDigests;

const size_t kCatalogProblemUnits = 160;

// Where a file given as a catalog stops being one.
struct CatalogProblem {
    uint64_t line;  // 1 for the header; 0 when the file could not be read at all
    wchar_t text[kCatalogProblemUnits];
};

// Reading a catalog: its options, and what it read.
struct CatalogReading {
    const ExclusionList* exclusions = nullptr;  // optional: entries left out as a scan leaves them out
    // Optional: told each exclusion the catalog was made with, before its
    // entries, which it leaves out as well. Returns 0, or 8 to end the read.
    DWORD (*rememberExclusion)(void* context, const wchar_t* pattern) = nullptr;
    void* exclusionContext = nullptr;
    // Filled by ReadCatalog, counted as a scan counts: the folders and files
    // kept, and the entries excluded in the folders kept (a folder counts as one).
    uint32_t folders = 0, files = 0, excluded = 0;
    // The links left out when the exclusions leave links out (ExcludesLinks):
    // entries whose attributes mark a link, as a scan keeps them for links alone.
    uint32_t linksLeftOut = 0;
};

// Fills `tree`, which holds its root only, from the catalog at `path`; the
// tree's entries are Identical but those written as unknown. `digests`
// receives the digests, a table even when the catalog holds none. Returns 0;
// ERROR_INVALID_DATA with `problem` filled when the file is damaged, cut short,
// foreign or of a newer format; 8; or the code of the file's open or read. On
// a failure the tree may hold some of the catalog: the caller discards it.
DWORD ReadCatalog(const wchar_t* path, CatalogReading* reading, LocationTree* tree, CatalogDigests** digests,
                  CatalogProblem* problem);

// Whether the catalog was made with the content of its files.
bool CatalogHoldsDigests(const CatalogDigests* digests);
// The digest of a file node of the catalog's tree; null when it has none.
const FileDigest* FindCatalogDigest(const CatalogDigests* digests, const FileNode* file);
void FreeCatalogDigests(CatalogDigests* digests);
