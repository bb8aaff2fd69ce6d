// The index answers every lookup as a walk of the child list from its head would.
#include "analysis/child_index.h"
#include "model/location_tree.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

FileNode* AddChild(FileNode* folder, const std::wstring& name) {
    NodeRecord record = {};
    CopyText(record.name, kMaxNameUnits, name.c_str());
    record.state = DiffIdentical;
    return AddChildNode(&record, folder);
}

FileNode* WalkFind(FileNode* folder, const std::wstring& name) {
    for (FileNode* child = folder->firstChild; child; child = child->nextSibling) {
        if (CompareNamesIgnoringCase(child->name, name.c_str()) == 0) return child;
    }
    return nullptr;
}

// Names that share long starts and often differ only in case, as listings do.
std::wstring RandomName(std::mt19937& random) {
    std::wstring name = L"report-2026-";
    for (int i = 0; i < 3; ++i) name += static_cast<wchar_t>(L"aAbB\u00e9\u00c9"[random() % 6]);
    return name;
}

TEST(ChildIndex, AnswersAsAWalkFromTheHeadBeforeAndAfterChildrenAreAdded) {
    const long baseline = MemOutstanding();
    std::mt19937 random(7);
    for (int size : {5, 30, 200}) {
        LocationTree* tree = CreateLocationTree();
        ASSERT_NE(tree, nullptr);
        FileNode* folder = tree->root;
        for (int i = 0; i < size; ++i) ASSERT_NE(AddChild(folder, RandomName(random)), nullptr);
        ChildIndex index;
        ASSERT_TRUE(index.Build(folder));
        // Enough new heads to make the table grow more than once.
        for (int round = 0; round < 3 * size; ++round) {
            const std::wstring name = RandomName(random);
            EXPECT_EQ(index.Find(name.c_str()), WalkFind(folder, name)) << size << " before adding";
            FileNode* added = AddChild(folder, RandomName(random));
            ASSERT_NE(added, nullptr);
            ASSERT_TRUE(index.Added(added));
            EXPECT_EQ(index.Find(added->name), added) << "a new head comes first";
        }
        EXPECT_EQ(index.Find(L"absent"), nullptr);
        DestroyLocationTree(tree);
    }
    EXPECT_EQ(MemOutstanding(), baseline);
}

}  // namespace
