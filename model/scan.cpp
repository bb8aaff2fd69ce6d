#include "model/scan.h"

#include "model/enumeration.h"
#include "model/exclusions.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/pending_stack.h"
#include "model/record_list_builder.h"
#include "model/scan_checks.h"
#include "model/system_error.h"
#include "model/text.h"

#include <cwchar>

namespace {

bool IsCancelled(const ScanContext* context) {
    if (context->cancelRequested) return *context->cancelRequested != 0;
    return context->cancelEvent && WaitForSingleObject(context->cancelEvent, 0) == WAIT_OBJECT_0;
}

// One listed folder whose subfolders are still being scanned.
struct ScanFrame {
    FileNode* node;
    DirEntryList* folders;
    BYTE* twins;  // per entry, files first: its name has a case twin; null when none can
    BYTE* folderTwins;  // the folders' part of `twins`
    uint32_t next;  // the next folder entry
    size_t pathLength;  // of this folder's path, trailing backslash included
};

// What the search of one folder gives the scan: each file goes straight into
// the tree, in no list of its own (under Wine the first touch of a list's
// pages costs more than the search of its entries), and each folder into a
// listing that waits in a frame. The file nodes are kept, in listing order,
// for the checks that need all of the folder's names.
struct FolderIntake {
    FileNode* node = nullptr;
    ListingBuilder<DirEntry>* folders = nullptr;
    FileNode** nodes = nullptr;  // kept from folder to folder
    uint32_t count = 0;
    uint32_t capacity = 0;
    const ExclusionList* exclusions = nullptr;  // null for none: the only test most entries meet
    const wchar_t* folder = nullptr;  // the folder's path relative to the location
    uint32_t excluded = 0;  // entries of the folder left out
    bool leaveOutLinks = false;
    uint32_t linksLeftOut = 0;  // links of the folder left out, not among `excluded`
    LeftOutList* leftOut = nullptr;  // where the excluded entries are recorded; null for nowhere
    bool leftOutFull = false;  // memory ran out for the record

    bool Keep(FileNode* file) {
        if (count == capacity) {
            const uint32_t grown = capacity ? 2 * capacity : 256;
            auto* more = static_cast<FileNode**>(MemGrow(nodes, grown * sizeof(FileNode*)));
            if (!more) return false;
            nodes = more;
            capacity = grown;
        }
        nodes[count++] = file;
        return true;
    }
};

// In a scanned tree the reparse attribute marks links alone: the tag that
// tells them from placeholders and other ordinary reparse points is known
// only here.
template <class Entry>
void TakeFindData(const WIN32_FIND_DATAW& found, Entry* entry) {
    CopyFindData(found, entry);
    if (!IsLinkEntry(found)) entry->attributes &= ~FILE_ATTRIBUTE_REPARSE_POINT;
}

// An excluded entry is as if absent: it is not added, and a folder is not entered.
// Left out of the search's own listing, it takes no part in the folder's checks.
// A link that a pattern matches counts among the excluded entries.
bool IsLeftOut(FolderIntake* intake, const WIN32_FIND_DATAW& found) {
    if (IsDotOrDotDot(found.cFileName)) return false;
    if (IsExcluded(intake->exclusions, intake->folder, found.cFileName, IsFolderAttributes(found.dwFileAttributes))) {
        ++intake->excluded;
        if (intake->leftOut && AddLeftOut(intake->leftOut, intake->folder, found) != ERROR_SUCCESS)
            intake->leftOutFull = true;
        return true;
    }
    if (!intake->leaveOutLinks || !IsLinkEntry(found)) return false;
    ++intake->linksLeftOut;
    return true;
}

bool TakeEntry(void* context, const WIN32_FIND_DATAW& found) {
    auto* intake = static_cast<FolderIntake*>(context);
    if (intake->exclusions && IsLeftOut(intake, found)) return !intake->leftOutFull;
    if (IsFolderAttributes(found.dwFileAttributes)) {
        TakeFindData(found, intake->folders->NextSlot(true));
        return intake->folders->Commit(true);
    }
    // Straight into the node's record, with no listing entry copied whole on the way.
    NodeRecord record;
    TakeFindData(found, &record);
    record.state = DiffIdentical;
    FileNode* file = AddChildNode(&record, intake->node);
    return file && intake->Keep(file);
}

// The names of a folder's files (from its intake) followed by its folders.
struct FolderNames {
    const FolderIntake* files;
    const DirEntryList* folders;
};

const wchar_t* FolderName(const void* names, uint32_t index) {
    const FolderNames* folder = static_cast<const FolderNames*>(names);
    const uint32_t files = folder->files->count;
    return index < files ? folder->files->nodes[index]->name : folder->folders->entries[index - files].name;
}

// The folders from the location down to the one being scanned, kept on the
// heap so that no depth of folders can exhaust the thread's stack. `path`
// holds the path of the deepest folder; each frame's path is a prefix of it.
class ScanWalk {
public:
    explicit ScanWalk(const ScanContext* context) : m_context(context) {}
    ~ScanWalk() {
        while (m_frames.count > 0) Pop();
        m_frames.Free();
        MemFree(m_path);
        MemFree(m_files.nodes);
    }
    DWORD Run(const wchar_t* folderPath, FileNode* folderNode);

private:
    DWORD Enter(FileNode* node, size_t pathLength);
    DWORD FindTwins(const DirEntryList* folders, BYTE** twins);
    DWORD CheckFiles(const BYTE* twins, size_t pathLength);
    DWORD NextFolderEntry(ScanFrame* frame);
    DWORD LogEntry(size_t pathLength, const wchar_t* name, bool folder, DWORD error);
    DWORD LogPath(size_t pathLength, DWORD error);
    void Pop();

    const ScanContext* m_context;
    FolderIntake m_files;
    wchar_t* m_path = nullptr;
    PendingStack<ScanFrame> m_frames = {};
    size_t m_rootLength = 0;  // of the scanned folder's path: what follows is relative to it
};

DWORD ScanWalk::Run(const wchar_t* folderPath, FileNode* folderNode) {
    m_path = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
    if (!m_path) return ERROR_NOT_ENOUGH_MEMORY;
    CopyText(m_path, kPathUnits, folderPath);
    m_rootLength = wcslen(m_path);
    m_files.exclusions = m_context->exclusions;
    m_files.leaveOutLinks = ExcludesLinks(m_context->exclusions);
    m_files.leftOut = m_context->leftOut;
    DWORD status = Enter(folderNode, m_rootLength);
    if (status != ERROR_SUCCESS) return status;
    while (m_frames.count > 0) {
        if (IsCancelled(m_context)) return ERROR_SUCCESS;
        ScanFrame* frame = &m_frames.Top();
        if (frame->next >= frame->folders->count) {
            Pop();
            continue;
        }
        status = NextFolderEntry(frame);
        if (status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
}

// Lists the folder whose path is in the buffer and adds its files; its
// folders wait in a new frame. A folder that cannot be listed becomes Unknown.
DWORD ScanWalk::Enter(FileNode* node, size_t pathLength) {
    m_path[pathLength] = 0;
    ListingBuilder<DirEntry> listing;
    if (!listing.Start()) return ERROR_NOT_ENOUGH_MEMORY;
    FileNode* const formerChildren = node->firstChild;
    m_files.node = node;
    m_files.folders = &listing;
    m_files.count = 0;
    m_files.folder = m_path + m_rootLength;
    m_files.excluded = 0;
    m_files.linksLeftOut = 0;
    const uint32_t firstLeftOut = m_files.leftOut ? m_files.leftOut->count : 0;
    DWORD listed = EnumerateFolder(m_path, TakeEntry, &m_files);
    if (listed == ERROR_NOT_ENOUGH_MEMORY) return listed;
    if (listed != ERROR_SUCCESS) {
        // What the search gave before it failed is dropped with the folder.
        node->firstChild = formerChildren;
        if (m_files.leftOut) m_files.leftOut->count = firstLeftOut;
        if (!node->parent) return listed;
        node->state = DiffUnknown;
        return LogPath(pathLength, listed);
    }
    if (m_files.leftOut && !MarkUnusableNames(m_files.leftOut, firstLeftOut)) return ERROR_NOT_ENOUGH_MEMORY;
    if (m_files.excluded && m_context->entriesExcluded)
        InterlockedExchangeAdd(m_context->entriesExcluded, static_cast<LONG>(m_files.excluded));
    if (m_files.linksLeftOut && m_context->linksLeftOut)
        InterlockedExchangeAdd(m_context->linksLeftOut, static_cast<LONG>(m_files.linksLeftOut));
    DirEntryList* noFiles = nullptr;
    DirEntryList* folders = nullptr;
    listing.Finish(&noFiles, &folders);
    FreeRecordList(noFiles);
    BYTE* twins = nullptr;
    DWORD status = FindTwins(folders, &twins);
    if (status == ERROR_SUCCESS) status = CheckFiles(twins, pathLength);
    if (status == ERROR_SUCCESS &&
        !m_frames.Push(ScanFrame{node, folders, twins, twins ? twins + m_files.count : nullptr, 0, pathLength}))
        status = ERROR_NOT_ENOUGH_MEMORY;
    if (status != ERROR_SUCCESS) {
        MemFree(twins);
        FreeRecordList(folders);
    }
    return status;
}

// Flags, per file of the intake and then per folder, the names that have a
// case twin in the folder; no flags when there cannot be any.
DWORD ScanWalk::FindTwins(const DirEntryList* folders, BYTE** twins) {
    const uint32_t entries = m_files.count + folders->count;
    if (entries <= 1) return ERROR_SUCCESS;
    *twins = static_cast<BYTE*>(MemAlloc(entries));
    const FolderNames names = {&m_files, folders};
    return *twins && FindCaseTwins(FolderName, &names, entries, *twins) ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

// Makes the files whose names the scan cannot stand for Unknown and logs them, in listing order.
DWORD ScanWalk::CheckFiles(const BYTE* twins, size_t pathLength) {
    for (uint32_t i = 0; i < m_files.count; ++i) {
        FileNode* file = m_files.nodes[i];
        DWORD problem = CheckEntryName(file->name);
        if (problem == ERROR_SUCCESS && twins && twins[i]) problem = ERROR_FILE_EXISTS;
        if (problem == ERROR_SUCCESS && (file->attributes & FILE_ATTRIBUTE_REPARSE_POINT)) problem = kEntryIsLink;
        if (problem == ERROR_SUCCESS) continue;
        file->state = DiffUnknown;
        if (LogEntry(pathLength, file->name, false, problem) != ERROR_SUCCESS) return ERROR_INTERNAL_ERROR;
    }
    if (m_context->filesListed) InterlockedExchangeAdd(m_context->filesListed, static_cast<LONG>(m_files.count));
    return ERROR_SUCCESS;
}

// Adds the frame's next folder entry and, when it can stand for a folder, lists it.
DWORD ScanWalk::NextFolderEntry(ScanFrame* frame) {
    const uint32_t index = frame->next++;
    const DirEntry& entry = frame->folders->entries[index];
    const bool dotEntry = IsDotOrDotDot(entry.name);
    if (dotEntry && !frame->node->parent) return ERROR_SUCCESS;
    DWORD problem = CheckEntryName(entry.name);
    if (problem == ERROR_SUCCESS && frame->folderTwins && frame->folderTwins[index]) problem = ERROR_FILE_EXISTS;
    // A link is an entry of its own, never a way into another place.
    if (problem == ERROR_SUCCESS && (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) problem = kEntryIsLink;
    NodeRecord record = WidenDirEntry(entry, problem == ERROR_SUCCESS ? DiffIdentical : DiffUnknown);
    FileNode* child = AddChildNode(&record, frame->node);
    if (!child) return ERROR_NOT_ENOUGH_MEMORY;
    if (dotEntry) return ERROR_SUCCESS;
    if (m_context->foldersListed) InterlockedIncrement(m_context->foldersListed);
    const size_t pathLength = frame->pathLength;
    if (problem != ERROR_SUCCESS) return LogEntry(pathLength, entry.name, true, problem);

    const size_t nameLength = wcslen(entry.name);
    if (pathLength + nameLength + 1 >= kPathUnits) {
        // Beyond any path the system can list: logged under its parent's path.
        child->state = DiffUnknown;
        return LogPath(pathLength, ERROR_FILENAME_EXCED_RANGE);
    }
    wmemcpy(m_path + pathLength, entry.name, nameLength);
    m_path[pathLength + nameLength] = L'\\';
    const size_t childLength = pathLength + nameLength + 1;
    m_path[childLength] = 0;
    if (IsCancelled(m_context)) return ERROR_SUCCESS;
    return Enter(child, childLength);
}

// Logs the entry `name` of the folder whose path (of `pathLength`) is in the buffer.
DWORD ScanWalk::LogEntry(size_t pathLength, const wchar_t* name, bool folder, DWORD error) {
    const size_t nameLength = wcslen(name);
    if (pathLength + nameLength + 1 >= kPathUnits) return LogPath(pathLength, error);
    wmemcpy(m_path + pathLength, name, nameLength);
    size_t length = pathLength + nameLength;
    if (folder) m_path[length++] = L'\\';
    return LogPath(length, error);
}

DWORD ScanWalk::LogPath(size_t pathLength, DWORD error) {
    m_path[pathLength] = 0;
    return LogSkippedPath(m_context->writeSkipped, m_path, error) ? ERROR_SUCCESS : ERROR_INTERNAL_ERROR;
}

void ScanWalk::Pop() {
    ScanFrame frame = {};
    m_frames.Pop(&frame);
    FreeRecordList(frame.folders);
    MemFree(frame.twins);
}

}  // namespace

DWORD ScanFolder(const wchar_t* folderPath, FileNode* folderNode, const ScanContext* context) {
    if (!folderPath || !folderNode || !context) return ERROR_INVALID_PARAMETER;
    if (wcslen(folderPath) >= kPathUnits) return ERROR_FILENAME_EXCED_RANGE;
    if (IsCancelled(context)) return ERROR_SUCCESS;
    ScanWalk walk(context);
    const DWORD status = walk.Run(folderPath, folderNode);
    if (status != ERROR_SUCCESS || !context->leftOut) return status;
    return ListInsideLeftOut(context->leftOut, folderPath, context->cancelRequested);
}

DWORD ScanLocation(LocationTree* tree, const wchar_t* locationPath, const ScanContext* context) {
    if (!tree || !locationPath || !context) return ERROR_INVALID_PARAMETER;
    DWORD status = tree->root ? ScanFolder(locationPath, tree->root, context) : ERROR_INVALID_PARAMETER;

    // The name is the last component: "D:\Photos\" gives Photos, "D:\" gives D:.
    size_t length = wcsnlen(locationPath, kPathUnits - 1);
    if (length > 0) --length;
    size_t start = length;
    while (start > 0 && locationPath[start - 1] != L'\\') --start;
    size_t nameLength = length - start;
    if (nameLength > kDisplayNameUnits - 1) nameLength = kDisplayNameUnits - 1;
    wmemcpy(tree->displayName, locationPath + start, nameLength);
    tree->displayName[nameLength] = 0;

    CopyText(tree->description, kDescriptionUnits, L"Differences on Logical Volume: ");
    AppendText(tree->description, kDescriptionUnits, locationPath);
    return status;
}
