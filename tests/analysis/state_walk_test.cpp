#include "analysis/state_walk.h"
#include "model/memory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY;

class StateWalkTest : public testing::Test {
protected:
    void SetUp() override {
        m_baseline = MemOutstanding();
        m_tree = CreateLocationTree();
        ASSERT_NE(m_tree, nullptr);
        // Children are listed newest first, so each folder lists them in reverse.
        FileNode* top = Add(m_tree->root, L"top", kFolder, DiffModified);
        Add(top, L"identical.txt", 0, DiffIdentical);
        m_sub = Add(top, L"sub", kFolder, DiffModified);
        Add(m_sub, L"..", kFolder, DiffIdentical);
        Add(m_sub, L".", kFolder, DiffIdentical);
        Add(m_sub, L"unknown.bin", 0, DiffUnknown);
        Add(m_sub, L"new.txt", 0, DiffNew);
        FileNode* same = Add(m_sub, L"same", kFolder, DiffIdentical);
        Add(same, L"missing.txt", 0, DiffMissing);
        FileNode* changed = Add(m_sub, L"changed", kFolder, DiffModified);
        Add(changed, L"modified.txt", 0, DiffModified);
        FileNode* added = Add(m_sub, L"added", kFolder, DiffNew);
        Add(added, L"inner.txt", 0, DiffNew);
        Add(m_sub, L"gone", kFolder, DiffMissing);
        Add(m_sub, L"modified.dat", 0, DiffModified);
        Add(m_sub, L"missing.dat", 0, DiffMissing);
    }
    void TearDown() override {
        DestroyLocationTree(m_tree);
        EXPECT_EQ(MemOutstanding(), m_baseline);
    }
    FileNode* Add(FileNode* parent, const wchar_t* name, DWORD attributes, DiffState state) {
        NodeRecord record = {};
        wcscpy(record.name, name);
        record.attributes = attributes;
        record.state = state;
        return AddChildNode(&record, parent);
    }
    void Start(StateWalk* walk, FileNode* from, StateFilterMask mask) {
        memset(walk, 0, sizeof(*walk));
        walk->mask = mask;
        walk->folder = from;
        walk->next = from->firstChild;
        wcscpy(walk->basePath, L"D:\\Base\\");
    }

    LocationTree* m_tree = nullptr;
    FileNode* m_sub = nullptr;
    long m_baseline = 0;
};

TEST_F(StateWalkTest, DifferingItemsMaskYieldsInOrderAndDescendsEverywhere) {
    StateWalk* walk = new StateWalk;
    Start(walk, m_sub, 0x6E);
    std::vector<std::wstring> yielded;
    DWORD attributes = 0;
    DiffState state = DiffIdentical;
    wchar_t* path = new wchar_t[kPathUnits];
    FileNode* node = nullptr;
    DWORD result;
    while ((result = StateWalkNext(walk, &attributes, &state, path, &node)) == ERROR_SUCCESS) {
        EXPECT_EQ(node->attributes, attributes);
        EXPECT_EQ(node->state, state);
        yielded.push_back(std::wstring(path) + L" " + std::to_wstring(state));
    }
    EXPECT_EQ(result, static_cast<DWORD>(ERROR_NO_MORE_FILES));
    const std::vector<std::wstring> expected = {
        L"D:\\Base\\top\\sub\\missing.dat 2",
        L"D:\\Base\\top\\sub\\modified.dat 3",
        L"D:\\Base\\top\\sub\\gone 2",
        L"D:\\Base\\top\\sub\\added 1",
        L"D:\\Base\\top\\sub\\new.txt 1",
        // Subfolders after the folder's own children, the last one met first.
        L"D:\\Base\\top\\sub\\same\\missing.txt 2",
        L"D:\\Base\\top\\sub\\changed\\modified.txt 3",
        L"D:\\Base\\top\\sub\\added\\inner.txt 1",
    };
    EXPECT_EQ(yielded, expected);
    // Over and done: it stays over.
    EXPECT_EQ(StateWalkNext(walk, &attributes, &state, path), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    StateWalkClear(walk);
    delete walk;
    delete[] path;
}

TEST_F(StateWalkTest, EverythingMaskStillSkipsDotsAndUnknown) {
    StateWalk* walk = new StateWalk;
    Start(walk, m_tree->root, kShowAllStates);
    wchar_t* path = new wchar_t[kPathUnits];
    DWORD attributes;
    DiffState state;
    unsigned count = 0;
    while (StateWalkNext(walk, &attributes, &state, path) == ERROR_SUCCESS) {
        ++count;
        std::wstring text = path;
        EXPECT_EQ(text.find(L"\\."), std::wstring::npos) << text;
        EXPECT_EQ(text.find(L"unknown"), std::wstring::npos) << text;
    }
    // Every node but the root, the two dots and the Unknown file.
    EXPECT_EQ(count, 16u - 3u);
    StateWalkClear(walk);
    delete walk;
    delete[] path;
}

TEST_F(StateWalkTest, ClearAfterAPartialWalkFreesPendingFolders) {
    const long treeBlocks = MemOutstanding();
    StateWalk* walk = new StateWalk;
    Start(walk, m_sub, 0x6E);
    wchar_t* path = new wchar_t[kPathUnits];
    DWORD attributes;
    DiffState state;
    for (int step = 0; step < 4; ++step) ASSERT_EQ(StateWalkNext(walk, &attributes, &state, path), 0u);
    ASSERT_GT(walk->pendingFolders.count, 0u);
    StateWalkClear(walk);
    EXPECT_EQ(walk->pendingFolders.items, nullptr);
    EXPECT_EQ(walk->folder, nullptr);
    EXPECT_EQ(walk->mask, 0);
    EXPECT_EQ(walk->basePath[0], 0);
    EXPECT_EQ(MemOutstanding(), treeBlocks);
    delete walk;
    delete[] path;
}

TEST_F(StateWalkTest, MissingWalkOrOutputIsInvalidParameter) {
    StateWalk* walk = new StateWalk;
    Start(walk, m_sub, 0xFF);
    wchar_t* path = new wchar_t[kPathUnits];
    DWORD attributes;
    DiffState state;
    EXPECT_EQ(StateWalkNext(nullptr, &attributes, &state, path), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(StateWalkNext(walk, nullptr, &state, path), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(StateWalkNext(walk, &attributes, nullptr, path), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(StateWalkNext(walk, &attributes, &state, nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    StateWalkClear(walk);
    delete walk;
    delete[] path;
}

TEST_F(StateWalkTest, AFolderThatCannotBeRememberedEndsTheWalkAsAFailure) {
    StateWalk* walk = new StateWalk;
    Start(walk, m_sub, 0x6E);
    wchar_t* path = new wchar_t[kPathUnits];
    DWORD attributes = 0;
    DiffState state = DiffIdentical;
    // The first two children are files; the third, "gone", is a folder.
    MemFailAfter(0);
    EXPECT_EQ(StateWalkNext(walk, &attributes, &state, path), 0u);
    EXPECT_EQ(StateWalkNext(walk, &attributes, &state, path), 0u);
    EXPECT_EQ(StateWalkNext(walk, &attributes, &state, path), DWORD(ERROR_NOT_ENOUGH_MEMORY));
    MemFailAfter(-1);
    StateWalkClear(walk);
    delete walk;
    delete[] path;
}

}  // namespace
