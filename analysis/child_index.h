#pragma once
// The children of one folder by name ignoring case, so that the structure
// comparison finds a counterpart without walking a long child list once per
// entry. A lookup answers what a walk from the first child would: the first
// child in list order among names equal ignoring case.
#include "model/location_tree.h"

// A folder of one tree with its counterpart in the other (null where the
// other tree has none), still to compare.
struct FolderPair {
    FileNode* folder;
    FileNode* counterpart;
    size_t pathLength;  // of the folder's tree path, where the walk keeps it
};

class ChildIndex {
public:
    ChildIndex() = default;
    ~ChildIndex();
    ChildIndex(const ChildIndex&) = delete;
    ChildIndex& operator=(const ChildIndex&) = delete;

    // False when memory runs out. Short lists are not indexed but walked.
    bool Build(FileNode* folder);
    FileNode* Find(const wchar_t* name) const;
    // Records a child just pushed at the head of the folder's list.
    bool Added(FileNode* child);

private:
    bool Insert(FileNode* child, bool replaceEqual);
    bool Grow();

    FileNode* m_folder = nullptr;
    FileNode** m_slots = nullptr;  // open addressing; null when the list is short
    unsigned m_capacity = 0;
    unsigned m_count = 0;
};
