#pragma once
// The entries of a two-way run: the baseline's, and each side's as scanned
// now, matched by path without regard to case into one row each.
#include "model/catalog_format.h"
#include "model/exclusions.h"
#include "model/location_tree.h"
#include "sync/two_way.h"

#include <string>
#include <vector>

namespace cli {

// One entry of one source: the baseline (both sides) or a side now (the first).
struct SourceEntry {
    std::wstring key;  // TwoWayKey of the path
    std::wstring path;  // relative, a backslash between names
    TwoWaySide side[2];
};
typedef std::vector<SourceEntry> SourceEntries;

// The rows of a run, in the order of their keys: each folder before what it
// holds, which follows it together.
struct TwoWayRows {
    std::vector<std::wstring> paths;  // as LEFT names it, else RIGHT, else the baseline
    std::vector<TwoWayEntry> entries;
};

// The path folded as the analysis folds names, with the lowest unit between
// names, so that a folder's entries sort right behind it.
std::wstring TwoWayKey(const wchar_t* path, size_t length);

TwoWaySide SideOfCatalogEntry(const CatalogEntry* entry);
// A side as a catalog's entry; false for a side without one.
bool CatalogEntryOfSide(const TwoWaySide& side, CatalogEntry* entry);

// Every entry of a scanned tree below `root` (ending in a backslash). With a
// digester, each file is read for its digest; a file that cannot be read is
// unknown, and logged. Returns 0, ERROR_CANCELLED or 1359 (the log failed).
DWORD ListScannedTree(const LocationTree* tree, const std::wstring& root, FileDigester* digester,
                      const volatile LONG* cancel, SourceEntries* entries);

// Scans LEFT and RIGHT (`roots`, each ending in a backslash) into
// `sides[0]` and `sides[1]`, leaving out what the exclusions match; with
// `content`, every file is digested. Unreadable entries are unknown, and
// logged. Returns an empty text, or why the run ends.
std::wstring ScanSides(const std::wstring (&roots)[2], const ExclusionList* exclusions, bool content,
                       const volatile LONG* cancel, SourceEntries* sides);

// The rows of the three sources (the baseline, LEFT, RIGHT), each sorted
// here. A first run takes no file for a stopped run's leftover.
void MergeSources(SourceEntries (&sources)[3], bool firstRun, TwoWayRows* rows);

// What is at `path` now: none, a folder, or a file (with its digest when a
// digester is given). False when it cannot be known.
bool ReadBackSide(const std::wstring& path, FileDigester* digester, TwoWaySide* side);

}  // namespace cli
