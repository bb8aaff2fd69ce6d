// Writing a catalog: the scanned tree, folder by folder in order of names,
// through a buffer into a temporary file that replaces the catalog once whole.
#include "model/catalog.h"

#include "model/catalog_format.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/pending_stack.h"
#include "model/system_error.h"
#include "model/win_guards.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace {

const size_t kOutputBytes = 1u << 20;
const size_t kRelativePathBytes = kPathUnits * kEscapedUnitBytes;

// A folder whose entries are being written, in order of their names.
struct WriteFrame {
    FileNode** children;
    uint32_t count;
    uint32_t next;
    size_t relativeLength;  // of its escaped path relative to the location, a backslash ending it
    size_t pathLength;  // of its full path, likewise
};

CatalogKind KindOf(const FileNode* node) {
    const bool unknown = node->state == DiffUnknown;
    if (IsFolderNode(node)) return unknown ? CatalogUnknownFolder : CatalogFolder;
    return unknown ? CatalogUnknownFile : CatalogFile;
}

class CatalogWriter {
public:
    explicit CatalogWriter(CatalogWriting* writing) : m_writing(writing) {}
    ~CatalogWriter();
    DWORD Run(const LocationTree* tree, const wchar_t* folderPath, const wchar_t* catalogPath);

private:
    DWORD Create(const wchar_t* catalogPath);
    DWORD WriteHeader();
    DWORD Enter(const FileNode* folder, size_t relativeLength, size_t pathLength);
    DWORD Descend(const WriteFrame& frame, const FileNode* folder);
    DWORD WriteEntry(const WriteFrame& frame, const FileNode* node);
    DWORD Digest(const FileNode* node, size_t pathLength, FileDigest* digest);
    DWORD Append(const char* bytes, size_t count);
    DWORD Flush();
    DWORD Finish(const wchar_t* catalogPath);
    void Pop();

    CatalogWriting* m_writing;
    FileDigester m_digester = {};
    HANDLE m_file = INVALID_HANDLE_VALUE;
    wchar_t* m_temporaryPath = nullptr;
    bool m_renamed = false;
    char* m_output = nullptr;
    size_t m_outputUsed = 0;
    char* m_relative = nullptr;  // escaped UTF-8, as written
    wchar_t* m_path = nullptr;  // full, for reading the files
    PendingStack<WriteFrame> m_frames = {};
    uint64_t m_entries = 0;
};

CatalogWriter::~CatalogWriter() {
    while (m_frames.count > 0) Pop();
    m_frames.Free();
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    // A catalog cut short never takes the place of a whole one.
    if (m_temporaryPath && !m_renamed) DeleteFileW(m_temporaryPath);
    MemFree(m_temporaryPath);
    MemFree(m_output);
    MemFree(m_relative);
    MemFree(m_path);
    CloseFileDigester(&m_digester);
}

DWORD CatalogWriter::Run(const LocationTree* tree, const wchar_t* folderPath, const wchar_t* catalogPath) {
    m_output = static_cast<char*>(MemAlloc(kOutputBytes));
    m_relative = static_cast<char*>(MemAlloc(kRelativePathBytes));
    m_path = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
    m_temporaryPath = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
    if (!m_output || !m_relative || !m_path || !m_temporaryPath) return ERROR_NOT_ENOUGH_MEMORY;
    const size_t folderLength = wcsnlen(folderPath, kPathUnits);
    if (folderLength >= kPathUnits) return ERROR_FILENAME_EXCED_RANGE;
    wmemcpy(m_path, folderPath, folderLength + 1);
    if (m_writing->withDigests) {
        DWORD opened = OpenFileDigester(&m_digester);
        if (opened != ERROR_SUCCESS) return opened;
    }
    DWORD status = Create(catalogPath);
    if (status != ERROR_SUCCESS) return status;
    status = WriteHeader();
    if (status == ERROR_SUCCESS) status = Enter(tree->root, 0, folderLength);
    while (status == ERROR_SUCCESS && m_frames.count > 0) {
        WriteFrame& frame = m_frames.Top();
        if (frame.next == frame.count) {
            Pop();
            continue;
        }
        const FileNode* node = frame.children[frame.next++];
        status = WriteEntry(frame, node);
        // Only folders the scan listed have entries to write.
        if (status == ERROR_SUCCESS && IsFolderNode(node) && node->state != DiffUnknown) status = Descend(frame, node);
    }
    if (status == ERROR_SUCCESS) status = Finish(catalogPath);
    return status;
}

// The temporary file stands beside the catalog, on its volume, so that the rename replaces it at once.
DWORD CatalogWriter::Create(const wchar_t* catalogPath) {
    int length = swprintf(m_temporaryPath, kPathUnits, L"%ls.%lu.partial", catalogPath,
                          static_cast<unsigned long>(GetCurrentProcessId()));
    if (length < 0) {
        MemFree(m_temporaryPath);
        m_temporaryPath = nullptr;
        return ERROR_FILENAME_EXCED_RANGE;
    }
    m_file = CreateFileW(m_temporaryPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (m_file != INVALID_HANDLE_VALUE) return ERROR_SUCCESS;
    const DWORD error = LastErrorOr(ERROR_OPEN_FAILED);
    // Nothing was made, so nothing is to be deleted.
    MemFree(m_temporaryPath);
    m_temporaryPath = nullptr;
    return error;
}

DWORD CatalogWriter::WriteHeader() {
    char header[kCatalogHeaderBytes];
    return Append(header, FormatCatalogHeader(m_writing->withDigests, header));
}

// Takes the folder's entries but "." and "..", sorted by name, as the frame to write next.
DWORD CatalogWriter::Enter(const FileNode* folder, size_t relativeLength, size_t pathLength) {
    uint32_t count = 0;
    for (const FileNode* child = folder->firstChild; child; child = child->nextSibling) {
        if (!IsDotOrDotDot(child->name)) ++count;
    }
    if (count == 0) return ERROR_SUCCESS;
    auto* children = static_cast<FileNode**>(MemAlloc(count * sizeof(FileNode*)));
    if (!children) return ERROR_NOT_ENOUGH_MEMORY;
    uint32_t taken = 0;
    for (FileNode* child = folder->firstChild; child; child = child->nextSibling) {
        if (!IsDotOrDotDot(child->name)) children[taken++] = child;
    }
    // Ordinal order is total, case twins included, and the reader checks it.
    std::sort(children, children + count,
              [](const FileNode* a, const FileNode* b) { return wcscmp(a->name, b->name) < 0; });
    if (m_frames.Push(WriteFrame{children, count, 0, relativeLength, pathLength})) return ERROR_SUCCESS;
    MemFree(children);
    return ERROR_NOT_ENOUGH_MEMORY;
}

// Extends both paths by the folder's name and takes its entries as the next frame.
DWORD CatalogWriter::Descend(const WriteFrame& frame, const FileNode* folder) {
    // Copied first: a new frame may move the frames.
    const size_t relativeLength = frame.relativeLength;
    const size_t pathLength = frame.pathLength;
    const size_t nameLength = wcslen(folder->name);
    const size_t childPathLength = pathLength + nameLength + 1;
    // A scan never enters a folder whose path is too long for the system to list.
    if (childPathLength >= kPathUnits) return ERROR_FILENAME_EXCED_RANGE;
    const size_t escaped = EscapeCatalogName(folder->name, nameLength, m_relative + relativeLength);
    m_relative[relativeLength + escaped] = '\\';
    wmemcpy(m_path + pathLength, folder->name, nameLength);
    m_path[pathLength + nameLength] = L'\\';
    return Enter(folder, relativeLength + escaped + 1, childPathLength);
}

DWORD CatalogWriter::WriteEntry(const WriteFrame& frame, const FileNode* node) {
    if (m_writing->cancelRequested && *m_writing->cancelRequested) return ERROR_CANCELLED;
    CatalogEntry entry = {KindOf(node), node->size,
                          (static_cast<uint64_t>(node->lastWriteTime.dwHighDateTime) << 32) |
                              node->lastWriteTime.dwLowDateTime,
                          node->attributes, false, {}};
    if (IsFolderNode(node)) {
        ++m_writing->folders;
    } else {
        ++m_writing->files;
    }
    if (node->state == DiffUnknown) ++m_writing->unknown;
    if (m_writing->withDigests && entry.kind == CatalogFile) {
        DWORD status = Digest(node, frame.pathLength, &entry.digest);
        if (status == ERROR_CANCELLED || status == ERROR_INTERNAL_ERROR) return status;
        entry.hasDigest = status == ERROR_SUCCESS;
    }
    char fields[kCatalogFieldsBytes];
    DWORD status = Append(fields, FormatCatalogFields(entry, fields));
    if (status == ERROR_SUCCESS) status = Append(m_relative, frame.relativeLength);
    // The name goes straight into the buffer, escaped, with room made for its longest form.
    const size_t nameLength = wcslen(node->name);
    if (status == ERROR_SUCCESS && kOutputBytes - m_outputUsed < nameLength * kEscapedUnitBytes + 1)
        status = Flush();
    if (status != ERROR_SUCCESS) return status;
    m_outputUsed += EscapeCatalogName(node->name, nameLength, m_output + m_outputUsed);
    m_output[m_outputUsed++] = '\n';
    ++m_entries;
    return ERROR_SUCCESS;
}

// Reads the file's digest; logs the file when it cannot be read.
DWORD CatalogWriter::Digest(const FileNode* node, size_t pathLength, FileDigest* digest) {
    const size_t nameLength = wcslen(node->name);
    DWORD status = ERROR_FILENAME_EXCED_RANGE;
    if (pathLength + nameLength < kPathUnits) {
        wmemcpy(m_path + pathLength, node->name, nameLength + 1);
        status = DigestFile(&m_digester, m_path, node->size, m_writing->cancelRequested, digest,
                            &m_writing->bytesRead);
        if (status == ERROR_SUCCESS || status == ERROR_CANCELLED) return status;
    } else {
        // Logged under its folder's path.
        m_path[std::min<size_t>(pathLength, kPathUnits - 1)] = 0;
    }
    ++m_writing->undigested;
    return LogSkippedPath(m_writing->writeSkipped, m_path, status) ? status : ERROR_INTERNAL_ERROR;
}

DWORD CatalogWriter::Append(const char* bytes, size_t count) {
    while (count > 0) {
        if (m_outputUsed == kOutputBytes) {
            DWORD status = Flush();
            if (status != ERROR_SUCCESS) return status;
        }
        size_t taken = std::min(count, kOutputBytes - m_outputUsed);
        memcpy(m_output + m_outputUsed, bytes, taken);
        m_outputUsed += taken;
        bytes += taken;
        count -= taken;
    }
    return ERROR_SUCCESS;
}

DWORD CatalogWriter::Flush() {
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(m_outputUsed);
    if (size > 0 && (!WriteFile(m_file, m_output, size, &written, nullptr) || written != size)) {
        return LastErrorOr(ERROR_WRITE_FAULT);
    }
    m_outputUsed = 0;
    return ERROR_SUCCESS;
}

// The end line, then the file on its disk before it takes the catalog's name,
// so that a failure of power cannot leave a catalog of nothing in its place.
DWORD CatalogWriter::Finish(const wchar_t* catalogPath) {
    char end[kCatalogEndBytes];
    DWORD status = Append(end, FormatCatalogEnd(m_entries, end));
    if (status == ERROR_SUCCESS) status = Flush();
    if (status == ERROR_SUCCESS && !FlushFileBuffers(m_file)) status = LastErrorOr(ERROR_WRITE_FAULT);
    if (status != ERROR_SUCCESS) return status;
    CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    if (!MoveFileExW(m_temporaryPath, catalogPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return LastErrorOr(ERROR_WRITE_FAULT);
    m_renamed = true;
    return ERROR_SUCCESS;
}

void CatalogWriter::Pop() {
    WriteFrame frame = {};
    m_frames.Pop(&frame);
    MemFree(frame.children);
}

}  // namespace

DWORD WriteCatalog(const LocationTree* tree, const wchar_t* folderPath, const wchar_t* catalogPath,
                   CatalogWriting* writing) {
    if (!tree || !tree->root || !folderPath || !catalogPath || !writing) return ERROR_INVALID_PARAMETER;
    writing->folders = writing->files = writing->unknown = writing->undigested = 0;
    writing->bytesRead = 0;
    CatalogWriter writer(writing);
    return writer.Run(tree, folderPath, catalogPath);
}
