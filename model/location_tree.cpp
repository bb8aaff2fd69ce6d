#include "model/location_tree.h"

#include "model/memory.h"
#include "model/names.h"
#include "model/record_list_builder.h"

#include <cstdint>
#include <cwchar>

static_assert(sizeof(void*) != 4 || sizeof(FileNode) == 38, "nodes are carved 38 bytes apart");

namespace {

// Nodes and names are carved out of blocks that belong to the whole tree: a
// heap block per node and per name cost more than the node itself. Node blocks
// are cut into aligned pages whose first word leads back to the tree's
// storage, so that AddChildNode finds the storage from any parent.
const uintptr_t kPageBytes = 4096;
const uint32_t kFirstNodePages = 4, kMostNodePages = 64;
const uint32_t kFirstNameUnits = 4096, kMostNameUnits = 128 * 1024;

// Every folder below the root has "." and "..": their nodes share one copy of each name.
wchar_t g_dotName[] = L".";
wchar_t g_dotDotName[] = L"..";

struct BlockHeader {
    BlockHeader* next;
};

struct TreeStorage {
    BlockHeader* blocks;  // every block of the tree, newest first
    char* nodeNext;       // room left in the current page
    char* nodeEnd;
    char* pageNext;       // whole pages left in the current node block
    char* pagesEnd;
    wchar_t* nameNext;    // room left in the current name block
    wchar_t* nameEnd;
    uint32_t nodePages;   // pages of the next node block
    uint32_t nameUnits;   // units of the next name block
};

// The root leads to its tree's storage by sharing a block with it.
struct RootBlock {
    FileNode root;
    TreeStorage storage;
};

TreeStorage* StorageOf(FileNode* node) {
    if (!node->parent) return &reinterpret_cast<RootBlock*>(node)->storage;
    return *reinterpret_cast<TreeStorage**>(reinterpret_cast<uintptr_t>(node) & ~(kPageBytes - 1));
}

void* AddBlock(TreeStorage* storage, size_t bytes) {
    auto* block = static_cast<BlockHeader*>(MemAlloc(sizeof(BlockHeader) + bytes));
    if (!block) return nullptr;
    block->next = storage->blocks;
    storage->blocks = block;
    return block + 1;
}

// Heap blocks are at least 8-byte aligned, so one page more than the pages
// used always leaves room to align them.
bool AddNodeBlock(TreeStorage* storage) {
    uint32_t pages = storage->nodePages ? storage->nodePages : kFirstNodePages;
    char* start = static_cast<char*>(AddBlock(storage, (pages + 1) * kPageBytes - sizeof(BlockHeader)));
    if (!start) return false;
    storage->pageNext = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(start) + kPageBytes - 1) & ~(kPageBytes - 1));
    storage->pagesEnd = storage->pageNext + pages * kPageBytes;
    storage->nodePages = pages < kMostNodePages ? 2 * pages : kMostNodePages;
    return true;
}

void OpenPage(TreeStorage* storage) {
    *reinterpret_cast<TreeStorage**>(storage->pageNext) = storage;
    storage->nodeNext = storage->pageNext + sizeof(TreeStorage*);
    storage->nodeEnd = storage->pageNext + kPageBytes;
    storage->pageNext += kPageBytes;
}

// Room for the next node, not yet taken; null when memory runs out.
FileNode* NodeRoom(TreeStorage* storage) {
    if (static_cast<size_t>(storage->nodeEnd - storage->nodeNext) < sizeof(FileNode)) {
        if (storage->pageNext != storage->pagesEnd) {
            if (!MemCarveAllowed()) return nullptr;
        } else if (!AddNodeBlock(storage)) {
            return nullptr;
        }
        OpenPage(storage);
    } else if (!MemCarveAllowed()) {
        return nullptr;
    }
    return reinterpret_cast<FileNode*>(storage->nodeNext);
}

// Room for `units` name units, not yet taken; a name that does not fit the
// rest of the current block starts a new one.
wchar_t* NameRoom(TreeStorage* storage, size_t units) {
    if (static_cast<size_t>(storage->nameEnd - storage->nameNext) >= units)
        return MemCarveAllowed() ? storage->nameNext : nullptr;
    size_t blockUnits = storage->nameUnits ? storage->nameUnits : kFirstNameUnits;
    size_t madeUnits = blockUnits > units ? blockUnits : units;
    auto* start = static_cast<wchar_t*>(AddBlock(storage, madeUnits * sizeof(wchar_t)));
    if (!start) return nullptr;
    storage->nameNext = start;
    storage->nameEnd = start + madeUnits;
    storage->nameUnits = blockUnits < kMostNameUnits ? static_cast<uint32_t>(2 * blockUnits) : kMostNameUnits;
    return start;
}

// Stores the name's first `length` units and a terminator; null when memory runs out.
wchar_t* TakeName(TreeStorage* storage, const wchar_t* source, size_t length) {
    if (IsDotOrDotDot(source)) return MemCarveAllowed() ? (length == 1 ? g_dotName : g_dotDotName) : nullptr;
    wchar_t* name = NameRoom(storage, length + 1);
    if (!name) return nullptr;
    storage->nameNext += length + 1;
    wmemcpy(name, source, length);
    name[length] = 0;
    return name;
}

}  // namespace

LocationTree* CreateLocationTree() {
    auto* tree = static_cast<LocationTree*>(MemAllocZero(sizeof(LocationTree)));
    if (!tree) return nullptr;
    wcscpy(tree->displayName, L"No Name");
    auto* rootBlock = static_cast<RootBlock*>(MemAllocZero(sizeof(RootBlock)));
    if (!rootBlock) {
        MemFree(tree);
        return nullptr;
    }
    tree->root = &rootBlock->root;
    return tree;
}

void DestroyLocationTree(LocationTree* tree) {
    if (!tree) return;
    if (tree->root) FreeNodeSubtree(tree->root);
    MemFree(tree);
}

FileNode* AddChildNode(const NodeRecord* source, FileNode* parent) {
    if (!source || !parent) return nullptr;
    TreeStorage* storage = StorageOf(parent);
    size_t length = wcsnlen(source->name, kMaxNameUnits - 1);
    // The node's room is taken only once its name is stored, so a failure leaves the tree as it was.
    FileNode* node = NodeRoom(storage);
    if (!node) return nullptr;
    wchar_t* name = TakeName(storage, source->name, length);
    if (!name) return nullptr;
    storage->nodeNext += sizeof(FileNode);
    node->name = name;
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
    if (!node || node->parent) return;
    TreeStorage* storage = StorageOf(node);
    for (BlockHeader* block = storage->blocks; block;) {
        BlockHeader* next = block->next;
        MemFree(block);
        block = next;
    }
    MemFree(reinterpret_cast<RootBlock*>(node));
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

void CopyNodeToRecord(const FileNode* node, NodeRecord* record) {
    size_t length = node->name ? wcsnlen(node->name, kMaxNameUnits - 1) : 0;
    if (length) wmemcpy(record->name, node->name, length);
    record->name[length] = 0;
    record->lastWriteTime = node->lastWriteTime;
    record->size = node->size;
    record->attributes = node->attributes;
    record->state = node->state;
}

}  // namespace

// Counts the visible children first, so that both lists are made at their
// exact size and each record is written once, straight into its list.
DWORD ListVisibleChildren(const LocationTree* tree, const wchar_t* path, StateFilterMask mask,
                          NodeRecordList** files, NodeRecordList** folders) {
    if (!tree || !path || !files || !folders || !tree->root) return ERROR_INVALID_PARAMETER;
    *files = nullptr;
    *folders = nullptr;
    const FileNode* node = FindNodeByPath(tree, path);
    if (!node) return ERROR_PATH_NOT_FOUND;
    uint32_t folderCount = 0, fileCount = 0;
    for (const FileNode* child = node->firstChild; child; child = child->nextSibling) {
        if (StatePassesFilter(child->attributes, child->state, mask)) ++(IsFolderNode(child) ? folderCount : fileCount);
    }
    MemBlock<NodeRecordList> folderList;
    folderList.Reset(NewRecordList<NodeRecord>(folderCount));
    if (!folderList.Get()) return ERROR_NOT_ENOUGH_MEMORY;
    NodeRecordList* fileList = NewRecordList<NodeRecord>(fileCount);
    if (!fileList) return ERROR_NOT_ENOUGH_MEMORY;
    for (const FileNode* child = node->firstChild; child; child = child->nextSibling) {
        if (!StatePassesFilter(child->attributes, child->state, mask)) continue;
        NodeRecordList* target = IsFolderNode(child) ? folderList.Get() : fileList;
        CopyNodeToRecord(child, &target->entries[target->count++]);
    }
    *files = fileList;
    *folders = folderList.Release();
    return ERROR_SUCCESS;
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
