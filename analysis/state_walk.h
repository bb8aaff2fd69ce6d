#pragma once
// A filtered walk over a subtree of an analysed tree, yielding full paths.
#include "model/location_tree.h"
#include "model/pending_stack.h"

struct StateWalk {
    StateFilterMask mask;  // states that are yielded
    PendingStack<FileNode*> pendingFolders;  // folders met but not yet visited
    FileNode* folder;  // at the start: the node whose subtree is walked
    FileNode* next;  // at the start: that node's firstChild
    wchar_t basePath[kPathUnits];  // the location's root path, ending in a backslash
};

// Yields the next node that passes the mask: 0 with its attributes, state and
// path (kPathUnits), ERROR_NO_MORE_FILES at the end, ERROR_INVALID_PARAMETER
// when the walk or a required output is missing, ERROR_FILENAME_EXCED_RANGE
// when the node's path does not fit (the walk goes on past it), and
// ERROR_NOT_ENOUGH_MEMORY when a folder cannot be remembered for a later visit:
// the walk cannot go on without missing that folder's subtree, so the caller fails.
DWORD StateWalkNext(StateWalk* walk, DWORD* attributes, DiffState* state, wchar_t* path, FileNode** node = nullptr);
// Frees what the walk still holds and zeroes it; call it after every walk.
void StateWalkClear(StateWalk* walk);

// Writes `prefix` followed by the names of the node's ancestors below the
// root and its own name, joined by backslashes, into `path` (kPathUnits).
// False when that does not fit.
bool BuildNodePath(const wchar_t* prefix, const FileNode* node, wchar_t* path);
