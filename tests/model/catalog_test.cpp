// A catalog's text: every time and every name comes back as it was written,
// whatever the file system lets a name hold, and no failure leaks.
#include "model/catalog.h"
#include "model/catalog_format.h"
#include "model/memory.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string ReadFileBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

std::wstring FromUtf8(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                    static_cast<int>(wide.size()));
    wide.resize(units > 0 ? units : 0);
    return wide;
}

TEST(CatalogText, NamesAreEscapedOnlyWhereTheyMustBeAndComeBackWhole) {
    struct Row {
        std::wstring name;
        std::string written;
    } rows[] = {
        {L"plain name.txt", "plain name.txt"},
        {L"100% sure", "100%25 sure"},
        {L"%u0041", "%25u0041"},  // looks like an escape
        {L"tab\there", "tab%09here"},
        {L"line\r\nend", "line%0D%0Aend"},
        {std::wstring(L"\x01\x7F", 2), "%01%7F"},
        {L"a\\b", "a%5Cb"},
        {L"\u00e9t\u00e9", "\xC3\xA9t\xC3\xA9"},
        {L"\xD83D\xDE00", "\xF0\x9F\x98\x80"},  // a pair: one character
        {L"\xD83Dx", "%uD83Dx"},  // halves without their other half
        {L"x\xDE00", "x%uDE00"},
        {L"\xDE00\xD83D", "%uDE00%uD83D"},  // in the wrong order
    };
    for (const Row& row : rows) {
        std::string written(row.name.size() * kEscapedUnitBytes, '\0');
        written.resize(EscapeCatalogName(row.name.data(), row.name.size(), &written[0]));
        EXPECT_EQ(written, row.written);
        std::wstring read = FromUtf8(row.written);
        std::wstring name(read.size(), L'\0');
        size_t length = 0;
        ASSERT_TRUE(UnescapeCatalogName(read.data(), read.size(), &name[0], &length)) << row.written;
        EXPECT_EQ(name.substr(0, length), row.name) << row.written;
    }
}

TEST(CatalogText, TextsThatNoNameIsWrittenAsAreRefused) {
    const std::wstring rows[] = {
        L"%",       L"%2",     L"%zz",    L"%41",  // "A" is never escaped
        L"%u0041",  L"%uD83",  L"a\tb",   L"a\rb", L"a\\b", std::wstring(L"a\x7F", 2),
    };
    for (const std::wstring& row : rows) {
        std::wstring name(row.size() + 1, L'\0');
        size_t length = 0;
        EXPECT_FALSE(UnescapeCatalogName(row.data(), row.size(), &name[0], &length)) << row;
    }
}

// A damaged line is refused at the same line, in the same words, whether the
// exclusions leave its folder out or not: a catalog stands for a folder only whole.
// A baseline's compare line says whether links were left out, and one written
// before it could say so still reads, as keeping them.
TEST(CatalogText, TheCompareLineTellsWhetherLinksWereLeftOut) {
    const struct {
        const char* line;
        bool read;
        bool skipLinks;
    } rows[] = {
        {"compare\twindow=2\thour-shift=no", true, false},
        {"compare\twindow=0\thour-shift=yes\tlinks=skip", true, true},
        {"compare\twindow=2\thour-shift=no\tlinks=keep", false, false},
        {"compare\twindow=2\thour-shift=no\tlinks=skip\textra", false, false},
    };
    for (const auto& row : rows) {
        uint32_t window = 7;
        bool hourShift = false;
        bool skipLinks = !row.skipLinks;
        wchar_t problem[kCatalogProblemUnits] = {};
        EXPECT_EQ(ParseBaselineCompare(row.line, strlen(row.line), &window, &hourShift, &skipLinks, problem), row.read)
            << row.line;
        if (!row.read) continue;
        EXPECT_EQ(skipLinks, row.skipLinks) << row.line;
        char written[64];
        const size_t length = FormatBaselineCompare(window, hourShift, skipLinks, written);
        EXPECT_EQ(std::string(written, length), std::string(row.line) + "\n");
    }
}

TEST(CatalogText, DamageUnderAnExcludedFolderIsRefusedAsWithoutExclusions) {
    const std::string header = "quillmar-catalog\t1\tcontent=none\n";
    const auto line = [](const char* kind, const std::string& path) {
        return std::string(kind) + "\t0\t2019-04-01T10:00:00.0000000Z\t" +
               (strcmp(kind, "folder") == 0 ? "00000010" : "00000020") + "\t-\t" + path + "\n";
    };
    const std::string cache = line("folder", "cache");
    struct Row {
        std::string entries;
        unsigned count;
        uint64_t line;
        const wchar_t* says;
    } rows[] = {
        {cache + line("file", "cache\\b") + line("file", "cache\\a"), 3, 4, L"out of order"},
        {cache + line("file", "cache\\a") + line("file", "cache\\a"), 3, 4, L"listed twice"},
        {cache + line("folder", "cache\\s") + line("file", "cache\\s\\z") + line("file", "cache\\a"), 4, 5,
         L"out of order"},
        {cache + line("file", "cache\\a") + line("file", "d") + line("file", "cache\\c"), 4, 5,
         L"its folder is not listed before it"},
        {cache + line("file", "cache\\a%zz"), 2, 3, L"a name holds a character that is not escaped"},
        {cache + line("file", "cache\\" + std::string(300, 'n')), 2, 3, L"a name is longer than"},
        {cache + "file\t3\t2019-04-01T10:00:00.0000000Z\t00000010\t-\tcache\\a\n", 2, 3,
         L"the attributes are not those of its kind"},
    };
    TempFolder folder;
    ExclusionList* exclusions = nullptr;
    ASSERT_EQ(AddExclusion(&exclusions, L"cache"), 0u);
    for (const Row& row : rows) {
        const std::wstring path =
            folder.MakeFile(L"damaged.catalog", header + row.entries + "end\t" + std::to_string(row.count) + "\n");
        std::wstring refusals[2];
        for (int excluding = 0; excluding < 2; ++excluding) {
            LocationTree* tree = CreateLocationTree();
            CatalogReading reading;
            reading.exclusions = excluding ? exclusions : nullptr;
            CatalogDigests* digests = nullptr;
            CatalogProblem problem = {};
            EXPECT_EQ(ReadCatalog(path.c_str(), &reading, tree, &digests, &problem), DWORD(ERROR_INVALID_DATA));
            EXPECT_EQ(problem.line, row.line) << problem.text;
            refusals[excluding] = problem.text;
            FreeCatalogDigests(digests);
            DestroyLocationTree(tree);
        }
        EXPECT_NE(refusals[0].find(row.says), std::wstring::npos) << refusals[0];
        EXPECT_EQ(refusals[1], refusals[0]);
    }
    FreeExclusions(exclusions);
}

// Every entry of a tree as a line: its path, kind, state, size, time and attributes.
std::vector<std::wstring> Describe(const FileNode* folder, const std::wstring& prefix = std::wstring()) {
    std::vector<std::wstring> lines;
    for (const FileNode* child = folder->firstChild; child; child = child->nextSibling) {
        wchar_t figures[96];
        swprintf(figures, 96, L" %d %d %llu %08lx%08lx %08lx", IsFolderNode(child) ? 1 : 0,
                 static_cast<int>(child->state), static_cast<unsigned long long>(child->size),
                 static_cast<unsigned long>(child->lastWriteTime.dwHighDateTime),
                 static_cast<unsigned long>(child->lastWriteTime.dwLowDateTime),
                 static_cast<unsigned long>(child->attributes));
        lines.push_back(prefix + child->name + figures);
        for (const std::wstring& line : Describe(child, prefix + child->name + L"\\")) lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

class CatalogFileTest : public testing::Test {
protected:
    void SetUp() override {
        m_baseline = MemOutstanding();
        m_tree = CreateLocationTree();
        ASSERT_NE(m_tree, nullptr);
        // Names a file system may not hold, and the states and figures a scan leaves.
        FileNode* odd = Add(m_tree->root, L"tab\tand\nline %", true, DiffIdentical, 0);
        Add(odd, L"\xD83Dhalf", false, DiffUnknown, 7);
        Add(odd, L"\xD83D\xDE00", false, DiffIdentical, UINT64_MAX);
        Add(odd, L"empty", true, DiffIdentical, 0);
        Add(m_tree->root, L"CASE", false, DiffUnknown, 1);
        Add(m_tree->root, L"case", false, DiffUnknown, 2);
        Add(m_tree->root, L"link", true, DiffUnknown, 0);
        FileNode* deep = m_tree->root;
        for (int level = 0; level < 40; ++level) deep = Add(deep, L"d", true, DiffIdentical, 0);
        Add(deep, L"bottom.txt", false, DiffIdentical, 12345);
    }
    void TearDown() override {
        DestroyLocationTree(m_tree);
        MemFailAfter(-1);
        EXPECT_EQ(MemOutstanding(), m_baseline) << "blocks leaked";
    }

    FileNode* Add(FileNode* parent, const wchar_t* name, bool folder, DiffState state, uint64_t size) {
        NodeRecord record = {};
        wcsncpy(record.name, name, kMaxNameUnits - 1);
        record.attributes = folder ? FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_ARCHIVE;
        record.size = size;
        record.lastWriteTime.dwLowDateTime = static_cast<DWORD>(++m_tick * 12345679);
        record.lastWriteTime.dwHighDateTime = static_cast<DWORD>(m_tick);
        record.state = state;
        return AddChildNode(&record, parent);
    }

    TempFolder m_folder;
    std::wstring m_catalog = m_folder.PathOf(L"tree.catalog");
    LocationTree* m_tree = nullptr;
    long m_baseline = 0;
    unsigned m_tick = 0;
};

TEST_F(CatalogFileTest, ATreeWrittenAndReadBackIsTheSameTree) {
    CatalogWriting writing = {false, nullptr, nullptr};
    ASSERT_EQ(WriteCatalog(m_tree, L"C:\\nowhere\\", m_catalog.c_str(), &writing), 0u);
    EXPECT_EQ(writing.folders + writing.files, 48u);
    EXPECT_EQ(writing.unknown, 4u);
    LocationTree* read = CreateLocationTree();
    CatalogReading reading;
    CatalogDigests* digests = nullptr;
    CatalogProblem problem = {};
    ASSERT_EQ(ReadCatalog(m_catalog.c_str(), &reading, read, &digests, &problem), 0u) << problem.line << problem.text;
    EXPECT_EQ(Describe(read->root), Describe(m_tree->root));
    EXPECT_FALSE(CatalogHoldsDigests(digests));
    FreeCatalogDigests(digests);
    DestroyLocationTree(read);
}

// Each allocation in turn fails: the call says so, and holds nothing afterwards.
TEST_F(CatalogFileTest, AFailedAllocationIsReportedAndLeavesNothingHeld) {
    CatalogWriting writing = {false, nullptr, nullptr};
    ASSERT_EQ(WriteCatalog(m_tree, L"C:\\nowhere\\", m_catalog.c_str(), &writing), 0u);
    const std::string whole = ReadFileBytes(m_catalog);
    for (bool write : {true, false}) {
        DWORD status = ERROR_NOT_ENOUGH_MEMORY;
        for (long allowed = 0; status == ERROR_NOT_ENOUGH_MEMORY; ++allowed) {
            const long before = MemOutstanding();
            LocationTree* read = write ? nullptr : CreateLocationTree();
            CatalogDigests* digests = nullptr;
            CatalogReading reading;
            CatalogProblem problem = {};
            MemFailAfter(allowed);
            status = write ? WriteCatalog(m_tree, L"C:\\nowhere\\", m_catalog.c_str(), &writing)
                           : ReadCatalog(m_catalog.c_str(), &reading, read, &digests, &problem);
            MemFailAfter(-1);
            EXPECT_TRUE(status == ERROR_SUCCESS || status == ERROR_NOT_ENOUGH_MEMORY) << status;
            // A failed write leaves the catalog there as it was, and nothing beside it.
            EXPECT_EQ(ReadFileBytes(m_catalog), whole);
            FreeCatalogDigests(digests);
            DestroyLocationTree(read);
            EXPECT_EQ(MemOutstanding(), before) << (write ? "write" : "read") << ", allocation " << allowed;
        }
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(m_folder.PathOf(L"*.partial").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "a temporary file was left";
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

}  // namespace
