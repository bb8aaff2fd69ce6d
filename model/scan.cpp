#include "model/scan.h"

#include "model/enumeration.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/system_error.h"
#include "model/text.h"

#include <cwchar>

namespace {

bool IsCancelled(const ScanContext* context) {
    return context->cancelEvent && WaitForSingleObject(context->cancelEvent, 0) == WAIT_OBJECT_0;
}

// Frees a folder's listing and child path buffer on every return.
struct FolderScanBuffers {
    wchar_t* childPath = nullptr;
    DirEntryList* files = nullptr;
    DirEntryList* folders = nullptr;
    ~FolderScanBuffers() {
        MemFree(childPath);
        FreeRecordList(files);
        FreeRecordList(folders);
    }
};

}  // namespace

bool LogSkippedItem(const ScanContext* context, const wchar_t* path, DWORD error) {
    if (!context->writeSkipped) return false;
    wchar_t message[kSystemErrorUnits];
    FormatSystemError(error, message);
    const wchar_t* lines[2] = {path, message};
    return context->writeSkipped(lines, 2);
}

DWORD ScanFolder(const wchar_t* folderPath, FileNode* folderNode, const ScanContext* context) {
    if (!folderPath || !folderNode || !context) return ERROR_INVALID_PARAMETER;
    if (IsCancelled(context)) return ERROR_SUCCESS;
    FolderScanBuffers buffers;
    buffers.childPath = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
    if (!buffers.childPath) return ERROR_NOT_ENOUGH_MEMORY;

    DWORD listed = ListDirectory(folderPath, &buffers.files, &buffers.folders);
    if (listed == ERROR_NOT_ENOUGH_MEMORY) return listed;
    if (listed != ERROR_SUCCESS)
        return LogSkippedItem(context, folderPath, listed) ? ERROR_SUCCESS : ERROR_INTERNAL_ERROR;

    for (uint32_t i = 0; i < buffers.files->count; ++i) {
        NodeRecord record = WidenDirEntry(buffers.files->entries[i], DiffIdentical);
        if (!AddChildNode(&record, folderNode)) return ERROR_NOT_ENOUGH_MEMORY;
    }

    const bool isRoot = folderNode->parent == nullptr;
    const size_t folderLength = wcslen(folderPath);
    for (uint32_t i = 0; i < buffers.folders->count; ++i) {
        if (IsCancelled(context)) break;
        const DirEntry& entry = buffers.folders->entries[i];
        const bool dotEntry = IsDotOrDotDot(entry.name);
        if (dotEntry && isRoot) continue;
        NodeRecord record = WidenDirEntry(entry, DiffIdentical);
        FileNode* child = AddChildNode(&record, folderNode);
        if (!child) return ERROR_NOT_ENOUGH_MEMORY;
        if (dotEntry) continue;
        size_t nameLength = wcslen(entry.name);
        if (folderLength + nameLength + 1 >= kPathUnits) {
            // Beyond any path the system can list: log it like an unreadable folder.
            if (!LogSkippedItem(context, folderPath, ERROR_FILENAME_EXCED_RANGE)) return ERROR_INTERNAL_ERROR;
            continue;
        }
        wmemcpy(buffers.childPath, folderPath, folderLength);
        wmemcpy(buffers.childPath + folderLength, entry.name, nameLength);
        buffers.childPath[folderLength + nameLength] = L'\\';
        buffers.childPath[folderLength + nameLength + 1] = 0;
        DWORD status = ScanFolder(buffers.childPath, child, context);
        if (status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
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
