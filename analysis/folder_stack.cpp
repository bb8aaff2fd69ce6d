#include "analysis/folder_stack.h"

#include "model/memory.h"

bool PushFolder(FolderStackCell** top, FileNode* folder) {
    auto* cell = static_cast<FolderStackCell*>(MemAlloc(sizeof(FolderStackCell)));
    if (!cell) return false;
    cell->folder = folder;
    cell->next = *top;
    *top = cell;
    return true;
}

FileNode* PopFolder(FolderStackCell** top) {
    FolderStackCell* cell = *top;
    if (!cell) return nullptr;
    FileNode* folder = cell->folder;
    *top = cell->next;
    MemFree(cell);
    return folder;
}

void ClearFolderStack(FolderStackCell** top) {
    while (*top) PopFolder(top);
}
