// Reading a catalog back into a tree, line by line, refusing at the first line
// that is not as the writer makes it: a catalog stands for a folder only whole.
// Each line is checked whole, whatever the exclusions, before its entry is
// added or left out, so that a damaged catalog is refused alike with any
// exclusions or none.
#include "model/file_times.h"
#include "model/catalog.h"

#include "model/catalog_digests.h"
#include "model/catalog_format.h"
#include "model/line_reader.h"
#include "model/memory.h"
#include "model/pending_stack.h"
#include "model/system_error.h"
#include "model/text.h"
#include "model/win_guards.h"

#include <cstdarg>
#include <cstring>
#include <cwchar>

namespace {

const size_t kEscapedPathUnits = kPathUnits * kEscapedUnitBytes;

// One folder whose entries may follow: its node (null when the exclusions
// leave it out, and what it holds with it) and the lengths of its paths.
struct ReadFrame {
    FileNode* node;
    size_t escapedLength;  // of its path as written, in UTF-16, a backslash ending it
    size_t folderLength;  // of its path as the exclusions see it, likewise
};

// Orders two names as the writer sorts them: by their units, a prefix first.
int CompareOrdinal(const wchar_t* a, size_t aLength, const wchar_t* b, size_t bLength) {
    const int units = wmemcmp(a, b, aLength < bLength ? aLength : bLength);
    if (units != 0) return units;
    return aLength < bLength ? -1 : aLength > bLength ? 1 : 0;
}

class CatalogReader {
public:
    CatalogReader(CatalogReading* reading, CatalogProblem* problem) : m_reading(reading), m_problem(problem) {}
    ~CatalogReader();
    DWORD Run(HANDLE file, LocationTree* tree);
    // The digest table, handed over to the caller after a whole read.
    CatalogDigests* TakeDigests() {
        CatalogDigests* digests = m_digests;
        m_digests = nullptr;
        return digests;
    }

private:
    DWORD Header(const char* line, size_t length);
    DWORD HeaderLine(CatalogHeaderWord word, const char* line, size_t length);
    bool Excluded(bool isFolder) const;
    DWORD Entry(const char* line, size_t length);
    DWORD Place(const char* path, size_t pathLength, bool opensFolder);
    DWORD Add(const CatalogEntry& entry);
    DWORD End(const char* line, size_t length, LineReader* lines);
    DWORD Problem(const wchar_t* format, ...);
    DWORD LineProblem();

    CatalogReading* m_reading;
    CatalogDigests* m_digests = nullptr;
    CatalogProblem* m_problem;
    ExclusionList* m_remembered = nullptr;  // the exclusions the catalog was made with
    unsigned m_version = 0;
    uint64_t m_line = 0;
    uint64_t m_entries = 0;
    PendingStack<ReadFrame> m_frames = {};
    wchar_t* m_escaped = nullptr;  // the path of the deepest folder open, as written
    wchar_t* m_folder = nullptr;  // the path of the deepest folder open, unescaped
    wchar_t* m_path = nullptr;  // the line's path, as written
    const wchar_t* m_own = nullptr;  // its last name in it, as written
    size_t m_ownLength = 0;
    wchar_t* m_name = nullptr;  // that name, unescaped
    size_t m_nameLength = 0;
    wchar_t* m_last = nullptr;  // the name of the entry line before, unescaped
    size_t m_lastLength = 0;
    size_t m_lastDepth = 0;  // the frames open when it was read: its folder's depth
};

CatalogReader::~CatalogReader() {
    m_frames.Free();
    MemFree(m_escaped);
    MemFree(m_folder);
    MemFree(m_path);
    MemFree(m_name);
    MemFree(m_last);
    FreeCatalogDigests(m_digests);
    FreeExclusions(m_remembered);
}

DWORD CatalogReader::Problem(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vswprintf(m_problem->text, kCatalogProblemUnits, format, arguments);
    va_end(arguments);
    return LineProblem();
}

// For a problem whose text is already in place.
DWORD CatalogReader::LineProblem() {
    m_problem->line = m_line;
    return ERROR_INVALID_DATA;
}

DWORD CatalogReader::Run(HANDLE file, LocationTree* tree) {
    m_escaped = static_cast<wchar_t*>(MemAlloc(kEscapedPathUnits * sizeof(wchar_t)));
    m_folder = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
    m_path = static_cast<wchar_t*>(MemAlloc(kEscapedPathUnits * sizeof(wchar_t)));
    m_name = static_cast<wchar_t*>(MemAlloc(kEscapedPathUnits * sizeof(wchar_t)));
    m_last = static_cast<wchar_t*>(MemAlloc(kEscapedPathUnits * sizeof(wchar_t)));
    if (!m_escaped || !m_folder || !m_path || !m_name || !m_last || !m_frames.Push(ReadFrame{tree->root, 0, 0}))
        return ERROR_NOT_ENOUGH_MEMORY;
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
                                         static_cast<unsigned>(kLongestLineBytes));
        }
        if (status != ERROR_SUCCESS) return status;
        if (m_line == 1) {
            status = Header(line, length);
        } else if (IsCatalogEndLine(line, length)) {
            return End(line, length, &lines);
        } else if (CatalogHeaderWord word = m_version >= 2 ? CatalogHeaderLineWord(line, length) : CatalogNoHeaderWord) {
            status = HeaderLine(word, line, length);
        } else {
            status = Entry(line, length);
        }
        if (status != ERROR_SUCCESS) return status;
    }
}

DWORD CatalogReader::Header(const char* line, size_t length) {
    bool withDigests = false;
    if (!ParseCatalogHeader(line, length, &m_version, &withDigests, m_problem->text)) return LineProblem();
    m_digests = CreateCatalogDigests(withDigests);
    return m_digests ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

// An exclusion the catalog was made with: its entries are left out as the
// caller's are, and the caller is told, to leave them out of a folder too.
DWORD CatalogReader::HeaderLine(CatalogHeaderWord word, const char* line, size_t length) {
    if (m_entries > 0) return Problem(L"a header's line after the first entry");
    if (word != CatalogExcludeWord) return Problem(L"a baseline of a two-way synchronization, not a catalog");
    if (!ParseCatalogExclude(line, length, m_path, m_problem->text)) return LineProblem();
    DWORD status = AddExclusion(&m_remembered, m_path);
    if (status == ERROR_INVALID_PARAMETER) return Problem(L"the exclude line's pattern cannot match any name");
    if (status == ERROR_SUCCESS && m_reading->rememberExclusion)
        status = m_reading->rememberExclusion(m_reading->exclusionContext, m_path);
    return status;
}

bool CatalogReader::Excluded(bool isFolder) const {
    return (m_reading->exclusions && IsExcluded(m_reading->exclusions, m_folder, m_name, isFolder)) ||
           (m_remembered && IsExcluded(m_remembered, m_folder, m_name, isFolder));
}

DWORD CatalogReader::Entry(const char* line, size_t length) {
    CatalogEntry entry;
    const char* path = nullptr;
    size_t pathLength = 0;
    if (!ParseCatalogEntry(line, length, CatalogHoldsDigests(m_digests), &entry, &path, &pathLength,
                           m_problem->text))
        return LineProblem();
    ++m_entries;
    // Only the folders the scan listed hold entries: an unknown one has none.
    const bool opensFolder = entry.kind == CatalogFolder;
    DWORD status = Place(path, pathLength, opensFolder);
    return status == ERROR_SUCCESS ? Add(entry) : status;
}

// Finds the line's folder among the folders open (closing those it is not
// in), and checks its last name, its order after the entry listed before it
// in that folder and, for a folder whose entries follow, its path's length.
DWORD CatalogReader::Place(const char* path, size_t pathLength, bool opensFolder) {
    size_t length = 0;
    if (Utf8ToWide(path, pathLength, m_path, kEscapedPathUnits, &length) != ERROR_SUCCESS || length == 0)
        return Problem(L"the path is not UTF-8, or is too long");
    ReadFrame closed = {};
    while (m_frames.count > 1) {
        const size_t open = m_frames.Top().escapedLength;
        if (open <= length && wmemcmp(m_escaped, m_path, open) == 0) break;
        m_frames.Pop(&closed);
    }
    const ReadFrame& folder = m_frames.Top();
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
    // The entry before this one in its folder: the folder last closed, whose
    // name the folder path still holds, or else the line before when it stood there.
    const wchar_t* previous = nullptr;
    size_t previousLength = 0;
    if (closed.folderLength > 0) {
        previous = m_folder + folder.folderLength;
        previousLength = closed.folderLength - folder.folderLength - 1;
    } else if (m_lastDepth == m_frames.count) {
        previous = m_last;
        previousLength = m_lastLength;
    }
    if (previous && CompareOrdinal(previous, previousLength, m_name, m_nameLength) >= 0)
        return Problem(L"out of order, or listed twice: a folder's entries follow in order of their names");
    if (opensFolder && (folder.escapedLength + m_ownLength + 1 >= kEscapedPathUnits ||
                        folder.folderLength + m_nameLength + 1 >= kPathUnits))
        return Problem(L"the path is longer than %u characters", kPathUnits - 1);
    m_folder[folder.folderLength] = 0;
    wmemcpy(m_last, m_name, m_nameLength + 1);
    m_lastLength = m_nameLength;
    m_lastDepth = m_frames.count;
    return ERROR_SUCCESS;
}

// Adds the entry of a line already checked, or leaves it out as the
// exclusions say: what an excluded folder holds goes with it.
DWORD CatalogReader::Add(const CatalogEntry& entry) {
    const ReadFrame folder = m_frames.Top();
    const bool isFolder = IsFolderKind(entry.kind);
    FileNode* node = nullptr;
    if (folder.node && Excluded(isFolder)) {
        ++m_reading->excluded;
    } else if (folder.node && (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
               ExcludesLinks(m_reading->exclusions)) {
        ++m_reading->linksLeftOut;
    } else if (folder.node) {
        NodeRecord record = {};
        wmemcpy(record.name, m_name, m_nameLength + 1);
        record.size = entry.size;
        record.lastWriteTime = FileTimeOfTicks(entry.time);
        record.attributes = entry.attributes;
        record.state = IsUnknownKind(entry.kind) ? DiffUnknown : DiffIdentical;
        node = AddChildNode(&record, folder.node);
        if (!node || (entry.hasDigest && !AddCatalogDigest(m_digests, node, entry.digest)))
            return ERROR_NOT_ENOUGH_MEMORY;
        ++(isFolder ? m_reading->folders : m_reading->files);
    }
    if (entry.kind != CatalogFolder) return ERROR_SUCCESS;
    // Opens the frame of the folder: its entries follow.
    const size_t escapedLength = folder.escapedLength + m_ownLength + 1;
    const size_t folderLength = folder.folderLength + m_nameLength + 1;
    if (!m_frames.Push(ReadFrame{node, escapedLength, folderLength})) return ERROR_NOT_ENOUGH_MEMORY;
    wmemcpy(m_escaped + folder.escapedLength, m_own, m_ownLength);
    m_escaped[escapedLength - 1] = L'\\';
    wmemcpy(m_folder + folder.folderLength, m_name, m_nameLength);
    m_folder[folderLength - 1] = L'\\';
    return ERROR_SUCCESS;
}

DWORD CatalogReader::End(const char* line, size_t length, LineReader* lines) {
    uint64_t count = 0;
    if (!ParseCatalogEnd(line, length, &count, m_problem->text)) return LineProblem();
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
    char start[32];
    DWORD got = 0;
    if (!ReadFile(file.Get(), start, sizeof start, &got, nullptr)) return false;
    const size_t mark = Utf8ByteOrderMarkAt(start, got);
    return BeginsAsCatalogHeader(start + mark, got - mark);
}

DWORD ReadCatalog(const wchar_t* path, CatalogReading* reading, LocationTree* tree, CatalogDigests** digests,
                  CatalogProblem* problem) {
    if (!path || !reading || !tree || !tree->root || !digests || !problem) return ERROR_INVALID_PARAMETER;
    reading->folders = reading->files = reading->excluded = 0;
    *digests = nullptr;
    problem->line = 0;
    problem->text[0] = 0;
    OwnedHandle file(OpenToReadLines(path));
    if (!file.IsValid()) return LastErrorOr(ERROR_OPEN_FAILED);
    CatalogReader reader(reading, problem);
    DWORD status = reader.Run(file.Get(), tree);
    if (status == ERROR_SUCCESS) *digests = reader.TakeDigests();
    return status;
}
