// Writing a catalog: the scanned tree, folder by folder in order of names,
// through a buffer into a temporary file that replaces the catalog once whole.
#include "model/file_times.h"
#include "model/catalog.h"

#include "model/catalog_format.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/pending_stack.h"
#include "model/replacing_file.h"
#include "model/system_error.h"
#include "model/win_guards.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace {

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
    DWORD WriteHeader();
    DWORD Enter(const FileNode* folder, size_t relativeLength, size_t pathLength);
    DWORD Descend(const WriteFrame& frame, const FileNode* folder);
    DWORD WriteEntry(const WriteFrame& frame, const FileNode* node);
    DWORD Digest(const FileNode* node, size_t pathLength, FileDigest* digest);
    DWORD Finish();
    void Pop();

    CatalogWriting* m_writing;
    FileDigester m_digester = {};
    ReplacingFile m_output;
    char* m_relative = nullptr;  // escaped UTF-8, as written
    wchar_t* m_path = nullptr;  // full, for reading the files
    PendingStack<WriteFrame> m_frames = {};
    uint64_t m_entries = 0;
};

CatalogWriter::~CatalogWriter() {
    while (m_frames.count > 0) Pop();
    m_frames.Free();
    MemFree(m_relative);
    MemFree(m_path);
    CloseFileDigester(&m_digester);
}

DWORD CatalogWriter::Run(const LocationTree* tree, const wchar_t* folderPath, const wchar_t* catalogPath) {
    m_relative = static_cast<char*>(MemAlloc(kRelativePathBytes));
    m_path = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
    if (!m_relative || !m_path) return ERROR_NOT_ENOUGH_MEMORY;
    const size_t folderLength = wcsnlen(folderPath, kPathUnits);
    if (folderLength >= kPathUnits) return ERROR_FILENAME_EXCED_RANGE;
    wmemcpy(m_path, folderPath, folderLength + 1);
    if (m_writing->withDigests) {
        DWORD opened = OpenFileDigester(&m_digester);
        if (opened != ERROR_SUCCESS) return opened;
    }
    DWORD status = m_output.Open(catalogPath);
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
    if (status == ERROR_SUCCESS) status = Finish();
    return status;
}

DWORD CatalogWriter::WriteHeader() {
    char header[kCatalogHeaderBytes];
    const unsigned version = m_writing->exclusionCount > 0 ? kCatalogFormatVersion : 1;
    DWORD status = m_output.Append(header, FormatCatalogHeader(version, m_writing->withDigests, header));
    for (size_t index = 0; status == ERROR_SUCCESS && index < m_writing->exclusionCount; ++index) {
        const wchar_t* pattern = m_writing->exclusions[index];
        MemBlock<char> line(CatalogHeaderLineBytes(wcslen(pattern)));
        if (!line.Get()) return ERROR_NOT_ENOUGH_MEMORY;
        status = m_output.Append(line.Get(), FormatCatalogExclude(pattern, line.Get()));
    }
    return status;
}

// Takes the folder's entries but "." and "..", sorted by name, as the frame to write next.
DWORD CatalogWriter::Enter(const FileNode* folder, size_t relativeLength, size_t pathLength) {
    uint32_t count = 0;
    for (const FileNode* child = folder->firstChild; child; child = child->nextSibling) {
        if (!IsDotOrDotDot(child->name)) ++count;
    }
    if (count == 0) return ERROR_SUCCESS;
    MemBlock<FileNode*> children(count);
    if (!children.Get()) return ERROR_NOT_ENOUGH_MEMORY;
    uint32_t taken = 0;
    for (FileNode* child = folder->firstChild; child; child = child->nextSibling) {
        if (!IsDotOrDotDot(child->name)) children.Get()[taken++] = child;
    }
    // Ordinal order is total, case twins included, and the reader checks it.
    std::sort(children.Get(), children.Get() + count,
              [](const FileNode* a, const FileNode* b) { return wcscmp(a->name, b->name) < 0; });
    if (!m_frames.Push(WriteFrame{children.Get(), count, 0, relativeLength, pathLength}))
        return ERROR_NOT_ENOUGH_MEMORY;
    // The frame frees the entries once they are written.
    children.Release();
    return ERROR_SUCCESS;
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
    CatalogEntry entry = {KindOf(node), node->size, FileTimeTicks(node->lastWriteTime), node->attributes, false, {}};
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
    DWORD status = m_output.Append(fields, FormatCatalogFields(entry, fields));
    if (status == ERROR_SUCCESS) status = m_output.Append(m_relative, frame.relativeLength);
    // The name goes straight into the buffer, escaped, with room made for its longest form.
    const size_t nameLength = wcslen(node->name);
    if (status == ERROR_SUCCESS) status = m_output.Reserve(nameLength * kEscapedUnitBytes + 1);
    if (status != ERROR_SUCCESS) return status;
    char* tail = m_output.Tail();
    const size_t escaped = EscapeCatalogName(node->name, nameLength, tail);
    tail[escaped] = '\n';
    m_output.Grow(escaped + 1);
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

DWORD CatalogWriter::Finish() {
    char end[kCatalogEndBytes];
    DWORD status = m_output.Append(end, FormatCatalogEnd(m_entries, end));
    return status == ERROR_SUCCESS ? m_output.Finish() : status;
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
