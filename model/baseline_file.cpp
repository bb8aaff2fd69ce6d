#include "model/baseline_file.h"

#include "model/line_reader.h"
#include "model/memory.h"
#include "model/system_error.h"
#include "model/win_guards.h"

#include <cstdarg>
#include <cwchar>

namespace {

const size_t kLineBytes = CatalogHeaderLineBytes(kPathUnits) + 2 * kCatalogFieldsBytes;

DWORD Problem(CatalogProblem* problem, uint64_t line, const wchar_t* text) {
    problem->line = line;
    wcsncpy(problem->text, text, kCatalogProblemUnits - 1);
    problem->text[kCatalogProblemUnits - 1] = 0;
    return ERROR_INVALID_DATA;
}

// Names apart by single backslashes, none of them empty, "." or "..".
bool IsRelativePath(const wchar_t* path, size_t length) {
    size_t begin = 0;
    for (size_t index = 0; index <= length; ++index) {
        if (index < length && path[index] != L'\\') continue;
        const size_t nameLength = index - begin;
        if (nameLength == 0 || (path[begin] == L'.' && (nameLength == 1 || (nameLength == 2 && path[begin + 1] == L'.'))))
            return false;
        begin = index + 1;
    }
    return true;
}

class BaselineReader {
public:
    BaselineReader(BaselineReading* reading, CatalogProblem* problem) : m_reading(reading), m_problem(problem) {}
    ~BaselineReader() { MemFree(m_path); }
    DWORD Run(HANDLE file);

private:
    DWORD Line(const char* line, size_t length);
    DWORD HeaderLine(CatalogHeaderWord word, const char* line, size_t length);
    DWORD Entry(const char* line, size_t length);
    // For a problem whose text is already in place.
    DWORD Fail() {
        m_problem->line = m_line;
        return ERROR_INVALID_DATA;
    }

    BaselineReading* m_reading;
    CatalogProblem* m_problem;
    wchar_t* m_path = nullptr;
    uint64_t m_line = 0;
    uint64_t m_entries = 0;
    bool m_seen[5] = {};  // the header's lines read, by CatalogHeaderWord
    bool m_ended = false;
};

DWORD BaselineReader::Run(HANDLE file) {
    m_path = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
    if (!m_path) return ERROR_NOT_ENOUGH_MEMORY;
    LineReader lines(file);
    for (;;) {
        const char* line = nullptr;
        size_t length = 0;
        const DWORD status = lines.Next(&line, &length);
        m_line = lines.Number();
        if (status == ERROR_HANDLE_EOF) {
            if (m_ended) return ERROR_SUCCESS;
            return Problem(m_problem, m_line + 1, L"the baseline ends early, without its end line: it was cut short");
        }
        if (status == ERROR_INVALID_DATA) return Problem(m_problem, m_line, L"cut short, or a line far too long");
        if (status != ERROR_SUCCESS) return status;
        if (m_ended) return Problem(m_problem, m_line, L"a line after the end line");
        const DWORD handled = Line(line, length);
        if (handled != ERROR_SUCCESS) return handled;
    }
}

DWORD BaselineReader::Line(const char* line, size_t length) {
    BaselineHeader* header = &m_reading->header;
    if (m_line == 1) {
        unsigned version = 0;
        if (!ParseCatalogHeader(line, length, &version, &header->withDigests, m_problem->text)) return Fail();
        return version >= 2 ? ERROR_SUCCESS : Problem(m_problem, 1, L"a catalog of format 1, not a baseline");
    }
    if (IsCatalogEndLine(line, length)) {
        uint64_t count = 0;
        if (!ParseCatalogEnd(line, length, &count, m_problem->text)) return Fail();
        if (count != m_entries) return Problem(m_problem, m_line, L"the end line does not count the entries listed");
        m_ended = true;
        return ERROR_SUCCESS;
    }
    if (CatalogHeaderWord word = CatalogHeaderLineWord(line, length)) return HeaderLine(word, line, length);
    if (!m_seen[CatalogLeftWord] || !m_seen[CatalogRightWord] || !m_seen[CatalogCompareWord])
        return Problem(m_problem, m_line, L"a catalog, not a baseline: its header names no pair of folders");
    return Entry(line, length);
}

DWORD BaselineReader::HeaderLine(CatalogHeaderWord word, const char* line, size_t length) {
    if (m_entries > 0) return Problem(m_problem, m_line, L"a header's line after the first entry");
    BaselineHeader* header = &m_reading->header;
    if (word != CatalogExcludeWord && m_seen[word]) return Problem(m_problem, m_line, L"a header's line twice");
    m_seen[word] = true;
    switch (word) {
    case CatalogExcludeWord:
        if (!ParseCatalogExclude(line, length, m_path, m_problem->text)) return Fail();
        return m_reading->exclusion ? m_reading->exclusion(m_reading->context, m_path) : ERROR_SUCCESS;
    case CatalogLeftWord:
    case CatalogRightWord: {
        const int side = word == CatalogRightWord ? 1 : 0;
        return ParseBaselineRoot(line, length, &header->serials[side], header->roots[side], m_problem->text)
                   ? ERROR_SUCCESS
                   : Fail();
    }
    default:
        return ParseBaselineCompare(line, length, &header->windowSeconds, &header->ignoreHourShift, &header->skipLinks,
                                    m_problem->text)
                   ? ERROR_SUCCESS
                   : Fail();
    }
}

DWORD BaselineReader::Entry(const char* line, size_t length) {
    CatalogEntry sides[2];
    bool present[2];
    const char* path = nullptr;
    size_t pathLength = 0;
    if (!ParseBaselineEntry(line, length, m_reading->header.withDigests, sides, present, &path, &pathLength,
                            m_problem->text))
        return Fail();
    size_t units = 0;
    if (!UnescapeCatalogPath(path, pathLength, m_path, &units) || !IsRelativePath(m_path, units))
        return Problem(m_problem, m_line, L"the path is not a relative path, escaped as a catalog's paths are");
    ++m_entries;
    return m_reading->entry(m_reading->context, m_path, units, present[0] ? &sides[0] : nullptr,
                            present[1] ? &sides[1] : nullptr);
}

}  // namespace

DWORD ReadBaseline(const wchar_t* path, BaselineReading* reading, CatalogProblem* problem) {
    if (!path || !reading || !reading->entry || !reading->header.roots[0] || !reading->header.roots[1] || !problem)
        return ERROR_INVALID_PARAMETER;
    problem->line = 0;
    problem->text[0] = 0;
    OwnedHandle file(OpenToReadLines(path));
    if (!file.IsValid()) return LastErrorOr(ERROR_OPEN_FAILED);
    BaselineReader reader(reading, problem);
    return reader.Run(file.Get());
}

DWORD BaselineWriter::Begin(const wchar_t* path, const BaselineHeader& header, const wchar_t* const* exclusions,
                            size_t exclusionCount) {
    m_line = static_cast<char*>(MemAlloc(kLineBytes));
    if (!m_line) return ERROR_NOT_ENOUGH_MEMORY;
    DWORD status = m_file.Open(path);
    if (status == ERROR_SUCCESS) status = AppendLine(FormatCatalogHeader(2, header.withDigests, m_line));
    for (size_t index = 0; status == ERROR_SUCCESS && index < exclusionCount; ++index)
        status = AppendLine(FormatCatalogExclude(exclusions[index], m_line));
    for (int side = 0; status == ERROR_SUCCESS && side < 2; ++side)
        status = AppendLine(FormatBaselineRoot(side ? CatalogRightWord : CatalogLeftWord, header.serials[side],
                                               header.roots[side], m_line));
    if (status == ERROR_SUCCESS)
        status = AppendLine(FormatBaselineCompare(header.windowSeconds, header.ignoreHourShift, header.skipLinks, m_line));
    return status;
}

DWORD BaselineWriter::Add(const wchar_t* path, size_t length, const CatalogEntry* left, const CatalogEntry* right) {
    if (length >= kPathUnits) return ERROR_FILENAME_EXCED_RANGE;
    size_t used = FormatBaselineSide(left, m_line);
    used += FormatBaselineSide(right, m_line + used);
    used += EscapeCatalogPath(path, length, m_line + used);
    m_line[used++] = '\n';
    ++m_entries;
    return AppendLine(used);
}

DWORD BaselineWriter::Finish() {
    DWORD status = AppendLine(FormatCatalogEnd(m_entries, m_line));
    return status == ERROR_SUCCESS ? m_file.Finish() : status;
}

DWORD BaselineWriter::AppendLine(size_t length) { return m_file.Append(m_line, length); }
