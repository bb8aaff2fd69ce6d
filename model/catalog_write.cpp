// Writing a catalog: the scanned tree, folder by folder in order of names,
// through a buffer into a temporary file that replaces the catalog once whole.
#include "model/catalog.h"

#include "model/catalog_format.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/system_error.h"
#include "model/win_guards.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace {

const size_t kOutputBytes = 1u << 20;
// The fields before the path: a kind, a size, a time, attributes and a digest, with their tabs.
const size_t kMostFieldBytes = 160;
const size_t kRelativePathBytes = kPathUnits * kEscapedUnitBytes;

// A folder whose entries are being written, in order of their names.
struct WriteFrame {
    FileNode** children;
    uint32_t count;
    uint32_t next;
    size_t relativeLength;  // of its escaped path relative to the location, a backslash ending it
    size_t pathLength;  // of its full path, likewise
};

const char* KindWord(const FileNode* node) {
    const bool unknown = node->state == DiffUnknown;
    if (IsFolderNode(node)) return unknown ? "unknown-folder" : "folder";
    return unknown ? "unknown-file" : "file";
}

char* AppendText(char* out, const char* text) {
    size_t length = strlen(text);
    memcpy(out, text, length);
    return out + length;
}

char* AppendNumber(char* out, uint64_t value) {
    char digits[24];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) *out++ = digits[--count];
    return out;
}

char* AppendHex32(char* out, DWORD value) {
    static const char kDigits[] = "0123456789abcdef";
    for (int shift = 28; shift >= 0; shift -= 4) *out++ = kDigits[(value >> shift) & 0xF];
    return out;
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
    DWORD Digest(const FileNode* node, size_t pathLength, char* text);
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
    WriteFrame* m_frames = nullptr;
    size_t m_depth = 0;
    size_t m_capacity = 0;
    uint64_t m_entries = 0;
};

CatalogWriter::~CatalogWriter() {
    while (m_depth > 0) Pop();
    MemFree(m_frames);
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
    while (status == ERROR_SUCCESS && m_depth > 0) {
        WriteFrame& frame = m_frames[m_depth - 1];
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
    DWORD error = GetLastError();
    // Nothing was made, so nothing is to be deleted.
    MemFree(m_temporaryPath);
    m_temporaryPath = nullptr;
    return error != ERROR_SUCCESS ? error : ERROR_OPEN_FAILED;
}

DWORD CatalogWriter::WriteHeader() {
    char header[64];
    char* end = AppendText(header, kCatalogMagic);
    *end++ = '\t';
    end = AppendNumber(end, kCatalogFormatVersion);
    *end++ = '\t';
    end = AppendText(end, m_writing->withDigests ? kCatalogWithContent : kCatalogWithoutContent);
    *end++ = '\n';
    return Append(header, static_cast<size_t>(end - header));
}

// Takes the folder's entries but "." and "..", sorted by name, as the frame to write next.
DWORD CatalogWriter::Enter(const FileNode* folder, size_t relativeLength, size_t pathLength) {
    uint32_t count = 0;
    for (const FileNode* child = folder->firstChild; child; child = child->nextSibling) {
        if (!IsDotOrDotDot(child->name)) ++count;
    }
    if (count == 0) return ERROR_SUCCESS;
    if (m_depth == m_capacity) {
        auto* grown = static_cast<WriteFrame*>(MemGrow(m_frames, (m_capacity + 64) * sizeof(WriteFrame)));
        if (!grown) return ERROR_NOT_ENOUGH_MEMORY;
        m_frames = grown;
        m_capacity += 64;
    }
    auto* children = static_cast<FileNode**>(MemAlloc(count * sizeof(FileNode*)));
    if (!children) return ERROR_NOT_ENOUGH_MEMORY;
    uint32_t taken = 0;
    for (FileNode* child = folder->firstChild; child; child = child->nextSibling) {
        if (!IsDotOrDotDot(child->name)) children[taken++] = child;
    }
    // Ordinal order is total, case twins included, and the reader checks it.
    std::sort(children, children + count,
              [](const FileNode* a, const FileNode* b) { return wcscmp(a->name, b->name) < 0; });
    m_frames[m_depth++] = WriteFrame{children, count, 0, relativeLength, pathLength};
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
    char fields[kMostFieldBytes];
    char* out = AppendText(fields, KindWord(node));
    *out++ = '\t';
    out = AppendNumber(out, node->size);
    *out++ = '\t';
    const uint64_t time =
        (static_cast<uint64_t>(node->lastWriteTime.dwHighDateTime) << 32) | node->lastWriteTime.dwLowDateTime;
    out += FormatCatalogTime(time, out);
    *out++ = '\t';
    out = AppendHex32(out, node->attributes);
    *out++ = '\t';
    if (IsFolderNode(node)) {
        ++m_writing->folders;
    } else {
        ++m_writing->files;
    }
    if (node->state == DiffUnknown) ++m_writing->unknown;
    if (m_writing->withDigests && !IsFolderNode(node) && node->state != DiffUnknown) {
        DWORD status = Digest(node, frame.pathLength, out);
        if (status == ERROR_CANCELLED || status == ERROR_INTERNAL_ERROR) return status;
        out += status == ERROR_SUCCESS ? kDigestTextBytes : 1;
    } else {
        *out++ = '-';
    }
    *out++ = '\t';
    DWORD status = Append(fields, static_cast<size_t>(out - fields));
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

// Writes the file's digest as text, or "-" (and logs the file) when it cannot be read.
DWORD CatalogWriter::Digest(const FileNode* node, size_t pathLength, char* text) {
    const size_t nameLength = wcslen(node->name);
    DWORD status = ERROR_FILENAME_EXCED_RANGE;
    if (pathLength + nameLength < kPathUnits) {
        wmemcpy(m_path + pathLength, node->name, nameLength + 1);
        FileDigest digest;
        status = DigestFile(&m_digester, m_path, node->size, m_writing->cancelRequested, &digest,
                            &m_writing->bytesRead);
        if (status == ERROR_SUCCESS) {
            FormatDigest(digest, text);
            return ERROR_SUCCESS;
        }
        if (status == ERROR_CANCELLED) return status;
    } else {
        // Logged under its folder's path.
        m_path[std::min<size_t>(pathLength, kPathUnits - 1)] = 0;
    }
    *text = '-';
    ++m_writing->undigested;
    wchar_t message[kSystemErrorUnits];
    FormatSystemError(status, message);
    const wchar_t* lines[2] = {m_path, message};
    if (!m_writing->writeSkipped || !m_writing->writeSkipped(lines, 2)) return ERROR_INTERNAL_ERROR;
    return status;
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
        DWORD error = GetLastError();
        return error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT;
    }
    m_outputUsed = 0;
    return ERROR_SUCCESS;
}

// The end line, then the file on its disk before it takes the catalog's name,
// so that a failure of power cannot leave a catalog of nothing in its place.
DWORD CatalogWriter::Finish(const wchar_t* catalogPath) {
    char end[32];
    char* out = AppendText(end, kCatalogEnd);
    *out++ = '\t';
    out = AppendNumber(out, m_entries);
    *out++ = '\n';
    DWORD status = Append(end, static_cast<size_t>(out - end));
    if (status == ERROR_SUCCESS) status = Flush();
    if (status == ERROR_SUCCESS && !FlushFileBuffers(m_file)) status = GetLastError();
    if (status != ERROR_SUCCESS) return status;
    CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    if (!MoveFileExW(m_temporaryPath, catalogPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD error = GetLastError();
        return error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT;
    }
    m_renamed = true;
    return ERROR_SUCCESS;
}

void CatalogWriter::Pop() { MemFree(m_frames[--m_depth].children); }

}  // namespace

DWORD WriteCatalog(const LocationTree* tree, const wchar_t* folderPath, const wchar_t* catalogPath,
                   CatalogWriting* writing) {
    if (!tree || !tree->root || !folderPath || !catalogPath || !writing) return ERROR_INVALID_PARAMETER;
    writing->folders = writing->files = writing->unknown = writing->undigested = 0;
    writing->bytesRead = 0;
    CatalogWriter writer(writing);
    return writer.Run(tree, folderPath, catalogPath);
}
