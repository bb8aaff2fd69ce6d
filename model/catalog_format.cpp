#include "model/catalog_format.h"

#include "model/text.h"

#include <cstdarg>
#include <cstring>
#include <cwchar>

namespace {

const char kMagic[] = "quillmar-catalog";  // the header's first field
const char kWithContent[] = "content=sha256";  // its third: digests of the files' content
const char kWithoutContent[] = "content=none";
const char kEndWord[] = "end";  // the first field of the last line
const char* const kKindWords[] = {"file", "folder", "unknown-file", "unknown-folder"};
const char kNoDigest[] = "-";
// The first fields of the header's lines, by CatalogHeaderWord.
const char* const kHeaderWords[] = {"", "exclude", "left", "right", "compare"};
// A baseline's side without an entry.
const char kNoneWord[] = "none";
const char kNoneFields[] = "none\t0\t-\t00000000\t-\t";
const unsigned kEntryFields = 6;
const size_t kDigestTextBytes = 2 * kDigestBytes;

// The characters a name carries only escaped: they would end a field or a
// line, pass for the separator or for an escape, or vanish in a text editor.
bool MustEscape(unsigned unit) { return unit < 0x20 || unit == 0x7F || unit == '%' || unit == '\\'; }

bool Fail(wchar_t* problem, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vswprintf(problem, kCatalogProblemUnits, format, arguments);
    va_end(arguments);
    return false;
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

// True when the line's first field is `word`, with more fields after it.
bool BeginsWithField(const char* line, size_t length, const char* word) {
    const size_t wordLength = strlen(word);
    return length > wordLength && memcmp(line, word, wordLength) == 0 && line[wordLength] == '\t';
}

char* WriteWord(char* out, const char* word) {
    const size_t length = strlen(word);
    memcpy(out, word, length);
    return out + length;
}

char* WriteCount(char* out, uint64_t value) {
    char digits[24];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) *out++ = digits[--count];
    return out;
}

char* WriteDigest(const FileDigest& digest, char* out) {
    for (unsigned index = 0; index < kDigestBytes; ++index) out = WriteHexDigits(out, digest.bytes[index], 2, false);
    return out;
}

bool ParseDigest(const char* text, size_t length, FileDigest* digest) {
    if (length != kDigestTextBytes) return false;
    for (unsigned index = 0; index < kDigestBytes; ++index) {
        uint32_t value = 0;
        if (!ReadHexDigits(text + 2 * index, 2, &value)) return false;
        digest->bytes[index] = static_cast<BYTE>(value);
    }
    return true;
}

}  // namespace

size_t FormatCatalogHeader(unsigned version, bool withDigests, char* out) {
    char* end = WriteWord(out, kMagic);
    *end++ = '\t';
    end = WriteCount(end, version);
    *end++ = '\t';
    end = WriteWord(end, withDigests ? kWithContent : kWithoutContent);
    *end++ = '\n';
    return static_cast<size_t>(end - out);
}

bool BeginsAsCatalogHeader(const char* bytes, size_t length) { return BeginsWithField(bytes, length, kMagic); }

bool ParseCatalogHeader(const char* line, size_t length, unsigned* version, bool* withDigests, wchar_t* problem) {
    Field fields[3];
    const unsigned count = SplitFields(line, length, fields, 3);
    if (count < 2 || !fields[0].Is(kMagic))
        return Fail(problem, L"not a catalog's header (quillmar-catalog, a format version and its content)");
    uint64_t number = 0;
    if (!ParseCount(fields[1], &number) || number == 0)
        return Fail(problem, L"the catalog's format version is not a number from 1");
    // Whatever else a later format changes, its header says its version here.
    if (number > kCatalogFormatVersion)
        return Fail(problem, L"catalog format %llu is newer than this program reads (%u)",
                    static_cast<unsigned long long>(number), kCatalogFormatVersion);
    if (count != 3 || !(fields[2].Is(kWithContent) || fields[2].Is(kWithoutContent)))
        return Fail(problem, L"the header's third field is neither content=sha256 nor content=none");
    *version = static_cast<unsigned>(number);
    *withDigests = fields[2].Is(kWithContent);
    return true;
}

CatalogHeaderWord CatalogHeaderLineWord(const char* line, size_t length) {
    for (unsigned word = CatalogExcludeWord; word <= CatalogCompareWord; ++word) {
        if (BeginsWithField(line, length, kHeaderWords[word])) return static_cast<CatalogHeaderWord>(word);
    }
    return CatalogNoHeaderWord;
}

size_t FormatCatalogExclude(const wchar_t* pattern, char* out) {
    char* end = WriteWord(out, kHeaderWords[CatalogExcludeWord]);
    *end++ = '\t';
    end += EscapeCatalogPath(pattern, wcslen(pattern), end);
    *end++ = '\n';
    return static_cast<size_t>(end - out);
}

bool ParseCatalogExclude(const char* line, size_t length, wchar_t* pattern, wchar_t* problem) {
    Field fields[2];
    size_t patternLength = 0;
    if (SplitFields(line, length, fields, 2) != 2 || fields[1].length == 0 ||
        !UnescapeCatalogPath(fields[1].text, fields[1].length, pattern, &patternLength))
        return Fail(problem, L"an exclude line is not \"exclude\" and a pattern, escaped as paths are");
    return true;
}

size_t FormatBaselineRoot(CatalogHeaderWord word, DWORD serial, const wchar_t* root, char* out) {
    char* end = WriteWord(out, kHeaderWords[word]);
    *end++ = '\t';
    end = WriteHexDigits(end, serial, 8, true);
    *end++ = '\t';
    end += EscapeCatalogPath(root, wcslen(root), end);
    *end++ = '\n';
    return static_cast<size_t>(end - out);
}

bool ParseBaselineRoot(const char* line, size_t length, DWORD* serial, wchar_t* root, wchar_t* problem) {
    Field fields[3];
    uint32_t number = 0;
    size_t rootLength = 0;
    if (SplitFields(line, length, fields, 3) != 3 || fields[1].length != 8 ||
        !ReadHexDigits(fields[1].text, 8, &number) || fields[2].length == 0 ||
        !UnescapeCatalogPath(fields[2].text, fields[2].length, root, &rootLength))
        return Fail(problem, L"a folder's line is not left or right, a volume serial number and a full path");
    *serial = number;
    return true;
}

size_t FormatBaselineCompare(uint32_t windowSeconds, bool ignoreHourShift, bool skipLinks, char* out) {
    char* end = WriteWord(out, kHeaderWords[CatalogCompareWord]);
    end = WriteWord(end, "\twindow=");
    end = WriteCount(end, windowSeconds);
    end = WriteWord(end, ignoreHourShift ? "\thour-shift=yes" : "\thour-shift=no");
    end = WriteWord(end, skipLinks ? "\tlinks=skip\n" : "\n");
    return static_cast<size_t>(end - out);
}

bool ParseBaselineCompare(const char* line, size_t length, uint32_t* windowSeconds, bool* ignoreHourShift,
                          bool* skipLinks, wchar_t* problem) {
    Field fields[4];
    const size_t windowWord = strlen("window=");
    uint64_t window = 0;
    const unsigned count = SplitFields(line, length, fields, 4);
    // A baseline of before links could be left out has no fourth field.
    if (count == 4 && !fields[3].Is("links=skip"))
        return Fail(problem, L"the compare line's fourth field is not links=skip");
    if (count < 3 || count > 4 || fields[1].length <= windowWord ||
        memcmp(fields[1].text, "window=", windowWord) != 0 ||
        !ParseCount(Field{fields[1].text + windowWord, fields[1].length - windowWord}, &window) ||
        window > UINT32_MAX || !(fields[2].Is("hour-shift=yes") || fields[2].Is("hour-shift=no")))
        return Fail(problem, L"the compare line is not \"compare\", window=SECONDS and hour-shift=yes or no");
    *windowSeconds = static_cast<uint32_t>(window);
    *ignoreHourShift = fields[2].Is("hour-shift=yes");
    *skipLinks = count == 4;
    return true;
}

size_t FormatCatalogFields(const CatalogEntry& entry, char* out) {
    char* end = WriteWord(out, kKindWords[entry.kind]);
    *end++ = '\t';
    end = WriteCount(end, entry.size);
    *end++ = '\t';
    end += FormatIsoTime(entry.time, end);
    *end++ = '\t';
    end = WriteHexDigits(end, entry.attributes, 8, false);
    *end++ = '\t';
    end = entry.hasDigest ? WriteDigest(entry.digest, end) : WriteWord(end, kNoDigest);
    *end++ = '\t';
    return static_cast<size_t>(end - out);
}

namespace {

// An entry's five fields before its path.
bool ParseEntryFields(const Field* fields, bool holdsDigests, CatalogEntry* entry, wchar_t* problem) {
    unsigned kind = 0;
    while (kind < 4 && !fields[0].Is(kKindWords[kind])) ++kind;
    if (kind == 4) return Fail(problem, L"the kind is none of file, folder, unknown-file and unknown-folder");
    entry->kind = static_cast<CatalogKind>(kind);
    if (!ParseCount(fields[1], &entry->size)) return Fail(problem, L"the size is not a number of bytes");
    if (!ParseIsoTime(fields[2].text, fields[2].length, &entry->time))
        return Fail(problem, L"the time is not one such as 2024-05-01T12:34:56.1234567Z");
    uint32_t attributes = 0;
    if (fields[3].length != 8 || !ReadHexDigits(fields[3].text, 8, &attributes))
        return Fail(problem, L"the attributes are not eight hexadecimal digits");
    entry->attributes = attributes;
    if (IsFolderAttributes(attributes) != IsFolderKind(entry->kind))
        return Fail(problem, L"the attributes are not those of its kind");
    entry->hasDigest = !fields[4].Is(kNoDigest);
    const bool digestFits = entry->kind == CatalogFile && holdsDigests;
    if (entry->hasDigest && (!digestFits || !ParseDigest(fields[4].text, fields[4].length, &entry->digest)))
        return Fail(problem, L"the digest is not - nor, for a file of a catalog with content, 64 hexadecimal digits");
    return true;
}

bool FailFieldCount(unsigned count, unsigned expected, wchar_t* problem) {
    return Fail(problem,
                count > expected ? L"more fields than the %u of an entry, separated by tabs"
                                 : L"fewer fields than the %u of an entry, separated by tabs",
                expected);
}

}  // namespace

bool ParseCatalogEntry(const char* line, size_t length, bool holdsDigests, CatalogEntry* entry, const char** path,
                       size_t* pathLength, wchar_t* problem) {
    Field fields[kEntryFields];
    const unsigned count = SplitFields(line, length, fields, kEntryFields);
    if (count != kEntryFields) return FailFieldCount(count, kEntryFields, problem);
    if (!ParseEntryFields(fields, holdsDigests, entry, problem)) return false;
    if (fields[5].length == 0) return Fail(problem, L"the path is empty");
    *path = fields[5].text;
    *pathLength = fields[5].length;
    return true;
}

size_t FormatBaselineSide(const CatalogEntry* side, char* out) {
    if (side) return FormatCatalogFields(*side, out);
    memcpy(out, kNoneFields, sizeof kNoneFields - 1);
    return sizeof kNoneFields - 1;
}

bool ParseBaselineEntry(const char* line, size_t length, bool holdsDigests, CatalogEntry sides[2], bool present[2],
                        const char** path, size_t* pathLength, wchar_t* problem) {
    const unsigned expected = 2 * (kEntryFields - 1) + 1;
    Field fields[2 * (kEntryFields - 1) + 1];
    const unsigned count = SplitFields(line, length, fields, expected);
    if (count != expected) return FailFieldCount(count, expected, problem);
    for (unsigned side = 0; side < 2; ++side) {
        const Field* own = fields + side * (kEntryFields - 1);
        present[side] = !own[0].Is(kNoneWord);
        if (!present[side]) {
            const bool empty = own[1].Is("0") && own[2].Is(kNoDigest) && own[3].Is("00000000") && own[4].Is(kNoDigest);
            if (!empty) return Fail(problem, L"a side without an entry has fields other than 0, -, 00000000 and -");
            sides[side] = CatalogEntry{};
        } else if (!ParseEntryFields(own, holdsDigests, &sides[side], problem)) {
            return false;
        } else if (IsUnknownKind(sides[side].kind)) {
            return Fail(problem, L"an unknown entry, which a baseline never records");
        } else if (holdsDigests && sides[side].kind == CatalogFile && !sides[side].hasDigest) {
            return Fail(problem, L"a file without its digest, in a baseline made with content");
        }
    }
    if (!present[0] && !present[1]) return Fail(problem, L"neither side has an entry");
    if (fields[expected - 1].length == 0) return Fail(problem, L"the path is empty");
    *path = fields[expected - 1].text;
    *pathLength = fields[expected - 1].length;
    return true;
}

size_t FormatCatalogEnd(uint64_t entries, char* out) {
    char* end = WriteWord(out, kEndWord);
    *end++ = '\t';
    end = WriteCount(end, entries);
    *end++ = '\n';
    return static_cast<size_t>(end - out);
}

bool IsCatalogEndLine(const char* line, size_t length) { return BeginsWithField(line, length, kEndWord); }

bool ParseCatalogEnd(const char* line, size_t length, uint64_t* entries, wchar_t* problem) {
    Field fields[2];
    if (SplitFields(line, length, fields, 2) != 2 || !fields[0].Is(kEndWord) || !ParseCount(fields[1], entries))
        return Fail(problem, L"the end line is not \"end\" and the number of entries");
    return true;
}

size_t EscapeCatalogName(const wchar_t* name, size_t length, char* out) {
    char* start = out;
    for (size_t index = 0; index < length;) {
        const unsigned point = NextCodePoint(name, length, &index);
        if (IsSurrogate(point)) {
            // Half a pair cannot be written as UTF-8 at all.
            *out++ = '%';
            *out++ = 'u';
            out = WriteHexDigits(out, point, 4, true);
        } else if (MustEscape(point)) {
            *out++ = '%';
            out = WriteHexDigits(out, point, 2, true);
        } else {
            out += EncodeUtf8(point, out);
        }
    }
    return static_cast<size_t>(out - start);
}

bool UnescapeCatalogName(const wchar_t* text, size_t length, wchar_t* name, size_t* nameLength) {
    size_t written = 0;
    for (size_t index = 0; index < length; ++index) {
        const unsigned unit = text[index];
        if (unit != L'%') {
            if (MustEscape(unit)) return false;
            name[written++] = static_cast<wchar_t>(unit);
            continue;
        }
        uint32_t value = 0;
        if (index + 6 <= length && text[index + 1] == L'u' && ReadHexDigits(text + index + 2, 4, &value) &&
            IsSurrogate(value)) {
            index += 5;
        } else if (index + 3 <= length && ReadHexDigits(text + index + 1, 2, &value) && MustEscape(value)) {
            index += 2;
        } else {
            return false;
        }
        name[written++] = static_cast<wchar_t>(value);
    }
    *nameLength = written;
    return true;
}


size_t EscapeCatalogPath(const wchar_t* path, size_t length, char* out) {
    char* start = out;
    size_t begin = 0;
    for (size_t index = 0; index <= length; ++index) {
        if (index < length && path[index] != L'\\') continue;
        out += EscapeCatalogName(path + begin, index - begin, out);
        if (index < length) *out++ = '\\';
        begin = index + 1;
    }
    return static_cast<size_t>(out - start);
}

bool UnescapeCatalogPath(const char* text, size_t length, wchar_t* path, size_t* pathLength) {
    if (length >= kPathUnits) return false;
    size_t total = 0;
    if (Utf8ToWide(text, length, path, kPathUnits - 1, &total) != ERROR_SUCCESS || total == 0) return false;
    // Unescaping only shortens: each name is rewritten in place.
    size_t written = 0, begin = 0;
    for (size_t index = 0; index <= total; ++index) {
        if (index < total && path[index] != L'\\') continue;
        size_t nameLength = 0;
        if (!UnescapeCatalogName(path + begin, index - begin, path + written, &nameLength)) return false;
        written += nameLength;
        if (index < total) path[written++] = L'\\';
        begin = index + 1;
    }
    path[written] = 0;
    *pathLength = written;
    return true;
}
