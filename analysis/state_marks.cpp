#include "analysis/state_marks.h"

#include "model/names.h"

#include <initializer_list>

void MarkModified(FileNode* node) {
    node->state = DiffModified;
    MarkAncestorsModified(node);
}

void MarkAncestorsModified(FileNode* node) {
    for (FileNode* ancestor = node ? node->parent : nullptr; ancestor; ancestor = ancestor->parent) {
        if (ancestor->state == DiffIdentical) ancestor->state = DiffModified;
    }
}

void MarkSubtreeUnknown(FileNode* top) {
    top->state = DiffUnknown;
    MarkAncestorsModified(top);
    // Depth first along the links, without a stack: down the first child,
    // on to the next sibling, back up through the parents.
    FileNode* node = top->firstChild;
    while (node) {
        if (!IsDotOrDotDot(node->name)) node->state = DiffUnknown;
        if (node->firstChild) {
            node = node->firstChild;
            continue;
        }
        while (node != top && !node->nextSibling) node = node->parent;
        node = node == top ? nullptr : node->nextSibling;
    }
}

bool MarkPairUnknown(FileNode* file, FileNode* counterpart, const wchar_t* loggedPath, DWORD reason,
                     SkipLineWriter write) {
    for (FileNode* node : {file, counterpart}) {
        if (!node) continue;
        node->state = DiffUnknown;
        MarkAncestorsModified(node);
    }
    return LogSkippedPath(write, loggedPath, reason);
}
