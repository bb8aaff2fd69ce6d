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

// A tree may hold millions of nodes, so a node is packed into 38 bytes: the
// state, a byte wide, comes last. Nodes and names are carved out of blocks
// that belong to the whole tree and go with it.
#pragma pack(push, 2)
struct __attribute__((gcc_struct)) FileNode {
    wchar_t* name;  // exact length; null only in the root
    FILETIME lastWriteTime;
    uint64_t size;
    DWORD attributes;
    FileNode* parent;
    FileNode* firstChild;
    FileNode* nextSibling;
    DiffState state : 8;
};
#pragma pack(pop)

struct LocationTree {
    wchar_t displayName[kDisplayNameUnits];
    wchar_t description[kDescriptionUnits];
    FileNode* root;
};

inline bool IsFolderNode(const FileNode* node) { return IsFolderAttributes(node->attributes); }

LocationTree* CreateLocationTree();
void DestroyLocationTree(LocationTree* tree);

// Pushes a new child built from `source` at the head of `parent`'s child list.
// `parent` is the root of a tree made by CreateLocationTree or a node below it.
FileNode* AddChildNode(const NodeRecord* source, FileNode* parent);
// Given a tree's root, frees it with every node and name of its tree. Nodes
// below the root are never freed one by one: they go with their tree, so for
// them this does nothing.
void FreeNodeSubtree(FileNode* node);

FileNode* FindNodeByPath(const LocationTree* tree, const wchar_t* path);

// Lists the children of the node at `path` that pass `mask`, in child-list
// order, as two new lists owned by the caller. Returns 0, 3, 8 or 87.
DWORD ListVisibleChildren(const LocationTree* tree, const wchar_t* path, StateFilterMask mask,
                          NodeRecordList** files, NodeRecordList** folders);

// True when the node at `path` has a child folder passing `mask` other than "." and "..".
bool HasVisibleSubfolder(const LocationTree* tree, const wchar_t* path, StateFilterMask mask);
