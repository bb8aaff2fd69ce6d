#pragma once
// The in-memory tree of one location: nodes linked by pointers, newest child first.
//
// Tree paths name a node by components each followed by a backslash; the first
// component stands for the root and is never compared ("Root\" in the analysis),
// so "Root\Docs\a.txt\" names the file a.txt in the root's folder Docs.
#include "model/records.h"

const unsigned kDisplayNameUnits = 261;
const unsigned kPathUnits = 32768;  // every path buffer; paths hold at most 32,767 characters
const unsigned kDescriptionUnits = kPathUnits + 260;

struct FileNode {
    wchar_t* name;  // exact length; null only in the root
    FILETIME lastWriteTime;
    uint64_t size;
    DWORD attributes;
    DiffState state;
    FileNode* parent;
    FileNode* firstChild;
    FileNode* nextSibling;
};

struct LocationTree {
    wchar_t displayName[kDisplayNameUnits];
    wchar_t description[kDescriptionUnits];
    FileNode* root;
};

inline bool IsFolderNode(const FileNode* node) { return IsFolderAttributes(node->attributes); }

LocationTree* CreateLocationTree();
void DestroyLocationTree(LocationTree* tree);

// Pushes a new child built from `source` at the head of `parent`'s child list.
FileNode* AddChildNode(const NodeRecord* source, FileNode* parent);
// Frees the node, its name and all its descendants; does not unlink it.
void FreeNodeSubtree(FileNode* node);

FileNode* FindNodeByPath(const LocationTree* tree, const wchar_t* path);

// Lists the children of the node at `path` that pass `mask`, in child-list
// order, as two new lists owned by the caller. Returns 0, 3, 8 or 87.
DWORD ListVisibleChildren(const LocationTree* tree, const wchar_t* path, StateFilterMask mask,
                          NodeRecordList** files, NodeRecordList** folders);

// True when the node at `path` has a child folder passing `mask` other than "." and "..".
bool HasVisibleSubfolder(const LocationTree* tree, const wchar_t* path, StateFilterMask mask);
