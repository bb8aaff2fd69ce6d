#include "model/location_tree.h"
#include "model/memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
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
    // Each allocation fails in turn until the listing gets all it needs.
    long failures = 0;
    for (long allowed = 0; allowed < 10; ++allowed) {
        NodeRecordList* files = nullptr;
        NodeRecordList* folders = nullptr;
        MemFailAfter(allowed);
        DWORD status = ListVisibleChildren(m_tree, L"", 0xFF, &files, &folders);
        MemFailAfter(-1);
        if (status == 0) {
            EXPECT_EQ(files->count + folders->count, 150u);
            FreeRecordList(files);
            FreeRecordList(folders);
            break;
        }
        ++failures;
        EXPECT_EQ(status, 8u) << "failing allocation " << allowed;
        EXPECT_EQ(files, nullptr);
        EXPECT_EQ(folders, nullptr);
        EXPECT_EQ(MemOutstanding(), before);
    }
    EXPECT_GE(failures, 2) << "the folder list and the file list";
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

// A name of `length` units that tells which node it belongs to.
std::wstring NumberedName(int number, size_t length) {
    std::wstring name = std::to_wstring(number) + L"-";
    name.resize(std::max(length, name.size()), wchar_t(L'a' + number % 26));
    return name;
}

// Every name is whole and no two names or nodes share a unit of memory.
void ExpectWholeAndApart(const std::map<const FileNode*, std::wstring>& expected) {
    std::vector<std::pair<uintptr_t, uintptr_t>> ranges;
    for (const auto& [node, name] : expected) {
        ASSERT_EQ(std::wstring(node->name), name);
        auto start = reinterpret_cast<uintptr_t>(node->name);
        ranges.emplace_back(start, start + (name.size() + 1) * sizeof(wchar_t));
        ranges.emplace_back(reinterpret_cast<uintptr_t>(node), reinterpret_cast<uintptr_t>(node) + sizeof(FileNode));
    }
    std::sort(ranges.begin(), ranges.end());
    for (size_t i = 1; i < ranges.size(); ++i) ASSERT_LE(ranges[i - 1].second, ranges[i].first) << "overlap";
}

TEST_F(LocationTreeTest, NamesThatDoNotFitTheRestOfABlockStayWhole) {
    // Longest names first, so that the rest of a block soon falls short of the
    // next name; then every length, so that names meet block ends at every offset.
    std::map<const FileNode*, std::wstring> expected;
    FileNode* folder = Add(m_tree->root, L"F", true);
    expected[folder] = L"F";
    for (int i = 0; i < 2500; ++i) {
        size_t length = i < 40 ? kMaxNameUnits - 1 : 1 + (i * 37) % (kMaxNameUnits - 1);
        std::wstring name = NumberedName(i, length);
        FileNode* node = Add(folder, name.c_str(), false);
        ASSERT_NE(node, nullptr);
        expected[node] = name;
    }
    ExpectWholeAndApart(expected);
    EXPECT_EQ(ChildNames(folder).size(), 2500u);
}

TEST(TreeStorage, AFailedAddLeavesTheTreeAsItWasAtEveryStep) {
    long baseline = MemOutstanding();
    LocationTree* tree = CreateLocationTree();
    std::vector<FileNode*> folders{tree->root};
    std::map<const FileNode*, std::wstring> expected;
    for (int i = 0; i < 3000; ++i) {
        FileNode* parent = folders[(i * 7919u) % folders.size()];
        FileNode* firstBefore = parent->firstChild;
        std::wstring name = NumberedName(i, (i * 53) % 300);
        // 0 fails the node, 1 its name; either may be where a new block is needed.
        MemFailAfter(i % 2);
        FileNode* failed = Add(parent, name.c_str(), false);
        MemFailAfter(-1);
        ASSERT_EQ(failed, nullptr) << i;
        ASSERT_EQ(parent->firstChild, firstBefore) << i;
        FileNode* node = Add(parent, name.c_str(), i % 3 == 0);
        ASSERT_NE(node, nullptr) << i;
        ASSERT_EQ(node->parent, parent);
        ASSERT_EQ(node->nextSibling, firstBefore);
        expected[node] = name.substr(0, kMaxNameUnits - 1);
        if (i % 3 == 0) folders.push_back(node);
    }
    ExpectWholeAndApart(expected);
    DestroyLocationTree(tree);
    EXPECT_EQ(MemOutstanding(), baseline);
}

TEST(TreeStorage, NodesGoIntoTheTreeOfTheirParent) {
    // As the analysis does when it adds copies to both trees by turns.
    long baseline = MemOutstanding();
    LocationTree* trees[2] = {CreateLocationTree(), CreateLocationTree()};
    std::vector<FileNode*> folders[2] = {{trees[0]->root}, {trees[1]->root}};
    std::map<const FileNode*, std::wstring> expected;
    for (int i = 0; i < 2000; ++i) {
        std::vector<FileNode*>& mine = folders[i % 2];
        std::wstring name = NumberedName(i, 5 + i % 40);
        FileNode* node = Add(mine[(i * 31u) % mine.size()], name.c_str(), true);
        ASSERT_NE(node, nullptr);
        mine.push_back(node);
        if (i % 2) expected[node] = name;
    }
    DestroyLocationTree(trees[0]);
    // Whatever the first tree held is gone and its memory taken by another tree.
    LocationTree* other = CreateLocationTree();
    for (int i = 0; i < 1000; ++i) Add(other->root, std::wstring(200, L'#').c_str(), false);
    ExpectWholeAndApart(expected);
    for (FileNode* node : folders[1]) {
        for (FileNode* child = node->firstChild; child; child = child->nextSibling) ASSERT_EQ(child->parent, node);
    }
    DestroyLocationTree(other);
    DestroyLocationTree(trees[1]);
    EXPECT_EQ(MemOutstanding(), baseline);
}

}  // namespace
