#include "analysis/state_walk.h"

#include "model/names.h"

#include <cstring>
#include <cwchar>

bool BuildNodePath(const wchar_t* prefix, const FileNode* node, wchar_t* path) {
    size_t prefixLength = wcsnlen(prefix, kPathUnits);
    size_t length = prefixLength;
    for (const FileNode* part = node; part && part->parent; part = part->parent) {
        length += wcslen(part->name) + (part == node ? 0 : 1);
    }
    if (length >= kPathUnits) return false;
    wmemcpy(path, prefix, prefixLength);
    path[length] = 0;
    // Filled from the end: the node's name last, its ancestors before it.
    size_t end = length;
    for (const FileNode* part = node; part && part->parent; part = part->parent) {
        if (part != node) path[--end] = L'\\';
        size_t nameLength = wcslen(part->name);
        end -= nameLength;
        wmemcpy(path + end, part->name, nameLength);
    }
    return true;
}

DWORD StateWalkNext(StateWalk* walk, DWORD* attributes, DiffState* state, wchar_t* path, FileNode** node) {
    if (!walk || !attributes || !state || !path) return ERROR_INVALID_PARAMETER;
    for (;;) {
        while (!walk->next) {
            FileNode* folder = nullptr;
            if (!walk->pendingFolders.Pop(&folder)) {
                walk->folder = nullptr;
                return ERROR_NO_MORE_FILES;
            }
            walk->folder = folder;
            walk->next = folder->firstChild;
        }
        FileNode* child = walk->next;
        walk->next = child->nextSibling;
        if (IsFolderNode(child)) {
            if (IsDotOrDotDot(child->name)) continue;
            // Pushed before the mask test: the walk descends into every folder.
            // A folder that cannot be remembered ends the walk: its subtree would go unseen.
            if (!walk->pendingFolders.Push(child)) {
                walk->next = child;
                return ERROR_NOT_ENOUGH_MEMORY;
            }
        }
        if (!StatePassesFilter(child->attributes, child->state, walk->mask)) continue;
        *attributes = child->attributes;
        *state = child->state;
        if (node) *node = child;
        if (!BuildNodePath(walk->basePath, child, path)) {
            path[0] = 0;
            return ERROR_FILENAME_EXCED_RANGE;
        }
        return ERROR_SUCCESS;
    }
}

void StateWalkClear(StateWalk* walk) {
    if (!walk) return;
    walk->pendingFolders.Free();
    memset(walk, 0, sizeof(*walk));
}
