#pragma once
// The rows of a two-way run: every path of the baseline, of LEFT and of RIGHT
// as scanned now, matched by path without regard to case into one row each,
// and ordered so that each folder stands before what it holds, which follows
// it together. A row keeps its name only, as each side spells it now and as
// the baseline recorded each side's (one text where they agree), and its
// folder's index: a run over millions of paths keeps a little over a hundred
// bytes for each.
#include "model/catalog_format.h"
#include "model/exclusions.h"
#include "model/file_digest.h"
#include "model/text_pool.h"
#include "sync/two_way.h"

#include <windows.h>

#include <cstdint>

// A row's spellings of its name, as offsets into the rows' `text`: each side's
// now and as recorded. One a side lacks holds another's.
struct TwoWayNames {
    uint32_t now[2];
    uint32_t base[2];
};

struct TwoWayRows {
    TwoWayEntry* entries;
    TwoWayNames* names;
    TwoWayDigests* digests;  // one record per row in a run by content; null otherwise
    uint32_t count;
    uint32_t capacity;
    TextPool text;
    // While the rows are gathered: each row found by its folder and folded name.
    uint32_t* lookup;
    uint32_t lookupSize;  // a power of two
};

// Empty rows; with `byContent`, each row has room for its digests. 0 or 8.
DWORD TwoWayRowsInit(TwoWayRows* rows, bool byContent);
void TwoWayRowsFree(TwoWayRows* rows);

// Gathering, in any order: the baseline's record of one path (relative, names
// apart by backslashes; `digests` may be null, and is read only by content),
// and a side's tree as scanned below `root` (ending in a backslash). With a
// digester, each file of the tree is read for its digest; a file that cannot be
// read is unknown, and logged. Names of one side that fold together in one
// folder stand in one row, unknown on that side. A record names a side's
// spelling where it has that side: a baseline whose sides spell a name apart
// has two records of it, each with one side. Returns 0, 8, ERROR_CANCELLED,
// or ERROR_LOG_FILE_FULL when the log of the unread could not be written.
DWORD TwoWayRowsAddRecord(TwoWayRows* rows, const wchar_t* path, size_t length, const TwoWaySide (&sides)[2],
                          const FileDigest* const (&digests)[2]);
DWORD TwoWayRowsAddTree(TwoWayRows* rows, int side, const LocationTree* tree, const wchar_t* root,
                        FileDigester* digester, const volatile LONG* cancel);
// Puts the rows in order, each with its folder's index and the end of what it
// holds, notes how each row's name is spelt (TwoWaySpelling), and marks the
// files under a stopped run's temporary names that only one side has and no
// record names (none on a first run, which deletes nothing). Returns 0 or 8.
DWORD TwoWayRowsFinish(TwoWayRows* rows, bool firstRun);

// Each row's record of LEFT becomes its record of RIGHT and the reverse: for a
// baseline that names the pair the other way round.
void SwapTwoWayRecords(TwoWayRows* rows);

// Which spelling of each name a path takes, on a side: as the side spells it
// now (what it lacks, as the other side does); as it will after the run's
// renames; or as the baseline recorded the side (what it lacks, as now).
enum TwoWaySpelt : uint8_t { TwoWaySpeltNow, TwoWaySpeltAfter, TwoWaySpeltRecorded };

// The row's path relative to the roots as side `side` spells it, in `path` of
// `capacity` units; its length, or 0 when it does not fit.
size_t TwoWayRowPath(const TwoWayRows* rows, uint32_t row, int side, TwoWaySpelt spelt, wchar_t* path,
                     size_t capacity);

// What the scans of a run left out, counted for its summary.
struct TwoWayLeftOut {
    volatile LONG excluded;
    volatile LONG links;
};

// Scans the folder `root` (ending in a backslash) as the analysis does,
// leaving out what `exclusions` match (counted into `leftOut`, which may be
// null), and adds it as side `side`. Returns 0, ERROR_CANCELLED,
// ERROR_LOG_FILE_FULL, 8, or why the folder cannot be read.
DWORD ScanTwoWaySide(TwoWayRows* rows, int side, const wchar_t* root, const ExclusionList* exclusions,
                     FileDigester* digester, const volatile LONG* cancel, TwoWayLeftOut* leftOut);

// In a run by size and time, compares the bytes of each pair of files that
// TwoWayNeedsContents names and notes what it found in the row (`roots`:
// LEFT's and RIGHT's, each ending in a backslash); a pair that cannot be read
// stays unread. Returns 0, ERROR_CANCELLED or 8.
DWORD CompareTwoWayContents(TwoWayRows* rows, const wchar_t* const (&roots)[2], const TwoWayRule& rule,
                            const volatile LONG* cancel);

// A side as a catalog's entry and back; false for a side without one.
TwoWaySide SideOfCatalogEntry(const CatalogEntry* entry);
bool CatalogEntryOfSide(const TwoWaySide& side, const FileDigest* digest, CatalogEntry* entry);

// What is at `path` now: none, a folder, or a file (with its digest into
// `digest` when a digester is given). False when it cannot be known.
bool ReadBackTwoWaySide(const wchar_t* path, FileDigester* digester, TwoWaySide* side, FileDigest* digest);
