// Reading a catalog back into a tree, line by line, refusing at the first line
// that is not as the writer makes it: a catalog stands for a folder only whole.
#include "model/catalog.h"

#include "model/catalog_format.h"
#include "model/memory.h"
#include "model/win_guards.h"

#include <cstdarg>
#include <cstring>
#include <cwchar>

struct DigestSlot {
    const FileNode* node;  // null when free
    FileDigest digest;
};

struct CatalogDigests {
    bool holdsDigests;
    DigestSlot* slots;  // open addressing, at most half full
    uint32_t capacity;  // a power of two, or 0
    uint32_t count;
};

namespace {

const size_t kReadBytes = 1u << 20;  // also the longest line
const size_t kEscapedPathUnits = kPathUnits * kEscapedUnitBytes;
const unsigned kEntryFields = 6;
const uint32_t kFirstDigestSlots = 1024;

uint32_t SlotOf(const FileNode* node, uint32_t capacity) {
    // Nodes lie at least two bytes apart; the multiplier spreads the rest.
    return static_cast<uint32_t>((reinterpret_cast<uintptr_t>(node) >> 1) * 2654435761u) & (capacity - 1);
}

void PlaceDigest(DigestSlot* slots, uint32_t capacity, const FileNode* node, const FileDigest& digest) {
    uint32_t slot = SlotOf(node, capacity);
    while (slots[slot].node) slot = (slot + 1) & (capacity - 1);
    slots[slot].node = node;
    slots[slot].digest = digest;
}

bool AddDigest(CatalogDigests* digests, const FileNode* node, const FileDigest& digest) {
    if (2 * (digests->count + 1) > digests->capacity) {
        const uint32_t capacity = digests->capacity ? 2 * digests->capacity : kFirstDigestSlots;
        auto* slots = static_cast<DigestSlot*>(MemAllocZero(capacity * sizeof(DigestSlot)));
        if (!slots) return false;
        for (uint32_t index = 0; index < digests->capacity; ++index) {
            if (digests->slots[index].node)
                PlaceDigest(slots, capacity, digests->slots[index].node, digests->slots[index].digest);
        }
        MemFree(digests->slots);
        digests->slots = slots;
        digests->capacity = capacity;
    }
    PlaceDigest(digests->slots, digests->capacity, node, digest);
    ++digests->count;
    return true;
}

struct Field {
    const char* text;
    size_t length;

    bool Is(const char* word) const { return length == strlen(word) && memcmp(text, word, length) == 0; }
};

// Splits a line at its tabs into at most `most` fields; returns how many it has (most + 1 for more).
unsigned SplitFields(const char* line, size_t length, Field* fields, unsigned most) {
    unsigned count = 0;
    size_t start = 0;
    for (size_t index = 0; index <= length; ++index) {
        if (index < length && line[index] != '\t') continue;
        if (count == most) return most + 1;
        fields[count++] = Field{line + start, index - start};
        start = index + 1;
    }
    return count;
}

bool ParseCount(const Field& field, uint64_t* value) {
    if (field.length == 0 || field.length > 20) return false;
    uint64_t result = 0;
    for (size_t index = 0; index < field.length; ++index) {
        const char digit = field.text[index];
        if (digit < '0' || digit > '9') return false;
        const unsigned next = static_cast<unsigned>(digit - '0');
        if (result > (UINT64_MAX - next) / 10) return false;
        result = result * 10 + next;
    }
    *value = result;
    return true;
}

bool ParseAttributes(const Field& field, DWORD* attributes) {
    if (field.length != 8) return false;
    DWORD value = 0;
    for (size_t index = 0; index < 8; ++index) {
        const char digit = field.text[index];
        unsigned nibble;
        if (digit >= '0' && digit <= '9') {
            nibble = static_cast<unsigned>(digit - '0');
        } else if (digit >= 'a' && digit <= 'f') {
            nibble = static_cast<unsigned>(digit - 'a' + 10);
        } else if (digit >= 'A' && digit <= 'F') {
            nibble = static_cast<unsigned>(digit - 'A' + 10);
        } else {
            return false;
        }
        value = value << 4 | nibble;
    }
    *attributes = value;
    return true;
}

// The lines of a file, read a block at a time; each line without its line end.
class LineReader {
public:
    explicit LineReader(HANDLE file) : m_file(file) {}
    ~LineReader() { MemFree(m_buffer); }
    // 0 with the next line; ERROR_HANDLE_EOF after the last; ERROR_INVALID_DATA
    // for a last line without its line end or a line longer than a block
    // (`Cut` tells which); the code of a failed read; 8.
    DWORD Next(const char** line, size_t* length);
    uint64_t Number() const { return m_number; }
    bool Cut() const { return m_cut; }

private:
    HANDLE m_file;
    char* m_buffer = nullptr;
    size_t m_start = 0;
    size_t m_end = 0;
    bool m_atEnd = false;
    bool m_cut = false;
    uint64_t m_number = 0;
};

DWORD LineReader::Next(const char** line, size_t* length) {
    if (!m_buffer) {
        m_buffer = static_cast<char*>(MemAlloc(kReadBytes));
        if (!m_buffer) return ERROR_NOT_ENOUGH_MEMORY;
    }
    for (;;) {
        const char* start = m_buffer + m_start;
        const char* feed = static_cast<const char*>(memchr(start, '\n', m_end - m_start));
        if (feed) {
            ++m_number;
            *line = start;
            *length = static_cast<size_t>(feed - start);
            if (*length > 0 && start[*length - 1] == '\r') --*length;
            m_start = static_cast<size_t>(feed - m_buffer) + 1;
            return ERROR_SUCCESS;
        }
        if (m_atEnd || m_end - m_start == kReadBytes) {
            if (m_start == m_end) return ERROR_HANDLE_EOF;
            ++m_number;
            m_cut = m_atEnd;
            return ERROR_INVALID_DATA;
        }
        memmove(m_buffer, m_buffer + m_start, m_end - m_start);
        m_end -= m_start;
        m_start = 0;
        DWORD got = 0;
        if (!ReadFile(m_file, m_buffer + m_end, static_cast<DWORD>(kReadBytes - m_end), &got, nullptr)) {
            DWORD error = GetLastError();
            return error != ERROR_SUCCESS ? error : ERROR_READ_FAULT;
        }
        m_end += got;
        m_atEnd = got == 0;
    }
}

// One folder whose entries may follow: its node (null when the exclusions
// leave it out, and what it holds with it) and the lengths of its paths.
struct ReadFrame {
    FileNode* node;
    size_t escapedLength;  // of its path as written, in UTF-16, a backslash ending it
    size_t folderLength;  // of its path as the exclusions see it, likewise
};

class CatalogReader {
public:
    CatalogReader(CatalogReading* reading, CatalogDigests* digests, CatalogProblem* problem)
        : m_reading(reading), m_digests(digests), m_problem(problem) {}
    ~CatalogReader();
    DWORD Run(HANDLE file, LocationTree* tree);

private:
    DWORD Header(const char* line, size_t length);
    DWORD Entry(const char* line, size_t length);
    DWORD Place(const Field& path, FileNode** parent);
    DWORD Push(FileNode* node);
    DWORD End(const char* line, size_t length, LineReader* lines);
    DWORD Problem(const wchar_t* format, ...);

    CatalogReading* m_reading;
    CatalogDigests* m_digests;
    CatalogProblem* m_problem;
    uint64_t m_line = 0;
    uint64_t m_entries = 0;
    ReadFrame* m_frames = nullptr;
    size_t m_depth = 0;
    size_t m_capacity = 0;
    wchar_t* m_escaped = nullptr;  // the path of the deepest folder open, as written
    wchar_t* m_folder = nullptr;  // the path of the top frame's folder, unescaped
    wchar_t* m_path = nullptr;  // the line's path, as written
    const wchar_t* m_own = nullptr;  // its last name in it, as written
    size_t m_ownLength = 0;
    wchar_t* m_name = nullptr;  // that name, unescaped
    size_t m_nameLength = 0;
};

CatalogReader::~CatalogReader() {
    MemFree(m_frames);
    MemFree(m_escaped);
    MemFree(m_folder);
    MemFree(m_path);
    MemFree(m_name);
}

DWORD CatalogReader::Problem(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vswprintf(m_problem->text, sizeof m_problem->text / sizeof(wchar_t), format, arguments);
    va_end(arguments);
    m_problem->line = m_line;
    return ERROR_INVALID_DATA;
}

DWORD CatalogReader::Run(HANDLE file, LocationTree* tree) {
    m_frames = static_cast<ReadFrame*>(MemAlloc(64 * sizeof(ReadFrame)));
    m_escaped = static_cast<wchar_t*>(MemAlloc(kEscapedPathUnits * sizeof(wchar_t)));
    m_folder = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
    m_path = static_cast<wchar_t*>(MemAlloc(kEscapedPathUnits * sizeof(wchar_t)));
    m_name = static_cast<wchar_t*>(MemAlloc(kEscapedPathUnits * sizeof(wchar_t)));
    if (!m_frames || !m_escaped || !m_folder || !m_path || !m_name) return ERROR_NOT_ENOUGH_MEMORY;
    m_capacity = 64;
    m_frames[m_depth++] = ReadFrame{tree->root, 0, 0};
    LineReader lines(file);
    for (;;) {
        const char* line = nullptr;
        size_t length = 0;
        DWORD status = lines.Next(&line, &length);
        m_line = lines.Number();
        if (status == ERROR_HANDLE_EOF) {
            ++m_line;
            return m_line == 1 ? Problem(L"the file is empty, not a catalog")
                               : Problem(L"the catalog ends early, without its end line: it was cut short");
        }
        if (status == ERROR_INVALID_DATA) {
            return lines.Cut() ? Problem(L"cut short, without a line end: the catalog is not whole")
                               : Problem(L"longer than %u bytes, as no catalog's line is",
                                         static_cast<unsigned>(kReadBytes));
        }
        if (status != ERROR_SUCCESS) return status;
        if (m_line == 1) {
            status = Header(line, length);
        } else if (length >= 4 && memcmp(line, "end\t", 4) == 0) {
            return End(line, length, &lines);
        } else {
            status = Entry(line, length);
        }
        if (status != ERROR_SUCCESS) return status;
    }
}

DWORD CatalogReader::Header(const char* line, size_t length) {
    Field fields[3];
    const unsigned count = SplitFields(line, length, fields, 3);
    if (count < 2 || !fields[0].Is(kCatalogMagic))
        return Problem(L"not a catalog's header (quillmar-catalog, a format version and its content)");
    uint64_t version = 0;
    if (!ParseCount(fields[1], &version) || version == 0)
        return Problem(L"the catalog's format version is not a number from 1");
    // Whatever else a later format changes, its header says its version here.
    if (version > kCatalogFormatVersion)
        return Problem(L"catalog format %llu is newer than this program reads (%u)",
                       static_cast<unsigned long long>(version), kCatalogFormatVersion);
    if (count != 3 || !(fields[2].Is(kCatalogWithContent) || fields[2].Is(kCatalogWithoutContent)))
        return Problem(L"the header's third field is neither content=sha256 nor content=none");
    m_digests->holdsDigests = fields[2].Is(kCatalogWithContent);
    return ERROR_SUCCESS;
}

DWORD CatalogReader::Entry(const char* line, size_t length) {
    Field fields[kEntryFields];
    const unsigned count = SplitFields(line, length, fields, kEntryFields);
    if (count != kEntryFields)
        return Problem(count > kEntryFields ? L"more fields than the %u of an entry, separated by tabs"
                                            : L"fewer fields than the %u of an entry, separated by tabs",
                       kEntryFields);
    const bool folder = fields[0].Is("folder") || fields[0].Is("unknown-folder");
    const bool unknown = fields[0].Is("unknown-file") || fields[0].Is("unknown-folder");
    if (!folder && !unknown && !fields[0].Is("file"))
        return Problem(L"the kind is none of file, folder, unknown-file and unknown-folder");
    NodeRecord record = {};
    uint64_t time = 0;
    if (!ParseCount(fields[1], &record.size)) return Problem(L"the size is not a number of bytes");
    if (!ParseCatalogTime(fields[2].text, fields[2].length, &time))
        return Problem(L"the time is not one such as 2024-05-01T12:34:56.1234567Z");
    record.lastWriteTime.dwLowDateTime = static_cast<DWORD>(time);
    record.lastWriteTime.dwHighDateTime = static_cast<DWORD>(time >> 32);
    if (!ParseAttributes(fields[3], &record.attributes))
        return Problem(L"the attributes are not eight hexadecimal digits");
    if (IsFolderAttributes(record.attributes) != folder) return Problem(L"the attributes are not those of its kind");
    FileDigest digest;
    const bool digested = !fields[4].Is("-");
    const bool digestFits = !folder && !unknown && m_digests->holdsDigests;
    if (digested && (!digestFits || !ParseDigest(fields[4].text, fields[4].length, &digest)))
        return Problem(L"the digest is not - nor, for a file of a catalog with content, 64 hexadecimal digits");
    ++m_entries;
    FileNode* parent = nullptr;
    DWORD status = Place(fields[5], &parent);
    if (status != ERROR_SUCCESS) return status;
    // Left out, or inside a folder left out: what a folder holds goes with it.
    FileNode* node = nullptr;
    if (parent && m_reading->exclusions && IsExcluded(m_reading->exclusions, m_folder, m_name, folder)) {
        ++m_reading->excluded;
    } else if (parent) {
        wmemcpy(record.name, m_name, m_nameLength + 1);
        record.state = unknown ? DiffUnknown : DiffIdentical;
        node = AddChildNode(&record, parent);
        if (!node || (digested && !AddDigest(m_digests, node, digest))) return ERROR_NOT_ENOUGH_MEMORY;
        ++(folder ? m_reading->folders : m_reading->files);
    }
    // Only the folders the scan listed hold entries: an unknown one has none.
    return folder && !unknown ? Push(node) : ERROR_SUCCESS;
}

// Finds the line's folder among the folders open (closing those it is not
// in), takes its last name, and checks that name and its order after the
// folder's entries before it. Leaves the folder's node (null when it is left
// out) in `parent`.
DWORD CatalogReader::Place(const Field& path, FileNode** parent) {
    if (path.length == 0) return Problem(L"the path is empty");
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.text, static_cast<int>(path.length), m_path,
                                    static_cast<int>(kEscapedPathUnits));
    if (units <= 0) return Problem(L"the path is not UTF-8, or is too long");
    const size_t length = static_cast<size_t>(units);
    while (m_depth > 1) {
        const size_t open = m_frames[m_depth - 1].escapedLength;
        if (open <= length && wmemcmp(m_escaped, m_path, open) == 0) break;
        --m_depth;
    }
    const ReadFrame& folder = m_frames[m_depth - 1];
    m_folder[folder.folderLength] = 0;
    m_own = m_path + folder.escapedLength;
    m_ownLength = length - folder.escapedLength;
    if (wmemchr(m_own, L'\\', m_ownLength))
        return Problem(L"its folder is not listed before it, with the folder's entries together after it");
    if (!UnescapeCatalogName(m_own, m_ownLength, m_name, &m_nameLength))
        return Problem(L"a name holds a character that is not escaped, or a %% that begins no escape");
    m_name[m_nameLength] = 0;
    if (m_nameLength == 0 || wcscmp(m_name, L".") == 0 || wcscmp(m_name, L"..") == 0)
        return Problem(L"the path holds an empty name, \".\" or \"..\"");
    if (m_nameLength >= kMaxNameUnits) return Problem(L"a name is longer than %u characters", kMaxNameUnits - 1);
    const FileNode* previous = folder.node ? folder.node->firstChild : nullptr;
    if (previous && wcscmp(previous->name, m_name) >= 0)
        return Problem(L"out of order, or listed twice: a folder's entries follow in order of their names");
    *parent = folder.node;
    return ERROR_SUCCESS;
}

// Opens the frame of the folder whose line was just read.
DWORD CatalogReader::Push(FileNode* node) {
    const ReadFrame& folder = m_frames[m_depth - 1];
    const size_t escapedLength = folder.escapedLength + m_ownLength + 1;
    const size_t folderLength = folder.folderLength + m_nameLength + 1;
    if (escapedLength >= kEscapedPathUnits || folderLength >= kPathUnits)
        return Problem(L"the path is longer than %u characters", kPathUnits - 1);
    if (m_depth == m_capacity) {
        auto* grown = static_cast<ReadFrame*>(MemGrow(m_frames, (m_capacity + 64) * sizeof(ReadFrame)));
        if (!grown) return ERROR_NOT_ENOUGH_MEMORY;
        m_frames = grown;
        m_capacity += 64;
    }
    const ReadFrame& parent = m_frames[m_depth - 1];
    wmemcpy(m_escaped + parent.escapedLength, m_own, m_ownLength);
    m_escaped[escapedLength - 1] = L'\\';
    wmemcpy(m_folder + parent.folderLength, m_name, m_nameLength);
    m_folder[folderLength - 1] = L'\\';
    m_frames[m_depth++] = ReadFrame{node, escapedLength, folderLength};
    return ERROR_SUCCESS;
}

DWORD CatalogReader::End(const char* line, size_t length, LineReader* lines) {
    Field fields[2];
    uint64_t count = 0;
    if (SplitFields(line, length, fields, 2) != 2 || !ParseCount(fields[1], &count))
        return Problem(L"the end line is not \"end\" and the number of entries");
    if (count != m_entries)
        return Problem(L"the end line counts %llu entries where %llu are listed",
                       static_cast<unsigned long long>(count), static_cast<unsigned long long>(m_entries));
    const char* more = nullptr;
    size_t moreLength = 0;
    DWORD status = lines->Next(&more, &moreLength);
    if (status == ERROR_HANDLE_EOF) return ERROR_SUCCESS;
    m_line = lines->Number();
    if (status == ERROR_SUCCESS || status == ERROR_INVALID_DATA) return Problem(L"a line after the end line");
    return status;
}

}  // namespace

bool IsCatalogFile(const wchar_t* path) {
    OwnedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return false;
    const size_t magicLength = strlen(kCatalogMagic);
    char start[32];
    DWORD got = 0;
    if (!ReadFile(file.Get(), start, static_cast<DWORD>(magicLength + 1), &got, nullptr) || got != magicLength + 1)
        return false;
    return memcmp(start, kCatalogMagic, magicLength) == 0 && start[magicLength] == '\t';
}

DWORD ReadCatalog(const wchar_t* path, CatalogReading* reading, LocationTree* tree, CatalogDigests** digests,
                  CatalogProblem* problem) {
    if (!path || !reading || !tree || !tree->root || !digests || !problem) return ERROR_INVALID_PARAMETER;
    reading->folders = reading->files = reading->excluded = 0;
    *digests = nullptr;
    problem->line = 0;
    problem->text[0] = 0;
    OwnedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsValid()) {
        DWORD error = GetLastError();
        return error != ERROR_SUCCESS ? error : ERROR_OPEN_FAILED;
    }
    auto* table = static_cast<CatalogDigests*>(MemAllocZero(sizeof(CatalogDigests)));
    if (!table) return ERROR_NOT_ENOUGH_MEMORY;
    DWORD status;
    {
        CatalogReader reader(reading, table, problem);
        status = reader.Run(file.Get(), tree);
    }
    if (status != ERROR_SUCCESS) {
        FreeCatalogDigests(table);
        return status;
    }
    *digests = table;
    return ERROR_SUCCESS;
}

bool CatalogHoldsDigests(const CatalogDigests* digests) { return digests && digests->holdsDigests; }

const FileDigest* FindCatalogDigest(const CatalogDigests* digests, const FileNode* file) {
    if (!digests || digests->capacity == 0 || !file) return nullptr;
    for (uint32_t slot = SlotOf(file, digests->capacity); digests->slots[slot].node;
         slot = (slot + 1) & (digests->capacity - 1)) {
        if (digests->slots[slot].node == file) return &digests->slots[slot].digest;
    }
    return nullptr;
}

void FreeCatalogDigests(CatalogDigests* digests) {
    if (!digests) return;
    MemFree(digests->slots);
    MemFree(digests);
}
