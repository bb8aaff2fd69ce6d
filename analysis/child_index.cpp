#include "analysis/child_index.h"

#include "model/memory.h"
#include "model/names.h"

namespace {

// Below this many children a walk of the list is cheaper than a table.
const unsigned kIndexedFrom = 24;

}  // namespace

ChildIndex::~ChildIndex() { MemFree(m_slots); }

bool ChildIndex::Build(FileNode* folder) {
    m_folder = folder;
    unsigned count = 0;
    for (FileNode* child = folder->firstChild; child; child = child->nextSibling) ++count;
    if (count < kIndexedFrom) return true;
    m_capacity = 64;
    while (m_capacity < count * 2) m_capacity *= 2;
    m_slots = static_cast<FileNode**>(MemAllocZero(m_capacity * sizeof(FileNode*)));
    if (!m_slots) return false;
    // In list order, keeping the first of equal names.
    for (FileNode* child = folder->firstChild; child; child = child->nextSibling) Insert(child, false);
    return true;
}

FileNode* ChildIndex::Find(const wchar_t* name) const {
    if (!m_slots) {
        for (FileNode* child = m_folder->firstChild; child; child = child->nextSibling) {
            if (CompareNamesIgnoringCase(child->name, name) == 0) return child;
        }
        return nullptr;
    }
    for (unsigned i = HashNameIgnoringCase(name) & (m_capacity - 1);; i = (i + 1) & (m_capacity - 1)) {
        FileNode* child = m_slots[i];
        if (!child) return nullptr;
        if (CompareNamesIgnoringCase(child->name, name) == 0) return child;
    }
}

bool ChildIndex::Added(FileNode* child) {
    if (!m_slots) return true;
    if ((m_count + 1) * 2 > m_capacity && !Grow()) return false;
    // The new head comes first in list order, ahead of any equal name.
    return Insert(child, true);
}

bool ChildIndex::Insert(FileNode* child, bool replaceEqual) {
    for (unsigned i = HashNameIgnoringCase(child->name) & (m_capacity - 1);; i = (i + 1) & (m_capacity - 1)) {
        if (!m_slots[i]) {
            m_slots[i] = child;
            ++m_count;
            return true;
        }
        if (CompareNamesIgnoringCase(m_slots[i]->name, child->name) == 0) {
            if (replaceEqual) m_slots[i] = child;
            return true;
        }
    }
}

bool ChildIndex::Grow() {
    FileNode** old = m_slots;
    unsigned oldCapacity = m_capacity;
    m_slots = static_cast<FileNode**>(MemAllocZero(oldCapacity * 2 * sizeof(FileNode*)));
    if (!m_slots) {
        m_slots = old;
        return false;
    }
    m_capacity = oldCapacity * 2;
    m_count = 0;
    // Re-inserting in list order keeps the first of equal names.
    for (FileNode* child = m_folder->firstChild; child; child = child->nextSibling) Insert(child, false);
    MemFree(old);
    return true;
}
