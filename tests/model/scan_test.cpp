#include "model/memory.h"
#include "model/scan.h"
#include "model/system_error.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Item {
    std::wstring path;
    bool folder;
};

// Every node below `node` in child-list order, depth first, as "a\b" paths.
void Collect(const FileNode* node, const std::wstring& prefix, std::vector<Item>* items) {
    for (const FileNode* child = node->firstChild; child; child = child->nextSibling) {
        std::wstring path = prefix + child->name;
        items->push_back({path, IsFolderNode(child)});
        Collect(child, path + L"\\", items);
    }
}

std::vector<std::wstring> ChildNames(const FileNode* node) {
    std::vector<std::wstring> names;
    for (const FileNode* child = node->firstChild; child; child = child->nextSibling) names.push_back(child->name);
    return names;
}

// System listing order of the files or the folders of one folder.
std::vector<std::wstring> SystemOrder(const std::wstring& folder, bool folders) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folders) names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// A recording log writer; optionally signals an event or fails.
struct LogRecorder {
    static std::vector<std::wstring> lines;
    static HANDLE signalOnWrite;
    static volatile LONG* raiseOnWrite;
    static bool fail;
    static bool Write(const wchar_t* const* text, unsigned count) {
        if (fail) return false;
        for (unsigned i = 0; i < count; ++i) lines.push_back(text[i]);
        if (signalOnWrite) SetEvent(signalOnWrite);
        if (raiseOnWrite) InterlockedExchange(raiseOnWrite, 1);
        return true;
    }
};
std::vector<std::wstring> LogRecorder::lines;
HANDLE LogRecorder::signalOnWrite = nullptr;
volatile LONG* LogRecorder::raiseOnWrite = nullptr;
bool LogRecorder::fail = false;

class ScanTest : public testing::Test {
protected:
    void SetUp() override {
        LogRecorder::lines.clear();
        LogRecorder::signalOnWrite = nullptr;
        LogRecorder::raiseOnWrite = nullptr;
        LogRecorder::fail = false;
        m_cancel = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_context = {m_cancel, &LogRecorder::Write};
        m_baseline = MemOutstanding();
        m_tree = CreateLocationTree();
    }
    void TearDown() override {
        DestroyLocationTree(m_tree);
        MemFailAfter(-1);
        EXPECT_EQ(MemOutstanding(), m_baseline);
        CloseHandle(m_cancel);
    }

    // A folder whose name the system lists but cannot open again: a trailing dot
    // is dropped from every ordinary path.
    std::wstring MakeUnlistableFolder(const std::wstring& parent, const std::wstring& name) {
        std::wstring raw = L"\\\\?\\" + parent + name + L".";
        EXPECT_TRUE(CreateDirectoryW(raw.c_str(), nullptr)) << "cannot make the unlistable folder";
        return name + L".";
    }

    void ExpectCancelStopsBeforeTheNextFolderEntry() {
        TempFolder folder;
        for (int i = 0; i < 5; ++i) folder.MakeFolder(L"F" + std::to_wstring(i));
        folder.MakeFile(L"file.txt");
        // The log write of the unlistable folder asks the scan to stop mid-way.
        std::wstring bad = MakeUnlistableFolder(folder.Path(), L"Bad");

        ASSERT_EQ(ScanLocation(m_tree, folder.Path().c_str(), &m_context), 0u);
        std::vector<std::wstring> order = SystemOrder(folder.Path(), true);
        std::vector<std::wstring> expected;
        for (auto& name : order) {
            if (name == L"." || name == L"..") continue;
            expected.insert(expected.begin(), name);
            if (name == bad) break;
        }
        expected.push_back(L"file.txt");
        EXPECT_EQ(ChildNames(m_tree->root), expected);
    }

    HANDLE m_cancel = nullptr;
    ScanContext m_context = {};
    LocationTree* m_tree = nullptr;
    long m_baseline = 0;
};

TEST_F(ScanTest, BuildsTheTreeInReverseListingOrderWithDotEntriesBelowTheRoot) {
    TempFolder folder;
    std::wstring data = folder.MakeFolder(L"Data");
    folder.MakeFile(L"Data\\a.txt", "1");
    folder.MakeFile(L"Data\\b.txt", "22");
    folder.MakeFolder(L"Data\\Sub");
    folder.MakeFolder(L"Data\\Two");
    folder.MakeFile(L"Data\\Sub\\inner.txt", "333");

    ASSERT_EQ(ScanLocation(m_tree, data.c_str(), &m_context), 0u);
    EXPECT_TRUE(LogRecorder::lines.empty());

    // Folders in reverse listing order, then files in reverse listing order.
    std::vector<std::wstring> expected;
    for (auto& name : SystemOrder(data, true))
        if (name != L"." && name != L"..") expected.insert(expected.begin(), name);
    std::vector<std::wstring> files = SystemOrder(data, false);
    expected.insert(expected.end(), files.rbegin(), files.rend());
    EXPECT_EQ(ChildNames(m_tree->root), expected);

    const FileNode* sub = FindNodeByPath(m_tree, L"Root\\Sub\\");
    ASSERT_NE(sub, nullptr);
    std::vector<std::wstring> subNames = ChildNames(sub);
    std::vector<std::wstring> subExpected;
    for (auto& name : SystemOrder(data + L"Sub\\", true)) subExpected.insert(subExpected.begin(), name);
    subExpected.push_back(L"inner.txt");
    EXPECT_EQ(subNames, subExpected);
    const FileNode* inner = FindNodeByPath(m_tree, L"Root\\Sub\\inner.txt\\");
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->size, 3u);
    EXPECT_EQ(inner->state, DiffIdentical);
    EXPECT_EQ(inner->parent, sub);
    // "." and ".." are leaves: the scan never descends into them.
    const FileNode* dot = FindNodeByPath(m_tree, L"Root\\Sub\\..\\");
    ASSERT_NE(dot, nullptr);
    EXPECT_EQ(dot->firstChild, nullptr);

    EXPECT_STREQ(m_tree->displayName, L"Data");
    EXPECT_EQ(std::wstring(m_tree->description), L"Differences on Logical Volume: " + data);
}

TEST_F(ScanTest, LogsAFolderItCannotReachAndGoesOn) {
    TempFolder folder;
    folder.MakeFolder(L"Keep");
    folder.MakeFile(L"Keep\\k.txt");
    std::wstring bad = MakeUnlistableFolder(folder.Path(), L"Bad");
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder.Path() + bad + L"\\inner").c_str(), nullptr));

    ASSERT_EQ(ScanLocation(m_tree, folder.Path().c_str(), &m_context), 0u);
    ASSERT_EQ(LogRecorder::lines.size(), 2u);
    EXPECT_EQ(LogRecorder::lines[0], folder.Path() + bad + L"\\");
    wchar_t message[kSystemErrorUnits];
    FormatSystemError(ERROR_INVALID_NAME, message);
    EXPECT_EQ(LogRecorder::lines[1], message);

    // It stays in the tree, Unknown and empty, so that its counterpart cannot pass for New or Missing.
    const FileNode* badNode = FindNodeByPath(m_tree, (L"Root\\" + bad + L"\\").c_str());
    ASSERT_NE(badNode, nullptr);
    EXPECT_EQ(badNode->state, DiffUnknown);
    EXPECT_EQ(badNode->firstChild, nullptr);
    EXPECT_EQ(FindNodeByPath(m_tree, L"Root\\Keep\\k.txt\\")->state, DiffIdentical);
    EXPECT_EQ(m_tree->root->state, DiffIdentical);
}

TEST_F(ScanTest, StopsWithInternalErrorWhenTheLogCannotBeWritten) {
    TempFolder folder;
    MakeUnlistableFolder(folder.Path(), L"Bad");
    LogRecorder::fail = true;
    EXPECT_EQ(ScanLocation(m_tree, folder.Path().c_str(), &m_context), DWORD(ERROR_INTERNAL_ERROR));
}

TEST_F(ScanTest, CancelEventStopsBeforeTheNextFolderEntry) {
    LogRecorder::signalOnWrite = m_cancel;
    ExpectCancelStopsBeforeTheNextFolderEntry();
}

// The analysis raises a flag with the event; the scan then tests the flag alone.
TEST_F(ScanTest, CancelFlagStopsBeforeTheNextFolderEntry) {
    volatile LONG requested = 0;
    m_context.cancelRequested = &requested;
    LogRecorder::raiseOnWrite = &requested;
    ExpectCancelStopsBeforeTheNextFolderEntry();
}

TEST_F(ScanTest, SignalledCancelAddsNothing) {
    TempFolder folder;
    folder.MakeFile(L"x");
    SetEvent(m_cancel);
    EXPECT_EQ(ScanLocation(m_tree, folder.Path().c_str(), &m_context), 0u);
    EXPECT_EQ(m_tree->root->firstChild, nullptr);
}

TEST_F(ScanTest, RunsOutOfMemoryCleanlyAtEveryAllocation) {
    TempFolder folder;
    folder.MakeFolder(L"A\\B");
    folder.MakeFile(L"A\\f1");
    folder.MakeFile(L"A\\B\\f2");
    // Enough names in one folder for the case check to use its table.
    for (int i = 0; i < 20; ++i) folder.MakeFile(L"A\\many" + std::to_wstring(i));
    for (long allowed = 0; allowed < 80; ++allowed) {
        LocationTree* tree = CreateLocationTree();
        MemFailAfter(allowed);
        DWORD status = ScanLocation(tree, folder.Path().c_str(), &m_context);
        MemFailAfter(-1);
        EXPECT_TRUE(status == 0 || status == 8) << status;
        DestroyLocationTree(tree);
        if (status == 0) break;
    }
    EXPECT_TRUE(LogRecorder::lines.empty());
}

TEST_F(ScanTest, NamesTheTreeAfterTheLastComponent) {
    struct Case {
        const wchar_t* path;
        const wchar_t* name;
    } cases[] = {
        {L"Z:\\nowhere-at-all\\Live\\", L"Live"},
        {L"E:\\", L"E:"},
        {L"Music\\", L"Music"},
    };
    for (const Case& c : cases) {
        LocationTree* tree = CreateLocationTree();
        LogRecorder::fail = false;
        ScanLocation(tree, c.path, &m_context);
        EXPECT_STREQ(tree->displayName, c.name);
        EXPECT_EQ(std::wstring(tree->description), std::wstring(L"Differences on Logical Volume: ") + c.path);
        DestroyLocationTree(tree);
    }
    EXPECT_EQ(ScanLocation(nullptr, L"C:\\", &m_context), 87u);
}

TEST_F(ScanTest, ALocationThatCannotBeListedFailsWithTheListingCode) {
    TempFolder folder;
    std::wstring gone = folder.Path() + L"gone\\";
    EXPECT_EQ(ScanLocation(m_tree, gone.c_str(), &m_context), DWORD(ERROR_PATH_NOT_FOUND));
    // Not a skipped item: the whole scan has failed.
    EXPECT_TRUE(LogRecorder::lines.empty());
    EXPECT_EQ(m_tree->root->firstChild, nullptr);
    EXPECT_STREQ(m_tree->displayName, L"gone");
}

TEST_F(ScanTest, ScansADriveRootWithoutDotEntries) {
    const char* drive = std::getenv("QUILLMAR_TEST_EMPTY_DRIVE");
    if (!drive || !*drive) GTEST_SKIP() << "no empty test drive is mapped";
    std::wstring root = std::wstring(drive, drive + strlen(drive)) + L"\\";
    ASSERT_EQ(ScanLocation(m_tree, root.c_str(), &m_context), 0u);
    EXPECT_EQ(m_tree->root->firstChild, nullptr);
    EXPECT_EQ(std::wstring(m_tree->displayName), root.substr(0, 2));
}

}  // namespace
