#include "analysis/analysis_worker.h"
#include "analysis/child_index.h"
#include "analysis/skip_log.h"
#include "analysis/state_walk.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/system_error.h"
#include "model/text.h"

#include <cwchar>

namespace {

// Polls the cancel event at most once per tick of the system clock, since each
// poll is a call into the system and a structure pass would make one per
// entry. Once it has seen the event it answers yes without asking again.
class CancelPoll {
public:
    explicit CancelPoll(HANDLE event) : m_event(event) {}
    bool Cancelled() {
        if (m_cancelled) return true;
        const DWORD now = GetTickCount();
        if (m_polled && now == m_lastTick) return false;
        m_polled = true;
        m_lastTick = now;
        m_cancelled = WaitForSingleObject(m_event, 0) == WAIT_OBJECT_0;
        return m_cancelled;
    }

private:
    HANDLE m_event;
    DWORD m_lastTick = 0;
    bool m_polled = false;
    bool m_cancelled = false;
};

// A folder of this tree with its folder in the other tree, still to compare.
struct FolderPair {
    FileNode* node;
    FileNode* counterpart;
    size_t pathLength;  // of the node's tree path
};

// Folder pairs waiting, last in first out, on the heap so that no depth of
// folders can exhaust the thread's stack.
class FolderPairStack {
public:
    ~FolderPairStack() { MemFree(m_pairs); }
    bool Push(const FolderPair& pair) {
        if (m_count == m_capacity) {
            const size_t capacity = m_capacity + 64;
            auto* grown = static_cast<FolderPair*>(MemGrow(m_pairs, capacity * sizeof(FolderPair)));
            if (!grown) return false;
            m_pairs = grown;
            m_capacity = capacity;
        }
        m_pairs[m_count++] = pair;
        return true;
    }
    bool Pop(FolderPair* pair) {
        if (m_count == 0) return false;
        *pair = m_pairs[--m_count];
        return true;
    }

private:
    FolderPair* m_pairs = nullptr;
    size_t m_count = 0;
    size_t m_capacity = 0;
};

void MarkModified(FileNode* node) {
    node->state = DiffModified;
    MarkAncestorsModified(node);
}

// A file facing a folder of the same name: neither can be synchronized
// over the other. Logged under its path in the other location.
DWORD MarkKindMismatch(FileNode* child, FileNode* match, const LocationSlot* other) {
    MarkSubtreeUnknown(child);
    MarkSubtreeUnknown(match);
    auto* path = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
    if (!path) return ERROR_NOT_ENOUGH_MEMORY;
    if (!BuildNodePath(other->rootPath, match, path)) CopyText(path, kPathUnits, match->name);
    if (IsFolderNode(match)) AppendText(path, kPathUnits, L"\\");
    wchar_t message[kSystemErrorUnits];
    FormatSystemError(ERROR_ALREADY_EXISTS, message);
    const wchar_t* lines[2] = {path, message};
    const bool logged = SkipLogAppendLines(lines, 2);
    MemFree(path);
    return logged ? ERROR_SUCCESS : ERROR_INTERNAL_ERROR;
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
                        FolderPairStack* pending) {
    ChildIndex otherChildren;
    if (!otherChildren.Build(pair.counterpart)) return ERROR_NOT_ENOUGH_MEMORY;
    for (FileNode* child = pair.node->firstChild; child; child = child->nextSibling) {
        if (cancel->Cancelled()) break;
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
    CancelPoll cancel(other->cancelEvent);
    FolderPairStack pending;
    FolderPair pair = {node, counterpart, wcslen(treePath)};
    do {
        DWORD status = CompareFolderPair(pair, other, timeRule, &cancel, &pending);
        if (status != ERROR_SUCCESS) return status;
        if (cancel.Cancelled()) break;
    } while (pending.Pop(&pair));
    return ERROR_SUCCESS;
}
