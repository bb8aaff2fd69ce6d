#pragma once
// The difference states that one finding sets in a tree: a changed node makes
// its ancestors Modified, and what cannot be known is Unknown to its leaves.
#include "model/location_tree.h"
#include "model/system_error.h"

// Makes the node Modified, and its Identical ancestors too.
void MarkModified(FileNode* node);
// Makes every Identical ancestor of the node Modified.
void MarkAncestorsModified(FileNode* node);
// Makes the node and everything below it but "." and ".." Unknown, and its
// Identical ancestors Modified.
void MarkSubtreeUnknown(FileNode* node);
// Makes a file whose content cannot be compared and its counterpart (which
// may be null) Unknown, their Identical ancestors Modified, and logs
// `loggedPath` with the reason. False when the log could not be written.
bool MarkPairUnknown(FileNode* file, FileNode* counterpart, const wchar_t* loggedPath, DWORD reason,
                     SkipLineWriter write);
