#pragma once
// Last-in-first-out list of folder nodes still to visit, one heap cell each.
#include "model/location_tree.h"

struct FolderStackCell {
    FileNode* folder;
    FolderStackCell* next;
};

// False when the cell cannot be allocated; the stack is then unchanged.
bool PushFolder(FolderStackCell** top, FileNode* folder);
// The most recently pushed folder, or null when the stack is empty.
FileNode* PopFolder(FolderStackCell** top);
void ClearFolderStack(FolderStackCell** top);
