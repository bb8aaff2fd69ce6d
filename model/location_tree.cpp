#include "model/location_tree.h"

#include "model/memory.h"
#include "model/names.h"
#include "model/record_list_builder.h"

#include <cwchar>

LocationTree* CreateLocationTree() {
    auto* tree = static_cast<LocationTree*>(MemAllocZero(sizeof(LocationTree)));
    if (!tree) return nullptr;
    wcscpy(tree->displayName, L"No Name");
    tree->root = static_cast<FileNode*>(MemAllocZero(sizeof(FileNode)));
    if (!tree->root) {
        MemFree(tree);
        return nullptr;
    }
    return tree;
}

void DestroyLocationTree(LocationTree* tree) {
    if (!tree) return;
    if (tree->root) FreeNodeSubtree(tree->root);
    MemFree(tree);
}

FileNode* AddChildNode(const NodeRecord* source, FileNode* parent) {
    if (!source || !parent) return nullptr;
    auto* node = static_cast<FileNode*>(MemAlloc(sizeof(FileNode)));
    if (!node) return nullptr;
    size_t length = wcsnlen(source->name, kMaxNameUnits - 1);
    node->name = static_cast<wchar_t*>(MemAlloc((length + 1) * sizeof(wchar_t)));
    if (!node->name) {
        MemFree(node);
        return nullptr;
    }
    wmemcpy(node->name, source->name, length);
    node->name[length] = 0;
    node->lastWriteTime = source->lastWriteTime;
    node->size = source->size;
    node->attributes = source->attributes;
    node->state = source->state;
    node->parent = parent;
    node->firstChild = nullptr;
    node->nextSibling = parent->firstChild;
    parent->firstChild = node;
    return node;
}

void FreeNodeSubtree(FileNode* node) {
    // Iterative so that a tree of any depth cannot exhaust the stack: children
    // are spliced into the list of nodes still to free.
    FileNode* pending = node;
    if (pending) pending->nextSibling = nullptr;
    while (pending) {
        FileNode* current = pending;
        pending = current->nextSibling;
        if (current->firstChild) {
            FileNode* last = current->firstChild;
            while (last->nextSibling) last = last->nextSibling;
            last->nextSibling = pending;
            pending = current->firstChild;
        }
        MemFree(current->name);
        MemFree(current);
    }
}

FileNode* FindNodeByPath(const LocationTree* tree, const wchar_t* path) {
    if (!tree || !path || !tree->root) return nullptr;
    FileNode* current = tree->root;
    const wchar_t* component = path;
    if (*component == 0) return current;
    for (unsigned index = 0;; ++index) {
        const wchar_t* end = wcschr(component, L'\\');
        if (!end) return nullptr;
        if (index > 0) {
            size_t length = static_cast<size_t>(end - component);
            FileNode* child = current->firstChild;
            while (child && !NameMatchesComponent(child->name, component, length)) child = child->nextSibling;
            if (!child) return nullptr;
            current = child;
        }
        component = end + 1;
        if (*component == 0) return current;
    }
}

namespace {

NodeRecord RecordOfNode(const FileNode* node) {
    NodeRecord record;
    wcsncpy(record.name, node->name ? node->name : L"", kMaxNameUnits - 1);
    record.name[kMaxNameUnits - 1] = 0;
    record.lastWriteTime = node->lastWriteTime;
    record.size = node->size;
    record.attributes = node->attributes;
    record.state = node->state;
    return record;
}

}  // namespace

DWORD ListVisibleChildren(const LocationTree* tree, const wchar_t* path, StateFilterMask mask,
                          NodeRecordList** files, NodeRecordList** folders) {
    if (!tree || !path || !files || !folders || !tree->root) return ERROR_INVALID_PARAMETER;
    *files = nullptr;
    *folders = nullptr;
    ListingBuilder<NodeRecord> listing;
    if (!listing.Start()) return ERROR_NOT_ENOUGH_MEMORY;
    const FileNode* node = FindNodeByPath(tree, path);
    if (!node) return ERROR_PATH_NOT_FOUND;
    for (const FileNode* child = node->firstChild; child; child = child->nextSibling) {
        if (!StatePassesFilter(child->attributes, child->state, mask)) continue;
        if (!listing.Append(RecordOfNode(child))) return ERROR_NOT_ENOUGH_MEMORY;
    }
    return listing.Split(files, folders);
}

bool HasVisibleSubfolder(const LocationTree* tree, const wchar_t* path, StateFilterMask mask) {
    const FileNode* node = FindNodeByPath(tree, path);
    if (!node) return false;
    for (const FileNode* child = node->firstChild; child; child = child->nextSibling) {
        if (IsFolderNode(child) && StatePassesFilter(child->attributes, child->state, mask) &&
            !IsDotOrDotDot(child->name))
            return true;
    }
    return false;
}
