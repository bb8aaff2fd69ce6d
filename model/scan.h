#pragma once
// Scan of a location folder into its LocationTree, depth first, with the
// folders on the way kept on the heap so that any depth can be scanned.
#include "model/exclusions.h"
#include "model/left_out.h"
#include "model/location_tree.h"
#include "model/system_error.h"

struct ScanContext {
    HANDLE cancelEvent;  // manual reset; the scan stops once it is signalled
    SkipLineWriter writeSkipped;
    // Optional: a flag set before the event whenever it is set, tested instead
    // of the event, which costs a call into the system each time.
    const volatile LONG* cancelRequested = nullptr;
    // Optional: the folders and files added so far, raised with interlocked
    // operations so that another thread may read them while the scan runs.
    volatile LONG* foldersListed = nullptr;
    volatile LONG* filesListed = nullptr;
    // Optional: entries left out as if absent (not added, not entered, not
    // logged), matched by their paths relative to the folder scanned, and how
    // many were, raised like the counts above.
    const ExclusionList* exclusions = nullptr;
    volatile LONG* entriesExcluded = nullptr;
    // Optional: the links left out when the exclusions leave links out
    // (ExcludesLinks), counted apart from the entries the patterns match.
    volatile LONG* linksLeftOut = nullptr;
    // Optional: records every entry the patterns leave out, and, once the
    // folder is scanned, all that each such folder holds (a run that deletes
    // them needs them; no other run pays for it). The links that the
    // exclusions leave out as links are not recorded.
    LeftOutList* leftOut = nullptr;
};

// Adds everything below `folderPath` (ending in a backslash) under `folderNode`.
// An entry the scan cannot stand for is added as Unknown, logged with the
// reason and not descended into: a folder that cannot be listed, a name that
// the system's path rules change or reject, names that differ only in case
// in one folder, a link (to a file or a folder: it is never followed).
// Returns 0, 8, 1359 when the log could not be written, or the listing's code
// when `folderNode` is a tree's root and cannot be listed.
DWORD ScanFolder(const wchar_t* folderPath, FileNode* folderNode, const ScanContext* context);

// Scans the location into a tree that holds its root only, then names the tree
// after the location. Returns the status of the scan.
DWORD ScanLocation(LocationTree* tree, const wchar_t* locationPath, const ScanContext* context);
