#pragma once
// Recursive scan of a location folder into its LocationTree.
#include "model/location_tree.h"

// Writes lines to the skipped-items log as one item; false when they could not be written.
typedef bool (*SkipLineWriter)(const wchar_t* const* lines, unsigned count);

struct ScanContext {
    HANDLE cancelEvent;  // manual reset; the scan stops once it is signalled
    SkipLineWriter writeSkipped;
};

// Adds everything below `folderPath` (ending in a backslash) under `folderNode`.
// A folder that cannot be listed is logged and skipped. Returns 0, 8, or 1359
// when the log could not be written.
DWORD ScanFolder(const wchar_t* folderPath, FileNode* folderNode, const ScanContext* context);

// Scans the location into a tree that holds its root only, then names the tree
// after the location. Returns the status of the scan.
DWORD ScanLocation(LocationTree* tree, const wchar_t* locationPath, const ScanContext* context);

// Logs `path` with the system's text for `error` as one skipped item.
bool LogSkippedItem(const ScanContext* context, const wchar_t* path, DWORD error);
