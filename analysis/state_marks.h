#pragma once
// The difference states that one finding sets in a tree: a changed node makes
// its ancestors Modified, and what cannot be known is Unknown to its leaves.
#include "model/location_tree.h"

// Makes the node Modified, and its Identical ancestors too.
void MarkModified(FileNode* node);
// Makes every Identical ancestor of the node Modified.
void MarkAncestorsModified(FileNode* node);
// Makes the node and everything below it but "." and ".." Unknown, and its
// Identical ancestors Modified.
void MarkSubtreeUnknown(FileNode* node);
