#include "model/location_tree.h"
#include "model/memory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

NodeRecord Record(const wchar_t* name, bool folder, DiffState state = DiffIdentical) {
    NodeRecord record = {};
    wcsncpy(record.name, name, kMaxNameUnits - 1);
    record.attributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    record.state = state;
    return record;
}

FileNode* Add(FileNode* parent, const wchar_t* name, bool folder, DiffState state = DiffIdentical) {
    NodeRecord record = Record(name, folder, state);
    return AddChildNode(&record, parent);
}

std::vector<std::wstring> ChildNames(const FileNode* node) {
    std::vector<std::wstring> names;
    for (const FileNode* child = node->firstChild; child; child = child->nextSibling) names.push_back(child->name);
    return names;
}

template <class List>
std::vector<std::wstring> Names(const List* list) {
    std::vector<std::wstring> names;
    for (uint32_t i = 0; i < list->count; ++i) names.push_back(list->entries[i].name);
    return names;
}

class LocationTreeTest : public testing::Test {
protected:
    void SetUp() override {
        m_baseline = MemOutstanding();
        m_tree = CreateLocationTree();
        ASSERT_NE(m_tree, nullptr);
    }
    void TearDown() override {
        DestroyLocationTree(m_tree);
        MemFailAfter(-1);
        EXPECT_EQ(MemOutstanding(), m_baseline) << "blocks leaked";
    }
    LocationTree* m_tree = nullptr;
    long m_baseline = 0;
};

TEST_F(LocationTreeTest, NewTreeHasEmptyRootAndDefaultName) {
    EXPECT_STREQ(m_tree->displayName, L"No Name");
    EXPECT_STREQ(m_tree->description, L"");
    const FileNode* root = m_tree->root;
    EXPECT_EQ(root->name, nullptr);
    EXPECT_EQ(root->attributes, 0u);
    EXPECT_EQ(root->state, DiffIdentical);
    EXPECT_EQ(root->parent, nullptr);
    EXPECT_EQ(root->firstChild, nullptr);
}

TEST_F(LocationTreeTest, ChildrenAreListedNewestFirstWithCopiedFields) {
    NodeRecord record = Record(L"A", false, DiffNew);
    record.size = 0x100000002ull;
    record.lastWriteTime.dwLowDateTime = 7;
    record.lastWriteTime.dwHighDateTime = 9;
    FileNode* a = AddChildNode(&record, m_tree->root);
    Add(m_tree->root, L"B", true);
    Add(m_tree->root, L"C", false);
    EXPECT_EQ(ChildNames(m_tree->root), (std::vector<std::wstring>{L"C", L"B", L"A"}));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->parent, m_tree->root);
    EXPECT_EQ(a->size, 0x100000002ull);
    EXPECT_EQ(a->lastWriteTime.dwHighDateTime, 9u);
    EXPECT_EQ(a->state, DiffNew);
    EXPECT_EQ(wcslen(a->name), 1u);
}

TEST_F(LocationTreeTest, AddChildRejectsMissingArgumentsAndLeavesParentOnFailure) {
    NodeRecord record = Record(L"x", false);
    EXPECT_EQ(AddChildNode(nullptr, m_tree->root), nullptr);
    EXPECT_EQ(AddChildNode(&record, nullptr), nullptr);
    // The node itself, then its name: both failures leave nothing behind.
    for (long allowed = 0; allowed < 2; ++allowed) {
        MemFailAfter(allowed);
        EXPECT_EQ(AddChildNode(&record, m_tree->root), nullptr);
        MemFailAfter(-1);
        EXPECT_EQ(m_tree->root->firstChild, nullptr);
    }
}

TEST_F(LocationTreeTest, FindNodeByPathFollowsThePathRules) {
    FileNode* docs = Add(m_tree->root, L"Docs", true);
    FileNode* file = Add(docs, L"a.txt", false);
    Add(m_tree->root, L"Other", true);

    EXPECT_EQ(FindNodeByPath(m_tree, L""), m_tree->root);
    EXPECT_EQ(FindNodeByPath(m_tree, L"Root\\"), m_tree->root);
    EXPECT_EQ(FindNodeByPath(m_tree, L"D:\\"), m_tree->root) << "the first component is never compared";
    EXPECT_EQ(FindNodeByPath(m_tree, L"Root\\docs\\"), docs);
    EXPECT_EQ(FindNodeByPath(m_tree, L"X:\\DOCS\\A.TXT\\"), file);
    EXPECT_EQ(FindNodeByPath(m_tree, L"Root\\Docs"), nullptr);
    EXPECT_EQ(FindNodeByPath(m_tree, L"Root\\Docs\\a.txt"), nullptr);
    EXPECT_EQ(FindNodeByPath(m_tree, L"Root\\\\Docs\\"), nullptr);
    EXPECT_EQ(FindNodeByPath(m_tree, L"Root\\Docs\\\\"), nullptr);
    EXPECT_EQ(FindNodeByPath(m_tree, L"Root\\Doc\\"), nullptr) << "a prefix of a name is not the name";
    EXPECT_EQ(FindNodeByPath(m_tree, L"Root\\Docsx\\"), nullptr);
    EXPECT_EQ(FindNodeByPath(m_tree, L"Root"), nullptr);
    EXPECT_EQ(FindNodeByPath(nullptr, L""), nullptr);
    EXPECT_EQ(FindNodeByPath(m_tree, nullptr), nullptr);
}

TEST_F(LocationTreeTest, ListVisibleChildrenSplitsByKindAndMask) {
    FileNode* root = m_tree->root;
    Add(root, L"same.txt", false, DiffIdentical);
    Add(root, L"new.txt", false, DiffNew);
    Add(root, L"gone.txt", false, DiffMissing);
    Add(root, L"changed.txt", false, DiffModified);
    Add(root, L"locked.txt", false, DiffUnknown);
    Add(root, L"SameDir", true, DiffIdentical);
    Add(root, L"NewDir", true, DiffNew);
    Add(root, L"OddDir", true, DiffUnknown);

    struct Case {
        StateFilterMask mask;
        std::vector<std::wstring> files, folders;
    } cases[] = {
        {0xFF, {L"changed.txt", L"gone.txt", L"new.txt", L"same.txt"}, {L"NewDir", L"SameDir"}},
        {0x0F, {L"changed.txt", L"gone.txt", L"new.txt", L"same.txt"}, {}},
        {0xF0, {}, {L"NewDir", L"SameDir"}},
        {0x22, {L"new.txt"}, {L"NewDir"}},
        {0x00, {}, {}},
    };
    for (const Case& c : cases) {
        NodeRecordList* files = nullptr;
        NodeRecordList* folders = nullptr;
        ASSERT_EQ(ListVisibleChildren(m_tree, L"Root\\", c.mask, &files, &folders), 0u);
        EXPECT_EQ(Names(files), c.files) << "mask " << int(c.mask);
        EXPECT_EQ(Names(folders), c.folders) << "mask " << int(c.mask);
        FreeRecordList(files);
        FreeRecordList(folders);
    }
}

TEST_F(LocationTreeTest, ListVisibleChildrenOfLeafGivesTwoZeroedLists) {
    FileNode* leaf = Add(m_tree->root, L"Leaf", true);
    ASSERT_NE(leaf, nullptr);
    NodeRecordList* files = nullptr;
    NodeRecordList* folders = nullptr;
    ASSERT_EQ(ListVisibleChildren(m_tree, L"R\\Leaf\\", 0xFF, &files, &folders), 0u);
    ASSERT_NE(files, nullptr);
    ASSERT_NE(folders, nullptr);
    EXPECT_EQ(files->count, 0u);
    EXPECT_EQ(folders->count, 0u);
    EXPECT_EQ(files->entries[0].name[0], 0);
    EXPECT_EQ(folders->entries[0].attributes, 0u);
    FreeRecordList(files);
    FreeRecordList(folders);
}

TEST_F(LocationTreeTest, ListVisibleChildrenReportsBadArgumentsAndMissingPaths) {
    NodeRecordList* files = reinterpret_cast<NodeRecordList*>(1);
    NodeRecordList* folders = reinterpret_cast<NodeRecordList*>(1);
    EXPECT_EQ(ListVisibleChildren(nullptr, L"", 0xFF, &files, &folders), 87u);
    EXPECT_EQ(ListVisibleChildren(m_tree, nullptr, 0xFF, &files, &folders), 87u);
    EXPECT_EQ(ListVisibleChildren(m_tree, L"", 0xFF, nullptr, &folders), 87u);
    EXPECT_EQ(ListVisibleChildren(m_tree, L"Root\\Nowhere\\", 0xFF, &files, &folders), 3u);
    EXPECT_EQ(files, nullptr);
    EXPECT_EQ(folders, nullptr);
}

TEST_F(LocationTreeTest, ListingsAroundTheGrowthStepKeepEveryChild) {
    for (int count : {99, 100, 101, 250}) {
        LocationTree* tree = CreateLocationTree();
        ASSERT_NE(tree, nullptr);
        for (int i = 0; i < count; ++i) Add(tree->root, std::to_wstring(i).c_str(), i % 3 == 0);
        NodeRecordList* files = nullptr;
        NodeRecordList* folders = nullptr;
        ASSERT_EQ(ListVisibleChildren(tree, L"", 0xFF, &files, &folders), 0u);
        EXPECT_EQ(files->count + folders->count, uint32_t(count));
        // Child-list order is newest first, and it is kept within each list.
        EXPECT_EQ(std::wstring(folders->entries[0].name), std::to_wstring((count - 1) / 3 * 3));
        EXPECT_EQ(std::wstring(folders->entries[folders->count - 1].name), L"0");
        FreeRecordList(files);
        FreeRecordList(folders);
        DestroyLocationTree(tree);
    }
}

TEST_F(LocationTreeTest, ListVisibleChildrenFreesEverythingWhenMemoryRunsOut) {
    for (int i = 0; i < 150; ++i) Add(m_tree->root, std::to_wstring(i).c_str(), i % 2 == 0);
    long before = MemOutstanding();
    // Working list, its growth, the folder list and the file list each fail in turn.
    for (long allowed = 0; allowed < 4; ++allowed) {
        NodeRecordList* files = nullptr;
        NodeRecordList* folders = nullptr;
        MemFailAfter(allowed);
        EXPECT_EQ(ListVisibleChildren(m_tree, L"", 0xFF, &files, &folders), 8u) << "failing allocation " << allowed;
        MemFailAfter(-1);
        EXPECT_EQ(files, nullptr);
        EXPECT_EQ(folders, nullptr);
        EXPECT_EQ(MemOutstanding(), before);
    }
}

TEST_F(LocationTreeTest, HasVisibleSubfolderIgnoresDotEntriesFilesAndHiddenStates) {
    FileNode* folder = Add(m_tree->root, L"F", true);
    Add(folder, L".", true);
    Add(folder, L"..", true);
    Add(folder, L"file", false);
    EXPECT_FALSE(HasVisibleSubfolder(m_tree, L"R\\F\\", 0xFF));
    Add(folder, L"odd", true, DiffUnknown);
    EXPECT_FALSE(HasVisibleSubfolder(m_tree, L"R\\F\\", 0xFF));
    Add(folder, L"sub", true, DiffNew);
    EXPECT_TRUE(HasVisibleSubfolder(m_tree, L"R\\F\\", 0xFF));
    EXPECT_TRUE(HasVisibleSubfolder(m_tree, L"R\\F\\", 0x20));
    EXPECT_FALSE(HasVisibleSubfolder(m_tree, L"R\\F\\", 0xDF));
    EXPECT_FALSE(HasVisibleSubfolder(m_tree, L"R\\G\\", 0xFF));
    EXPECT_FALSE(HasVisibleSubfolder(nullptr, L"", 0xFF));
}

TEST(StateFilter, CodesAndBitsFollowTheFolderFlag) {
    EXPECT_EQ(MakeStateCode(FILE_ATTRIBUTE_ARCHIVE, DiffModified), 3u);
    EXPECT_EQ(MakeStateCode(FILE_ATTRIBUTE_DIRECTORY, DiffIdentical), 5u);
    EXPECT_EQ(MakeStateCode(FILE_ATTRIBUTE_DIRECTORY, DiffUnknown), 9u);
    for (unsigned bit = 0; bit < 8; ++bit) {
        bool folder = bit >= 4;
        DiffState state = static_cast<DiffState>(bit % 4);
        DWORD attributes = folder ? FILE_ATTRIBUTE_DIRECTORY : 0;
        EXPECT_TRUE(StatePassesFilter(attributes, state, StateFilterMask(1u << bit))) << bit;
        EXPECT_FALSE(StatePassesFilter(attributes, state, StateFilterMask(~(1u << bit)))) << bit;
    }
    EXPECT_FALSE(StatePassesFilter(0, DiffUnknown, 0xFF));
    EXPECT_FALSE(StatePassesFilter(FILE_ATTRIBUTE_DIRECTORY, DiffUnknown, 0xFF));
}

NodeRecordList* MakeList(const std::vector<std::wstring>& names) {
    auto* list = static_cast<NodeRecordList*>(
        MemAllocZero(sizeof(NodeRecordList) + sizeof(NodeRecord) * (names.size() ? names.size() : 1)));
    list->count = static_cast<uint32_t>(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        wcsncpy(list->entries[i].name, names[i].c_str(), kMaxNameUnits - 1);
        list->entries[i].size = i;  // remembers where the entry came from
    }
    return list;
}

TEST(SortListing, PutsDotDotFirstThenNamesIgnoringCase) {
    NodeRecordList* list = MakeList({L"beta", L"!bang", L"Zeta", L"..", L"alpha", L".", L"Alp"});
    ASSERT_TRUE(SortListing(list));
    EXPECT_EQ(Names(list), (std::vector<std::wstring>{L"..", L"!bang", L".", L"Alp", L"alpha", L"beta", L"Zeta"}));
    FreeRecordList(list);
}

TEST(SortListing, NeverExchangesNamesEqualIgnoringCase) {
    NodeRecordList* list = MakeList({L"READ.ME", L"read.me"});
    ASSERT_TRUE(SortListing(list));
    EXPECT_EQ(Names(list), (std::vector<std::wstring>{L"READ.ME", L"read.me"}));
    FreeRecordList(list);
}

TEST(SortListing, FoldsCaseBeyondAscii) {
    NodeRecordList* list = MakeList({L"\u00C9cole", L"\u00E9b", L"ecole"});
    ASSERT_TRUE(SortListing(list));
    EXPECT_EQ(Names(list), (std::vector<std::wstring>{L"ecole", L"\u00E9b", L"\u00C9cole"}));
    FreeRecordList(list);
}

TEST(SortListing, AcceptsEmptyAndSingleListsAndRejectsNone) {
    EXPECT_FALSE(SortListing(static_cast<NodeRecordList*>(nullptr)));
    EXPECT_FALSE(SortListing(static_cast<DirEntryList*>(nullptr)));
    NodeRecordList* empty = MakeList({});
    EXPECT_TRUE(SortListing(empty));
    FreeRecordList(empty);
    NodeRecordList* single = MakeList({L".."});
    EXPECT_TRUE(SortListing(single));
    FreeRecordList(single);
}

TEST(FreeNodeSubtree, FreesADeepChainWithoutRecursing) {
    long baseline = MemOutstanding();
    LocationTree* tree = CreateLocationTree();
    FileNode* node = tree->root;
    for (int depth = 0; depth < 100000; ++depth) node = Add(node, L"d", true);
    Add(tree->root, L"wide", false);
    DestroyLocationTree(tree);
    EXPECT_EQ(MemOutstanding(), baseline);
}

}  // namespace
