#include "analysis/structure_compare.h"

#include "analysis/cancel_poll.h"
#include "analysis/child_index.h"
#include "analysis/skip_log.h"
#include "analysis/state_marks.h"
#include "analysis/state_walk.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/pending_stack.h"
#include "model/system_error.h"
#include "model/text.h"

#include <cwchar>

namespace {


// A file facing a folder of the same name: neither can be synchronized
// over the other. Logged under its path in the other location.
DWORD MarkKindMismatch(FileNode* child, FileNode* match, const LocationSlot* other) {
    MarkSubtreeUnknown(child);
    MarkSubtreeUnknown(match);
    MemBlock<wchar_t> path(kPathUnits);
    if (!path.Get()) return ERROR_NOT_ENOUGH_MEMORY;
    if (!BuildNodePath(other->rootPath, match, path.Get())) CopyText(path.Get(), kPathUnits, match->name);
    if (IsFolderNode(match)) AppendText(path.Get(), kPathUnits, L"\\");
    return LogSkippedPath(SkipLogAppendLines, path.Get(), ERROR_ALREADY_EXISTS) ? ERROR_SUCCESS : ERROR_INTERNAL_ERROR;
}

// Adds a Missing copy of `child` under `counterpart` and makes `child` New.
FileNode* AddMissingCopy(FileNode* child, FileNode* counterpart, ChildIndex* otherChildren) {
    child->state = DiffNew;
    MarkAncestorsModified(child);
    NodeRecord record = {};
    CopyText(record.name, kMaxNameUnits, child->name);
    record.lastWriteTime = child->lastWriteTime;
    record.size = child->size;
    record.attributes = child->attributes;
    record.state = DiffIdentical;
    FileNode* copy = AddChildNode(&record, counterpart);
    if (!copy || !otherChildren->Added(copy)) return nullptr;
    copy->state = DiffMissing;
    MarkAncestorsModified(copy);
    return copy;
}

// Compares the children of one folder pair; subfolder pairs go on `pending`.
DWORD CompareFolderPair(const FolderPair& pair, LocationSlot* other, const TimeRule* timeRule, CancelPoll* cancel,
                        PendingStack<FolderPair>* pending) {
    ChildIndex otherChildren;
    if (!otherChildren.Build(pair.counterpart)) return ERROR_NOT_ENOUGH_MEMORY;
    for (FileNode* child = pair.folder->firstChild; child; child = child->nextSibling) {
        if (cancel->Requested(other->cancelEvent, other->cancelRequested)) break;
        // "." and ".." take part in nothing.
        if (IsDotOrDotDot(child->name)) continue;
        if (child->state == DiffUnknown) {
            // What cannot be known on one side is not known on the other either.
            FileNode* match = otherChildren.Find(child->name);
            if (match && match->state != DiffUnknown) MarkSubtreeUnknown(match);
            MarkAncestorsModified(child);
            continue;
        }
        if (child->state != DiffIdentical && child->state != DiffModified) continue;
        FileNode* match = otherChildren.Find(child->name);
        const size_t childPathLength = pair.pathLength + wcslen(child->name) + 1;
        if (childPathLength >= kPathUnits || (match && match->state == DiffUnknown)) {
            MarkSubtreeUnknown(child);
            if (match) MarkSubtreeUnknown(match);
            continue;
        }
        if (!match) {
            match = AddMissingCopy(child, pair.counterpart, &otherChildren);
            if (!match) return ERROR_NOT_ENOUGH_MEMORY;
        } else if (IsFolderNode(child) != IsFolderNode(match)) {
            DWORD marked = MarkKindMismatch(child, match, other);
            if (marked != ERROR_SUCCESS) return marked;
            continue;
        } else if (!IsFolderNode(child)) {
            other->commonBytes += child->size < match->size ? child->size : match->size;
            if (timeRule && (child->size != match->size ||
                             !SameFileTime(child->lastWriteTime, match->lastWriteTime, *timeRule))) {
                MarkModified(child);
                MarkModified(match);
            }
        }
        if (IsFolderNode(child) && !pending->Push(FolderPair{child, match, childPathLength}))
            return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

}  // namespace

// Every entry is looked up in the folder of the other tree that stands for its
// own parent, the same node that a lookup of its parent's path would find.
DWORD CompareStructure(FileNode* node, const wchar_t* treePath, LocationSlot* other, const TimeRule* timeRule) {
    if (!node || !treePath || !other || !other->tree) return ERROR_INVALID_PARAMETER;
    FileNode* counterpart = FindNodeByPath(other->tree, treePath);
    if (!counterpart) {
        // Nothing to match against and nowhere to put a Missing copy.
        for (FileNode* child = node->firstChild; child; child = child->nextSibling) {
            if ((child->state == DiffIdentical || child->state == DiffModified) && !IsDotOrDotDot(child->name))
                return ERROR_PATH_NOT_FOUND;
        }
        return ERROR_SUCCESS;
    }
    CancelPoll cancel = {};
    PendingStack<FolderPair> pending = {};
    FolderPair pair = {node, counterpart, wcslen(treePath)};
    DWORD status = ERROR_SUCCESS;
    do {
        status = CompareFolderPair(pair, other, timeRule, &cancel, &pending);
        if (status != ERROR_SUCCESS || cancel.Requested(other->cancelEvent, other->cancelRequested)) break;
    } while (pending.Pop(&pair));
    pending.Free();
    return status;
}
